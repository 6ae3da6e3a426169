#include "frmWizard4.h"

#include "controls.h"
#include "excel.h"
#include "frmWizard1.h"
#include "install.h"
#include "mdlLinkCia.h"
#include "names.h"
#include "program.h"
#include "resource.h"
#include "run_state.h"

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
    // The first page has no earlier page: its "<< Back" stays disabled.
    AddButton(ctl::Back, kCaptionBack, {5280, 6840, 1215, 375}, false);
    AddButton(ctl::Next, kCaptionNext, {6600, 6840, 1215, 375}, false);
    AddButton(ctl::Abort, kCaptionAbort, {7920, 6840, 1215, 375});
}

namespace {

// The cancel confirmation: Yes ends the program at once, No returns to the page.
void ConfirmCancel() {
    if (MsgBox(kMsgConfirmCancel, MB_YESNO | MB_ICONQUESTION, kMessageTitle) == IDYES) EndProgram(SetupEnd::Cancelled);
}

}  // namespace

void FrmWizard4::Click(int id) {
    switch (id) {
    case ctl::chkOk: {
        // The page can be left forward only when agreed, and cancelled only when not.
        const bool agreed = Value(ctl::chkOk);
        SetEnabled(ctl::Next, agreed);
        SetEnabled(ctl::Abort, !agreed);
        break;
    }
    case ctl::Abort:
        ConfirmCancel();
        break;
    case ctl::Next:
        if (blnReinstall) {
            Hide();
            prcReinstall();
        } else {
            prcRemoveFromExcel(frmWizard1);
        }
        break;
    case ctl::pLink1:
        prcLinkCia();
        break;
    case ctl::pLink2:
    case ctl::pLink3:
        prcSendMail(kSupportMail);
        break;
    default:
        break;
    }
}

// The close box is the page's Abort while Abort can be pressed, and does nothing otherwise.
void FrmWizard4::CloseBox() {
    if (Enabled(ctl::Abort)) ConfirmCancel();
}

// Escape is Abort, while Abort can be pressed.
void FrmWizard4::Escape() { CloseBox(); }

}  // namespace ferrolin
