// A wait that keeps the caller's windows painted while the user cannot act on them: sent and
// paint messages only, no input, so that no click runs a handler inside the one that waits.
#pragma once

#include <windows.h>

namespace ferrolin {

// Waits until every handle is signalled (none given: for the time) or ms have passed. The
// array is reordered as handles are signalled. True when every handle was signalled.
bool WaitPainted(HANDLE* handles, DWORD count, DWORD ms);

}  // namespace ferrolin
