// Module prcExcel: the uninstallers' dialogue with Excel. The user's Excel is asked to be
// closed before anything changes (it holds the add-in's workbook open, and writes its list
// of add-ins back when it closes); then this version's add-in is taken out of Excel's list,
// so that Excel does not ask for the removed workbook at every start.
#pragma once

#include <windows.h>

namespace ferrolin::prcExcel {

// While the user's Excel shows a window, asks for it to be closed (Retry looks again);
// false after Cancel.
bool prcWaitForExcelClosed(HWND owner);

// On an Excel of its own: a workbook added (Excel changes its list only while one is open),
// AddIns(title).Installed = False, then Excel closed without a question, and its end waited
// for (it writes its list when it ends). An add-in that is not listed, or an Excel that
// cannot be started, leaves nothing to do; every failing step is skipped. False when that
// Excel stopped answering or did not end, and was ended: its list may still hold the add-in.
bool RemoveFromExcel(const wchar_t* title);

// Takes the workbook (its full path) out of Excel's Add-ins dialog, where Excel keeps an
// add-in that is listed but not installed: the value of that name under each Office
// version's Excel\Add-in Manager key. Nothing else of Excel's keys is touched. Called once
// Excel has ended, since Excel writes that list when it ends.
void prcForgetAddin(const wchar_t* workbook);

}  // namespace ferrolin::prcExcel
