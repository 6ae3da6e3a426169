// One control ID per control name of the setup program's windows. The forms create their
// controls with these IDs, and the navigation and the tests find them by the same names.
#pragma once

namespace ferrolin::ctl {

enum : int {
    // Buttons
    Command1 = 1001,
    Command2 = 1002,
    Command3 = 1003,
    Command4 = 1004,
    // The wizard pages' names for their numbered buttons.
    Abort = Command1,
    Next = Command2,
    Back = Command3,
    // The destination page's button that opens the folder picker.
    Browse = Command4,
    // The folder picker's buttons.
    PickerCancel = Command1,
    PickerOk = Command2,
    NewFolder = Command3,
    // Labels
    Label1 = 1011,
    Label2 = 1012,
    lblAdd = 1013,
    lblCopy = 1014,
    lblDelete = 1015,
    lblPath = 1016,
    // Text boxes and check boxes
    Text1 = 1021,
    txtPathdefault = 1022,
    chkOk = 1031,
    // Pictures and icons
    Picture1 = 1041,
    pLink1 = 1042,
    pLink2 = 1043,
    pLink3 = 1044,
    Image1 = 1045,
    Image2 = 1046,
    // Frames and lines
    Frame1 = 1051,
    Line1 = 1052,
    // Drive and folder lists
    Drive1 = 1061,
    Dir1 = 1062,
};

}  // namespace ferrolin::ctl
