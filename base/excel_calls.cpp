#include "excel_calls.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <utility>

#include "call_params.h"
#include "handles.h"
#include "names.h"
#include "uncounted_com_object.h"
#include "wait_painted.h"

namespace ferrolin::excel_calls {

namespace {

// Excel turns calls away ("retry later") while it starts, recalculates or shows a dialog.
// Windows makes such a call again for a client whose message filter asks for it
// (RetryRejectedCall, below); Wine never asks the filter, so a call on an Excel that exists
// is also made again here (kBusyRetryMs, kBusyPauseMs). A creation is made once: each try
// would start another Excel.

bool TurnedAway(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

// Excel may also not answer at all (hung, or a dialog nobody sees while it is invisible).
// COM waits for an answer in a message loop that asks the thread's message filter what to
// do whenever a message arrives: this one cancels a call that has waited kAnswerMs. A
// thread of its own posts a message to the calling thread every second, so that the
// question is asked also when nothing else arrives. On Windows the cancelled call fails at
// once with RPC_E_CALL_CANCELED; Wine's COM goes on waiting for the answer, so a call still
// waiting kCancelledCallMs after its cancel ends the Excel, which breaks it. Either way the
// Excels of this program that run are given up: ended, since a hidden Excel that stopped
// answering would stay behind holding files, and until they are gone every call waiting on
// them is cancelled at once. (While an Excel of the program's runs, the program calls no
// other server out of process.)

// An Excel this program started, known from its creation to the program's end.
struct StartedExcel {
    HANDLE process;  // SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION
    DWORD id;
    bool givenUp;    // stopped answering, and ended by this program
};
constexpr int kMaxStarted = 32;
StartedExcel g_started[kMaxStarted];
int g_startedCount = 0;
// Bumped at every give-up: a call that sees it change was cancelled with its Excel.
LONG g_giveUps = 0;
// The threads of creations given up, waited for at the program's end.
constexpr int kMaxCreations = 8;
HANDLE g_creations[kMaxCreations];
int g_creationCount = 0;

bool Running(const StartedExcel& excel) { return WaitForSingleObject(excel.process, 0) == WAIT_TIMEOUT; }

void MarkGivenUp(StartedExcel& excel) {
    if (excel.givenUp) return;
    excel.givenUp = true;
    ++g_giveUps;
}

void GiveUp(StartedExcel& excel) {
    MarkGivenUp(excel);
    TerminateProcess(excel.process, 1);
}

StartedExcel* Started(DWORD id) {
    for (int i = 0; id && i < g_startedCount; ++i)
        if (g_started[i].id == id) return &g_started[i];
    return nullptr;
}

class AnswerWatch : public uncounted_com_object<IMessageFilter> {
public:
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    // A call turned away is made again after a pause, until kBusyRetryMs have passed.
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override {
        return elapsed < kBusyRetryMs ? kBusyPauseMs : static_cast<DWORD>(-1);
    }
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD waited, DWORD) override {
        bool cancel = waited >= kAnswerMs;
        for (int i = 0; i < g_startedCount; ++i) {
            StartedExcel& excel = g_started[i];
            if (!Running(excel)) continue;
            if (waited >= kAnswerMs + kCancelledCallMs) GiveUp(excel);  // the cancel did not end the wait
            else if (waited >= kAnswerMs) MarkGivenUp(excel);
            cancel = cancel || excel.givenUp;
        }
        return cancel ? PENDINGMSG_CANCELCALL : PENDINGMSG_WAITDEFPROCESS;
    }
};

// Ends the Excels given up that still run.
void EndGivenUp() {
    for (int i = 0; i < g_startedCount; ++i)
        if (g_started[i].givenUp) GiveUp(g_started[i]);
}

// The watch on the calling thread (the program's one thread), registered before its first
// call into Excel, with its heartbeat; both go, and the earlier filter is put back, when the
// program returns from its entry point. (A static of the namespace, built at compile time:
// a function's static would need the C++ runtime's guard.)
class Watching {
public:
    constexpr Watching() = default;
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;
    ~Watching() {
        if (!caller_) return;
        if (heartbeat_) {
            SetEvent(stop_.get());
            WaitForSingleObject(heartbeat_.get(), INFINITE);
        }
        IMessageFilter* ours = nullptr;
        CoRegisterMessageFilter(previous_.get(), &ours);
    }

