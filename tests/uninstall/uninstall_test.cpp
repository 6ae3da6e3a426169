// UFR11 and UFR10 end to end: the real programs, the install records in the registry and
// real files in temporary folders, driven and watched through the UI driver.
#include <gtest/gtest.h>

#include <functional>

#include "files.h"
#include "names.h"
#include "pe_file.h"
#include "test_support.h"
#include "uidriver.h"
#include "usfFR.h"

using namespace uninstall_test;
using ferrolin::kProductTitle;
using ferrolin::kProductTitle10;

namespace {

const std::wstring kUfr11 = testing_support::WindowsPath(UFR11_PROGRAM);
const std::wstring kUfr10 = testing_support::WindowsPath(UFR10_PROGRAM);
const DWORD kWindowMs = 10000;  // for a window to appear
const DWORD kWaitRunMs = 30000;  // UFR11's ten seconds, with room for a slow machine
const DWORD kImmediateMs = 5000;
const ULONGLONG kTimer1Ms = 10000;

// A temporary folder whose contents may carry names with blanks at either end.
struct Scratch {
    explicit Scratch(const std::wstring& name) : temp(name) {}
    ~Scratch() { RemoveTreeExact(temp.path()); }
    std::wstring operator[](const std::wstring& relative) const { return temp.path() + L"\\" + relative; }
    testing_support::TempDir temp;
};

// The workbook and help file of one version in `folder`, made fresh.
void PutAddin(const std::wstring& folder, const std::wstring& stem) {
    MakeFolder(folder);
    PutFile(folder + L"\\" + stem + L".xla");
    PutFile(folder + L"\\" + stem + L".chm");
}

struct Expected {
    std::wstring path;
    bool present;
};

void CheckFiles(const char* scenario, const std::vector<Expected>& files) {
    for (const Expected& f : files) {
        EXPECT_EQ(Exists(f.path), f.present) << scenario << ": " << testing_support::Narrow(f.path)
                                             << (f.present ? " was deleted" : " was not deleted");
    }
}

// The message for a file left behind, read and answered.
void ExpectFileLeft(const uidriver::Process& run, const std::wstring& path, const wchar_t* program) {
    HWND box = uidriver::WaitForMessageBox(L"Ferrolin", run.id(), kWaitRunMs);
    ASSERT_TRUE(box) << "no message for " << testing_support::Narrow(path);
    const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
    EXPECT_EQ(testing_support::Narrow(info.text),
              testing_support::Narrow(path +
                                      L"\rcould not be removed. Microsoft Excel or another program may hold it "
                                      L"open: close that program, then start " + program + L" again."));
    EXPECT_EQ(info.icon, uidriver::IconKind::Warning);
    EXPECT_EQ(info.button_ids, std::vector<int>{IDOK});
    uidriver::PressButton(box, IDOK);
}

HWND WaitWindow(const uidriver::Process& ufr11) {
    uidriver::WindowQuery query;
    query.class_name = ferrolin::kWaitWindowClass;
    query.process_id = ufr11.id();
    return uidriver::WaitForWindow(query, kWindowMs);
}

}  // namespace

