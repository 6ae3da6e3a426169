// excel_standin.exe: registration, the class factories and the instance's lifetime.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <map>
#include <string>
#include <tuple>

#include "excel_objects.h"
#include "excel_standin.h"
#include "standin_instance.h"
#include "uncounted_com_object.h"

namespace excel_standin {

namespace {

const UINT kMsgLastRelease = WM_APP + 1;
const UINT kMsgRevoke = WM_APP + 2;
const UINT_PTR kIdleTimer = 1;

LONG g_objects = 0;   // live objects handed to clients, and server locks
ULONGLONG g_lastCall = 0;
DWORD g_applicationCookie = 0;
DWORD g_globalCookie = 0;

void RevokeFactories() {
    if (g_applicationCookie) CoRevokeClassObject(std::exchange(g_applicationCookie, 0));
    if (g_globalCookie) CoRevokeClassObject(std::exchange(g_globalCookie, 0));
}

void PostToWindow(UINT message) {
    if (HWND window = TheInstance().window) PostMessageW(window, message, 0, 0);
}

// Lives as long as the process.
class ClassFactory : public ferrolin::uncounted_com_object<IClassFactory> {
public:
    ClassFactory(const wchar_t* name, DispatchObject* (*make)()) : name_(name), make_(make) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        NoteCall();
        Log(std::wstring(L"Create ") + name_);
        // One creation per process: a slow answer gives the classes back first, so that an
        // instance ended meanwhile (setup ends an Excel that does not answer) leaves none
        // registered in Wine's COM, which would send the next creation to the dead process.
        if (AnswersSlowly(name_, L"Create")) RevokeFactories();
        AnswerSlowly(name_, L"Create");
        DispatchObject* object = make_();
        HRESULT hr = object->QueryInterface(riid, out);
        object->Release();
        // One creation per process, whichever class it was.
        PostToWindow(kMsgRevoke);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ObjectCreated(); else ObjectDestroyed();
        return S_OK;
    }

private:
    const wchar_t* name_;
    DispatchObject* (*make_)();
};

ClassFactory g_applicationFactory(L"Application", NewApplication);
ClassFactory g_globalFactory(L"Global", NewGlobal);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Instance& instance = TheInstance();
    switch (message) {
    case WM_CLOSE:
        // The user closes Excel: it asks about unsaved work and ends.
        if (!instance.ending) {
            RevokeFactories();
            CloseAllWorkbooks();
            EndInstance(L"Closed");
        }
        return 0;
    case WM_PAINT:
        PaintMainWindow(window);
        return 0;
    case WM_TIMER:
        // A client that went away without releasing is not noticed: the idle rule ends the
        // hidden instance, after Quit too.
        if (wParam == kIdleTimer && !IsShown() &&
            GetTickCount64() - g_lastCall >= 1000ULL * instance.knobs.idleSeconds) {
            EndInstance(L"Idle");
        }
        return 0;
    case kMsgLastRelease:
        if (g_objects == 0) {
            if (instance.quitting) EndInstance(L"Quit");
            else if (!IsShown()) EndInstance(L"Released");
        }
        return 0;
    case kMsgRevoke:
        RevokeFactories();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Registration -----------------------------------------------------------------------------

const wchar_t kClasses[] = L"Software\\Classes\\";

// Office's Click-to-Run registers Excel as its installer does: the server line unquoted,
// under Program Files, with /automation, and beside it an in-process entry for the .NET
// interop assembly, which .NET's shim mscoree.dll would serve.
bool g_clickToRun = false;

std::wstring ServerCommand() {
    std::wstring command = ferrolin::ModuleFileName(nullptr);
    if (g_clickToRun) return command + L" /automation";
    if (command.find(L' ') != std::wstring::npos) command = L"\"" + command + L"\"";
    return command;
}

bool WriteInteropEntry(HKEY root, const std::wstring& clsidKey, const wchar_t* interopClass) {
    const std::wstring key = clsidKey + L"\\InprocServer32";
    return excel_standin::WriteText(root, key, nullptr, L"mscoree.dll") &&
           excel_standin::WriteText(root, key, L"ThreadingModel", L"Both") &&
           excel_standin::WriteText(root, key, L"Class", interopClass) &&
           excel_standin::WriteText(root, key, L"Assembly",
                                    L"Microsoft.Office.Interop.Excel, Version=15.0.0.0, Culture=neutral, "
                                    L"PublicKeyToken=71e9bce111e9429c") &&
           excel_standin::WriteText(root, key, L"RuntimeVersion", L"v2.0.50727");
}

bool WriteClasses(HKEY root) {
    const std::wstring base = kClasses;
    const std::wstring application = base + L"CLSID\\" + kApplicationClsid;
    const std::wstring global = base + L"CLSID\\" + kGlobalClsid;
    const std::wstring server = ServerCommand();
    if (g_clickToRun && !(WriteInteropEntry(root, application, L"Microsoft.Office.Interop.Excel.ApplicationClass") &&
                          WriteInteropEntry(root, global, L"Microsoft.Office.Interop.Excel.GlobalClass")))
        return false;
    bool ok = excel_standin::WriteText(root, application, nullptr, L"Microsoft Excel Application") &&
              excel_standin::WriteText(root, application + L"\\LocalServer32", nullptr, server) &&
              excel_standin::WriteText(root, application + L"\\ProgID", nullptr, kVersionedProgId) &&
              excel_standin::WriteText(root, application + L"\\VersionIndependentProgID", nullptr, kProgId) &&
              excel_standin::WriteText(root, global, nullptr, L"Microsoft Excel Global") &&
              excel_standin::WriteText(root, global + L"\\LocalServer32", nullptr, server);
    for (const wchar_t* progId : {kProgId, kVersionedProgId}) {
        ok = ok && excel_standin::WriteText(root, base + progId, nullptr, L"Microsoft Excel Application") &&
             excel_standin::WriteText(root, base + progId + L"\\CLSID", nullptr, kApplicationClsid);
    }
    return ok && excel_standin::WriteText(root, base + kProgId + L"\\CurVer", nullptr, kVersionedProgId);
}

void DeleteClasses(HKEY root) {
    const std::wstring base = kClasses;
    for (std::wstring key : {base + L"CLSID\\" + kApplicationClsid, base + L"CLSID\\" + kGlobalClsid,
                             base + kProgId, base + kVersionedProgId}) {
        RegDeleteTreeW(root, key.c_str());
        RegDeleteKeyW(root, key.c_str());
    }
}

// Whether COM sees what was written: HKEY_CLASSES_ROOT shows the server command and the
// program identifiers.
bool ClassesRootShowsServer() {
    const std::wstring path = std::wstring(L"CLSID\\") + kApplicationClsid + L"\\LocalServer32";
    const ferrolin::unique_hkey key = ferrolin::open_key(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ);
    if (!key) return false;
    wchar_t data[MAX_PATH + 4] = L"";
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (status != ERROR_SUCCESS || ServerCommand() != data) return false;
    // And the program identifiers: a server of the other bitness may have removed the ones
    // the two views share.
    for (const wchar_t* progId : {kProgId, kVersionedProgId})
        if (!ferrolin::open_key(HKEY_CLASSES_ROOT, (std::wstring(progId) + L"\\CLSID").c_str(), KEY_READ))
            return false;
    return true;
}

int RegisterServer() {
    // Office's installer makes its add-in library; Excel gives it as LibraryPath.
    const std::wstring library = DefaultLibraryPath();
    const int made = library.empty() ? ERROR_PATH_NOT_FOUND : SHCreateDirectoryExW(nullptr, library.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) return 1;
    if (!WriteClasses(HKEY_CURRENT_USER)) return 1;
    if (ClassesRootShowsServer()) return 0;
    // Wine keeps HKEY_CLASSES_ROOT to the machine's classes.
    return WriteClasses(HKEY_LOCAL_MACHINE) && ClassesRootShowsServer() ? 0 : 1;
}

int UnregisterServer() {
    DeleteClasses(HKEY_CURRENT_USER);
    DeleteClasses(HKEY_LOCAL_MACHINE);
    return 0;
}

// Server -----------------------------------------------------------------------------------

// Excel busy: while the BusyMs knob's time since the start runs, every incoming call is
// turned away, as Excel's own message filter does.
class BusyFilter : public ferrolin::uncounted_com_object<IMessageFilter> {
public:
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        // The calls on its objects (IDispatch); COM's own (the creation) go through.
        if (!call || call->iid != IID_IDispatch) return SERVERCALL_ISHANDLED;
        const DWORD busy = TheInstance().knobs.busyMs;
        return busy == 0xFFFFFFFF || GetTickCount64() - started_ < busy ? SERVERCALL_REJECTED : SERVERCALL_ISHANDLED;
    }
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
    void Start() { started_ = GetTickCount64(); }

private:
    ULONGLONG started_ = 0;
};
BusyFilter g_busyFilter;

// The program that started this one (its file name, lower case).
std::wstring Starter() {
    ferrolin::unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    std::map<DWORD, std::pair<DWORD, std::wstring>> processes;  // id -> parent, name
    PROCESSENTRY32W entry{sizeof entry};
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        processes[entry.th32ProcessID] = {entry.th32ParentProcessID, _wcslwr(entry.szExeFile)};
    const auto parent = processes.find(processes[GetCurrentProcessId()].first);
    return parent == processes.end() ? L"" : parent->second.second;
}

// A user's start (no command line) opens as Excel does for the user: its installed add-ins
// loaded, a blank workbook, the window shown as the starter asked; automation starts it
// hidden with nothing loaded.
int RunServer(HINSTANCE module, bool userStart) {
    ferrolin::com_apartment apartment(COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.result())) return 1;
    ReadKnobs();
    if (TheInstance().knobs.busyMs) {
        g_busyFilter.Start();
        IMessageFilter* previous = nullptr;
        CoRegisterMessageFilter(&g_busyFilter, &previous);
    }
    Log(std::wstring(L"Start ") + (userStart ? L"user " : L"") + RightsOf(GetCurrentProcess()) +
        (userStart ? L" by " + Starter() : L""));
    g_lastCall = GetTickCount64();
    CreateMainWindow(module, MainWindowProc);
    if (!TheInstance().window) {
        Log(L"End no window: " + std::to_wstring(GetLastError()));
        return 1;
    }
    LoadAddInList();
    SetTimer(TheInstance().window, kIdleTimer, 1000, nullptr);
    if (userStart) {
        for (const auto& addin : TheInstance().addins)
            if (addin->installed) OpenAddInWorkbook(*addin);
        AddBlankWorkbook();
        STARTUPINFOW startup{};
        GetStartupInfoW(&startup);
        const WORD show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
        SetWindowState(show == SW_SHOWMAXIMIZED ? xlMaximized : show == SW_SHOWMINIMIZED ? xlMinimized : xlNormal);
        Show(true);
        UpdateCaption();
    }
    // A start that cannot offer its classes says why: the client sees only error 429. The
    // user's Excel offers none: every creation starts an Excel of its own.
    for (auto [clsid, factory, cookie, name] :
         {std::tuple{&kClsidApplication, &g_applicationFactory, &g_applicationCookie, L"Application"},
          std::tuple{&kClsidGlobal, &g_globalFactory, &g_globalCookie, L"Global"}}) {
        if (userStart) break;
        const HRESULT hr = CoRegisterClassObject(*clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, cookie);
        if (FAILED(hr)) {
            Log(std::wstring(L"End not registered: ") + name + L" " + HresultCode(hr));
            RevokeFactories();
            return 1;
        }
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    RevokeFactories();
    return 0;
}

}  // namespace

