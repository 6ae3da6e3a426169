// What the UI driver and its icon hook (icon_hook.cpp) agree on.
#pragma once

#include <windows.h>

namespace uidriver_hook {

inline constexpr wchar_t kQueryMessage[] = L"uidriver.IconKindQuery";
inline constexpr wchar_t kAnswerProperty[] = L"uidriver.IconKind";
inline constexpr char kHookProcedure[] = "UidriverIconHook";
// Answers; 0 (no property) means the hook did not run.
enum : INT_PTR { kNone = 1, kError, kQuestion, kWarning, kInformation, kUnknown };

}  // namespace uidriver_hook
