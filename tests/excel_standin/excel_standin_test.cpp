// The Excel stand-in against a real client: creation through COM, the add-in list and its
// registry persistence, workbooks, the main window, the ends of an instance, the knobs, the
// call log and hyperlinks followed through the shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "excel_standin.h"
#include "handles.h"
#include "standin_client.h"
#include "test_support.h"

using ferrolin::com_ptr;
using testing_support::JoinLines;
using testing_support::LogLines;
using testing_support::Narrow;
using namespace standin_test;

namespace {

const DWORD kExitWaitMs = 10000;

// Lets go of what a client holds: an object, or the value of a call's outcome.
void Release(ferrolin::com_ptr<IDispatch>& object) { object.reset(); }
void Release(Outcome& outcome) { outcome = Outcome(); }

template <class... Held>
void ReleaseAll(Held&... held) {
    (Release(held), ...);
}

// Quit as a client does it: the call, then every reference let go. Like Excel, the
// instance ends only at its last release.
template <class... Held>
bool QuitAndRelease(ferrolin::com_ptr<IDispatch>& app, Held&... held) {
    const bool quit = Invoke(app.get(), L"Quit", DISPATCH_METHOD).ok();
    ReleaseAll(held..., app);
    return quit;
}

// The file is held open without delete sharing, as Excel holds a loaded add-in.
bool FileHeld(const std::wstring& file) {
    const ferrolin::unique_handle probe = ferrolin::adopt_file(
        CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool WaitForLine(const std::wstring& file, const std::wstring& line, DWORD milliseconds) {
    return testing_support::WaitUntil(
        [&] {
            for (const std::wstring& seen : LogLines(file))
                if (seen == line) return true;
            return false;
        },
        milliseconds);
}

class ExcelStandIn : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registered_ = ExitCodeOf(ProgramBeside(L"excel_standin.exe"), L"/RegServer", 30000, &registration_) == 0;
    }
    static void TearDownTestSuite() { ExitCodeOf(ProgramBeside(L"excel_standin.exe"), L"/UnregServer"); }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment_.result()));
        ASSERT_TRUE(registered_) << registration_;
    }

    // Ends an instance a test left behind, so that no stand-in outlives the test.
    void Watch(DWORD processId) { watched_.push_back(processId); }
    // A new instance, created as a client creates Excel and watched; its process in *id.
    com_ptr<IDispatch> StartInstance(DWORD* id) {
        com_ptr<IDispatch> app = CreateByClsid(excel_standin::kClsidApplication);
        *id = app ? ServerProcessId(app.get()) : 0;
        if (*id) Watch(*id);
        return app;
    }
    void TearDown() override {
        for (DWORD processId : watched_) {
            if (WaitForExit(processId, 0)) continue;
            ADD_FAILURE() << "stand-in " << processId << " still running at the end of the test";
            if (const ferrolin::unique_handle process{OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId)}) {
                TerminateProcess(process.get(), 1);
                WaitForSingleObject(process.get(), 5000);
            }
        }
    }

    static inline bool registered_ = false;
    static inline std::string registration_;
    ferrolin::com_apartment apartment_;
    std::vector<DWORD> watched_;
};

TEST_F(ExcelStandIn, RegistersExcelClassesAndProgIds) {
    const std::wstring server = ProgramBeside(L"excel_standin.exe");
    const std::wstring application = std::wstring(L"CLSID\\") + excel_standin::kApplicationClsid;
    const std::wstring global = std::wstring(L"CLSID\\") + excel_standin::kGlobalClsid;
    struct Case {
        std::wstring key;
        std::wstring expected;
    } cases[] = {
        {application + L"\\LocalServer32", server},
        {application + L"\\ProgID", L"Excel.Application.16"},
        {application + L"\\VersionIndependentProgID", L"Excel.Application"},
        {global + L"\\LocalServer32", server},
        {L"Excel.Application\\CLSID", excel_standin::kApplicationClsid},
        {L"Excel.Application\\CurVer", L"Excel.Application.16"},
        {L"Excel.Application.16\\CLSID", excel_standin::kApplicationClsid},
    };
    for (const Case& c : cases) {
        auto seen = testing_support::ReadRaw(HKEY_CLASSES_ROOT, c.key, L"");
        EXPECT_TRUE(seen.present && seen.type == REG_SZ) << Narrow(c.key);
        EXPECT_EQ(Narrow(c.expected), Narrow(seen.text())) << Narrow(c.key);
        auto user = testing_support::ReadRaw(HKEY_CURRENT_USER, L"Software\\Classes\\" + c.key, L"");
        EXPECT_EQ(Narrow(c.expected), Narrow(user.text())) << "HKCU " << Narrow(c.key);
    }

    ASSERT_EQ(0, ExitCodeOf(server, L"/UnregServer"));
    for (const Case& c : cases) {
        EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, c.key)) << "after /UnregServer: " << Narrow(c.key);
        EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + c.key))
            << "after /UnregServer: HKCU " << Narrow(c.key);
    }
    HRESULT hr = S_OK;
    EXPECT_FALSE(CreateByProgId(L"Excel.Application", &hr)) << "created after /UnregServer";

    ASSERT_EQ(0, ExitCodeOf(server, L"/RegServer"));
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CLASSES_ROOT, cases[0].key)) << "after a second /RegServer";

    // As Excel gives them: LibraryPath is Office's own LIBRARY folder, which the
    // registration made as Office's installer does; UserLibraryPath the user's add-in folder,
    // with its closing backslash.
    wchar_t programFiles[MAX_PATH] = L"", appData[MAX_PATH] = L"";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles)));
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const std::wstring library = std::wstring(programFiles) + L"\\Microsoft Office\\root\\Office16\\LIBRARY";
    const DWORD attributes = GetFileAttributesW(library.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << Narrow(library) << " not made";
    Knobs knobs;
    com_ptr<IDispatch> excel = CreateByProgId(L"Excel.Application", &hr);
    ASSERT_TRUE(excel) << std::hex << hr;
    const DWORD instance = ServerProcessId(excel.get());
    Watch(instance);
    EXPECT_EQ(Narrow(library), Narrow(Get(excel.get(), L"LibraryPath").text()));
    EXPECT_EQ(Narrow(appData) + "\\Microsoft\\AddIns\\", Narrow(Get(excel.get(), L"UserLibraryPath").text()));
    excel.reset();
    EXPECT_TRUE(WaitForExit(instance, 10000)) << "the instance outlived its last release";
}

