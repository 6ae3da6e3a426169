#include "program.h"

#include "form.h"
#include "frmPreparing.h"
#include "names.h"
#include "optional_export.h"

namespace ferrolin {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

void LoadLibrariesFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        OptionalExport<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Systems without it: at least keep the current folder out of the search.
        SetDllDirectoryW(L"");
    }
}

namespace {

// The window of another setup the user should see: a message box it shows, else its page.
BOOL CALLBACK FindOtherSetup(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() || !IsWindowVisible(window) || !IsFormWindow(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = GetLastActivePopup(window);
    return FALSE;
}

}  // namespace

void EndIfAnotherSetupRuns() {
    // Held until the program ends; the system closes it then. A mutex that another setup
    // made with other rights cannot be opened (access denied): that one runs too.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kSetupMutex);
    const DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS) return;
    if (!mutex && error != ERROR_ACCESS_DENIED) return;
    HWND other = nullptr;
    EnumWindows(FindOtherSetup, reinterpret_cast<LPARAM>(&other));
    if (other) SetForegroundWindow(other);
    EndProgram(SetupEnd::AlreadyRunning);
}

void EndProgram(SetupEnd how) {
    ExitProcess(static_cast<UINT>(how));
}

int MsgBox(const std::wstring& text, UINT buttonsAndIcon, const wchar_t* title) {
    // The preparing window stays until the first message or page.
    if (frmPreparing.IsLoaded()) frmPreparing.Unload();
    return MessageBoxW(GetActiveWindow(), text.c_str(), title, buttonsAndIcon | MB_SETFOREGROUND);
}

std::wstring RuntimeErrorText(const VbError& error) {
    return L"Run-time error '" + std::to_wstring(error.number()) + L"':\r\r" + error.description();
}

void StopWithRuntimeError(const VbError& error) {
    MsgBox(RuntimeErrorText(error), MB_OK | MB_ICONERROR, kMessageTitle);
    EndProgram(SetupEnd::RuntimeError);
}

}  // namespace ferrolin