    void Start() {
        if (caller_) return;
        caller_ = GetCurrentThreadId();
        CoRegisterMessageFilter(&watch_, previous_.put());
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (stop_) heartbeat_.reset(CreateThread(nullptr, 0, Heartbeat, this, 0, nullptr));
    }

private:
    static DWORD WINAPI Heartbeat(void* data) {
        const Watching* watching = static_cast<const Watching*>(data);
        while (WaitForSingleObject(watching->stop_.get(), 1000) == WAIT_TIMEOUT)
            PostThreadMessageW(watching->caller_, WM_NULL, 0, 0);
        return 0;
    }

    AnswerWatch watch_;
    com_ptr<IMessageFilter> previous_;
    DWORD caller_ = 0;
    unique_handle stop_;
    unique_handle heartbeat_;
};

Watching g_watching;

void WatchForAnswers() { g_watching.Start(); }

template <class Call>
HRESULT UntilTaken(Call call) {
    WatchForAnswers();
    const LONG giveUps = g_giveUps;
    const ULONGLONG deadline = GetTickCount64() + kBusyRetryMs;
    for (;;) {
        const HRESULT hr = call();
        if (g_giveUps != giveUps) {
            // Its Excel stopped answering: whatever the call returned (cancelled, or the
            // connection broken by the Excel's end), it was not answered.
            EndGivenUp();
            return RPC_E_CALL_CANCELED;
        }
        if (!TurnedAway(hr) || GetTickCount64() >= deadline) return hr;
        WaitPainted(nullptr, 0, kBusyPauseMs);
    }
}

BOOL CALLBACK FindShownExcel(HWND window, LPARAM found) {
    wchar_t className[32] = {};
    if (!IsWindowVisible(window) || !GetClassNameW(window, className, 32) ||
        lstrcmpW(className, kExcelWindowClass) != 0)
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// A local server's creation runs on a thread of its own, in the multithreaded apartment: COM
// waits for a server that does not offer its class for as long as it likes (Windows about
// 120 s) and asks no message filter meanwhile. The caller waits for it kAnswerMs with its
// windows painted; the object comes over in a stream. A creation given up is left to its
// thread, which lets go of whatever it gets. Allocated from the process heap: the
// uninstallers link no C++ allocator.
struct Creation {
    CLSID clsid;
    HRESULT hr;
    IStream* stream;
    LONG owners;  // the caller's thread and the creating one: the last one frees it

    void Leave() {
        if (InterlockedDecrement(&owners) != 0) return;
        if (stream) {
            CoReleaseMarshalData(stream);
            stream->Release();
        }
        HeapFree(GetProcessHeap(), 0, this);
    }
};

DWORD WINAPI CreateOnOwnThread(void* data) {
    Creation* creation = static_cast<Creation*>(data);
    const com_apartment apartment(COINIT_MULTITHREADED);
    com_ptr<IDispatch> object;
    HRESULT hr = CoCreateInstance(creation->clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, object.put_void());
    if (SUCCEEDED(hr)) hr = CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object.get(), &creation->stream);
    object.reset();
    creation->hr = hr;
    creation->Leave();
    return 0;
}

bool IsExcelClass(const CLSID& clsid) {
    return IsEqualCLSID(clsid, kClsidExcelApplication) || IsEqualCLSID(clsid, kClsidExcelGlobal);
}

// The Excel a creation starts is told by its program: the processes of the program that the
// class's LocalServer32 names (in either view of the registry: COM looks in both) are listed
// before the creation and after it, and the new ones are its. The desktop shell's children
// are the user's own Excels and never taken.
struct ServerPrograms {
    wchar_t names[2][MAX_PATH];  // file names, as a process list gives them
    int count;
};

ServerPrograms ServerProgramsOf(const CLSID& clsid) {
    ServerPrograms programs = {};
    wchar_t key[64] = L"CLSID\\";
    if (!StringFromGUID2(clsid, key + 6, 40)) return programs;
    lstrcatW(key, L"\\LocalServer32");
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const unique_hkey opened = open_key(HKEY_CLASSES_ROOT, key, KEY_QUERY_VALUE | view);
        wchar_t command[MAX_PATH + 64];
        DWORD size = sizeof command;
        if (!opened || RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr,
                                    command, &size) != ERROR_SUCCESS)
            continue;
        size_t start = 0, length = 0;
        ServerProgramSpan(command, &start, &length);
        size_t name = start;
        for (size_t i = start; i < start + length; ++i)
            if (command[i] == L'\\' || command[i] == L'/') name = i + 1;
        const size_t nameLength = start + length - name;
        wchar_t* into = programs.names[programs.count];
        if (nameLength == 0 || nameLength >= MAX_PATH) continue;
        lstrcpynW(into, command + name, static_cast<int>(nameLength) + 1);
        if (programs.count == 0 || lstrcmpiW(programs.names[0], into) != 0) ++programs.count;
    }
    return programs;
}

