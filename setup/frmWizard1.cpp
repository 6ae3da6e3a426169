#include "frmWizard1.h"

#include "controls.h"
#include "deploy.h"
#include "frmPath.h"
#include "frmWizard2.h"
#include "frmWizard4.h"
#include "install.h"
#include "names.h"
#include "resource.h"
#include "run_state.h"
#include "vb_text.h"

namespace ferrolin {

FrmWizard1 frmWizard1;

FrmWizard1::FrmWizard1() : Form(kCaptionDestination, 6960, 3135) {}

void FrmWizard1::CreateControls() {
    AddPicture(ctl::Picture1, IDB_SIDE, {240, 300, 1440, 1680});
    AddFrame(ctl::Frame1, L"", {120, 90, 1680, 2010});
    AddLabel(ctl::Label1, kLabelWhere, {1980, 360, 4800, 285});
    // Created afresh after "<< Back", the page shows the default destination again.
    AddTextBox(ctl::txtPathdefault, strDefaultPath.c_str(), {1980, 720, 3600, 330});
    AddButton(ctl::Browse, kCaptionBrowse, {5700, 705, 1140, 360});
    AddLabel(ctl::lblCopy, kLabelCopying, {1980, 1320, 4200, 285}, false);
    AddIcon(ctl::Image1, IDI_SETUP, {6240, 1560, 480, 480});
    AddLine(ctl::Line1, {120, 2250, 6720, 30});
    AddButton(ctl::Abort, kCaptionAbort, {2400, 2580, 1335, 375}, false);
    AddButton(ctl::Back, kCaptionBack, {3960, 2580, 1335, 375});
    AddButton(ctl::Next, kCaptionNextDestination, {5520, 2580, 1335, 375});
}

bool FrmWizard1::Exit_Install() const {
    return blnExitInstall;
}

void FrmWizard1::Click(int id) {
    switch (id) {
    case ctl::Browse:
        frmPath.Show(true);
        break;
    case ctl::Back:
        Unload();
        frmWizard4.Show(true);
        break;
    case ctl::Next:
        // A user's Excel opened while this page was up may hold an earlier workbook.
        prcWaitForExcelClosed(false);
        strInstallPath = ToUpper(TrimBlanks(Text(ctl::txtPathdefault)));
        blnExitInstall = false;
        if (!blnPathChosen) prcCreateDefaultFolder();
        SetVisible(ctl::lblCopy, true);
        prcDeleteAddin(kProductTitle);
        if (blnExitInstall) break;
        prcCopyAddin(strInstallPath);
        prcWriteInstallRecord();
        Unload();
        frmWizard2.Show(true);
        break;
    default:
        break;
    }
}

// Abort is never enabled on this page, so its close box does nothing.
void FrmWizard1::CloseBox() {}

}  // namespace ferrolin
