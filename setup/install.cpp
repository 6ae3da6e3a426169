#include "install.h"

#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "automation.h"
#include "bitness.h"
#include "controls.h"
#include "desktop_user.h"
#include "deploy.h"
#include "excel.h"
#include "file_system.h"
#include "frmPreparing.h"
#include "frmWizard1.h"
#include "frmWizard2.h"
#include "frmWizard4.h"
#include "install_record.h"
#include "names.h"
#include "program.h"
#include "run_state.h"
#include "vb_text.h"
#include "vb_variant.h"

namespace ferrolin {

namespace {

constexpr double kFirstSupportedVersion = 9;  // Excel 2000

}  // namespace

void Main() {
    prcInitControls();
    // Something on screen at once: Excel's start-ups and the copies take seconds.
    frmPreparing.Show();
    frmPreparing.Refresh();
    // Before Excel is started: the refusal needs no Excel instance.
    prcCheckExcelBitness();
    prcCheckAccount();
    prcWaitForExcelClosed(true);
    prcCheckExcelVersion();
    blnReinstall = false;
    prcStartInstall();
}

bool prcInitControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_USEREX_CLASSES;
    return InitCommonControlsEx(&controls) != FALSE;
}

void prcWaitForExcelClosed(bool beforeAnyChange) {
    const std::wstring text =
        std::wstring(kMsgCloseExcel) + (beforeAnyChange ? kMsgCloseExcelNothingChanged : kMsgCloseExcelListKept);
    if (!excel_calls::UntilUsersExcelClosed(
            [&] { return MsgBox(text, MB_RETRYCANCEL | MB_ICONEXCLAMATION, kMessageTitle) == IDRETRY; }))
        EndProgram(SetupEnd::ExcelOpenCancelled);
}

void prcCheckAccount() {
    wchar_t own[kAccountChars], shell[kAccountChars];
    if (!RunsAsAnotherAccount(own, shell)) return;
    std::wstring text;
    const wchar_t* names[] = {own, shell, own, shell, shell, own};
    const wchar_t* rest = kMsgOtherAccount;
    for (const wchar_t* name : names) {
        const wchar_t* at = wcsstr(rest, L"%s");
        if (!at) break;
        text.append(rest, at).append(name);
        rest = at + 2;
    }
    text += rest;
    if (MsgBox(text, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, kMessageTitle) != IDYES)
        EndProgram(SetupEnd::OtherAccount);
}

void prcCheckExcelVersion() {
    std::wstring version;
    FailuresRecorded failures;
    failures.Run([&] {
        automation::Object excel = automation::CreateObject(kExcelProgId);
        version = VariantToText(*automation::Get(excel, L"Version").get());
        // The default destination's folder is asked of this Excel too, so that no other
        // starts for it; a failure is left to that step, which asks again.
        FailuresRecorded library;
        library.Run([&] {
            strLibraryPath = VariantToText(*automation::Get(excel, L"LibraryPath").get());
            blnLibraryPathKnown = true;
        });
        // Released without asking Excel to quit.
    });
    if (failures.Pending()) {
        // Without Excel nothing can be installed: say so before anything is copied.
        MsgBox(kMsgExcelNotAvailable + failures.Error().description(), MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        EndProgram(SetupEnd::ExcelNotAvailable);
    }
    if (LeadingNumber(version) < kFirstSupportedVersion) {
        MsgBox(kMsgExcelTooOld, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        EndProgram(SetupEnd::ExcelTooOld);
    }
}

void prcStartInstall() {
    prcCopyUninstallers();
    size_t count = 0;
    const SystemComponent* components = SystemComponents(&count);
    for (size_t i = 0; i < count; ++i) {
        std::wstring folder;
        if (!ComponentPresent(components[i])) prcCopyComponent(components[i]);
        // A present component is done, except a library that its Excel could not create.
        else if (LibraryUnregistered(components[i], &folder)) prcRegisterComponent(components[i], folder);
    }
    prcDetectInstallation();
    prcFillDefaultPath();
    // The terms page comes up in front of the preparing window before that one goes: with
    // no window of setup's on screen in between, Windows would give the foreground to
    // another program and open the page behind it.
    frmWizard4.Show();
    frmPreparing.Unload();
    frmWizard4.Show(true);
}

void prcDetectInstallation() {
    if (!record::Present()) return;
    const std::wstring folder = record::ReadDir();
    if (fso::FileExists(fso::AddinFile(folder, kProductTitle, kWorkbookExt))) blnReinstall = true;
}

void prcFillDefaultPath() {
    strDefaultPath = TrimBlanks(GetDefaultFolder());
    frmWizard1.SetText(ctl::txtPathdefault, strDefaultPath);
}

void prcWriteInstallRecord() {
    prcResetRecord();
    FailuresRecorded failures;
    failures.Run([] { record::WriteStatus(kStatusInstalled); });
    failures.Run([] { record::WriteDir(strInstallPath); });
    failures.Run([] { record::WriteBinaryText(kValueRefInst, kRefInstBySetup); });
    failures.Stop();
}

void prcReinstall() {
    // A user's Excel opened while the terms page was up holds the installed workbook.
    prcWaitForExcelClosed(false);
    strInstallPath = record::ReadDir();
    prcDeleteAddin(kProductTitle);
    prcCopyAddin(strInstallPath);
    prcRemoveFromExcel(frmWizard2);
}

}  // namespace ferrolin
