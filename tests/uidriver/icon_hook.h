// What the UI driver and its icon hook (icon_hook.cpp) agree on.
#pragma once

#include <windows.h>

namespace uidriver_hook {

inline constexpr wchar_t kQueryMessage[] = L"uidriver.IconKindQuery";
inline constexpr wchar_t kAnswerProperty[] = L"uidriver.IconKind";
inline constexpr char kHookProcedure[] = "UidriverIconHook";
// Answers; 0 (no property) means the hook did not run.
enum : INT_PTR { kNone = 1, kError, kQuestion, kWarning, kInformation, kUnknown };

// The answer for the icon a message box shows, as the calling program sees the system's
// shared icons.
inline INT_PTR KindOfIcon(HICON shown) {
    if (!shown) return kNone;
    const struct {
        LPCWSTR id;
        INT_PTR kind;
    } icons[] = {{IDI_HAND, kError}, {IDI_QUESTION, kQuestion}, {IDI_EXCLAMATION, kWarning},
                 {IDI_ASTERISK, kInformation}};
    for (const auto& icon : icons)
        if (shown == LoadIconW(nullptr, icon.id)) return icon.kind;
    return kUnknown;
}

}  // namespace uidriver_hook
