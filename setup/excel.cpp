#include "excel.h"

#include "automation.h"
#include "file_system.h"
#include "frmEnd.h"
#include "frmWizard4.h"
#include "install_record.h"
#include "names.h"
#include "program.h"
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

std::wstring WorkbookName(const std::wstring& title) {
    return title + kWorkbookExt;
}

}  // namespace

void prcRemoveFromExcel(Form& nextPage) {
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
    CloseExcel(excel, failures);
    failures.Stop();
    frmWizard4.Unload();
    nextPage.Show(true);
}

void prcAddToExcel(const std::wstring& title) {
    const std::wstring folder = record::ReadDir();
    ExcelOnFirstUse excel;
    Call(GetObj(excel(), L"Workbooks"), L"Add");
    frmEnd.Hide();
    frmEnd.SetWindowState(FormWindowState::Minimized);
    Put(excel(), L"WindowState", xlMinimized);
    Put(excel(), L"Visible", true);
    Put(excel(), L"WindowState", xlMaximized);
    Call(GetObj(excel(), L"AddIns"), kDispIdAdd, {folder + L"\\" + WorkbookName(title)});
    SetInstalled(excel(), title, true);

    FailuresRecorded failures;
    failures.Run([&] { GetObj(GetObj(excel(), L"Workbooks"), kDispIdDefault, {WorkbookName(title)}); });
    if (failures.Pending()) {
        failures.Run([&] { SetInstalled(excel(), title, false); });
        failures.Run([&] { SetInstalled(excel(), title, true); });
        failures.Run([&] { SetInstalled(excel(), title, true); });
    }
    failures.Stop();

    MsgBox(kMsgInstallFinished, MB_OK | MB_ICONINFORMATION, kProductName);
    // Excel stays open under the user's control: it is released, not asked to quit.
    excel.Release();
    EndProgram(SetupEnd::Installed);
}

std::wstring GetDefaultFolder() {
    Object global = automation::CreateObject(kClsidExcelGlobal);
    Object application = GetObj(global, L"Application");
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
