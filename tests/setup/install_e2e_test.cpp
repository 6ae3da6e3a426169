// The installation end to end under Wine: setup.exe started from the distribution folder
// and driven through its wizard, against the Excel stand-in, the fixture components, the
// install record and the system folder. Each scenario starts from a known state: the
// components out of the system folder (or placed there), no record, no registrations, a
// fresh stand-in configuration and a fresh destination folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls.h"
#include "excel_standin.h"
#include "install_e2e.h"
#include "names.h"
#include "uidriver.h"

using namespace install_e2e;
namespace ctl = ferrolin::ctl;

namespace {

std::string N(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Workbook(const std::wstring& folder) {
    return Join(folder, std::wstring(ferrolin::kProductTitle) + ferrolin::kWorkbookExt);
}
std::wstring HelpFile(const std::wstring& folder) {
    return Join(folder, std::wstring(ferrolin::kProductTitle) + ferrolin::kHelpExt);
}

// Waits until the fixture components report as many registrations as expected (the
// registrar runs beside setup, not waited for).
std::map<std::wstring, DWORD> WaitForRegistrations(size_t count, DWORD timeout_ms = 15000) {
    for (DWORD waited = 0;; waited += 100) {
        std::map<std::wstring, DWORD> seen = FixtureRegistrations();
        if (seen.size() >= count || waited >= timeout_ms) return seen;
        Sleep(100);
    }
}

bool WaitForKey(HKEY root, const wchar_t* key, DWORD timeout_ms) {
    for (DWORD waited = 0;; waited += 100) {
        HKEY k = nullptr;
        if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) == ERROR_SUCCESS) {
            RegCloseKey(k);
            return true;
        }
        if (waited >= timeout_ms) return false;
        Sleep(100);
    }
}

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registered_ = RegisterStandIn();
        // The registrar beside setup is the prefix's own.
        const std::wstring registrar = Join(DistFolder(), ferrolin::kRegistrarSource);
        if (!Exists(registrar)) CopyFileW(Join(SystemFolder(), L"regsvr32.exe").c_str(), registrar.c_str(), TRUE);
    }

    void SetUp() override {
        ASSERT_TRUE(registered_) << "excel_standin.exe /RegServer failed";
        ASSERT_TRUE(Exists(Join(DistFolder(), ferrolin::kRegistrarSource))) << "no registrar in the dist folder";
        CloseExcelWindows();
        for (const DeployedFile& file : DeployedFiles()) RemoveFile(Join(SystemFolder(), file.installed));
        for (const wchar_t* uninstaller : {ferrolin::kUninstaller10, ferrolin::kUninstaller11})
            RemoveFile(Join(SystemFolder(), std::wstring(uninstaller) + ferrolin::kProgramExt));
        ClearRecord();
        ClearFixtureRegistrations();
        scratch_ = FreshFolder(L"FerrolinE2E");
        library_ = Join(scratch_, L"AddIns");
        CreateDirectoryW(library_.c_str(), nullptr);
        log_ = Join(scratch_, L"excel.log");
        ResetStandIn(library_, log_);
    }

    void TearDown() override {
        uidriver::EndScenario();
        CloseExcelWindows();
        ClearRecord();
        RegDeleteTreeW(HKEY_CURRENT_USER, excel_standin::kKnobKey);
        RemoveTree(scratch_);
    }

    static void ClearRecord() {
        RegDeleteTreeW(HKEY_CURRENT_USER, ferrolin::kRecordKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
    }

    // Places every system component in the system folder, as an earlier run left them.
    static void PlaceAllComponents() {
        for (const DeployedFile& file : DeployedFiles())
            CopyOrFail(Join(DistFolder(), file.source), Join(SystemFolder(), file.installed));
    }

    // Writes a record as setup leaves it, for the folder given, with extra values.
    static void WriteRecord(const std::wstring& folder, bool withAppExist) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Ansi(ferrolin::kRecordKey).c_str(), 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, &key, nullptr));
        const std::string dir = Ansi(folder);
        RegSetValueExA(key, "Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                       static_cast<DWORD>(dir.size() + 1));
        const std::string status = Utf16(L"84114117101");
        RegSetValueExA(key, "STATUS_APP", 0, REG_BINARY, reinterpret_cast<const BYTE*>(status.data()),
                       static_cast<DWORD>(status.size()));
        const std::string one = Utf16(L"1");
        RegSetValueExA(key, "APP_REFINST", 0, REG_BINARY, reinterpret_cast<const BYTE*>(one.data()),
                       static_cast<DWORD>(one.size()));
        if (withAppExist) {
            const std::string removed = Utf16(L"01");
            RegSetValueExA(key, "APP_EXIST", 0, REG_BINARY, reinterpret_cast<const BYTE*>(removed.data()),
                           static_cast<DWORD>(removed.size()));
        }
        RegCloseKey(key);
    }

    // The record a full installation into the folder writes, byte for byte.
    static std::map<std::wstring, StoredValue> FullRecord(const std::wstring& folder) {
        // REG_SZ as the ANSI entry points read it back: the text and its terminator.
        std::map<std::wstring, StoredValue> expected = {
            {L"STATUS_APP", {REG_BINARY, Utf16(L"84114117101")}},
            {L"Dir", {REG_SZ, Ansi(folder) + std::string(1, '\0')}},
            {L"APP_REFINST", {REG_BINARY, Utf16(L"1")}},
        };
        return expected;
    }

    // The terms page: agree and go on.
    static void AgreeAndNext(HWND terms) {
        uidriver::Click(ControlOf(terms, ctl::chkOk));
        uidriver::PostClick(ControlOf(terms, ctl::Command2));
    }

    // The add-in page's End, the final message and the end of setup.
    static void Finish(SetupRun& setup) {
        HWND addin = WaitPage(setup, ferrolin::kCaptionAddin);
        uidriver::PostClick(ControlOf(addin, ctl::Command2));
        const uidriver::MessageBoxInfo done = WaitMessage(setup, ferrolin::kProductName);
        EXPECT_EQ(N(done.text), N(ferrolin::kMsgInstallFinished));
        EXPECT_EQ(done.icon, uidriver::IconKind::Information) << uidriver::ToString(done.icon);
        uidriver::PressButton(done.hwnd, IDOK);
        EXPECT_EQ(setup.process.WaitForExit(kExitMs), 0u);
    }

    // Excel after setup: one visible, maximised instance with the add-in installed.
    void ExpectExcelLeftWithAddin(const std::wstring& folder) {
        const std::vector<HWND> windows = ExcelWindows();
        ASSERT_EQ(windows.size(), 1u) << "stand-in windows after setup";
        EXPECT_TRUE(IsWindowVisible(windows[0])) << "Excel is not visible";
        EXPECT_TRUE(IsZoomed(windows[0])) << "Excel is not maximised";
        const std::vector<std::wstring> addins = InstalledAddins();
        const std::wstring expected = L"/R \"" + Workbook(folder) + L"\"";
        EXPECT_NE(std::find(addins.begin(), addins.end(), expected), addins.end())
            << "installed add-ins lack " << N(expected) << " (" << addins.size() << " listed)";
    }

    static bool registered_;
    std::wstring scratch_;
    std::wstring library_;
    std::wstring log_;
};