// Record present: the window waits ten seconds, then the files of version 1.1 go, exactly at
// the recorded folder (blanks kept), the workbook only when nobody holds it open; no message.
// Both scenarios read the same record, "Dir" = "  pad  " taken relative to each program's
// current folder, and run side by side.
TEST(Ufr11, DeletesAfterTheWait) {
    testing_support::CleanRecord clean;
    const auto end = uidriver::EndScenarioOnExit();
    Scratch s(L"ufr11-delete");
    const std::wstring pad = L"  pad  ";
    WriteDir(ferrolin::kRecordKey, pad);
    WriteDir(ferrolin::kRecordKey10, s[L"v10"]);  // the other version's record: not UFR11's

    // Scenario "free": the add-in in "  pad  ", beside it the same files in folders named
    // as a trimming reader would find them, and the files of version 1.0.
    MakeFolder(s[L"free"]);
    PutAddin(s[L"free\\" + pad], kProductTitle);
    PutAddin(s[L"free\\" + pad], kProductTitle10);
    for (const wchar_t* decoy : {L"pad", L"  pad", L"pad  "}) PutAddin(s[L"free\\" + std::wstring(decoy)], kProductTitle);
    PutAddin(s[L"v10"], kProductTitle);

    // Scenario "held": the workbook open in another process without delete sharing.
    MakeFolder(s[L"held"]);
    PutAddin(s[L"held\\" + pad], kProductTitle);
    ferrolin::unique_handle workbook = HoldOpen(s[L"held\\" + pad + L"\\Ferrolin 1.1.xla"]);
    ASSERT_TRUE(workbook) << "cannot hold the workbook open";

    const ULONGLONG started = GetTickCount64();
    uidriver::Process free_run = uidriver::Start(kUfr11, L"", s[L"free"]);
    uidriver::Process held_run = uidriver::Start(kUfr11, L"", s[L"held"]);
    WaitWindow(free_run);
    WaitWindow(held_run);
    CheckFiles("while waiting", {{s[L"free\\" + pad + L"\\Ferrolin 1.1.xla"], true},
                                 {s[L"free\\" + pad + L"\\Ferrolin 1.1.chm"], true},
                                 {s[L"held\\" + pad + L"\\Ferrolin 1.1.chm"], true}});

    // A message box would keep a program from ending: the timeout then lists its windows.
    // The workbook held open is named as the record gives its folder, and the exit code says
    // that a file is left.
    ExpectFileLeft(held_run, pad + L"\\Ferrolin 1.1.xla", L"UFR11");
    EXPECT_EQ(free_run.WaitForExit(kWaitRunMs), 0u);
    EXPECT_EQ(held_run.WaitForExit(kImmediateMs), 3u);
    EXPECT_GE(GetTickCount64() - started, kTimer1Ms - 500) << "deleted before the ten seconds";
    workbook.reset();

    CheckFiles("free", {{s[L"free\\" + pad + L"\\Ferrolin 1.1.xla"], false},
                        {s[L"free\\" + pad + L"\\Ferrolin 1.1.chm"], false},
                        {s[L"free\\" + pad + L"\\Ferrolin 1.0.xla"], true},
                        {s[L"free\\" + pad + L"\\Ferrolin 1.0.chm"], true},
                        {s[L"free\\pad\\Ferrolin 1.1.xla"], true},
                        {s[L"free\\  pad\\Ferrolin 1.1.xla"], true},
                        {s[L"free\\pad  \\Ferrolin 1.1.xla"], true},
                        {s[L"v10\\Ferrolin 1.1.xla"], true},
                        {s[L"v10\\Ferrolin 1.1.chm"], true}});
    CheckFiles("held", {{s[L"held\\" + pad + L"\\Ferrolin 1.1.xla"], true},
                        {s[L"held\\" + pad + L"\\Ferrolin 1.1.chm"], false}});
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CURRENT_USER, ferrolin::kRecordKey)) << "the record was touched";
}

