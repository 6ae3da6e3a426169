#include "excel.h"

#include "automation.h"
#include "bitness.h"
#include "deploy.h"
#include "desktop_shell.h"
#include "file_system.h"
#include "frmEnd.h"
#include "frmWizard4.h"
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
        if (!application_) application_ = automation::CreateObject(kClsidExcelApplication);
        return application_;
    }
    void Release() noexcept { application_.reset(); }

private:
    Object application_;
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

// How long setup's Excel may take to end after Quit, before the user's is started anyway.
constexpr DWORD kExcelEndMs = 60000;
// How long the user's Excel may take to show its window before the final message.
constexpr ULONGLONG kExcelShownMs = 30000;

std::wstring WorkbookName(const std::wstring& title) {
    return title + kWorkbookExt;
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
    ExcelOnFirstUse excel;
    Call(GetObj(excel(), L"Workbooks"), L"Add");
    frmEnd.Hide();
    frmEnd.SetWindowState(FormWindowState::Minimized);
    // This Excel runs with setup's administrator rights: it stays hidden, takes the add-in
    // and quits. The Excel the user keeps is started afterwards with the user's own rights.
    Call(GetObj(excel(), L"AddIns"), kDispIdAdd, {fso::AddinFile(folder, title, kWorkbookExt)});
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
    // Excel writes its list of add-ins when it ends; the user's Excel reads it when it starts.
    unique_handle process;
    failures.Run([&] {
        const HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(VariantToLong(*Get(excel(), L"Hwnd").get())));
        DWORD id = 0;
        if (GetWindowThreadProcessId(window, &id)) process.reset(OpenProcess(SYNCHRONIZE, FALSE, id));
    });
    CloseExcel(excel, failures);
    failures.Stop();
    if (process) WaitPainted({process.get()}, kExcelEndMs);
    // The final message comes up in front of the user's Excel once it shows.
    const std::wstring program = ExcelServerPath();
    if (!program.empty() && StartAsDesktopUser(program, SW_SHOWMAXIMIZED)) {
        const ULONGLONG shown = GetTickCount64() + kExcelShownMs;
        while (!excel_calls::UsersExcelOpen() && GetTickCount64() < shown) WaitPainted({}, 100);
    }

    MsgBox(kMsgInstallFinished, MB_OK | MB_ICONINFORMATION, kProductName);
    EndProgram(blnRegistrationFailed ? SetupEnd::RegistrationFailed : SetupEnd::Installed);
}

std::wstring GetDefaultFolder() {
    Object global = automation::CreateObject(kClsidExcelGlobal);
    Object application = GetObj(global, L"Application");
    // LibraryPath is asked again for the result, as earlier versions of setup did: Excel
    // answers the same both times.
    if (fso::FolderExists(VariantToText(*Get(application, L"LibraryPath").get())))
        return TrimBlanks(VariantToText(*Get(application, L"LibraryPath").get()));
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
