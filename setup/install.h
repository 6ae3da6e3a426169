// The installation driver: the entry procedure Main, the Excel version check, the start-up
// deployment, the detection of an earlier installation, the default destination, and the
// two installation steps the wizard pages call (the install record written after a full
// installation, and the reinstall into the recorded folder).
#pragma once

#include <string>

namespace ferrolin {

// The entry procedure: common controls, the Excel bitness check, the account check, the
// user's Excel closed, the version check, blnReinstall := False, driver.
void Main();
// Registers the extended common-control classes; True when no error occurred.
bool prcInitControls();
// While the user's Excel is open, asks for it to be closed (Retry looks again); Cancel
// ends the program. Asked before every step that starts Excel or touches the add-in's
// workbook after the user had time to open one: at the start, before anything is changed,
// before the workbook is deleted and copied, before the add-in is taken out of Excel or
// added to it, and before the user's Excel is opened at the end, when the message says
// that Excel's list stays as it is.
void prcWaitForExcelClosed(bool beforeAnyChange);
// Where setup runs as another account than the desktop's signed-in user, says for whom
// Ferrolin would be installed and lets the user go on (Yes) or end (No).
void prcCheckAccount();
// Refuses Excel versions below 9 (and an Excel that cannot be started) and ends the program.
void prcCheckExcelVersion();
// Start-up deployment, detection, default destination, then the terms page shown modally.
void prcStartInstall();
// blnReinstall := True when the record exists and its folder holds the add-in workbook.
void prcDetectInstallation();
// The default destination folder, trimmed, into the destination page's path box.
void prcFillDefaultPath();
// Resets the install record and writes STATUS_APP, Dir and APP_REFINST.
void prcWriteInstallRecord();
// Copies the add-in again into the recorded folder and goes on to the add-in page.
void prcReinstall();

}  // namespace ferrolin
