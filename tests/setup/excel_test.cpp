// The Excel integration against the Excel stand-in: taking the add-in out of Excel on a
// first installation and on a machine where it is installed, adding and installing it
// (with the workbook opening, not opening, and the file missing), the default folder, and
// the mail link with and without a mail program. The operations that show pages or end the
// program run in the test host, driven through its windows; the stand-in's call log shows
// what reached Excel.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "excel.h"
#include "excel_standin.h"
#include "handles.h"
#include "install_record.h"
#include "names.h"
#include "program.h"
#include "run_state.h"
#include "setup_host.h"
#include "standin_client.h"
#include "test_support.h"
#include "uidriver.h"

using namespace ferrolin;
using testing_support::JoinLines;
using testing_support::Narrow;

namespace {

const DWORD kWaitMs = 20000;
const std::wstring kHost = testing_support::WindowsPath(SETUP_HOST);
const std::wstring kStandIn = testing_support::WindowsPath(EXCEL_STANDIN);
const std::wstring kUrlRecorder = testing_support::WindowsPath(URL_RECORDER);

using standin_test::Event;
using standin_test::Events;
using standin_test::Instances;
using standin_test::InOrder;
using standin_test::LinesOf;
using standin_test::WaitForExit;

size_t Count(const std::vector<std::wstring>& lines, const std::wstring& line) {
    size_t n = 0;
    for (const std::wstring& l : lines) n += l == line;
    return n;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

const std::wstring kOptionsKey = excel_standin::ExcelKey(excel_standin::kOptionsSubkey);
const std::wstring kManagerKey = excel_standin::ExcelKey(excel_standin::kAddinManagerSubkey);

class ExcelIntegration : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registered_ = standin_test::ExitCodeOf(kStandIn, L"/RegServer", 30000, &registration_) == 0;
    }
    static void TearDownTestSuite() { standin_test::ExitCodeOf(kStandIn, L"/UnregServer"); }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment_.result()));
        ASSERT_TRUE(registered_) << registration_;
        knobs_.number(excel_standin::kKnobLog, 1).text(excel_standin::kKnobLogFile, log_);
        knobs_.number(excel_standin::kKnobIdleSeconds, 20);
    }

    // Every stand-in instance the scenario started has ended; a visible one left open on
    // purpose is closed as the user would close it.
    void TearDown() override {
        for (DWORD pid : Instances(Events(log_))) {
            if (WaitForExit(pid, 0)) continue;
            for (const uidriver::WindowInfo& w : uidriver::TopLevelWindows(pid))
                if (w.class_name == excel_standin::kMainWindowClass) uidriver::Close(w.hwnd);
            if (!WaitForExit(pid, kWaitMs)) {
                ADD_FAILURE() << "stand-in " << pid << " does not end";
                if (const ferrolin::unique_handle p{OpenProcess(PROCESS_TERMINATE, FALSE, pid)})
                    TerminateProcess(p.get(), 1);
            }
        }
        uidriver::EndScenario();
    }

    // The workbook of an earlier installation, in a folder of its own.
    std::wstring PlaceWorkbook() {
        const std::wstring path = folder_.file(std::wstring(kProductTitle) + kWorkbookExt);
        testing_support::WriteFileBytes(path, "add-in workbook");
        return path;
    }
    void RecordFolder(const std::wstring& folder) {
        record::WriteStatus(L"True");
        record::WriteDir(folder);
    }

    static inline bool registered_ = false;
    static inline std::string registration_;
    com_apartment apartment_;
    testing_support::CleanRecord record_;
    standin_test::CleanAddInList addIns_;
    testing_support::TempDir dir_{L"excel_integration"};
    testing_support::TempDir folder_{L"excel_integration_addin"};
    std::wstring log_ = dir_.file(L"calls.log");
    standin_test::Knobs knobs_;
};

HWND WaitForPage(const wchar_t* caption, const uidriver::Process& host) {
    return uidriver::WaitForWindow({caption, L"FerrolinForm", host.id()}, kWaitMs);
}

