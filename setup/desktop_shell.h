// Programs started for the user as the desktop's shell starts them. Setup runs with
// administrator rights, and every program it starts itself inherits them; a program the
// user goes on working in (Excel, at the end) must run with the rights of the user's own
// programs instead.
#pragma once

#include <string>

namespace ferrolin {

// Asks the shell of the user's desktop (Explorer) to open the program, shown as given
// (SW_...), as if the user had opened it: it runs with the shell's rights, never setup's.
// False when there is no desktop shell to ask, or it refused.
bool StartAsDesktopUser(const std::wstring& program, int show);

}  // namespace ferrolin
