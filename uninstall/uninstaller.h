// What differs between the two uninstallers, chosen when the program is built:
// FERROLIN_UNINSTALL_VERSION 11 makes UFR11, 10 makes UFR10.
#pragma once

#include "names.h"

namespace ferrolin {

#if FERROLIN_UNINSTALL_VERSION == 11
// Install record of version 1.1; its files; the wait window, the empty-folder test and the
// not-found message.
inline constexpr const wchar_t* kInstallKey = kRecordKey;
inline constexpr const wchar_t* kFileStem = kProductTitle;
#define FERROLIN_UNINSTALL_WAIT_WINDOW 1
#elif FERROLIN_UNINSTALL_VERSION == 10
// Record of version 1.0 and its files; no window, no message, no delay.
inline constexpr const wchar_t* kInstallKey = kRecordKey10;
inline constexpr const wchar_t* kFileStem = kProductTitle10;
#define FERROLIN_UNINSTALL_WAIT_WINDOW 0
#else
#error "FERROLIN_UNINSTALL_VERSION must be 10 or 11"
#endif

}  // namespace ferrolin