TEST_F(ExcelStandIn, EveryCreationStartsAnInstanceThatEndsAtItsLastRelease) {
    testing_support::TempDir dir(L"standin_create");
    const std::wstring log = dir.file(L"calls.log");
    Knobs knobs;
    knobs.text(excel_standin::kKnobVersion, L"11.0")
        .text(excel_standin::kKnobLibraryPath, L"C:\\Lib Path\\AddIns")
        .number(excel_standin::kKnobLog, 1)
        .text(excel_standin::kKnobLogFile, log);

    struct Case {
        const char* name;
        com_ptr<IDispatch> created;
        com_ptr<IDispatch> application;
        const wchar_t* creation;
        DWORD processId = 0;
    } cases[] = {
        {"by class identifier", CreateByClsid(excel_standin::kClsidApplication), nullptr, L"Create Application"},
        {"by program identifier", CreateByProgId(L"Excel.Application"), nullptr, L"Create Application"},
        {"global object", CreateByClsid(excel_standin::kClsidGlobal), nullptr, L"Create Global"},
    };
    cases[0].application = cases[0].created;
    cases[1].application = cases[1].created;
    cases[2].application = GetObject(cases[2].created.get(), L"Application");
    for (Case& c : cases) {
        ASSERT_TRUE(c.created) << c.name;
        ASSERT_TRUE(c.application) << c.name << ": no Application";
        c.processId = ServerProcessId(c.application.get());
        ASSERT_NE(0u, c.processId) << c.name;
        Watch(c.processId);
        EXPECT_EQ("11.0", Narrow(Get(c.application.get(), L"Version").text())) << c.name;
        EXPECT_EQ("11.0", Narrow(Get(c.application.get(), L"VERSION").text())) << c.name << ": case of the name";
        EXPECT_EQ("C:\\Lib Path\\AddIns", Narrow(Get(c.application.get(), L"LibraryPath").text())) << c.name;
        auto self = GetObject(c.application.get(), L"Application");
        EXPECT_EQ(c.processId, ServerProcessId(self.get())) << c.name << ": Application of the application";
    }
    EXPECT_NE(cases[0].processId, cases[1].processId);
    EXPECT_NE(cases[0].processId, cases[2].processId);
    EXPECT_NE(cases[1].processId, cases[2].processId);

    for (Case& c : cases) {
        ReleaseAll(c.application, c.created);
        EXPECT_TRUE(WaitForExit(c.processId, kExitWaitMs)) << c.name << ": still running after the last release";
        auto lines = LinesOf(Events(log), c.processId);
        ASSERT_GE(lines.size(), 3u) << c.name << JoinLines(lines);
        // A server COM starts runs as its launching client, with the client's rights.
        EXPECT_EQ("Start " + Narrow(excel_standin::RightsOf(GetCurrentProcess())), Narrow(lines.front())) << c.name;
        EXPECT_EQ(Narrow(c.creation), Narrow(lines[1])) << c.name;
        EXPECT_EQ("End Released", Narrow(lines.back())) << c.name << JoinLines(lines);
    }
}

// Tests of Excel's add-in list: the list in the registry cleared before and after, and a
// folder of their own with the add-in workbook.
class AddInList : public ExcelStandIn {
protected:
    CleanAddInList clean_;
    testing_support::TempDir dir_{L"standin_addins"};
    const std::wstring file_ = dir_.file(L"Ferrolin 1.1.xla");
    const std::wstring options_ = excel_standin::ExcelKey(excel_standin::kOptionsSubkey);
    const std::wstring manager_ = excel_standin::ExcelKey(excel_standin::kAddinManagerSubkey);
    void SetUp() override {
        ExcelStandIn::SetUp();
        testing_support::WriteFileBytes(file_, "add-in workbook");
    }
};