// The page once it is shown (a page shown again keeps its window).
HWND WaitForShownPage(const wchar_t* caption, const uidriver::Process& host) {
    HWND page = nullptr;
    const auto shown = [&] {
        page = uidriver::FindTopLevel({caption, L"FerrolinForm", host.id()});
        return page && IsWindowVisible(page);
    };
    if (testing_support::WaitUntil(shown, kWaitMs)) return page;
    return WaitForPage(caption, host);
}

// Leaves a page shown modally without ending the program: the page is hidden (its close
// box belongs to the navigation), and its loop is woken to notice.
void LeavePage(HWND page) {
    ShowWindow(page, SW_HIDE);
    PostMessageW(page, WM_NULL, 0, 0);
}

}  // namespace

TEST_F(ExcelIntegration, RemoveOnFirstInstallationClosesExcelTwice) {
    uidriver::Process host = uidriver::Start(kHost, L"remove-from-excel frmWizard1");
    HWND page = WaitForPage(kCaptionDestination, host);
    // The terms page is gone; the finishing window is loaded, hidden.
    EXPECT_EQ(uidriver::FindTopLevel({kCaptionTerms, nullptr, host.id()}), nullptr);
    HWND finishing = uidriver::FindTopLevel({kCaptionEnd, nullptr, host.id()});
    ASSERT_NE(finishing, nullptr) << "the finishing window was not loaded";
    EXPECT_FALSE(uidriver::IsVisible(finishing));

    std::vector<Event> events = Events(log_);
    ASSERT_EQ(Instances(events).size(), 1u) << JoinLines(testing_support::LogLines(log_));
    const DWORD first = Instances(events)[0];
    EXPECT_TRUE(InOrder(LinesOf(events, first),
                        {L"Create Application", L"Workbooks.Add", L"AddIns(\"Ferrolin 1.1\") -> Error 9",
                         L"Application.DisplayAlerts=False", L"Workbook.Close", L"Application.Quit"}));
    EXPECT_EQ(Count(LinesOf(events, first), L"AddIn.Installed=False"), 0u);
    EXPECT_TRUE(WaitForExit(first, kWaitMs)) << "the first instance was not quit";

    // The page closes without the program ending: Excel is started and quit once more,
    // and the page is shown a second time.
    // The page is hidden (its close box does nothing), which ends its modal show.
    LeavePage(page);
    HWND again = WaitForShownPage(kCaptionDestination, host);
    events = Events(log_);
    ASSERT_EQ(Instances(events).size(), 2u) << JoinLines(testing_support::LogLines(log_));
    const DWORD second = Instances(events)[1];
    const std::vector<std::wstring> lines = LinesOf(events, second);
    EXPECT_TRUE(InOrder(lines, {L"Create Application", L"Application.DisplayAlerts=False",
                                L"Application.ActiveWorkbook", L"Application.Quit"}));
    EXPECT_EQ(Count(lines, L"Workbooks.Add"), 0u) << "the repeat adds no workbook" << JoinLines(lines);
    EXPECT_EQ(Count(lines, L"Workbook.Close"), 0u) << "a new instance has no active workbook" << JoinLines(lines);
    EXPECT_TRUE(WaitForExit(second, kWaitMs));

    LeavePage(again);
    EXPECT_EQ(host.WaitForExit(kWaitMs), setup_host::kExitReturned);
    EXPECT_EQ(Instances(Events(log_)).size(), 2u) << "a third instance after the second show";
}