bool Install::registered_ = false;

// The ordinary road: every component copied and registered, the terms and destination
// pages, the add-in copied into Excel's library folder, the record written, Excel left open
// with the add-in, and the library answering a script client.
TEST_F(Install, OrdinaryRoad) {
    SetupRun setup = StartSetup(DistFolder());
    HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
    EXPECT_FALSE(uidriver::IsEnabled(ControlOf(terms, ctl::Command3))) << "terms page Back";
    AgreeAndNext(terms);

    HWND destination = WaitPage(setup, ferrolin::kCaptionDestination);
    EXPECT_EQ(N(uidriver::Text(ControlOf(destination, ctl::txtPathdefault))), N(library_));
    uidriver::PostClick(ControlOf(destination, ctl::Command2));
    Finish(setup);

    const std::wstring folder = Upper(library_);
    EXPECT_EQ(ReadBytes(Workbook(library_)), ReadBytes(Join(DistFolder(), ferrolin::kSourceWorkbook)));
    EXPECT_EQ(ReadBytes(HelpFile(library_)), ReadBytes(Join(DistFolder(), ferrolin::kSourceHelp)));
    const auto record = RecordValues();
    EXPECT_TRUE(record == FullRecord(folder)) << "record:" << Describe(record);

    for (const DeployedFile& file : DeployedFiles())
        EXPECT_EQ(ReadBytes(Join(SystemFolder(), file.installed)), ReadBytes(Join(DistFolder(), file.source)))
            << N(file.installed) << " in the system folder";
    const auto registrations = WaitForRegistrations(4);
    for (const DeployedFile& file : DeployedFiles()) {
        if (std::wstring(file.installed) == ferrolin::kLibraryFile) continue;
        const auto found = registrations.find(Lower(Join(SystemFolder(), file.installed)));
        EXPECT_TRUE(found != registrations.end() && found->second == 1)
            << N(file.installed) << " not registered once";
    }
    EXPECT_EQ(registrations.size(), 4u);
    ASSERT_TRUE(WaitForKey(HKEY_CLASSES_ROOT, ferrolin::kLibraryProgId, 15000)) << "IFR_v11.CLibrary not registered";

    ExpectExcelLeftWithAddin(folder);

    // The add-in's view of the record, through the registered library.
    const std::wstring script = Join(scratch_, L"client.vbs");
    const std::string text =
        "On Error Resume Next\r\n"
        "Set o = CreateObject(\"IFR_v11.CLibrary\")\r\n"
        "If Err.Number <> 0 Then WScript.Quit 10\r\n"
        "p = o.InstallPath\r\n"
        "If Err.Number <> 0 Then WScript.Quit 11\r\n"
        "b = o.IsAddin_Installed\r\n"
        "If Err.Number <> 0 Then WScript.Quit 12\r\n"
        "If p <> \"" + N(folder) + "\" Then WScript.Quit 13\r\n"
        "If b <> True Then WScript.Quit 14\r\n"
        "WScript.Quit 0\r\n";
    HANDLE file = CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(RunToEnd(Join(SystemFolder(), L"cscript.exe"), L"//nologo \"" + script + L"\""), 0)
        << "script client: 10 create, 11 InstallPath, 12 IsAddin_Installed, 13 wrong path, 14 not installed";
}