// An instance with the add-in listed and installed; the list is written when it ends.
TEST_F(AddInList, AddedAndInstalledIsWrittenAtTheEnd) {
    {
        DWORD id = 0;
        auto app = StartInstance(&id);
        ASSERT_TRUE(app);
        auto addins = GetObject(app.get(), L"AddIns");
        auto workbooks = GetObject(app.get(), L"Workbooks");
        ASSERT_TRUE(addins && workbooks);

        Outcome noBook = Invoke(addins.get(), excel_standin::kDispidAdd, DISPATCH_METHOD, CallArgs().text(file_));
        EXPECT_EQ(DISP_E_EXCEPTION, noBook.hr) << "AddIns.Add with no workbook open: " << noBook.describe();
        EXPECT_EQ(1004, noBook.number);
        ASSERT_TRUE(Invoke(workbooks.get(), excel_standin::kDispidAdd, DISPATCH_METHOD).ok());
        Outcome missing = Invoke(addins.get(), excel_standin::kDispidAdd, DISPATCH_METHOD,
                                 CallArgs().text(dir_.file(L"Nothing here.xla")));
        EXPECT_EQ(DISP_E_EXCEPTION, missing.hr) << "AddIns.Add of a missing file: " << missing.describe();
        EXPECT_EQ(1004, missing.number);

        Outcome added = Invoke(addins.get(), excel_standin::kDispidAdd, DISPATCH_METHOD, CallArgs().text(file_));
        ASSERT_TRUE(added.ok()) << "AddIns.Add: " << added.describe();
        struct Property {
            const wchar_t* name;
            std::wstring expected;
        } properties[] = {
            {L"Title", L"Ferrolin 1.1"}, {L"Name", L"Ferrolin 1.1.xla"}, {L"FullName", file_}, {L"Path", dir_.path()}};
        for (const Property& p : properties)
            EXPECT_EQ(Narrow(p.expected), Narrow(Get(added.object().get(), p.name).text())) << Narrow(p.name);
        EXPECT_EQ(1, Get(addins.get(), L"Count").number_value());

        struct Lookup {
            const char* name;
            CallArgs args;
            bool found;
        } lookups[] = {
            {"title", CallArgs().text(L"Ferrolin 1.1"), true},
            {"title in other case", CallArgs().text(L"FERROLIN 1.1"), true},
            {"index 1", CallArgs().number(1), true},
            {"index 2", CallArgs().number(2), false},
            {"other title", CallArgs().text(L"Ferrolin 1.0"), false},
        };
        for (Lookup& l : lookups) {
            Outcome item = Invoke(addins.get(), excel_standin::kDispidDefault, kGet, std::move(l.args));
            if (l.found) {
                EXPECT_TRUE(item.ok() && item.object()) << "AddIns(" << l.name << "): " << item.describe();
            } else {
                EXPECT_EQ(DISP_E_EXCEPTION, item.hr) << "AddIns(" << l.name << ")";
                EXPECT_EQ(9, item.number) << "AddIns(" << l.name << ")";
            }
        }

        // Installed := True: the workbook open, the file held without delete sharing.
        auto addin =
            Invoke(addins.get(), excel_standin::kDispidDefault, kGet, CallArgs().text(L"Ferrolin 1.1")).object();
        Outcome install = PutId(addin.get(), excel_standin::kDispidInstalled, CallArgs().boolean(true));
        ASSERT_TRUE(install.ok()) << "Installed := True: " << install.describe();
        EXPECT_TRUE(Get(addin.get(), L"Installed").boolean());
        Outcome book =
            Invoke(workbooks.get(), excel_standin::kDispidDefault, kGet, CallArgs().text(L"Ferrolin 1.1.xla"));
        EXPECT_TRUE(book.ok()) << "Workbooks(\"Ferrolin 1.1.xla\"): " << book.describe();
        EXPECT_EQ("Ferrolin 1.1.xla", Narrow(Get(book.object().get(), L"Name").text()));
        EXPECT_EQ(1, Get(workbooks.get(), L"Count").number_value()) << "add-in workbooks are not counted";
        EXPECT_TRUE(FileHeld(file_)) << "the installed add-in's file is not held";
        EXPECT_FALSE(testing_support::ReadRaw(HKEY_CURRENT_USER, options_, L"OPEN").present)
            << "the list was written while Excel runs";

        EXPECT_TRUE(Invoke(app.get(), L"Quit", DISPATCH_METHOD).ok());
        EXPECT_TRUE(testing_support::StaysTrue([&] { return IsRunning(id); }, 500))
            << "ended after Quit while a client still holds it";
        ReleaseAll(book, addin, added, addins, workbooks, app);
        EXPECT_TRUE(WaitForExit(id, kExitWaitMs)) << "still running after Quit and the last release";
    }
    EXPECT_FALSE(FileHeld(file_)) << "the file is held after Excel ended";
    EXPECT_EQ("/R \"" + Narrow(file_) + "\"",
              Narrow(testing_support::ReadRaw(HKEY_CURRENT_USER, options_, L"OPEN").text()));
    EXPECT_FALSE(testing_support::ReadRaw(HKEY_CURRENT_USER, manager_, file_).present);
}