// No folder in the record: after the wait the two-line warning titled "Ferrolin"; after OK
// the program ends and nothing is deleted. One run per record state.
TEST(Ufr11, NotFoundMessage) {
    const struct Case {
        const char* name;
        std::function<void()> record;
    } cases[] = {
        {"no record key", [] {}},
        {"Dir of blanks only", [] { WriteDir(ferrolin::kRecordKey, L"     "); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::CleanRecord clean;
        const auto end = uidriver::EndScenarioOnExit();
        Scratch s(L"ufr11-notfound");
        c.record();
        WriteDir(ferrolin::kRecordKey10, s.temp.path());  // version 1.0's record is not a fallback
        PutAddin(s.temp.path(), kProductTitle);
        PutAddin(s.temp.path(), kProductTitle10);
        const std::vector<Expected> untouched = {{s[L"Ferrolin 1.1.xla"], true},
                                                 {s[L"Ferrolin 1.1.chm"], true},
                                                 {s[L"Ferrolin 1.0.xla"], true},
                                                 {s[L"Ferrolin 1.0.chm"], true}};

        const ULONGLONG started = GetTickCount64();
        uidriver::Process run = uidriver::Start(kUfr11, L"", s.temp.path());
        HWND form = WaitWindow(run);
        HWND box = uidriver::WaitForMessageBox(ferrolin::kProductName, run.id(), kWaitRunMs);
        EXPECT_GE(GetTickCount64() - started, kTimer1Ms - 500) << "the message came before the ten seconds";

        const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(info.text, ferrolin::kMsgUninstallPathNotFound);
        EXPECT_EQ(info.icon, uidriver::IconKind::Warning);
        EXPECT_EQ(info.button_ids, std::vector<int>{IDOK});
        EXPECT_TRUE(IsWindow(form)) << "the wait window closed before the message";
        CheckFiles("message shown", untouched);

        uidriver::PressButton(box, IDOK);
        EXPECT_EQ(run.WaitForExit(kImmediateMs), 1u);
        CheckFiles("after OK", untouched);
    }
}

// The wait window as drawn: no caption or border, its client area and controls at their
// twip sizes, placed by Form_Load about the screen's middle. Closed before the removal, it
// ends the program having removed nothing.
TEST(Ufr11, WaitWindow) {
    testing_support::CleanRecord clean;
    const auto end = uidriver::EndScenarioOnExit();
    Scratch s(L"ufr11-window");
    WriteDir(ferrolin::kRecordKey, s.temp.path());
    PutAddin(s.temp.path(), kProductTitle);
    uidriver::Process run = uidriver::Start(kUfr11);
    HWND form = WaitWindow(run);

    EXPECT_EQ(uidriver::Text(form), L"");
    EXPECT_TRUE(uidriver::IsVisible(form));
    const LONG style = uidriver::Style(form);
    EXPECT_TRUE(style & WS_POPUP) << std::hex << style;
    EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_SYSMENU), 0) << std::hex << style;
    EXPECT_EQ(uidriver::ExStyle(form) & (WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE), 0);

    const int dpi = uidriver::ScreenDpiX();
    auto px = [dpi](int twips) { return uidriver::TwipsToPixels(twips, dpi); };
    const RECT window = uidriver::WindowRect(form);
    const SIZE client = uidriver::ClientSize(form);
    EXPECT_EQ(client.cx, px(ferrolin::usfFR::kClientWidth));
    EXPECT_EQ(client.cy, px(ferrolin::usfFR::kClientHeight));
    EXPECT_EQ(window.right - window.left, client.cx) << "the window has a frame";
    EXPECT_EQ(window.bottom - window.top, client.cy) << "the window has a frame";

    const int screen_twips_x = MulDiv(GetSystemMetrics(SM_CXSCREEN), 1440, dpi);
    const int screen_twips_y = MulDiv(GetSystemMetrics(SM_CYSCREEN), 1440, dpi);
    EXPECT_NEAR(window.left, px(screen_twips_x / 2 - 2000), 1);
    EXPECT_NEAR(window.top, px(screen_twips_y / 2 - 450), 1);

    HWND frame1 = uidriver::FindControl(form, ferrolin::usfFR::kFrame1);
    HWND label1 = uidriver::FindControlByCaption(form, ferrolin::kUninstallWaitText);
    ASSERT_TRUE(frame1 && label1) << uidriver::Describe(uidriver::Children(form));
    EXPECT_EQ(uidriver::ClassName(frame1), L"Button");
    EXPECT_EQ(uidriver::Style(frame1) & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_EQ(uidriver::Text(frame1), L"") << "Frame1 has a caption";
    EXPECT_EQ(uidriver::ClassName(label1), L"Static");
    EXPECT_EQ(GetParent(label1), frame1) << "Label1 is not inside Frame1";

    const struct Placed {
        const char* name;
        HWND control;
        HWND container;
        int left, top, width, height;  // twips within the container
    } placed[] = {
        {"Frame1", frame1, form, 75, 0, 5070, 855},
        {"Label1", label1, frame1, 240, 375, 4620, 375},
    };
    for (const Placed& p : placed) {
        RECT r = uidriver::WindowRect(p.control);
        MapWindowPoints(nullptr, p.container, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, px(p.left)) << p.name;
        EXPECT_EQ(r.top, px(p.top)) << p.name;
        EXPECT_EQ(r.right - r.left, px(p.width)) << p.name;
        EXPECT_EQ(r.bottom - r.top, px(p.height)) << p.name;
    }

    // Closed (Alt+F4) before the ten seconds: the program ends with 5, having removed nothing.
    uidriver::Close(form);
    EXPECT_EQ(run.WaitForExit(kImmediateMs), 5u) << "exit code of a wait window closed";
    CheckFiles("closed", {{s[L"Ferrolin 1.1.xla"], true}, {s[L"Ferrolin 1.1.chm"], true}});
}

// Both programs stay small (128 KB at most), carry the icon in 32x32 and 16x16 at 16 colours,
// and import only system DLLs.
TEST(Uninstallers, IconAndImports) {
    const wchar_t* system_dlls[] = {L"KERNEL32.dll", L"ADVAPI32.dll", L"USER32.dll", L"GDI32.dll",
                                    L"ole32.dll",    L"OLEAUT32.dll", L"msvcrt.dll"};
    for (const std::wstring& program : {kUfr11, kUfr10}) {
        const std::string name = testing_support::Narrow(program);
        WIN32_FILE_ATTRIBUTE_DATA file = {};
        ASSERT_TRUE(GetFileAttributesExW(program.c_str(), GetFileExInfoStandard, &file)) << name;
        EXPECT_LE(file.nFileSizeLow, 128u * 1024) << name;
        const ferrolin::unique_hmodule loaded(LoadLibraryExW(program.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
        ASSERT_TRUE(loaded) << name << ": error " << GetLastError();
        HMODULE image = loaded.get();

        HRSRC group_resource = FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
        ASSERT_TRUE(group_resource) << name << ": no icon";
        BYTE* group = static_cast<BYTE*>(LockResource(LoadResource(image, group_resource)));
        for (int size : {32, 16}) {
            const int id = LookupIconIdFromDirectoryEx(group, TRUE, size, size, LR_DEFAULTCOLOR);
            HRSRC icon = FindResourceW(image, MAKEINTRESOURCEW(id), RT_ICON);
            ASSERT_TRUE(icon) << name << ": no " << size << " pixel icon";
            const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(image, icon)));
            EXPECT_EQ(header->biWidth, size) << name;
            EXPECT_EQ(header->biHeight, 2 * size) << name;
            EXPECT_EQ(header->biBitCount, 4) << name << ": not 16 colours";
        }

        const std::vector<std::string> imports = testing_support::ImportedLibraries(testing_support::PeFile(program));
        for (const std::string& dll : imports) {
            bool known = false;
            for (const wchar_t* s : system_dlls)
                known = known || lstrcmpiA(dll.c_str(), testing_support::Narrow(s).c_str()) == 0;
            EXPECT_TRUE(known) << name << " imports " << dll;
        }
        EXPECT_GT(imports.size(), 0u) << name << " imports nothing";
    }
}

// UFR10 reads the record of version 1.0 and deletes its files at once, without a window; a
// file left behind is named, a missing record ends it silently.
TEST(Ufr10, DeletesAtOnce) {
    const std::wstring pad = L"  pad  ";
    const struct Case {
        const char* name;
        const wchar_t* dir10;   // "Dir" of version 1.0, relative to the scratch folder; nullptr = no record
        const wchar_t* cwd;     // the program's current folder in the scratch folder
        std::vector<const wchar_t*> gone;  // files of the scratch folder deleted, the rest stays
        bool hold_workbook;
        bool read_only_workbook;
        DWORD exit_code;
    } cases[] = {
        {"record present", L"app", L"", {L"app\\Ferrolin 1.0.xla", L"app\\Ferrolin 1.0.chm"}, false, false, 0},
        {"no record of version 1.0", nullptr, L"app", {}, false, false, 1},
        {"blanks around Dir kept", L"  pad  ", L"", {L"  pad  \\Ferrolin 1.0.xla", L"  pad  \\Ferrolin 1.0.chm"},
         false, false, 0},
        {"workbook held open", L"app", L"", {L"app\\Ferrolin 1.0.chm"}, true, false, 3},
        {"workbook read-only", L"app", L"", {L"app\\Ferrolin 1.0.chm"}, false, true, 3},
    };
    const std::vector<std::wstring> folders = {L"app", pad, L"pad", L"  pad", L"pad  ", L"v11"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::CleanRecord clean;
        const auto end = uidriver::EndScenarioOnExit();
        Scratch s(L"ufr10");
        for (const std::wstring& f : folders) {
            PutAddin(s[f], kProductTitle10);
            PutAddin(s[f], kProductTitle);
        }
        PutAddin(s.temp.path(), kProductTitle10);
        // The record of version 1.1 points at files of version 1.0: UFR10 never reads it.
        WriteDir(ferrolin::kRecordKey, s[L"v11"]);
        if (c.dir10) {
            const std::wstring dir10 = c.dir10;
            WriteDir(ferrolin::kRecordKey10, dir10 == pad ? dir10 : s[dir10]);
        }
        ferrolin::unique_handle held;
        if (c.hold_workbook) held = HoldOpen(s[L"app\\Ferrolin 1.0.xla"]);
        if (c.read_only_workbook) SetFileAttributesW(Exact(s[L"app\\Ferrolin 1.0.xla"]).c_str(), FILE_ATTRIBUTE_READONLY);

        uidriver::Process run = uidriver::Start(kUfr10, L"", s[c.cwd]);
        if (c.exit_code == 3) ExpectFileLeft(run, s[L"app\\Ferrolin 1.0.xla"], L"UFR10");
        EXPECT_EQ(run.WaitForExit(kWaitRunMs), c.exit_code);
        held.reset();

        std::vector<Expected> expected;
        std::vector<std::wstring> all;
        for (const std::wstring& f : folders)
            for (const wchar_t* file : {L"\\Ferrolin 1.0.xla", L"\\Ferrolin 1.0.chm", L"\\Ferrolin 1.1.xla",
                                        L"\\Ferrolin 1.1.chm"})
                all.push_back(f + file);
        all.push_back(L"Ferrolin 1.0.xla");
        all.push_back(L"Ferrolin 1.0.chm");
        for (const std::wstring& file : all) {
            bool gone = false;
            for (const wchar_t* g : c.gone) gone = gone || file == g;
            expected.push_back({s[file], !gone});
        }
        CheckFiles(c.name, expected);
    }
}
