#include "install_fixture.h"

#include <iostream>

#include "controls.h"
#include "excel_standin.h"
#include "handles.h"
#include "names.h"
#include "standin_client.h"
#include "test_support.h"

namespace install_e2e {

using testing_support::Sz;
using testing_support::Utf16Bytes;
using testing_support::WaitUntil;
namespace ctl = ferrolin::ctl;

bool Install::registered_ = false;
std::string Install::registration_;

void Install::SetUpTestSuite() {
    registered_ = RegisterStandIn(&registration_);
}

void Install::SetUp() {
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

void Install::TearDown() {
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

void Install::ClearRecord() {
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, ferrolin::kRecordKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
}

void Install::PlaceAllComponents() {
    for (const DeployedFile& file : DeployedFiles())
        CopyOrFail(Join(DistFolder(), file.source), InstalledPath(file));
}

void Install::WriteRecord(const std::wstring& folder, bool withAppExist) {
    const auto set = [](const wchar_t* name, DWORD type, const std::vector<BYTE>& bytes) {
        return testing_support::WriteRaw(HKEY_CURRENT_USER, ferrolin::kRecordKey, name, type, bytes);
    };
    ASSERT_TRUE(set(L"Dir", REG_SZ, Sz(folder)));
    set(L"STATUS_APP", REG_BINARY, Utf16Bytes(L"84114117101"));
    set(L"APP_REFINST", REG_BINARY, Utf16Bytes(L"1"));
    if (withAppExist) set(L"APP_EXIST", REG_BINARY, Utf16Bytes(L"01"));
}

std::map<std::wstring, StoredValue> Install::FullRecord(const std::wstring& folder) {
    // REG_SZ with its terminator.
    std::map<std::wstring, StoredValue> expected = {
        {L"STATUS_APP", {REG_BINARY, Utf16Bytes(L"84114117101")}},
        {L"Dir", {REG_SZ, Sz(folder)}},
        {L"APP_REFINST", {REG_BINARY, Utf16Bytes(L"1")}},
    };
    return expected;
}

void Install::AgreeAndNext(HWND terms) {
    uidriver::Click(ControlOf(terms, ctl::chkOk));
    uidriver::PostClick(ControlOf(terms, ctl::Next));
}

void Install::Finish(SetupRun& setup, DWORD exitCode, const std::function<void()>& beforeTheEnd) {
    HWND addin = WaitPage(setup, ferrolin::kCaptionAddin);
    uidriver::PostClick(ControlOf(addin, ctl::Next));
    // From End to the final message the finishing window stays on screen, and owns it.
    HWND finishing = WaitPage(setup, L"Finishing Installation ...");
    if (beforeTheEnd) beforeTheEnd();
    const uidriver::MessageBoxInfo done = WaitMessage(setup, ferrolin::kProductName);
    EXPECT_TRUE(IsWindowVisible(finishing) && !IsIconic(finishing)) << "the finishing window left the screen";
    EXPECT_EQ(GetWindow(done.hwnd, GW_OWNER), finishing) << "the final message is not the finishing window's";
    EXPECT_EQ(N(done.text), N(ferrolin::kMsgInstallFinished));
    EXPECT_EQ(done.icon, uidriver::IconKind::Information) << uidriver::ToString(done.icon);
    uidriver::PressButton(done.hwnd, IDOK);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), exitCode) << "exit code of an installation";
}

void Install::ExpectExcelLeftWithAddin(const std::wstring& folder) {
    // Setup's own Excel has ended; the user's is started by the desktop's shell.
    WaitUntil([] { return ExcelWindows().size() == 1 && IsWindowVisible(ExcelWindows()[0]); }, kPageMs);
    const std::vector<HWND> windows = ExcelWindows();
    ASSERT_EQ(windows.size(), 1u) << "stand-in windows after setup";
    EXPECT_TRUE(IsWindowVisible(windows[0])) << "Excel is not visible";
    EXPECT_TRUE(IsZoomed(windows[0])) << "Excel is not maximised";
    CloseExcelWindows();
    EXPECT_TRUE(Listed(Workbook(folder))) << "installed add-ins lack " << N(Workbook(folder)) << Log();
}

bool Install::Listed(const std::wstring& workbook) {
    const std::vector<std::wstring> addins = InstalledAddins();
    return std::find(addins.begin(), addins.end(), L"/R \"" + workbook + L"\"") != addins.end();
}

std::wstring Install::DistWithout(std::initializer_list<const wchar_t*> missing) {
    const std::wstring folder = Join(scratch_, L"dist");
    CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Join(DistFolder(), L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return folder;
    do {
        const std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        bool skip = false;
        for (const wchar_t* m : missing) skip = skip || lstrcmpiW(m, name.c_str()) == 0;
        if (!skip) CopyOrFail(Join(DistFolder(), name), Join(folder, name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return folder;
}

bool Install::NoComponentDeployed(std::string* which) {
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

std::vector<std::wstring> Install::Uninstallers() {
    return {std::wstring(ferrolin::kUninstaller10) + ferrolin::kProgramExt,
            std::wstring(ferrolin::kUninstaller11) + ferrolin::kProgramExt};
}

void Install::ExpectUninstallersCopied() {
    for (const std::wstring& name : Uninstallers()) {
        const std::string shipped = ReadFileBytes(Join(DistFolder(), name));
        EXPECT_FALSE(shipped.empty()) << N(name) << " is not in the distribution folder";
        EXPECT_EQ(ReadFileBytes(Join(SystemFolder(), name)) == shipped, true) << N(name) << " in the system folder";
    }
}

std::string Install::Log() const { return testing_support::JoinLines(LogLines(log_)); }

SetupRun Install::StartToTerms(const std::wstring& folder, HWND* terms) {
    SetupRun setup = StartSetup(folder);
    *terms = WaitPage(setup, ferrolin::kCaptionTerms);
    return setup;
}

SetupRun Install::StartToDestination(const std::wstring& folder, HWND* destination) {
    HWND terms = nullptr;
    SetupRun setup = StartToTerms(folder, &terms);
    AgreeAndNext(terms);
    *destination = WaitPage(setup, ferrolin::kCaptionDestination);
    return setup;
}

void Install::OpenUsersExcel() {
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

void Install::ExpectCloseExcelAsked(const uidriver::MessageBoxInfo& box, const char* text) {
    EXPECT_EQ(N(box.text), text);
    EXPECT_EQ(box.icon, uidriver::IconKind::Warning);
    EXPECT_EQ(box.button_ids, (std::vector<int>{IDRETRY, IDCANCEL}));
}

void Install::AnswerCloseExcel(SetupRun& setup, int button) {
    const uidriver::MessageBoxInfo open = WaitMessage(setup, L"Orvicta");
    ExpectCloseExcelAsked(
        open, "Microsoft Excel is open. Please close it before Ferrolin 1.1 is installed: Excel keeps its "
              "list of add-ins while it runs and writes it back when it closes, so an Excel left open would "
              "take Ferrolin 1.1 off the list again.\r"
              "Close every Excel window, then click Retry. Cancel ends the setup without changing anything.");
    uidriver::PressButton(open.hwnd, button);
    WaitUntil([&] { return !IsWindow(open.hwnd); }, 5000);
}

size_t Install::FreezeStandInIn(const wchar_t* member, DWORD ms) {
    excel_standin::SetKnob(excel_standin::kKnobSlowMember, member);
    excel_standin::SetKnob(excel_standin::kKnobSlowMs, ms);
    return standin_test::Events(log_).size();
}

void Install::ExpectNoExcelLeft(size_t fromEvent) {
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

void Install::CancelAtTerms(SetupRun& setup, HWND terms) {
    uidriver::PostClick(ControlOf(terms, ctl::Abort));
    const uidriver::MessageBoxInfo confirm = WaitMessage(setup, ferrolin::kMessageTitle);
    uidriver::PressButton(confirm.hwnd, IDYES);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 1u) << "exit code of a cancelled setup";
}

void Install::ExpectComponentsRegisteredByTheirFolders() {
EXPECT_TRUE(WaitForRegistrarsToEnd(0)) << "a registrar outlived setup";
const auto registrations = WaitForRegistrations(4);
const auto registrars = FixtureRegistrars();
for (const DeployedFile& file : DeployedFiles()) {
    if (IsLibrary(file)) continue;
    EXPECT_EQ(RegistrationsOf(registrations, file.installed), 1u) << N(file.installed);
    for (const auto& [path, registrar] : registrars) {
        if (path.size() < wcslen(file.installed) ||
            lstrcmpiW(path.c_str() + path.size() - wcslen(file.installed), file.installed) != 0)
            continue;
        EXPECT_EQ(N(AsWow64Sees(registrar)), N(AsWow64Sees(Join(path.substr(0, path.rfind(L'\\')), L"regsvr32.exe"))))
            << N(file.installed) << " registered by another registrar than its folder's";
#ifdef _WIN64
        EXPECT_EQ(N(path), N(Lower(InstalledPath(file)))) << "registered from another folder";
#endif
    }
}
EXPECT_EQ(registrations.size(), 4u);
EXPECT_EQ(registrars.size(), 4u);
}

}  // namespace install_e2e