// The list as an earlier instance wrote it. A new instance, started through automation,
// lists the add-in as installed but loads no add-in; setting Installed to True again
// changes nothing, False then True loads it; False takes it off the list for the Add-in
// Manager, and the next instance has it listed but not installed.
TEST_F(AddInList, InstalledFalseMovesItToTheAddInManager) {
    ASSERT_TRUE(testing_support::WriteRaw(HKEY_CURRENT_USER, options_, L"OPEN", REG_SZ,
                                          testing_support::Sz(L"/R \"" + file_ + L"\"")));
    {
        DWORD id = 0;
        auto app = StartInstance(&id);
        ASSERT_TRUE(app);
        auto addin = GetObject(GetObject(app.get(), L"AddIns").get(), L"Item", CallArgs().text(L"Ferrolin 1.1"));
        auto workbooks = GetObject(app.get(), L"Workbooks");
        const auto loaded = [&] {
            return Invoke(workbooks.get(), excel_standin::kDispidDefault, kGet, CallArgs().text(L"Ferrolin 1.1.xla"))
                .ok();
        };
        EXPECT_TRUE(Get(addin.get(), L"Installed").boolean()) << "listed as installed";
        EXPECT_FALSE(loaded()) << "loaded at start";
        EXPECT_FALSE(FileHeld(file_));
        ASSERT_TRUE(PutId(addin.get(), excel_standin::kDispidInstalled, CallArgs().boolean(true)).ok());
        EXPECT_FALSE(loaded()) << "Installed := True on an installed add-in loaded it";
        ASSERT_TRUE(PutId(addin.get(), excel_standin::kDispidInstalled, CallArgs().boolean(false)).ok());
        ASSERT_TRUE(PutId(addin.get(), excel_standin::kDispidInstalled, CallArgs().boolean(true)).ok());
        EXPECT_TRUE(loaded()) << "False then True";
        EXPECT_TRUE(FileHeld(file_));

        // Installed := False: workbook closed, file released; the Add-in Manager lists it.
        ASSERT_TRUE(PutId(addin.get(), excel_standin::kDispidInstalled, CallArgs().boolean(false)).ok());
        Outcome gone =
            Invoke(workbooks.get(), excel_standin::kDispidDefault, kGet, CallArgs().text(L"Ferrolin 1.1.xla"));
        EXPECT_EQ(DISP_E_EXCEPTION, gone.hr);
        EXPECT_EQ(9, gone.number);
        EXPECT_FALSE(FileHeld(file_));
        EXPECT_TRUE(QuitAndRelease(app, addin, workbooks));
        EXPECT_TRUE(WaitForExit(id, kExitWaitMs));
    }
    EXPECT_FALSE(testing_support::ReadRaw(HKEY_CURRENT_USER, options_, L"OPEN").present);
    EXPECT_TRUE(testing_support::ReadRaw(HKEY_CURRENT_USER, manager_, file_).present);

    {
        DWORD thirdId = 0;
        auto third = StartInstance(&thirdId);
        ASSERT_TRUE(third);
        auto thirdAddins = GetObject(third.get(), L"AddIns");
        EXPECT_EQ(1, Get(thirdAddins.get(), L"Count").number_value());
        auto thirdAddin = GetObject(thirdAddins.get(), L"Item", CallArgs().number(1));
        EXPECT_EQ(Narrow(file_), Narrow(Get(thirdAddin.get(), L"FullName").text()));
        EXPECT_FALSE(Get(thirdAddin.get(), L"Installed").boolean());
        EXPECT_FALSE(Get(GetObject(third.get(), L"Workbooks").get(), L"Item", CallArgs().text(L"Ferrolin 1.1.xla")).ok());
        ReleaseAll(third, thirdAddins, thirdAddin);
        EXPECT_TRUE(WaitForExit(thirdId, kExitWaitMs));
    }
}

TEST_F(AddInList, StartLoadsTheAddInListFromTheRegistry) {
    for (const wchar_t* name : {L"Alpha.xla", L"Beta.xlam", L"Gamma.xla"})
        testing_support::WriteFileBytes(dir_.file(name), "workbook");
    using testing_support::Sz;
    using testing_support::WriteRaw;
    WriteRaw(HKEY_CURRENT_USER, options_, L"OPEN", REG_SZ, Sz(L"/R \"" + dir_.file(L"Alpha.xla") + L"\""));
    WriteRaw(HKEY_CURRENT_USER, options_, L"OPEN1", REG_SZ, Sz(L"/R \"" + dir_.file(L"Missing.xla") + L"\""));
    WriteRaw(HKEY_CURRENT_USER, options_, L"OPEN2", REG_SZ, Sz(L"\"" + dir_.file(L"Beta.xlam") + L"\""));
    WriteRaw(HKEY_CURRENT_USER, options_, L"Options", REG_DWORD, {0, 0, 0, 0});
    WriteRaw(HKEY_CURRENT_USER, manager_, dir_.file(L"Gamma.xla"), REG_SZ, Sz(L""));

    DWORD processId = 0;
    auto app = StartInstance(&processId);
    ASSERT_TRUE(app);
    auto addins = GetObject(app.get(), L"AddIns");
    auto workbooks = GetObject(app.get(), L"Workbooks");
    EXPECT_EQ(4, Get(addins.get(), L"Count").number_value());
    // Started through automation, it loads none of them: installed ones stay closed.
    struct Case {
        const wchar_t* title;
        const wchar_t* file;
        bool installed;
    } cases[] = {
        {L"Alpha", L"Alpha.xla", true},
        {L"Missing", L"Missing.xla", true},
        {L"Beta", L"Beta.xlam", true},
        {L"Gamma", L"Gamma.xla", false},
    };
    long index = 0;
    for (const Case& c : cases) {
        ++index;
        auto addin = GetObject(addins.get(), L"Item", CallArgs().number(index));
        EXPECT_EQ(Narrow(c.title), Narrow(Get(addin.get(), L"Title").text())) << "AddIns(" << index << ")";
        EXPECT_EQ(c.installed, Get(addin.get(), L"Installed").boolean()) << Narrow(c.title);
        EXPECT_FALSE(Get(workbooks.get(), L"Item", CallArgs().text(c.file)).ok()) << Narrow(c.title) << " open";
    }
    EXPECT_TRUE(QuitAndRelease(app, addins, workbooks));
    EXPECT_TRUE(WaitForExit(processId, kExitWaitMs));
    // Written back as it was read, the installed ones in their order.
    EXPECT_EQ(Narrow(L"/R \"" + dir_.file(L"Alpha.xla") + L"\""),
              Narrow(testing_support::ReadRaw(HKEY_CURRENT_USER, options_, L"OPEN").text()));
    EXPECT_TRUE(testing_support::ReadRaw(HKEY_CURRENT_USER, manager_, dir_.file(L"Gamma.xla")).present);
}

