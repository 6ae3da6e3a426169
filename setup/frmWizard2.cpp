#include "frmWizard2.h"

#include "controls.h"
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
    AddButton(ctl::Command1, kCaptionAbort, {1560, 2640, 1335, 375}, false);
    AddButton(ctl::Command3, kCaptionBack, {3060, 2640, 1335, 375}, false);
    AddButton(ctl::Command2, kCaptionEndButton, {4560, 2640, 1335, 375});
}

}  // namespace ferrolin
