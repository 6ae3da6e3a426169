// The installation scenarios' fixture: each starts from a known state (the components out
// of the system folder, no record, no registrations, a fresh stand-in configuration and a
// fresh destination folder) and shares the steps of the wizard's roads.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "controls.h"
#include "excel_standin.h"
#include "handles.h"
#include "install_e2e.h"
#include "names.h"
#include "standin_client.h"
#include "test_support.h"

namespace install_e2e {

using testing_support::Sz;
using testing_support::Utf16Bytes;
using testing_support::WaitUntil;
namespace ctl = ferrolin::ctl;

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registered_ = RegisterStandIn(&registration_); }
    void SetUp() override {
        ASSERT_TRUE(registered_) << registration_;
        wchar_t acp[16] = {};
        if (GetEnvironmentVariableW(L"FERROLIN_EXPECTED_ACP", acp, 16)) {
            ASSERT_EQ(GetACP(), static_cast<UINT>(_wtoi(acp))) << "the ANSI code page of this run";
        }
        ASSERT_TRUE(FileExists(Join(DistFolder(), ferrolin::kRegistrarSource))) << "no registrar in the dist folder";
        CloseExcelWindows();
        ASSERT_TRUE(WaitForRegistrarsToEnd()) << "a registrar of an earlier scenario still runs";
        for (const DeployedFile& file : DeployedFiles()) RemoveFile(InstalledPath(file));
        for (const wchar_t* uninstaller : {ferrolin::kUninstaller10, ferrolin::kUninstaller11})
            RemoveFile(Join(SystemFolder(), std::wstring(uninstaller) + ferrolin::kProgramExt));
        ClearRecord();
        ClearFixtureRegistrations();
        ClearPlantedRegistrarStarts();
        ClearLibraryRegistration();
        scratch_ = FreshFolder(L"FerrolinE2E");
        library_ = Join(scratch_, L"AddIns");
        CreateDirectoryW(library_.c_str(), nullptr);
        log_ = Join(scratch_, L"excel.log");
        ResetStandIn(library_, log_);
    }
    void TearDown() override {
        // A scenario that failed shows what Excel went through (its log goes with the scratch
        // folder).
        if (HasFailure()) std::cerr << "Excel's log of the failed scenario:" << Log() << "\n";
        // The registrar beside setup is the vendor's, of any bitness: setup starts the
        // system's own by its full path, never one found by a search.
        std::wstring line;
        EXPECT_EQ(PlantedRegistrarStarts(&line), 0u)
            << "setup started the distribution folder's REGSVR32.exe, last as: " << N(line);
        uidriver::EndScenario();
        CloseExcelWindows();
        ClearRecord();
        testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::kKnobKey);
        RemoveTree(scratch_);
    }

    // The record and its parent keys removed.
    static void ClearRecord() {
        testing_support::DeleteKeyTree(HKEY_CURRENT_USER, ferrolin::kRecordKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
    }
    // Places every system component in the system folder, as an earlier run left them.
    static void PlaceAllComponents() {
        for (const DeployedFile& file : DeployedFiles())
            CopyOrFail(Join(DistFolder(), file.source), InstalledPath(file));
    }
    // Writes a record as setup leaves it, for the folder given, with extra values.
    static void WriteRecord(const std::wstring& folder, bool withAppExist) {
        const auto set = [](const wchar_t* name, DWORD type, const std::vector<BYTE>& bytes) {
            return testing_support::WriteRaw(HKEY_CURRENT_USER, ferrolin::kRecordKey, name, type, bytes);
        };
        ASSERT_TRUE(set(L"Dir", REG_SZ, Sz(folder)));
        set(L"STATUS_APP", REG_BINARY, Utf16Bytes(L"84114117101"));
        set(L"APP_REFINST", REG_BINARY, Utf16Bytes(L"1"));
        if (withAppExist) set(L"APP_EXIST", REG_BINARY, Utf16Bytes(L"01"));
    }
    // The record a full installation into the folder writes, byte for byte.
    static std::map<std::wstring, StoredValue> FullRecord(const std::wstring& folder) {
        return {{L"STATUS_APP", {REG_BINARY, Utf16Bytes(L"84114117101")}},
                {L"Dir", {REG_SZ, Sz(folder)}},  // with its terminator
                {L"APP_REFINST", {REG_BINARY, Utf16Bytes(L"1")}}};
    }

    // The add-in's workbook and help file in the folder as shipped, and the record of a full
    // installation into it (the folder in upper case, as setup keeps it).
    static void ExpectInstalledInto(const std::wstring& folder) {
        EXPECT_EQ(ReadFileBytes(Workbook(folder)), ReadFileBytes(Join(DistFolder(), ferrolin::kSourceWorkbook)));
        EXPECT_EQ(ReadFileBytes(HelpFile(folder)), ReadFileBytes(Join(DistFolder(), ferrolin::kSourceHelp)));
        EXPECT_TRUE(RecordValues() == FullRecord(Upper(folder))) << "record:" << Describe(RecordValues());
    }

    // The terms page: agree and go on.
    static void AgreeAndNext(HWND terms) {
        uidriver::Click(ControlOf(terms, ctl::chkOk));
        uidriver::PostClick(ControlOf(terms, ctl::Next));
    }
    // The add-in page's End, the final message and the end of setup; beforeTheEnd is what
    // comes between End and the final message, when anything does.
    static void Finish(SetupRun& setup, DWORD exitCode = 0, const std::function<void()>& beforeTheEnd = {}) {
        HWND addin = WaitPage(setup, ferrolin::kCaptionAddin);
        uidriver::PostClick(ControlOf(addin, ctl::Next));
        // From End to the final message the finishing window stays on screen, and owns it.
        HWND finishing = WaitPage(setup, L"Finishing Installation ...");
        if (beforeTheEnd) beforeTheEnd();
        const uidriver::MessageBoxInfo done = WaitMessage(setup, L"Ferrolin");
        EXPECT_TRUE(IsWindowVisible(finishing) && !IsIconic(finishing)) << "the finishing window left the screen";
        EXPECT_EQ(GetWindow(done.hwnd, GW_OWNER), finishing) << "the final message is not the finishing window's";
        EXPECT_EQ(N(done.text), "The Installation was finished.");
        EXPECT_EQ(done.icon, uidriver::IconKind::Information) << uidriver::ToString(done.icon);
        uidriver::PressButton(done.hwnd, IDOK);
        EXPECT_EQ(setup.process.WaitForExit(kExitMs), exitCode) << "exit code of an installation";
    }

    // Excel after setup: one visible, maximised instance with the add-in installed. Excel
    // writes its add-in list when it ends, so the user closes it before the list is read.
    void ExpectExcelLeftWithAddin(const std::wstring& folder) {
        // Setup's own Excel has ended; the user's is started by the desktop's shell.
        WaitUntil([] { return ExcelWindows().size() == 1 && IsWindowVisible(ExcelWindows()[0]); }, kPageMs);
        const std::vector<HWND> windows = ExcelWindows();
        ASSERT_EQ(windows.size(), 1u) << "stand-in windows after setup";
        EXPECT_TRUE(IsWindowVisible(windows[0])) << "Excel is not visible";
        EXPECT_TRUE(IsZoomed(windows[0])) << "Excel is not maximised";
        CloseExcelWindows();
        EXPECT_TRUE(Listed(Workbook(folder))) << "installed add-ins lack " << N(Workbook(folder)) << Log();
    }
    // Excel's list, as Excel wrote it when it ended, holds the workbook as installed.
    static bool Listed(const std::wstring& workbook) {
        const std::vector<std::wstring> addins = InstalledAddins();
        return std::find(addins.begin(), addins.end(), L"/R \"" + workbook + L"\"") != addins.end();
    }

    // A distribution folder of this scenario: the built one without the files named.
    std::wstring DistWithout(std::initializer_list<const wchar_t*> missing) {
        const std::wstring folder = Join(scratch_, L"dist");
        CreateDirectoryW(folder.c_str(), nullptr);
        WIN32_FIND_DATAW found;
        const ferrolin::unique_find search =
            ferrolin::adopt_find(FindFirstFileW(Join(DistFolder(), L"*").c_str(), &found));
        if (!search) return folder;
        do {
            const std::wstring name = found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            bool skip = false;
            for (const wchar_t* m : missing) skip = skip || lstrcmpiW(m, name.c_str()) == 0;
            if (!skip) CopyOrFail(Join(DistFolder(), name), Join(folder, name));
        } while (FindNextFileW(search.get(), &found));
        return folder;
    }

    // No system component file of the table, and no uninstaller, is in the system folder.
    static bool NoComponentDeployed(std::string* which) {
        for (const DeployedFile& file : DeployedFiles())
            if (FileExists(InstalledPath(file))) {
                *which = N(file.installed);
                return false;
            }
        for (const std::wstring& name : Uninstallers())
            if (FileExists(Join(SystemFolder(), name))) {
                *which = N(name);
                return false;
            }
        return true;
    }
    // UFR10.exe and UFR11.exe.
    static std::vector<std::wstring> Uninstallers() {
        return {std::wstring(ferrolin::kUninstaller10) + ferrolin::kProgramExt,
                std::wstring(ferrolin::kUninstaller11) + ferrolin::kProgramExt};
    }

    // Each component registered once, by the registrar of the system folder it lies in: the
    // 32-bit components of the 64-bit setup in SysWOW64 by SysWOW64's registrar, in the
    // 32-bit view of the registry where 32-bit Excel looks.
    static void ExpectComponentsRegisteredByTheirFolders() {
        EXPECT_TRUE(WaitForRegistrarsToEnd(0)) << "a registrar outlived setup";
        const auto registrations = WaitForRegistrations(4);
        const auto registrars = FixtureRegistrars();
        for (const DeployedFile& file : DeployedFiles()) {
            if (IsLibrary(file)) continue;
            EXPECT_EQ(RegistrationsOf(registrations, file.installed), 1u) << N(file.installed);
            for (const auto& [path, registrar] : registrars) {
                if (!IsPathOf(path, file.installed)) continue;
                EXPECT_EQ(N(AsWow64Sees(registrar)),
                          N(AsWow64Sees(Join(path.substr(0, path.rfind(L'\\')), L"regsvr32.exe"))))
                    << N(file.installed) << " registered by another registrar than its folder's";
#ifdef _WIN64
                EXPECT_EQ(N(path), N(Lower(InstalledPath(file)))) << "registered from another folder";
#endif
            }
        }
        EXPECT_EQ(registrations.size(), 4u);
        EXPECT_EQ(registrars.size(), 4u);
    }

    // The uninstallers in the system folder are those beside setup.
    static void ExpectUninstallersCopied() {
        for (const std::wstring& name : Uninstallers()) {
            const std::string shipped = ReadFileBytes(Join(DistFolder(), name));
            EXPECT_FALSE(shipped.empty()) << N(name) << " is not in the distribution folder";
            EXPECT_EQ(ReadFileBytes(Join(SystemFolder(), name)) == shipped, true) << N(name) << " in the system folder";
        }
    }

    // Excel's log for a failure message.
    std::string Log() const { return testing_support::JoinLines(LogLines(log_)); }
    // Setup started and brought to its terms page.
    SetupRun StartToTerms(const std::wstring& folder, HWND* terms) {
        SetupRun setup = StartSetup(folder);
        *terms = WaitPage(setup, ferrolin::kCaptionTerms);
        return setup;
    }
    // Setup started and taken past the terms page to the destination page.
    SetupRun StartToDestination(const std::wstring& folder, HWND* destination) {
        HWND terms = nullptr;
        SetupRun setup = StartToTerms(folder, &terms);
        AgreeAndNext(terms);
        *destination = WaitPage(setup, ferrolin::kCaptionDestination);
        return setup;
    }

    // The user's own Excel: started, made visible and left to the user, as Excel is after
    // the user opened it.
    void OpenUsersExcel() {
        ASSERT_EQ(RunScript(SystemFolder(), Join(scratch_, L"open.vbs"),
                            L"On Error Resume Next\r\n"
                            L"Set x = CreateObject(\"Excel.Application\")\r\n"
                            L"If Err.Number <> 0 Then WScript.Quit 10\r\n"
                            L"x.Visible = True\r\n"
                            L"If Err.Number <> 0 Then WScript.Quit 11\r\n"
                            L"WScript.Quit 0\r\n"),
                  0)
            << "the user's Excel: 10 not created, 11 not shown";
        WaitUntil([] { return !ExcelWindows().empty(); }, 10000);
        ASSERT_EQ(ExcelWindows().size(), 1u) << "the user's Excel is not open; Excel's log:" << Log();
    }

    // A request to close the user's Excel: its text, a warning, Retry and Cancel.
    static void ExpectCloseExcelAsked(const uidriver::MessageBoxInfo& box, const char* text) {
        EXPECT_EQ(N(box.text), text);
        EXPECT_EQ(box.icon, uidriver::IconKind::Warning);
        EXPECT_EQ(box.button_ids, (std::vector<int>{IDRETRY, IDCANCEL}));
    }
    // Setup's request to close the user's Excel, read and answered.
    static void AnswerCloseExcel(SetupRun& setup, int button) {
        const uidriver::MessageBoxInfo open = WaitMessage(setup, L"Orvicta");
        ExpectCloseExcelAsked(
            open, "Microsoft Excel is open. Please close it before Ferrolin 1.1 is installed: Excel keeps its "
                  "list of add-ins while it runs and writes it back when it closes, so an Excel left open would "
                  "take Ferrolin 1.1 off the list again.\r"
                  "Close every Excel window, then click Retry. Cancel ends the setup without changing anything.");
        uidriver::PressButton(open.hwnd, button);
        WaitUntil([&] { return !IsWindow(open.hwnd); }, 5000);
    }

    // Every Excel started from now on answers the member (Class.Member, or Application.Create
    // for the creation) only after ms, frozen meanwhile; the log's events now, to look from.
    size_t FreezeStandInIn(const wchar_t* member, DWORD ms = 600000) {
        excel_standin::SetKnob(excel_standin::kKnobSlowMember, member);
        excel_standin::SetKnob(excel_standin::kKnobSlowMs, ms);
        return standin_test::Events(log_).size();
    }
    // Every Excel started since that event of the log has ended, and none was opened for the
    // user.
    void ExpectNoExcelLeft(size_t fromEvent) {
        const std::vector<standin_test::Event> events = standin_test::Events(log_);
        for (size_t i = fromEvent; i < events.size(); ++i) {
            if (events[i].text.rfind(L"Start ", 0) != 0) continue;
            EXPECT_NE(events[i].text.rfind(L"Start user ", 0), 0u) << "an Excel opened for the user";
            const ferrolin::unique_handle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, events[i].pid));
            if (process && WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "an Excel of setup's still runs: " << events[i].pid << " " << N(events[i].text);
                TerminateProcess(process.get(), 1);
            }
        }
    }

    // Setup's message box under the title: its text (as N gives it) and icon checked, then
    // the button pressed.
    static void AnswerMessage(const SetupRun& setup, const wchar_t* title, const std::string& text,
                              uidriver::IconKind icon, int button = IDOK) {
        const uidriver::MessageBoxInfo box = WaitMessage(setup, title);
        EXPECT_EQ(N(box.text), text) << "under " << N(title);
        EXPECT_EQ(box.icon, icon) << N(box.text) << ": " << uidriver::ToString(box.icon);
        uidriver::PressButton(box.hwnd, button);
    }
    // Abort on the terms page, then Yes: setup ends.
    static void CancelAtTerms(SetupRun& setup, HWND terms) {
        uidriver::PostClick(ControlOf(terms, ctl::Abort));
        const uidriver::MessageBoxInfo confirm = WaitMessage(setup, L"Orvicta");
        uidriver::PressButton(confirm.hwnd, IDYES);
        EXPECT_EQ(setup.process.WaitForExit(kExitMs), 1u) << "exit code of a cancelled setup";
    }

    static inline bool registered_ = false;
    static inline std::string registration_;
    std::wstring scratch_;
    std::wstring library_;  // Excel's library folder, the default destination
    std::wstring log_;      // the stand-in's log
};

}  // namespace install_e2e
