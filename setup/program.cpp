#include "program.h"

#include "names.h"

namespace ferrolin {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

void LoadLibrariesFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    const auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(proc));
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Systems without it: at least keep the current folder out of the search.
        SetDllDirectoryW(L"");
    }
}

void EndProgram() {
    ExitProcess(0);
}

int MsgBox(const std::wstring& text, UINT buttonsAndIcon, const wchar_t* title) {
    return MessageBoxW(GetActiveWindow(), text.c_str(), title, buttonsAndIcon | MB_SETFOREGROUND);
}

std::wstring RuntimeErrorText(const VbError& error) {
    return L"Run-time error '" + std::to_wstring(error.number()) + L"':\r\r" + error.description();
}

void StopWithRuntimeError(const VbError& error) {
    MsgBox(RuntimeErrorText(error), MB_OK | MB_ICONERROR, kMessageTitle);
    EndProgram();
}

}  // namespace ferrolin
