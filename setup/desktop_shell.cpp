#include "desktop_shell.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "handles.h"
#include "vb_variant.h"

namespace ferrolin {

namespace {

// The shell's automation object (Shell.Application) of the desktop's own Explorer, reached
// through the desktop window's view: what it starts, Explorer starts.
com_ptr<IShellDispatch2> DesktopShell() {
    com_ptr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.put_void())))
        return {};
    unique_variant nowhere;
    long desktopWindow = 0;
    com_ptr<IDispatch> desktop;
    if (windows->FindWindowSW(nowhere.get(), nowhere.get(), SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                              desktop.put()) != S_OK ||
        !desktop)
        return {};
    com_ptr<IServiceProvider> services;
    com_ptr<IShellBrowser> browser;
    com_ptr<IShellView> view;
    com_ptr<IDispatch> background;
    com_ptr<IShellFolderViewDual> folderView;
    com_ptr<IDispatch> application;
    com_ptr<IShellDispatch2> shell;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.put_void())) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) ||
        FAILED(browser->QueryActiveShellView(view.put())) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void())) || !background ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.put_void())) ||
        FAILED(folderView->get_Application(application.put())) || !application ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.put_void())))
        return {};
    return shell;
}

}  // namespace

bool StartAsDesktopUser(const std::wstring& program, int show) {
    const com_ptr<IShellDispatch2> shell = DesktopShell();
    if (!shell) return false;
    // The program comes up in front: the shell may hand it the foreground that setup holds.
    DWORD shellProcess = 0;
    if (HWND desktop = GetShellWindow()) GetWindowThreadProcessId(desktop, &shellProcess);
    if (shellProcess) AllowSetForegroundWindow(shellProcess);
    const unique_bstr file(SysAllocString(program.c_str()));
    unique_variant arguments(MakeText(L"")), folder(MakeText(L"")), verb(MakeText(L"open")), showCommand(MakeLong(show));
    return file.get() && SUCCEEDED(shell->ShellExecute(file.get(), *arguments.get(), *folder.get(), *verb.get(),
                                                 *showCommand.get()));
}

}  // namespace ferrolin
