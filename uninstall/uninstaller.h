// What differs between the two uninstallers, chosen when the program is built:
// FERROLIN_UNINSTALL_VERSION 11 makes UFR11, 10 makes UFR10.
#pragma once

#include <windows.h>

#include "names.h"

namespace ferrolin {

#if FERROLIN_UNINSTALL_VERSION == 11
// Install record of version 1.1; its files; the wait window, the empty-folder test and the
// not-found message.
inline constexpr const wchar_t* kInstallKey = kRecordKey;
inline constexpr const wchar_t* kFileStem = kProductTitle;
inline constexpr const wchar_t* kProgramName = kUninstaller11;
#define FERROLIN_UNINSTALL_WAIT_WINDOW 1
#elif FERROLIN_UNINSTALL_VERSION == 10
// Record of version 1.0 and its files; no window, no message, no delay.
inline constexpr const wchar_t* kInstallKey = kRecordKey10;
inline constexpr const wchar_t* kFileStem = kProductTitle10;
inline constexpr const wchar_t* kProgramName = kUninstaller10;
#define FERROLIN_UNINSTALL_WAIT_WINDOW 0
#else
#error "FERROLIN_UNINSTALL_VERSION must be 10 or 11"
#endif

// A message of the uninstaller's, in front: owned by its window where it has one, topmost
// where it has none (UFR10), so that no other program's window hides it.
inline int Message(HWND owner, const wchar_t* text, UINT type) {
    return MessageBoxW(owner, text, kProductName, type | MB_SETFOREGROUND | (owner ? 0 : MB_TOPMOST));
}

// How an uninstaller ended, as its exit code: 0 only when both files are gone. The numbers
// are listed in the users' guide; never renumber them.
enum class UninstallEnd : UINT {
    Removed = 0,
    FolderNotFound = 1,      // no folder in the record (UFR11 says so, UFR10 ends silently)
    ExcelOpenCancelled = 2,  // Cancel while the user's Excel stays open
    FileLeft = 3,            // a file could not be deleted (the message names it)
    ExcelNotEnded = 4,       // the files are gone, but the uninstaller's Excel stopped answering or
                             // did not end and was ended: Excel's list may still hold the add-in
    Closed = 5,              // UFR11's wait window closed (Alt+F4) before the removal: nothing changed
    OtherAccount = 6,        // No to removing for another account than the signed-in user's
};

}  // namespace ferrolin