TEST_F(ExcelIntegration, RemoveTakesAnInstalledAddInOut) {
    const std::wstring workbook = PlaceWorkbook();
    testing_support::WriteRaw(HKEY_CURRENT_USER, kOptionsKey, L"OPEN", REG_SZ,
                              testing_support::Utf16Bytes(L"/R " + Quoted(workbook) + std::wstring(1, L'\0')));

    uidriver::Process host = uidriver::Start(kHost, L"remove-from-excel frmWizard2");
    HWND page = WaitForPage(kCaptionAddin, host);
    std::vector<Event> events = Events(log_);
    ASSERT_EQ(Instances(events).size(), 1u) << JoinLines(testing_support::LogLines(log_));
    const DWORD instance = Instances(events)[0];
    EXPECT_TRUE(InOrder(LinesOf(events, instance),
                        {L"Workbooks.Add", L"AddIns(\"Ferrolin 1.1\")", L"AddIn.Installed=False",
                         L"Application.DisplayAlerts=False", L"Workbook.Close", L"Application.Quit",
                         L"End Quit"}));
    EXPECT_TRUE(WaitForExit(instance, kWaitMs));
    // Excel keeps the add-in listed, not installed; its file is free again.
    EXPECT_FALSE(testing_support::ReadRaw(HKEY_CURRENT_USER, kOptionsKey, L"OPEN").present);
    EXPECT_TRUE(testing_support::ReadRaw(HKEY_CURRENT_USER, kManagerKey, workbook).present);
    EXPECT_TRUE(DeleteFileW(workbook.c_str())) << "the workbook is still held open";

    // Nothing failed: hiding the page ends the operation, with no second instance.
    LeavePage(page);
    EXPECT_EQ(host.WaitForExit(kWaitMs), setup_host::kExitReturned);
    EXPECT_EQ(Instances(Events(log_)).size(), 1u);
}

TEST_F(ExcelIntegration, AddInstallsAndLeavesExcelOpen) {
    struct Case {
        const char* name;
        DWORD installOpensWorkbook;
        bool listedInstalled;  // Excel's list holds the add-in as installed already
        std::vector<std::wstring> afterInstall;  // the calls after the first Installed := True
        size_t installs;
    };
    const std::vector<std::wstring> reinstalled = {L"Workbooks(\"Ferrolin 1.1.xla\") -> Error 9",
                                                   L"AddIn.Installed=False", L"AddIn.Installed=True",
                                                   L"AddIn.Installed=True"};
    const Case cases[] = {
        {"the workbook opens", 1, false, {L"Workbooks(\"Ferrolin 1.1.xla\")"}, 1},
        {"the workbook does not open", 0, false, reinstalled, 3},
        // Excel started through automation loads no add-in, and True on an installed one
        // changes nothing: the workbook opens only after False, True.
        {"listed as installed, not loaded", 1, true, reinstalled, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log_.c_str());
        standin_test::CleanAddInList clean;
        knobs_.number(excel_standin::kKnobInstallOpensWorkbook, c.installOpensWorkbook);
        const std::wstring workbook = PlaceWorkbook();
        RecordFolder(folder_.path());
        if (c.listedInstalled) {
            const std::wstring open = L"/R " + Quoted(workbook);
            testing_support::WriteRaw(HKEY_CURRENT_USER, kOptionsKey, L"OPEN", REG_SZ,
                                      std::vector<BYTE>(reinterpret_cast<const BYTE*>(open.c_str()),
                                                        reinterpret_cast<const BYTE*>(open.c_str() + open.size() + 1)));
        }

        uidriver::Process host = uidriver::Start(kHost, L"add-to-excel \"Ferrolin 1.1\"");
        HWND box = uidriver::WaitForMessageBox(kProductName, host.id(), kWaitMs);
        const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(info.text, kMsgInstallFinished);
        EXPECT_EQ(info.icon, uidriver::IconKind::Information) << uidriver::ToString(info.icon);
        EXPECT_EQ(info.button_ids, std::vector<int>{IDOK});
        // The finishing window stays on screen (setup's Excel is hidden) and owns the message.
        HWND finishing = uidriver::FindTopLevel({kCaptionEnd, nullptr, host.id()});
        ASSERT_NE(finishing, nullptr);
        EXPECT_TRUE(uidriver::IsVisible(finishing));
        EXPECT_EQ(GetWindow(box, GW_OWNER), finishing) << "the final message is not the finishing window's";

        // Setup's Excel, with setup's rights, takes the add-in and quits; the one left to the
        // user is started by the desktop's shell, with the shell's rights.
        std::vector<Event> events;
        testing_support::WaitUntil([&] { return Instances(events = Events(log_)).size() == 2; }, kWaitMs);
        ASSERT_EQ(Instances(events).size(), 2u) << JoinLines(testing_support::LogLines(log_));
        const DWORD setups = Instances(events)[0], excel = Instances(events)[1];
        std::vector<std::wstring> expected = {L"Start elevated", L"Create Application", L"Workbooks.Add",
                                              L"AddIns.Add(" + Quoted(workbook) + L")", L"AddIns(\"Ferrolin 1.1\")",
                                              L"AddIn.Installed=True"};
        expected.insert(expected.end(), c.afterInstall.begin(), c.afterInstall.end());
        expected.insert(expected.end(), {L"Application.Quit", L"End Quit"});
        const std::vector<std::wstring> lines = LinesOf(events, setups);
        EXPECT_TRUE(InOrder(lines, expected));
        EXPECT_EQ(Count(lines, L"AddIn.Installed=True"), c.installs) << JoinLines(lines);
        EXPECT_EQ(Narrow(LinesOf(events, excel).front()),
                  Narrow(L"Start user " + std::wstring(excel_standin::ShellRights()) + L" by explorer.exe"));

        uidriver::PressButton(box, IDOK);
        EXPECT_EQ(host.WaitForExit(kWaitMs), 0u) << "the program did not end after the message";
        // Excel stays, visible and maximised, with the add-in loaded from its list.
        EXPECT_FALSE(WaitForExit(excel, 1500)) << "Excel ended with the setup program";
        HWND main = nullptr;
        for (const uidriver::WindowInfo& w : uidriver::TopLevelWindows(excel))
            if (w.class_name == excel_standin::kMainWindowClass) main = w.hwnd;
        ASSERT_NE(main, nullptr);
        EXPECT_TRUE(IsWindowVisible(main));
        EXPECT_TRUE(IsZoomed(main)) << "not maximised";
        EXPECT_FALSE(DeleteFileW(workbook.c_str())) << "the add-in is not loaded";
        // Excel writes its add-in list when it ends: the user closes it.
        uidriver::Close(main);
        EXPECT_TRUE(WaitForExit(excel, kWaitMs));
        EXPECT_EQ(testing_support::ReadRaw(HKEY_CURRENT_USER, kOptionsKey, L"OPEN").text(), L"/R " + Quoted(workbook));
    }
}

