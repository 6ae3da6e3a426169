#include "program.h"

#include "form.h"
#include "frmPreparing.h"
#include "excel_calls.h"
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

// The window of another setup the user should see: the last window its pages opened (a
// message box included), whether the page that owns it is shown or hidden.
BOOL CALLBACK FindOtherSetup(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() || !IsFormWindow(window)) return TRUE;
    // A minimised page hides the windows it owns: then the page itself.
    HWND popup = GetLastActivePopup(window);
    if (!IsWindowVisible(popup)) popup = window;
    if (!IsWindowVisible(popup)) return TRUE;
    *reinterpret_cast<HWND*>(found) = popup;
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
    if (other) {
        // A minimised page comes back first (asynchronously: the other setup may be waiting
        // on Excel), then its window, or the message box it shows, to the front.
        HWND page = GetAncestor(other, GA_ROOTOWNER);
        if (IsIconic(page)) ShowWindowAsync(page, SW_RESTORE);
        SetForegroundWindow(other);
    }
    EndProgram(SetupEnd::AlreadyRunning);
}

void EndProgram(SetupEnd how) {
    // No Excel of setup's outlives it: one that stopped answering, or never ended, would
    // stay hidden with its files open.
    excel_calls::EndStarted();
    ExitProcess(static_cast<UINT>(how));
}

namespace {

BOOL CALLBACK FindShownForm(HWND window, LPARAM found) {
    if (!IsWindowVisible(window) || !IsFormWindow(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

int MsgBox(const std::wstring& text, UINT buttonsAndIcon, const wchar_t* title) {
    // Owned by a window of setup's, so it opens in front of it and a second setup finds it:
    // the active one; else, once another program has the foreground (the user's Excel at
    // the end), the uppermost page on screen; else the preparing window, which stays under
    // it until the first page.
    HWND owner = GetActiveWindow();
    if (!owner) EnumThreadWindows(GetCurrentThreadId(), FindShownForm, reinterpret_cast<LPARAM>(&owner));
    if (!owner && frmPreparing.IsLoaded()) owner = frmPreparing.hwnd();
    return MessageBoxW(owner, text.c_str(), title, buttonsAndIcon | MB_SETFOREGROUND);
}

std::wstring RuntimeErrorText(const VbError& error) {
    return L"Run-time error '" + std::to_wstring(error.number()) + L"':\r\r" + error.description();
}

VbError CaughtError() {
    return VbError::Caught(VbError::Internal());
}

void StopWithRuntimeError(const VbError& error) {
    MsgBox(RuntimeErrorText(error), MB_OK | MB_ICONERROR, kMessageTitle);
    EndProgram(SetupEnd::RuntimeError);
}

}  // namespace ferrolin