// The reinstall road: a record whose folder holds the workbook; all components present.
// The terms page's Next goes straight to the add-in page; the workbook is copied again,
// the record is left as it was, nothing is copied into the system folder but the
// uninstallers, and no registrar runs.
TEST_F(Install, ReinstallRoad) {
    PlaceAllComponents();
    const std::wstring folder = Join(scratch_, L"EARLIER");
    CreateDirectoryW(folder.c_str(), nullptr);
    {
        HANDLE old = CreateFileW(Workbook(folder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(old, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(old, "old", 3, &written, nullptr);
        CloseHandle(old);
    }
    WriteRecord(folder, true);
    const auto before = RecordValues();

    SetupRun setup = StartSetup(DistFolder());
    HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
    AgreeAndNext(terms);
    Finish(setup);

    EXPECT_FALSE(uidriver::FindTopLevel({ferrolin::kCaptionDestination, nullptr, 0})) << "destination page shown";
    EXPECT_EQ(ReadBytes(Workbook(folder)), ReadBytes(Join(DistFolder(), ferrolin::kSourceWorkbook)));
    EXPECT_EQ(ReadBytes(HelpFile(folder)), ReadBytes(Join(DistFolder(), ferrolin::kSourceHelp)));
    const auto after = RecordValues();
    EXPECT_TRUE(after == before) << "record before:" << Describe(before) << "\nafter:" << Describe(after);
    Sleep(1000);  // a registrar started by mistake would have recorded by now
    EXPECT_TRUE(FixtureRegistrations().empty()) << "a registrar ran";
    ExpectExcelLeftWithAddin(folder);
}

}  // namespace