TEST_F(ExcelIntegration, AddWithoutTheWorkbookStopsTheProgram) {
    RecordFolder(folder_.path());  // the folder holds no workbook
    uidriver::Process host = uidriver::Start(kHost, L"add-to-excel \"Ferrolin 1.1\"");
    HWND box = uidriver::WaitForMessageBox(kMessageTitle, host.id(), kWaitMs);
    const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
    EXPECT_EQ(info.text.rfind(L"Run-time error '1004':\r\r", 0), 0u) << Narrow(info.text);
    EXPECT_GT(info.text.size(), std::wstring(L"Run-time error '1004':\r\r").size()) << "no description";
    EXPECT_EQ(info.icon, uidriver::IconKind::Error) << uidriver::ToString(info.icon);
    EXPECT_EQ(info.button_ids, std::vector<int>{IDOK});
    const std::vector<Event> events = Events(log_);
    ASSERT_EQ(Instances(events).size(), 1u);
    const std::vector<std::wstring> lines = LinesOf(events, Instances(events)[0]);
    EXPECT_TRUE(InOrder(lines, {L"AddIns.Add(" + Quoted(folder_.file(L"Ferrolin 1.1.xla")) + L") -> Error 1004"}));
    EXPECT_EQ(Count(lines, L"AddIn.Installed=True"), 0u) << JoinLines(lines);

    uidriver::PressButton(box, IDOK);
    EXPECT_EQ(host.WaitForExit(kWaitMs), 10u) << "exit code of the run-time error stop";
    EXPECT_EQ(uidriver::FindTopLevel({kProductName, L"#32770", host.id()}), nullptr)
        << "the final message was shown";
}