// Lifetime ---------------------------------------------------------------------------------

void NoteCall() { g_lastCall = GetTickCount64(); }

void ObjectCreated() { ++g_objects; }

void ObjectDestroyed() {
    if (--g_objects == 0) PostToWindow(kMsgLastRelease);
}

void BeginQuit() {
    Instance& instance = TheInstance();
    if (instance.quitting) return;
    instance.quitting = true;
    RevokeFactories();
    CloseAllWorkbooks();
    Show(false);
    // As Excel, the process stays until its last client reference is released.
    if (g_objects == 0) PostToWindow(kMsgLastRelease);
}

void EndInstance(const wchar_t* reason) {
    Instance& instance = TheInstance();
    if (instance.ending) return;
    instance.ending = true;
    RevokeFactories();
    // Excel writes its add-in list when it ends.
    SaveAddInList();
    // Files are let go without questions: nobody is left to answer them.
    for (const auto& book : instance.workbooks) {
        book->open = false;
        book->file.reset();
    }
    instance.workbooks.clear();
    Log(std::wstring(L"End ") + reason);
    if (instance.window) {
        HWND window = std::exchange(instance.window, nullptr);
        KillTimer(window, kIdleTimer);
        DestroyWindow(window);
    }
    PostQuitMessage(0);
}

}  // namespace excel_standin

int WINAPI wWinMain(HINSTANCE module, HINSTANCE, PWSTR, int) {
    int count = 0;
    const ferrolin::unique_hlocal<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::wstring option = argv && count > 1 ? argv.get()[1] : L"";
    if (!option.empty() && (option[0] == L'/' || option[0] == L'-')) option.erase(0, 1);
    if (_wcsicmp(option.c_str(), L"RegServer") == 0) {
        excel_standin::g_clickToRun = count > 2 && _wcsicmp(argv.get()[2], L"/ClickToRun") == 0;
        return excel_standin::RegisterServer();
    }
    if (_wcsicmp(option.c_str(), L"UnregServer") == 0) return excel_standin::UnregisterServer();
    return excel_standin::RunServer(module, count <= 1);
}
