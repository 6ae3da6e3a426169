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

// How an uninstaller ended, as its exit code: 0 only when both files are gone. The numbers
// are listed in the users' guide; never renumber them.
enum class UninstallEnd : UINT {
    Removed = 0,
    FolderNotFound = 1,      // no folder in the record (UFR11 says so, UFR10 ends silently)
    ExcelOpenCancelled = 2,  // Cancel while the user's Excel stays open
    FileLeft = 3,            // a file could not be deleted (the message names it)
};

}  // namespace ferrolin