// The ids of the processes, not the shell's children, that run one of the programs.
int ProcessesOf(const ServerPrograms& programs, DWORD* ids, int max) {
    if (programs.count == 0) return 0;
    const unique_handle snapshot = adopt_file(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    DWORD shell = 0;
    if (HWND desktop = GetShellWindow()) GetWindowThreadProcessId(desktop, &shell);
    int count = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && count < max;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (shell && entry.th32ParentProcessID == shell) continue;
        const wchar_t* name = entry.szExeFile;
        for (const wchar_t* c = entry.szExeFile; *c; ++c)
            if (*c == L'\\') name = c + 1;
        for (int i = 0; i < programs.count; ++i)
            if (lstrcmpiW(name, programs.names[i]) == 0) {
                ids[count++] = entry.th32ProcessID;
                break;
            }
    }
    return count;
}

constexpr int kMaxListed = 64;

// The processes of the programs that run now, in this session, and did not before the
// creation: its Excel's candidates (another program may have started an Excel meanwhile).
int NewProcesses(const ServerPrograms& programs, const DWORD* before, int beforeCount, DWORD* ids) {
    DWORD now[kMaxListed];
    const int count = ProcessesOf(programs, now, kMaxListed);
    DWORD session = 0, theirs = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    int fresh = 0;
    for (int i = 0; i < count; ++i) {
        bool old = Started(now[i]) != nullptr ||
                   (ProcessIdToSessionId(now[i], &theirs) && theirs != session);
        for (int j = 0; j < beforeCount && !old; ++j) old = before[j] == now[i];
        if (!old) ids[fresh++] = now[i];
    }
    return fresh;
}

// Keeps the process as an Excel of this program's (given up at once when its creation
// was); false when it cannot be opened or the table is full of running ones.
bool Keep(DWORD id, bool givenUp) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) return false;
    // A full table makes room where an Excel has ended.
    int slot = g_startedCount < kMaxStarted ? g_startedCount++ : -1;
    for (int k = 0; slot < 0 && k < kMaxStarted; ++k)
        if (!Running(g_started[k])) {
            CloseHandle(g_started[k].process);
            slot = k;
        }
    if (slot < 0) {
        CloseHandle(process);
        return false;
    }
    g_started[slot] = StartedExcel{process, id, false};
    if (givenUp) GiveUp(g_started[slot]);
    return true;
}

// The process of an Excel that answers: its main window's (Application.Hwnd).
DWORD ProcessOfWindow(IDispatch* application) {
    unique_variant window;
    DWORD process = 0;
    if (SUCCEEDED(CallMember(application, L"Hwnd", DISPATCH_PROPERTYGET, nullptr, 0, window.put())) &&
        SUCCEEDED(VariantChangeType(window.get(), window.get(), 0, VT_I4)))
        GetWindowThreadProcessId(reinterpret_cast<HWND>(static_cast<LONG_PTR>(V_I4(window.get()))), &process);
    return process;
}

}  // namespace

bool UsersExcelOpen() {
    bool found = false;
    EnumWindows(FindShownExcel, reinterpret_cast<LPARAM>(&found));
    return found;
}

void ServerProgramSpan(const wchar_t* commandLine, size_t* start, size_t* length) {
    size_t at = 0;
    while (commandLine[at] == L' ' || commandLine[at] == L'\t') ++at;
    *start = at;
    *length = 0;
    if (commandLine[at] == L'"') {
        size_t end = at + 1;
        while (commandLine[end] && commandLine[end] != L'"') ++end;
        *start = at + 1;
        *length = end - at - 1;
        return;
    }
    // Unquoted: a path may hold blanks, so it runs to the ".exe" that a blank or the end follows.
    for (size_t dot = at; commandLine[dot]; ++dot) {
        const wchar_t* e = commandLine + dot;
        if (e[0] == L'.' && (e[1] | 0x20) == L'e' && (e[2] | 0x20) == L'x' && (e[3] | 0x20) == L'e' &&
            (e[4] == L'\0' || e[4] == L' ' || e[4] == L'\t')) {
            *length = dot + 4 - at;
            return;
        }
    }
    size_t end = at;
    while (commandLine[end] && commandLine[end] != L' ' && commandLine[end] != L'\t') ++end;
    *length = end - at;
}