TEST_F(ExcelIntegration, DefaultFolder) {
    testing_support::TempDir library(L"excel_library");
    wchar_t programFiles[MAX_PATH] = L"";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles)));
    struct Case {
        const char* name;
        bool setLibraryPath;  // false: Excel's own, Office's LIBRARY folder its installer made
        std::wstring libraryPath;
        std::wstring expected;
    };
    const Case cases[] = {
        {"library folder present", true, library.path(), library.path()},
        // Trailing blanks do not change the folder a path names, leading ones do.
        {"library folder with trailing blanks", true, library.path() + L"  ", library.path()},
        {"library folder with leading blanks", true, L"  " + library.path(), L"C:\\Ferrolin"},
        {"library folder missing", true, L"C:\\No Such Folder\\AddIns", L"C:\\Ferrolin"},
        {"Office's library folder", false, L"",
         std::wstring(programFiles) + L"\\Microsoft Office\\root\\Office16\\LIBRARY"},
    };
    for (const Case& c : cases) {
        DeleteFileW(log_.c_str());
        standin_test::Knobs knobs;
        knobs.number(excel_standin::kKnobLog, 1).text(excel_standin::kKnobLogFile, log_);
        if (c.setLibraryPath) knobs.text(excel_standin::kKnobLibraryPath, c.libraryPath);
        blnLibraryPathKnown = false;  // each case a run of its own
        std::wstring folder;
        try {
            folder = GetDefaultFolder();
        } catch (const VbError& e) {
            // The stand-in's log says whether an instance started at all.
            ADD_FAILURE() << c.name << ": error " << e.number() << " " << Narrow(e.description())
                          << "; the stand-in's log: " << JoinLines(testing_support::LogLines(log_));
        }
        EXPECT_EQ(folder, c.expected) << c.name;
        const std::vector<Event> events = Events(log_);
        ASSERT_EQ(Instances(events).size(), 1u) << c.name;
        const std::vector<std::wstring> lines = LinesOf(events, Instances(events)[0]);
        EXPECT_TRUE(InOrder(lines, {L"Create Global", L"Global.Application", L"Application.LibraryPath"})) << c.name;
        EXPECT_EQ(Count(lines, L"Application.Quit"), 0u) << c.name << ": Excel must not be asked to quit";
        EXPECT_TRUE(WaitForExit(Instances(events)[0], kWaitMs)) << c.name << ": not released";
        // Asked again in the same run, it starts no other Excel.
        EXPECT_EQ(GetDefaultFolder(), c.expected) << c.name;
        EXPECT_EQ(Instances(Events(log_)).size(), 1u) << c.name << ": Excel started again";
    }
}

TEST_F(ExcelIntegration, DefaultFolderPassesFailuresOn) {
    knobs_.text(excel_standin::kKnobFailMember, L"Application.LibraryPath");
    long number = 0;
    try {
        GetDefaultFolder();
    } catch (const VbError& e) {
        number = e.number();
    }
    EXPECT_EQ(number, 1004);
}

TEST_F(ExcelIntegration, SendMail) {
    const auto unregister = ferrolin::on_scope_exit([] { standin_test::ExitCodeOf(kUrlRecorder, L"/Unregister"); });
    struct Case {
        const char* name;
        std::wstring urls;  // where the mail program records what it opens; empty: none
        bool sent;
    };
    const Case cases[] = {
        {"with a mail program", dir_.file(L"urls.log"), true},
        {"without a mail program", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log_.c_str());
        ASSERT_EQ(standin_test::ExitCodeOf(kUrlRecorder, c.sent ? L"/Register " + Quoted(c.urls) : L"/Remove"), 0);
        uidriver::Process host = uidriver::Start(kHost, std::wstring(L"send-mail ") + kSupportMail);
        if (!c.sent) {
            HWND box = uidriver::WaitForMessageBox(kMessageTitle, host.id(), kWaitMs);
            const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
            EXPECT_EQ(info.text, kMsgCantSendMail);
            EXPECT_EQ(info.icon, uidriver::IconKind::Warning) << uidriver::ToString(info.icon);
            EXPECT_EQ(info.button_ids, std::vector<int>{IDOK});
            // Excel has quit before the message.
            const std::vector<DWORD> instances = Instances(Events(log_));
            ASSERT_EQ(instances.size(), 1u);
            EXPECT_TRUE(WaitForExit(instances[0], kWaitMs));
            uidriver::PressButton(box, IDOK);
        }
        EXPECT_EQ(host.WaitForExit(kWaitMs), setup_host::kExitReturned)
            << "the operation did not return (a message box where none belongs?)";
        const std::vector<Event> events = Events(log_);
        ASSERT_EQ(Instances(events).size(), 1u);
        const std::wstring mailto = std::wstring(L"mailto:") + kSupportMail;
        const std::vector<std::wstring> lines = LinesOf(events, Instances(events)[0]);
        EXPECT_TRUE(InOrder(lines, {L"Create Application", L"Workbooks.Add", L"Sheets.Add",
                                    L"Worksheet.Range(\"A1\")", L"Range.Value=" + Quoted(kSupportMail),
                                    L"Hyperlinks.Add(<Range>, " + Quoted(mailto) + L", " + Quoted(kSupportMail) + L")",
                                    L"Application.DisplayAlerts=False", L"Application.Quit"}));
        EXPECT_TRUE(WaitForExit(Instances(events)[0], kWaitMs));
        if (c.sent) {
            EXPECT_TRUE(InOrder(lines, {L"Hyperlinks(1)", L"Hyperlink.Follow(False, True)"}));
            // The mail program runs on its own; give it the time to record the address.
            std::vector<std::wstring> opened;
            testing_support::WaitUntil(
                [&] {
                    opened = testing_support::LogLines(c.urls);
                    return !opened.empty();
                },
                10000);
            EXPECT_EQ(opened, std::vector<std::wstring>{mailto}) << JoinLines(opened);
        } else {
            EXPECT_TRUE(InOrder(lines, {L"Hyperlink.Follow(False, True) -> Error 1004"}));
        }
    }
}

