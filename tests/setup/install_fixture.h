// The installation scenarios' fixture: each starts from a known state (the components out
// of the system folder, no record, no registrations, a fresh stand-in configuration and a
// fresh destination folder) and shares the steps of the wizard's roads.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "install_e2e.h"

namespace install_e2e {

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The record and its parent keys removed.
    static void ClearRecord();
    // Places every system component in the system folder, as an earlier run left them.
    static void PlaceAllComponents();
    // Writes a record as setup leaves it, for the folder given, with extra values.
    static void WriteRecord(const std::wstring& folder, bool withAppExist);
    // The record a full installation into the folder writes, byte for byte.
    static std::map<std::wstring, StoredValue> FullRecord(const std::wstring& folder);

    // The terms page: agree and go on.
    static void AgreeAndNext(HWND terms);
    // The add-in page's End, the final message and the end of setup; beforeTheEnd is what
    // comes between End and the final message, when anything does.
    static void Finish(SetupRun& setup, DWORD exitCode = 0, const std::function<void()>& beforeTheEnd = {});

    // Excel after setup: one visible, maximised instance with the add-in installed. Excel
    // writes its add-in list when it ends, so the user closes it before the list is read.
    void ExpectExcelLeftWithAddin(const std::wstring& folder);
    // Excel's list, as Excel wrote it when it ended, holds the workbook as installed.
    static bool Listed(const std::wstring& workbook);

    // A distribution folder of this scenario: the built one without the files named.
    std::wstring DistWithout(std::initializer_list<const wchar_t*> missing);

    // No system component file of the table, and no uninstaller, is in the system folder.
    static bool NoComponentDeployed(std::string* which);
    // UFR10.exe and UFR11.exe.
    static std::vector<std::wstring> Uninstallers();

    // Each component registered once, by the registrar of the system folder it lies in: the
    // 32-bit components of the 64-bit setup in SysWOW64 by SysWOW64's registrar, in the
    // 32-bit view of the registry where 32-bit Excel looks.
    static void ExpectComponentsRegisteredByTheirFolders();
    // The uninstallers in the system folder are those beside setup.
    static void ExpectUninstallersCopied();

    // Excel's log for a failure message.
    std::string Log() const;
    // Setup started and brought to its terms page.
    SetupRun StartToTerms(const std::wstring& folder, HWND* terms);
    // Setup started and taken past the terms page to the destination page.
    SetupRun StartToDestination(const std::wstring& folder, HWND* destination);

    // The user's own Excel: started, made visible and left to the user, as Excel is after
    // the user opened it.
    void OpenUsersExcel();

    // A request to close the user's Excel: its text, a warning, Retry and Cancel.
    static void ExpectCloseExcelAsked(const uidriver::MessageBoxInfo& box, const char* text);
    // Setup's request to close the user's Excel, read and answered.
    static void AnswerCloseExcel(SetupRun& setup, int button);

    // Every Excel started from now on answers the member (Class.Member, or Application.Create
    // for the creation) only after ms, frozen meanwhile; the log's events now, to look from.
    size_t FreezeStandInIn(const wchar_t* member, DWORD ms = 600000);
    // Every Excel started since that event of the log has ended, and none was opened for the
    // user.
    void ExpectNoExcelLeft(size_t fromEvent);

    // Abort on the terms page, then Yes: setup ends.
    static void CancelAtTerms(SetupRun& setup, HWND terms);

    static bool registered_;
    static std::string registration_;
    std::wstring scratch_;
    std::wstring library_;  // Excel's library folder, the default destination
    std::wstring log_;      // the stand-in's log
};

}  // namespace install_e2e