HRESULT Create(const CLSID& clsid, IDispatch** object, DWORD* process) {
    *object = nullptr;
    if (process) *process = 0;
    WatchForAnswers();
    HRESULT hr;
    // An in-process class is made here: there is no server to wait for, and its object
    // belongs to this thread. Excel is a local server, whatever else its class registers:
    // Office's Click-to-Run adds an InprocServer32 entry for its .NET interop assembly,
    // which would go to the .NET shim.
    if (!IsExcelClass(clsid)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(object));
        if (hr != REGDB_E_CLASSNOTREG && hr != CLASS_E_CLASSNOTAVAILABLE) return hr;
    }

    const ServerPrograms programs = ServerProgramsOf(clsid);
    DWORD before[kMaxListed];
    const int beforeCount = ProcessesOf(programs, before, kMaxListed);
    auto* creation = static_cast<Creation*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Creation)));
    if (!creation) return E_OUTOFMEMORY;
    *creation = Creation{clsid, E_FAIL, nullptr, 2};
    unique_handle thread(CreateThread(nullptr, 0, CreateOnOwnThread, creation, 0, nullptr));
    if (!thread) {
        creation->owners = 1;
        creation->Leave();
        return E_OUTOFMEMORY;
    }
    HANDLE wait[] = {thread.get()};
    const bool done = WaitPainted(wait, 1, kAnswerMs);
    DWORD fresh[kMaxListed];
    const int freshCount = NewProcesses(programs, before, beforeCount, fresh);
    hr = done ? creation->hr : RPC_E_CALL_CANCELED;
    if (done && SUCCEEDED(hr)) {
        hr = CoGetInterfaceAndReleaseStream(std::exchange(creation->stream, nullptr), IID_IDispatch,
                                            reinterpret_cast<void**>(object));
    }
    creation->Leave();
    if (!done) {
        // Given up, its Excel is ended, which ends the creation too (its thread is waited
        // for at the program's end); only when it is the one Excel that came up meanwhile.
        if (freshCount == 1) Keep(fresh[0], true);
        if (g_creationCount < kMaxCreations) g_creations[g_creationCount++] = thread.release();
        return hr;
    }
    if (FAILED(hr)) return hr;
    // One new Excel is the creation's; where none or several came up, its window says which.
    const DWORD started = freshCount == 1 ? fresh[0] : ProcessOfWindow(*object);
    if (started && Keep(started, false) && process) *process = started;
    return hr;
}

HRESULT DispIdOf(IDispatch* object, const wchar_t* name, DISPID* id) {
    *id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return UntilTaken([&] { return object->GetIDsOfNames(IID_NULL, names, 1, kLocale, id); });
}

namespace {

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* exception) {
    UINT argError = 0;
    // A call turned away was not run: it is made again as it was.
    return UntilTaken(
        [&] { return object->Invoke(id, IID_NULL, kLocale, flags, params, result, exception, &argError); });
}

}  // namespace

HRESULT CallMember(IDispatch* object, Member member, WORD flags, VARIANTARG* reversed, UINT count,
                   VARIANT* result, EXCEPINFO* exception) {
    if (!object) return E_POINTER;
    DISPID id = member.id;
    if (member.name) {
        const HRESULT hr = DispIdOf(object, member.name, &id);
        if (FAILED(hr)) return hr;
    }
    CallParams params(reversed, count, flags);
    return Invoke(object, id, flags, params.get(), result, exception);
}

com_ptr<IDispatch> MemberObject(IDispatch* object, Member member, VARIANTARG* argument) {
    unique_variant result;
    if (FAILED(CallMember(object, member, kCallOrGet, argument, argument ? 1 : 0, result.put())) ||
        result.vt() != VT_DISPATCH)
        return nullptr;
    return com_ptr<IDispatch>::copy(V_DISPATCH(result.get()));
}

bool AwaitEnd(DWORD process, DWORD ms) {
    StartedExcel* excel = Started(process);
    if (!excel) return true;
    HANDLE wait[] = {excel->process};
    if (excel->givenUp || !WaitPainted(wait, 1, ms)) GiveUp(*excel);
    return !excel->givenUp;
}

bool ProgramOf(DWORD process, wchar_t* path, DWORD size) {
    const StartedExcel* excel = Started(process);
    return excel && QueryFullProcessImageNameW(excel->process, 0, path, &size);
}

void EndStarted() {
    // A creation given up ends once its Excel has been ended.
    if (g_creationCount) WaitForMultipleObjects(static_cast<DWORD>(g_creationCount), g_creations, TRUE, kLeftOverMs);
    HANDLE running[kMaxStarted];
    DWORD count = 0;
    for (int i = 0; i < g_startedCount; ++i)
        if (Running(g_started[i])) running[count++] = g_started[i].process;
    if (count) WaitPainted(running, count, kLeftOverMs);
    for (int i = 0; i < g_startedCount; ++i)
        if (Running(g_started[i])) GiveUp(g_started[i]);
}

}  // namespace ferrolin::excel_calls
