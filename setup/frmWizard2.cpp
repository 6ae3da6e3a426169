#include "frmWizard2.h"

#include "controls.h"
#include "excel.h"
#include "frmEnd.h"
#include "names.h"
#include "resource.h"

namespace ferrolin {

FrmWizard2 frmWizard2;

FrmWizard2::FrmWizard2() : Form(kCaptionAddin, 6135, 3270) {}

void FrmWizard2::CreateControls() {
    AddPicture(ctl::Picture1, IDB_BANNER_SMALL, {0, 0, 6135, 720});
    AddIcon(ctl::Image1, IDI_SETUP, {420, 1140, 480, 480});
    AddFrame(ctl::Frame1, L"", {120, 840, 1080, 1080});
    AddLine(ctl::Line1, {120, 2220, 5895, 30});
    AddLabel(ctl::lblAdd, kLabelAddToExcel, {1380, 1080, 4560, 285}, false);
    AddLabel(ctl::lblDelete, kLabelDeleteFiles, {1380, 1440, 4560, 285}, false);
    AddButton(ctl::Abort, kCaptionAbort, {1560, 2640, 1335, 375}, false);
    AddButton(ctl::Back, kCaptionBack, {3060, 2640, 1335, 375}, false);
    AddButton(ctl::Next, kCaptionEndButton, {4560, 2640, 1335, 375});
}

void FrmWizard2::Click(int id) {
    if (id != ctl::Next) return;  // End, in the Next place
    SetVisible(ctl::lblDelete, false);
    SetVisible(ctl::lblAdd, true);
    Unload();
    // Loaded minimised by the terms page's Next: shown as it was designed, and kept on
    // screen until the final message, which it owns.
    frmEnd.SetWindowState(FormWindowState::Normal);
    frmEnd.Show(false);
    prcAddToExcel(kProductTitle);
}

// Abort is never enabled on this page, so its close box does nothing.
void FrmWizard2::CloseBox() {}

}  // namespace ferrolin
