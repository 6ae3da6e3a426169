// Functions that only newer versions of Windows export, looked up where the programs run.
#pragma once

#include <windows.h>

namespace ferrolin {

// `name` in a system module the process has loaded (kernel32.dll, user32.dll), as a pointer
// of type Fn; nullptr where this system lacks it.
template <class Fn>
Fn OptionalExport(const wchar_t* module, const char* name) noexcept {
    const HMODULE loaded = GetModuleHandleW(module);
    const FARPROC proc = loaded ? GetProcAddress(loaded, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace ferrolin