TEST_F(ExcelStandIn, WorkbooksSheetsAndRanges) {
    DWORD processId = 0;
    auto app = StartInstance(&processId);
    ASSERT_TRUE(app);
    HWND window = ServerWindow(app.get());
    auto workbooks = GetObject(app.get(), L"Workbooks");
    ASSERT_TRUE(workbooks);

    Outcome none = Invoke(workbooks.get(), excel_standin::kDispidDefault, kGet, CallArgs().text(L"Ferrolin 1.1.xla"));
    EXPECT_EQ(DISP_E_EXCEPTION, none.hr) << "Workbooks(name) with none open";
    EXPECT_EQ(9, none.number);
    EXPECT_EQ("Subscript out of range", Narrow(none.description));
    Outcome noActive = Get(app.get(), L"ActiveWorkbook");
    EXPECT_TRUE(noActive.ok() && noActive.value.vt() == VT_DISPATCH && !noActive.object()) << "Nothing expected";

    for (const char* expected : {"Book1", "Book2"}) {
        Outcome added = Invoke(workbooks.get(), excel_standin::kDispidAdd, DISPATCH_METHOD);
        ASSERT_TRUE(added.ok()) << added.describe();
        EXPECT_EQ(expected, Narrow(Get(added.object().get(), L"Name").text()));
    }
    EXPECT_EQ(2, Get(workbooks.get(), L"Count").number_value());
    EXPECT_EQ("Book2", Narrow(Get(GetObject(app.get(), L"ActiveWorkbook").get(), L"Name").text()));
    EXPECT_EQ("Book1", Narrow(Get(GetObject(workbooks.get(), L"Item", CallArgs().text(L"book1")).get(), L"Name").text()));
    wchar_t caption[128] = L"";
    GetWindowTextW(window, caption, 128);
    EXPECT_EQ("Microsoft Excel - Book2", Narrow(caption));

    auto book = GetObject(app.get(), L"ActiveWorkbook");
    auto sheets = GetObject(book.get(), L"Sheets");
    EXPECT_EQ(1, Get(sheets.get(), L"Count").number_value());
    Outcome sheet = Invoke(sheets.get(), excel_standin::kDispidAdd, DISPATCH_METHOD);
    ASSERT_TRUE(sheet.ok()) << "Sheets.Add: " << sheet.describe();
    EXPECT_EQ("Sheet2", Narrow(Get(sheet.object().get(), L"Name").text()));
    EXPECT_EQ("Sheet2", Narrow(Get(GetObject(book.get(), L"ActiveSheet").get(), L"Name").text()));

    auto range = GetObject(sheet.object().get(), L"Range", CallArgs().text(L"A1"));
    ASSERT_TRUE(range);
    EXPECT_EQ(VT_EMPTY, Get(range.get(), L"value").value.vt()) << "an empty cell";
    ASSERT_TRUE(Put(range.get(), L"value", CallArgs().text(L"support@example.com")).ok());
    EXPECT_EQ("support@example.com", Narrow(Get(range.get(), L"Value").text()));
    EXPECT_EQ("support@example.com", Narrow(Invoke(range.get(), excel_standin::kDispidDefault, kGet).text()));
    EXPECT_EQ("$A$1", Narrow(Get(range.get(), L"Address").text()));
    auto again = GetObject(sheet.object().get(), L"Range", CallArgs().text(L"a1"));
    EXPECT_EQ("support@example.com", Narrow(Get(again.get(), L"Value").text())) << "the same cell";

    struct Unknown {
        IDispatch* object;
        const wchar_t* name;
    } unknowns[] = {{app.get(), L"Calculate"}, {workbooks.get(), L"Open"}, {range.get(), L"Formula"}};
    for (const Unknown& u : unknowns)
        EXPECT_EQ(DISP_E_UNKNOWNNAME, Get(u.object, u.name).hr) << Narrow(u.name);

    // Arguments given to a property without parameters go to its result's default member,
    // as VB passes them in Workbooks("name") or Hyperlinks(1).
    struct PassedOn {
        const char* name;
        IDispatch* object;
        const wchar_t* property;
        CallArgs args;
        const char* expected;   // name of the item, or nullptr when it fails with error 9
    } passedOn[] = {
        {"Workbooks(\"BOOK1\")", app.get(), L"Workbooks", CallArgs().text(L"BOOK1"), "Book1"},
        {"Workbooks(2)", app.get(), L"Workbooks", CallArgs().number(2), "Book2"},
        {"Workbooks(\"Ferrolin 1.1.xla\")", app.get(), L"Workbooks", CallArgs().text(L"Ferrolin 1.1.xla"), nullptr},
        {"Sheets(1)", book.get(), L"Sheets", CallArgs().number(1), "Sheet1"},
        {"Sheets(3)", book.get(), L"Sheets", CallArgs().number(3), nullptr},
    };
    for (PassedOn& p : passedOn) {
        Outcome item = Get(p.object, p.property, std::move(p.args));
        if (p.expected) {
            EXPECT_EQ(p.expected, Narrow(Get(item.object().get(), L"Name").text())) << p.name << ": " << item.describe();
        } else {
            EXPECT_EQ(DISP_E_EXCEPTION, item.hr) << p.name;
            EXPECT_EQ(9, item.number) << p.name;
        }
    }
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Invoke(app.get(), L"Quit", DISPATCH_METHOD, CallArgs().number(1)).hr)
        << "Quit with an argument";
    EXPECT_TRUE(Get(app.get(), L"Version").ok()) << "Quit with an argument quit";

    ASSERT_TRUE(Invoke(book.get(), L"Close", DISPATCH_METHOD).ok());
    EXPECT_EQ(1, Get(workbooks.get(), L"Count").number_value());
    EXPECT_EQ("Book1", Narrow(Get(GetObject(app.get(), L"ActiveWorkbook").get(), L"Name").text()));
    EXPECT_EQ(RPC_E_DISCONNECTED, Get(book.get(), L"Name").hr) << "a closed workbook";
    EXPECT_EQ(RPC_E_DISCONNECTED, Get(range.get(), L"Value").hr) << "a cell of a closed workbook";

    EXPECT_TRUE(QuitAndRelease(app, again, range, sheet, sheets, book, noActive, none, workbooks));
    EXPECT_TRUE(WaitForExit(processId, kExitWaitMs));
}

