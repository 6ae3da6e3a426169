#include "frmPreparing.h"

#include "controls.h"
#include "names.h"
#include "resource.h"

namespace ferrolin {

FrmPreparing frmPreparing;

FrmPreparing::FrmPreparing() : Form(kProductTitle, 5655, 1500) {}

void FrmPreparing::CreateControls() {
    AddPicture(ctl::Image2, IDB_MARK, {240, 360, 480, 480});
    AddLabel(ctl::Label1, kLabelPreparing, {960, 360, 4455, 720}, true, {L"Verdana", 9, true});
}

}  // namespace ferrolin
