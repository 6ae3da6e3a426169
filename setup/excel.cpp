#include "excel.h"

#include <cwchar>

#include "automation.h"
#include "bitness.h"
#include "deploy.h"
#include "desktop_shell.h"
#include "file_system.h"
#include "frmEnd.h"
#include "frmWizard4.h"
#include "handles.h"
#include "install.h"
#include "install_record.h"
#include "names.h"
#include "program.h"
#include "run_state.h"
#include "vb_text.h"
#include "vb_variant.h"

namespace ferrolin {

namespace {

using automation::Arg;
using automation::Object;
using automation::Call;
using automation::Get;
using automation::GetObj;
using automation::Put;
using automation::kDispIdAdd;
using automation::kDispIdDefault;
using automation::kDispIdInstalled;

// An Excel application variable declared "As New": the instance is started when a
// statement needs it and none is held, so after a release the next use starts a fresh one.
class ExcelOnFirstUse {
public:
    const Object& operator()() {
        if (!application_) application_ = automation::CreateObject(kClsidExcelApplication, &process_);
        return application_;
    }
    void Release() noexcept { application_.reset(); }
    // The process of the instance last started (0 when none was seen to start).
    DWORD process() const noexcept { return process_; }

private:
    Object application_;
    DWORD process_ = 0;
};

// AddIns(title).Installed = installed
void SetInstalled(const Object& application, const std::wstring& title, bool installed) {
    Object addIn = GetObj(GetObj(application, L"AddIns"), kDispIdDefault, {title});
    Put(addIn, kDispIdInstalled, installed);
}

// DisplayAlerts := False, ActiveWorkbook.Close, Quit, release: each statement on its own,
// failures recorded.
void CloseExcel(ExcelOnFirstUse& excel, FailuresRecorded& failures) {
    failures.Run([&] { Put(excel(), L"DisplayAlerts", false); });
    failures.Run([&] { Call(GetObj(excel(), L"ActiveWorkbook"), L"Close"); });
    failures.Run([&] { Call(excel(), L"Quit"); });
    excel.Release();
}

// How long the user's Excel may take to show its window before the final message.
constexpr ULONGLONG kExcelShownMs = 30000;

std::wstring WorkbookName(const std::wstring& title) {
    return title + kWorkbookExt;
}

// The add-in's file as an OPEN value of Excel's names it: the path in quotes after switches
// such as /R, or for an add-in in Excel's library folder a path relative to that folder.
bool NamesWorkbook(std::wstring text, const std::wstring& workbook, const std::wstring& fileName) {
    if (const size_t quote = text.find(L'"'); quote != std::wstring::npos) {
        const size_t end = text.find(L'"', quote + 1);
        text = text.substr(quote + 1, end == std::wstring::npos ? std::wstring::npos : end - quote - 1);
    }
    text = TrimBlanks(text);
    if (lstrcmpiW(text.c_str(), workbook.c_str()) == 0) return true;
    const bool relative = text.find(L':') == std::wstring::npos && text.compare(0, 1, L"\\") != 0;
    const size_t name = text.find_last_of(L'\\');
    return relative && lstrcmpiW(text.c_str() + (name == std::wstring::npos ? 0 : name + 1), fileName.c_str()) == 0;
}

// Excel of that version keeps the workbook in its list of installed add-ins, as it wrote
// the list when it ended.
bool AddinListed(const std::wstring& version, const std::wstring& workbook, const std::wstring& fileName) {
    if (version.empty()) return false;
    const std::wstring key = std::wstring(kOfficeKey) + L"\\" + version + kExcelOptionsSubkey;
    const unique_hkey options = open_key(HKEY_CURRENT_USER, key.c_str(), KEY_QUERY_VALUE);
    if (!options) return false;
    const size_t openLength = wcslen(kExcelOpenValue);
    for (DWORD index = 0;; ++index) {
        wchar_t name[64];
        DWORD nameLength = 64, type = 0, size = 0;
        const LONG listed = RegEnumValueW(options.get(), index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (listed == ERROR_NO_MORE_ITEMS) return false;
        if (listed != ERROR_SUCCESS || type != REG_SZ || _wcsnicmp(name, kExcelOpenValue, openLength) != 0 ||
            wcsspn(name + openLength, L"0123456789") != nameLength - openLength)
            continue;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (RegQueryValueExW(options.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
            continue;
        data.resize(wcsnlen(data.c_str(), data.size()));
        if (NamesWorkbook(data, workbook, fileName)) return true;
    }
}

}  // namespace

void prcRemoveFromExcel(Form& nextPage) {
    // A user's Excel opened while the pages were up would write its own list back.
    prcWaitForExcelClosed(false);
    ExcelOnFirstUse excel;
    FailuresRecorded failures;
    failures.Run([&] { Call(GetObj(excel(), L"Workbooks"), L"Add"); });
    frmWizard4.Hide();
    frmEnd.SetWindowState(FormWindowState::Minimized);
    failures.Run([&] { SetInstalled(excel(), kProductTitle, false); });
    CloseExcel(excel, failures);
    frmWizard4.Unload();
    nextPage.Show(true);
    if (!failures.Pending()) {
        failures.Stop();
        return;
    }
    // A step failed (on a first installation the add-in is not listed): once the next page
    // has closed without the program ending, Excel is started and closed once more and the
    // page shown a second time, as earlier versions of setup did.
    CloseExcel(excel, failures);
    failures.Stop();
    frmWizard4.Unload();
    nextPage.Show(true);
}

void prcAddToExcel(const std::wstring& title) {
    prcWaitForExcelClosed(false);
    // Excel loads the add-in, and the add-in creates the library, only once every component
    // is registered.
    prcWaitForRegistrars();
    const std::wstring folder = record::ReadDir();
    const std::wstring workbook = fso::AddinFile(folder, title, kWorkbookExt);
    ExcelOnFirstUse excel;
    Call(GetObj(excel(), L"Workbooks"), L"Add");
    // This Excel runs with setup's administrator rights: it stays hidden, takes the add-in
    // and quits. The Excel the user keeps is started afterwards with the user's own rights.
    // The finishing window stays on screen meanwhile and owns every message of this step.
    Call(GetObj(excel(), L"AddIns"), kDispIdAdd, {workbook});
    SetInstalled(excel(), title, true);

    FailuresRecorded failures;
    failures.Run([&] { GetObj(GetObj(excel(), L"Workbooks"), kDispIdDefault, {WorkbookName(title)}); });
    if (failures.Pending()) {
        // Not open: unmarked and marked again, which has Excel open it; the second True
        // changes nothing on an installed add-in (Excel's rule) and is kept as it always was.
        failures.Run([&] { SetInstalled(excel(), title, false); });
        failures.Run([&] { SetInstalled(excel(), title, true); });
        failures.Run([&] { SetInstalled(excel(), title, true); });
    }
    // Excel writes its list of add-ins when it ends, under its version's key; the user's
    // Excel reads it when it starts. An Excel that stopped answering, or did not end after
    // Quit, is ended by setup and wrote nothing: then the user's Excel is not opened (it
    // would write the old list back), and the user is told how to finish.
    std::wstring version;
    failures.Run([&] { version = VariantToText(*Get(excel(), L"Version").get()); });
    // The user gets the Excel that took the add-in: its program, not whatever another
    // Office left registered.
    const DWORD process = excel.process();
    wchar_t program[MAX_PATH] = L"";
    bool known = excel_calls::ProgramOf(process, program, MAX_PATH);
    if (!known) {
        // Its process unknown, the program registered as Excel's server is the best guess.
        const std::wstring server = ExcelServerPath();
        known = !server.empty() && server.size() < MAX_PATH;
        if (known) lstrcpynW(program, server.c_str(), MAX_PATH);
    }
    CloseExcel(excel, failures);
    failures.Stop();
    if (!excel_calls::AwaitEnd(process, excel_calls::kEndMs) || !AddinListed(version, workbook, WorkbookName(title))) {
        MsgBox(kMsgAddinNotListed, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        EndProgram(SetupEnd::AddinNotListed);
    }
    // An Excel the user opened meanwhile read the old list, and would write it back.
    prcWaitForExcelClosed(false);
    // The final message comes up in front of the user's Excel once it shows.
    if (known && fso::FileExists(program) && StartAsDesktopUser(program, SW_SHOWMAXIMIZED)) {
        const ULONGLONG shown = GetTickCount64() + kExcelShownMs;
        while (!excel_calls::UsersExcelOpen() && GetTickCount64() < shown) WaitPainted({}, 100);
    }

    MsgBox(kMsgInstallFinished, MB_OK | MB_ICONINFORMATION, kProductName);
    EndProgram(blnRegistrationFailed ? SetupEnd::RegistrationFailed : SetupEnd::Installed);
}

std::wstring GetDefaultFolder() {
    // Excel's library folder is asked once per run (run_state.h); whether it exists is
    // looked at every time.
    if (!blnLibraryPathKnown) {
        Object global = automation::CreateObject(kClsidExcelGlobal);
        Object application = GetObj(global, L"Application");
        strLibraryPath = VariantToText(*Get(application, L"LibraryPath").get());
        blnLibraryPathKnown = true;
    }
    if (fso::FolderExists(strLibraryPath)) return TrimBlanks(strLibraryPath);
    return std::wstring(kDefaultFolderDrive) + kProductName;
}

void prcSendMail(const std::wstring& address) {
    FailuresRecorded failures;
    Object application, workbook, worksheet, cell;
    failures.Run([&] { application = automation::CreateObject(kExcelProgId); });
    failures.Run([&] { workbook = GetObj(GetObj(application, L"Workbooks"), L"Add"); });
    failures.Run([&] { worksheet = GetObj(GetObj(workbook, L"Sheets"), L"Add"); });
    failures.Run([&] { cell = GetObj(worksheet, L"Range", {L"A1"}); });
    failures.Run([&] { Put(cell, L"value", address); });
    failures.Run([&] {
        Call(GetObj(worksheet, L"Hyperlinks"), L"Add", {cell, L"mailto:" + address, address});
    });
    failures.Run([&] {
        Call(GetObj(GetObj(worksheet, L"Hyperlinks"), kDispIdDefault, {1}), L"Follow",
             {false, true});
    });
    failures.Run([&] { Put(application, L"DisplayAlerts", false); });
    failures.Run([&] { Call(application, L"Quit"); });
    // Excel ends only when its last reference is gone: let go of it before the message.
    cell = Object();
    worksheet = Object();
    workbook = Object();
    application = Object();
    if (failures.Pending()) MsgBox(kMsgCantSendMail, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
    failures.Stop();
}

}  // namespace ferrolin
