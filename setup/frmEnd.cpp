#include "frmEnd.h"

#include "controls.h"
#include "names.h"
#include "resource.h"

namespace ferrolin {

FrmEnd frmEnd;

FrmEnd::FrmEnd() : Form(kCaptionEnd, 5655, 3030) {}

void FrmEnd::CreateControls() {
    AddPicture(ctl::Image1, IDB_FINISH, {240, 360, 960, 960});
    AddFrame(ctl::Frame1, L"", {120, 120, 1200, 1440});
    AddLabel(ctl::Label1, kLabelFinished, {1560, 480, 3900, 780}, true,
             {L"Bookman Old Style", 14, true}, RGB(0, 0, 128));
    AddPicture(ctl::Image2, IDB_MARK, {4800, 1800, 480, 480});
    AddLine(ctl::Line1, {120, 2640, 5415, 30});
}

}  // namespace ferrolin
