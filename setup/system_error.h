// The system's own description of a failure, and the VB-style error that carries it.
#pragma once

#include <windows.h>

#include <string>

#include "vb_error.h"

namespace ferrolin {

// FormatMessage's text for a Win32 error code or an HRESULT, without the trailing line
// break; empty when the system has none.
std::wstring SystemMessage(DWORD code);

// A failed file-system call: the Win32 error code as the number, the system's description.
VbError Win32Error(DWORD code);
inline VbError LastWin32Error() { return Win32Error(GetLastError()); }

}  // namespace ferrolin
