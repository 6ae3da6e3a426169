// setup.exe: binds the entry procedure Main to the program's start.
#include <windows.h>

#include "handles.h"
#include "install.h"
#include "program.h"

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// Setup runs from a distribution folder that anyone may have filled: no DLL is ever taken
// from there (nor from the current folder), only from the system folder.
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LoadLibrariesFromSystemFolderOnly();
    ferrolin::com_apartment apartment;
    ferrolin::RunProcedure(ferrolin::Main);
    // The pages end the program; Main returns only when the first page's loop was broken.
    ferrolin::EndProgram();
}
