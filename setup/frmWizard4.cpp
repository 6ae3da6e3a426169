#include "frmWizard4.h"

#include "controls.h"
#include "names.h"
#include "resource.h"

namespace ferrolin {

FrmWizard4 frmWizard4;

FrmWizard4::FrmWizard4() : Form(kCaptionTerms, 9360, 7590) {}

void FrmWizard4::CreateControls() {
    AddPicture(ctl::Picture1, IDB_BANNER, {0, 0, 9360, 960});
    AddLabel(ctl::Label1, kProductName, {240, 1050, 3000, 540}, true, {L"Verdana", 20, true});
    AddLabel(ctl::lblAdd, kLabelStarting, {3600, 1230, 5520, 285});
    AddLabel(ctl::Label2, kLabelConditions, {240, 1680, 8880, 285}, true, {L"Verdana", 9, true});
    AddTextBox(ctl::Text1, kConditionsOfUse, {240, 2010, 8880, 3495}, true);
    AddCheckBox(ctl::chkOk, kLabelAgree, {240, 5700, 6480, 345}, {L"Verdana", 8, false});
    AddPicture(ctl::pLink1, IDB_LINK_WEB, {6960, 5640, 480, 480}, true);
    AddPicture(ctl::pLink2, IDB_LINK_MAIL, {7560, 5640, 480, 480}, true);
    AddPicture(ctl::pLink3, IDB_LINK_MAIL, {8460, 5700, 480, 480}, true);
    AddFrame(ctl::Frame1, L"", {8220, 5460, 900, 840});
    AddLine(ctl::Line1, {240, 6480, 8880, 30});
    AddIcon(ctl::Image1, IDI_SETUP, {240, 6765, 480, 480});
    AddButton(ctl::Command3, kCaptionBack, {5280, 6840, 1215, 375});
    AddButton(ctl::Command2, kCaptionNext, {6600, 6840, 1215, 375}, false);
    AddButton(ctl::Command1, kCaptionAbort, {7920, 6840, 1215, 375});
}

}  // namespace ferrolin