TEST_F(ExcelStandIn, MainWindowFollowsVisibleAndWindowState) {
    DWORD processId = 0;
    auto app = StartInstance(&processId);
    ASSERT_TRUE(app);
    HWND window = ServerWindow(app.get());
    ASSERT_TRUE(IsWindow(window));
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    EXPECT_EQ("XLMAIN", Narrow(className));
    EXPECT_EQ(nullptr, GetParent(window));

    struct Step {
        const char* name;
        const wchar_t* property;
        CallArgs value;
        bool visible;
        long state;
    } steps[] = {
        {"start", nullptr, {}, false, excel_standin::xlNormal},
        {"minimised while hidden", L"WindowState", CallArgs().number(excel_standin::xlMinimized), false,
         excel_standin::xlMinimized},
        {"shown", L"Visible", CallArgs().boolean(true), true, excel_standin::xlMinimized},
        {"maximised", L"WindowState", CallArgs().number(excel_standin::xlMaximized), true, excel_standin::xlMaximized},
        {"normal", L"WindowState", CallArgs().number(excel_standin::xlNormal), true, excel_standin::xlNormal},
        {"minimised", L"WindowState", CallArgs().number(excel_standin::xlMinimized), true, excel_standin::xlMinimized},
        {"hidden", L"Visible", CallArgs().boolean(false), false, excel_standin::xlMinimized},
        {"shown again, maximised", L"WindowState", CallArgs().number(excel_standin::xlMaximized), false,
         excel_standin::xlMaximized},
        {"visible", L"Visible", CallArgs().boolean(true), true, excel_standin::xlMaximized},
    };
    for (Step& s : steps) {
        if (s.property) {
            Outcome set = Put(app.get(), s.property, std::move(s.value));
            ASSERT_TRUE(set.ok()) << s.name << ": " << set.describe();
        }
        EXPECT_EQ(s.visible, IsWindowVisible(window) != FALSE) << s.name;
        EXPECT_EQ(s.visible, Get(app.get(), L"Visible").boolean()) << s.name;
        EXPECT_EQ(s.state, Get(app.get(), L"WindowState").number_value()) << s.name;
        if (s.visible) {
            EXPECT_EQ(s.state == excel_standin::xlMinimized, IsIconic(window) != FALSE) << s.name;
            EXPECT_EQ(s.state == excel_standin::xlMaximized, IsZoomed(window) != FALSE) << s.name;
        }
    }
    Outcome bad = Put(app.get(), L"WindowState", CallArgs().number(3));
    EXPECT_EQ(DISP_E_EXCEPTION, bad.hr);
    EXPECT_EQ(1004, bad.number);

    // A visible instance stays when its clients are gone, until its window is closed.
    app.reset();
    EXPECT_FALSE(WaitForExit(processId, 1500)) << "a visible instance ended at its last release";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForExit(processId, kExitWaitMs)) << "still running after WM_CLOSE";
}

TEST_F(ExcelStandIn, QuitAndIdleEndTheInstance) {
    Knobs knobs;
    knobs.number(excel_standin::kKnobIdleSeconds, 2);
    auto quitting = CreateByClsid(excel_standin::kClsidApplication);
    auto idle = CreateByClsid(excel_standin::kClsidApplication);
    ASSERT_TRUE(quitting && idle);
    DWORD quittingId = ServerProcessId(quitting.get());
    DWORD idleId = ServerProcessId(idle.get());
    Watch(quittingId);
    Watch(idleId);
    ASSERT_TRUE(Put(quitting.get(), L"Visible", CallArgs().boolean(true)).ok());

    // Quit ends even a visible instance whose client still holds it, after answering.
    Outcome quit = Invoke(quitting.get(), L"Quit", DISPATCH_METHOD);
    EXPECT_EQ(S_OK, quit.hr) << quit.describe();
    EXPECT_TRUE(WaitForExit(quittingId, kExitWaitMs)) << "still running after Quit";
    EXPECT_FALSE(Get(quitting.get(), L"Version").ok()) << "answered after Quit";

    // An invisible instance whose client holds it without calling ends after IdleSeconds.
    EXPECT_TRUE(WaitForExit(idleId, kExitWaitMs)) << "still running after the idle time";
    EXPECT_FALSE(Get(idle.get(), L"Version").ok()) << "answered after the idle end";
}

