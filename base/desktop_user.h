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

// True when the user signed in to this program's Windows session (the desktop's user)
// is another account than the one this program runs as; both names into the buffers.
// False where nobody is signed in to the session (a service's), or the user cannot be
// read.
bool RunsAsAnotherAccount(wchar_t (&own)[kAccountChars], wchar_t (&shell)[kAccountChars]);

}  // namespace ferrolin