TEST_F(ExcelIntegration, WithoutExcel) {
    ASSERT_EQ(standin_test::ExitCodeOf(kStandIn, L"/UnregServer"), 0);
    const auto reregister = ferrolin::on_scope_exit([] { standin_test::ExitCodeOf(kStandIn, L"/RegServer"); });
    RecordFolder(folder_.path());
    PlaceWorkbook();

    // GetDefaultFolder passes the failure on to its caller.
    long number = 0;
    try {
        GetDefaultFolder();
    } catch (const VbError& e) {
        number = e.number();
    }
    EXPECT_EQ(number, 429) << "GetDefaultFolder";

    // prcRemoveFromExcel skips every step and shows the page, twice since steps failed.
    {
        SCOPED_TRACE("prcRemoveFromExcel");
        uidriver::Process host = uidriver::Start(kHost, L"remove-from-excel frmWizard1");
        LeavePage(WaitForShownPage(kCaptionDestination, host));
        Sleep(200);  // the first show has returned before the page is looked for again
        LeavePage(WaitForShownPage(kCaptionDestination, host));
        EXPECT_EQ(host.WaitForExit(kWaitMs), setup_host::kExitReturned);
    }
    // prcSendMail: "Can't send mail.".
    {
        SCOPED_TRACE("prcSendMail");
        uidriver::Process host = uidriver::Start(kHost, std::wstring(L"send-mail ") + kSupportMail);
        HWND box = uidriver::WaitForMessageBox(kMessageTitle, host.id(), kWaitMs);
        EXPECT_EQ(uidriver::ReadMessageBox(box).text, kMsgCantSendMail);
        uidriver::PressButton(box, IDOK);
        EXPECT_EQ(host.WaitForExit(kWaitMs), setup_host::kExitReturned);
    }
    // prcAddToExcel: the program stops with the failure's message.
    {
        SCOPED_TRACE("prcAddToExcel");
        uidriver::Process host = uidriver::Start(kHost, L"add-to-excel \"Ferrolin 1.1\"");
        HWND box = uidriver::WaitForMessageBox(kMessageTitle, host.id(), kWaitMs);
        const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(info.text, L"Run-time error '429':\r\rActiveX component can't create object");
        EXPECT_EQ(info.icon, uidriver::IconKind::Error) << uidriver::ToString(info.icon);
        uidriver::PressButton(box, IDOK);
        EXPECT_EQ(host.WaitForExit(kWaitMs), 10u);
    }
    EXPECT_TRUE(Events(log_).empty()) << "an Excel instance started" << JoinLines(testing_support::LogLines(log_));
}