TEST_F(AddInList, KnobsMakeMembersFailAndInstallWithoutOpening) {
    {
        Knobs knobs;
        knobs.text(excel_standin::kKnobFailMember, L"Sheets.Add; Installed");
        DWORD processId = 0;
        auto app = StartInstance(&processId);
        ASSERT_TRUE(app);
        auto workbooks = GetObject(app.get(), L"Workbooks");
        ASSERT_TRUE(Invoke(workbooks.get(), excel_standin::kDispidAdd, DISPATCH_METHOD).ok());
        auto sheets = GetObject(app.get(), L"Sheets");
        auto addins = GetObject(app.get(), L"AddIns");
        Outcome added = Invoke(addins.get(), excel_standin::kDispidAdd, DISPATCH_METHOD, CallArgs().text(file_));
        ASSERT_TRUE(added.ok()) << "AddIns.Add is not listed: " << added.describe();
        struct Case {
            const char* name;
            Outcome outcome;
            bool fails;
            const char* description;
        } cases[] = {
            {"Sheets.Add", Invoke(sheets.get(), excel_standin::kDispidAdd, DISPATCH_METHOD), true,
             "Add method of Sheets class failed"},
            {"Installed put", PutId(added.object().get(), excel_standin::kDispidInstalled, CallArgs().boolean(true)),
             true, "Unable to set the Installed property of the AddIn class"},
            {"Installed get", Get(added.object().get(), L"Installed"), true,
             "Unable to get the Installed property of the AddIn class"},
            {"Workbooks.Count", Get(workbooks.get(), L"Count"), false, ""},
            {"AddIn.Title", Get(added.object().get(), L"Title"), false, ""},
        };
        for (const Case& c : cases) {
            if (!c.fails) {
                EXPECT_TRUE(c.outcome.ok()) << c.name << ": " << c.outcome.describe();
                continue;
            }
            EXPECT_EQ(DISP_E_EXCEPTION, c.outcome.hr) << c.name;
            EXPECT_EQ(1004, c.outcome.number) << c.name;
            EXPECT_EQ(c.description, Narrow(c.outcome.description)) << c.name;
        }
        EXPECT_TRUE(QuitAndRelease(app, added, addins, sheets, workbooks));
        EXPECT_TRUE(WaitForExit(processId, kExitWaitMs));
        EXPECT_FALSE(testing_support::ReadRaw(HKEY_CURRENT_USER, options_, L"OPEN").present);
    }
    {
        Knobs knobs;
        knobs.number(excel_standin::kKnobInstallOpensWorkbook, 0);
        DWORD processId = 0;
        auto app = StartInstance(&processId);
        ASSERT_TRUE(app);
        auto addin = GetObject(GetObject(app.get(), L"AddIns").get(), L"Item", CallArgs().text(L"Ferrolin 1.1"));
        ASSERT_TRUE(addin) << "listed by the first instance";
        ASSERT_TRUE(PutId(addin.get(), excel_standin::kDispidInstalled, CallArgs().boolean(true)).ok());
        EXPECT_TRUE(Get(addin.get(), L"Installed").boolean());
        Outcome book = Get(GetObject(app.get(), L"Workbooks").get(), L"Item", CallArgs().text(L"Ferrolin 1.1.xla"));
        EXPECT_EQ(9, book.number) << "the workbook opened: " << book.describe();
        const ferrolin::unique_handle probe = ferrolin::adopt_file(
            CreateFileW(file_.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(probe) << "file held, error " << GetLastError();
        EXPECT_TRUE(QuitAndRelease(app, book, addin));
        EXPECT_TRUE(WaitForExit(processId, kExitWaitMs));
        EXPECT_TRUE(testing_support::ReadRaw(HKEY_CURRENT_USER, options_, L"OPEN").present)
            << "installed, as written when Excel ended";
    }
}

TEST_F(ExcelStandIn, CallLogRecordsTheSequenceOfCalls) {
    CleanAddInList clean;
    testing_support::TempDir dir(L"standin_log");
    const std::wstring log = dir.file(L"calls.log");
    Knobs knobs;
    knobs.number(excel_standin::kKnobLog, 1).text(excel_standin::kKnobLogFile, log);

    DWORD processId = 0;
    auto app = StartInstance(&processId);
    ASSERT_TRUE(app);
    {
        auto workbooks = GetObject(app.get(), L"Workbooks");
        Invoke(workbooks.get(), excel_standin::kDispidAdd, DISPATCH_METHOD);
        auto sheets = GetObject(GetObject(app.get(), L"ActiveWorkbook").get(), L"Sheets");
        Invoke(sheets.get(), excel_standin::kDispidAdd, DISPATCH_METHOD);
        Invoke(GetObject(app.get(), L"ActiveWorkbook").get(), L"Close", DISPATCH_METHOD);
        Invoke(workbooks.get(), excel_standin::kDispidAdd, DISPATCH_METHOD);
        auto addins = GetObject(app.get(), L"AddIns");
        Invoke(addins.get(), excel_standin::kDispidDefault, kGet, CallArgs().text(L"Ferrolin 1.1"));
        Put(app.get(), L"WindowState", CallArgs().number(excel_standin::xlMinimized));
        Put(app.get(), L"DisplayAlerts", CallArgs().boolean(false));
        auto book = GetObject(app.get(), L"ActiveWorkbook");
        Invoke(book.get(), L"Close", DISPATCH_METHOD);
        Invoke(book.get(), L"Close", DISPATCH_METHOD);
        Invoke(app.get(), L"Quit", DISPATCH_METHOD);
    }
    app.reset();
    EXPECT_TRUE(WaitForExit(processId, kExitWaitMs));
    const std::wstring started = std::wstring(L"Start ") + excel_standin::RightsOf(GetCurrentProcess());
    const wchar_t* expected[] = {
        started.c_str(),  // the launching client's rights
        L"Create Application",
        L"Application.Hwnd",
        L"Application.Workbooks",
        L"Workbooks.Add",
        L"Application.ActiveWorkbook",
        L"Workbook.Sheets",
        L"Sheets.Add",
        L"Application.ActiveWorkbook",
        L"Prompt \"Do you want to save the changes you made to 'Book1'?\"",
        L"Workbook.Close",
        L"Workbooks.Add",
        L"Application.AddIns",
        L"AddIns(\"Ferrolin 1.1\") -> Error 9",
        L"Application.WindowState=-4140",
        L"Application.DisplayAlerts=False",
        L"Application.ActiveWorkbook",
        L"Workbook.Close",
        L"Workbook.Close -> Error 0x80010108",
        L"Application.Quit",
        L"End Quit",
    };
    auto lines = LinesOf(Events(log), processId);
    ASSERT_EQ(sizeof expected / sizeof expected[0], lines.size()) << JoinLines(lines);
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Narrow(expected[i]), Narrow(lines[i])) << "line " << i + 1;
}

TEST_F(ExcelStandIn, HyperlinkFollowOpensTheAddressThroughTheShell) {
    testing_support::TempDir dir(L"standin_links");
    const std::wstring urls = dir.file(L"urls.log");
    const std::wstring recorder = ProgramBeside(L"url_recorder.exe");
    const std::wstring mailCommand = L"mailto\\shell\\open\\command";
    const std::wstring previous = testing_support::ReadRaw(HKEY_CLASSES_ROOT, mailCommand, L"").text();
    ASSERT_EQ(0, ExitCodeOf(recorder, L"/Register \"" + urls + L"\""));
    EXPECT_EQ(Narrow(L"\"" + recorder + L"\" /Log \"" + urls + L"\" \"%1\""),
              Narrow(testing_support::ReadRaw(HKEY_CLASSES_ROOT, mailCommand, L"").text()));
    const auto unregister = ferrolin::on_scope_exit([&] { ExitCodeOf(recorder, L"/Unregister"); });

    auto app = CreateByProgId(L"Excel.Application");
    ASSERT_TRUE(app);
    DWORD processId = ServerProcessId(app.get());
    Watch(processId);
    auto book = Invoke(GetObject(app.get(), L"Workbooks").get(), excel_standin::kDispidAdd, DISPATCH_METHOD).object();
    auto sheet = Invoke(GetObject(book.get(), L"Sheets").get(), excel_standin::kDispidAdd, DISPATCH_METHOD).object();
    ASSERT_TRUE(sheet);
    auto range = GetObject(sheet.get(), L"Range", CallArgs().text(L"A1"));
    ASSERT_TRUE(Put(range.get(), L"value", CallArgs().text(L"someone@example.com")).ok());
    auto hyperlinks = GetObject(sheet.get(), L"Hyperlinks");

    struct Case {
        const char* name;
        std::wstring address;
        bool opens;
    } cases[] = {
        {"mailto", L"mailto:someone@example.com", true},
        {"http", L"http://www.example.com/ferrolin", true},
        {"unknown protocol", L"nosuchprotocol:abc", false},
    };
    long index = 0;
    for (const Case& c : cases) {
        Outcome added = Invoke(hyperlinks.get(), excel_standin::kDispidAdd, DISPATCH_METHOD,
                               CallArgs().object(range.get()).text(c.address).text(L"someone@example.com"));
        ASSERT_TRUE(added.ok()) << c.name << ": Hyperlinks.Add " << added.describe();
        EXPECT_EQ(Narrow(c.address), Narrow(Get(added.object().get(), L"Address").text())) << c.name;
        auto link = Invoke(hyperlinks.get(), excel_standin::kDispidDefault, kGet, CallArgs().number(++index)).object();
        ASSERT_TRUE(link) << c.name << ": Hyperlinks(" << index << ")";
        Outcome followed = Invoke(link.get(), L"Follow", DISPATCH_METHOD, CallArgs().boolean(false).boolean(true));
        if (c.opens) {
            EXPECT_TRUE(followed.ok()) << c.name << ": " << followed.describe();
            EXPECT_TRUE(WaitForLine(urls, c.address, 10000)) << c.name << ": not recorded" << JoinLines(LogLines(urls));
        } else {
            EXPECT_EQ(DISP_E_EXCEPTION, followed.hr) << c.name;
            EXPECT_EQ(1004, followed.number) << c.name;
        }
    }
    EXPECT_EQ(3, Get(hyperlinks.get(), L"Count").number_value());

    // Without any mail program the shell cannot open a mailto: address.
    ASSERT_EQ(0, ExitCodeOf(recorder, L"/Remove"));
    auto first = Invoke(hyperlinks.get(), excel_standin::kDispidDefault, kGet, CallArgs().number(1)).object();
    Outcome noHandler = Invoke(first.get(), L"Follow", DISPATCH_METHOD, CallArgs().boolean(false).boolean(true));
    EXPECT_EQ(DISP_E_EXCEPTION, noHandler.hr) << "mailto without a handler: " << noHandler.describe();

    Put(app.get(), L"DisplayAlerts", CallArgs().boolean(false));
    EXPECT_TRUE(QuitAndRelease(app, first, hyperlinks, range, sheet, book));
    EXPECT_TRUE(WaitForExit(processId, kExitWaitMs));

    ASSERT_EQ(0, ExitCodeOf(recorder, L"/Unregister"));
    EXPECT_EQ(Narrow(previous), Narrow(testing_support::ReadRaw(HKEY_CLASSES_ROOT, mailCommand, L"").text()))
        << "the mail handler before /Register is back after /Unregister";
}

}  // namespace
