// The user signed in to the desktop against the account a program runs as. An
// administrator who elevates a standard user's program with the administrator's own
// password (over-the-shoulder elevation) runs it as the administrator: its HKEY_CURRENT_USER
// and Excel's list of add-ins are the administrator's, while the desktop belongs to the
// signed-in user. Throws nothing and allocates nothing, for the uninstallers too.
#pragma once

#include <windows.h>

namespace ferrolin {

// Longest account name as given here: "DOMAIN\name".
inline constexpr DWORD kAccountChars = 2 * 256 + 2;

// True when the desktop's shell (the process of the shell window) runs as another account
// than this program; both names into the buffers. False where there is no shell to ask, or
// its account cannot be read.
bool ShellRunsAsAnotherAccount(wchar_t (&own)[kAccountChars], wchar_t (&shell)[kAccountChars]);

}  // namespace ferrolin
