#include "excel_calls.h"

#include <objbase.h>

#include <utility>

#include "handles.h"
#include "names.h"
#include "uncounted_com_object.h"

namespace ferrolin::excel_calls {

namespace {

// Excel turns calls away ("retry later") while it starts, recalculates or shows a dialog.
// Windows makes such a call again for a client whose message filter asks for it
// (RetryRejectedCall, below); Wine never asks the filter, so a call on an Excel that exists
// is also made again here until it is taken or kBusyRetryMs have passed since it was first
// made; then its failure is the step's own. A creation is made once: each try would start
// another Excel.
constexpr ULONGLONG kBusyRetryMs = 60000;
constexpr DWORD kBusyPauseMs = 100;

bool TurnedAway(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

// Excel may also not answer at all (hung, or a dialog nobody sees while it is invisible).
// COM waits for an answer in a message loop that asks the thread's message filter what to
// do whenever a message arrives: this one cancels a call that has waited kAnswerMs. A
// thread of its own posts a message to the calling thread every second, so that the
// question is asked also when nothing else arrives. The cancelled call fails with
// RPC_E_CALL_CANCELED. From then on that Excel is given up: every call still waiting on it,
// the releases of its objects included, is cancelled at once, until the next creation.
bool g_excelGivenUp = false;

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
        if (waited >= kAnswerMs) g_excelGivenUp = true;
        return g_excelGivenUp ? PENDINGMSG_CANCELCALL : PENDINGMSG_WAITDEFPROCESS;
    }
};

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
        if (SUCCEEDED(CoRegisterMessageFilter(previous_, &ours)) && previous_) previous_->Release();
    }

    void Start() {
        if (caller_) return;
        caller_ = GetCurrentThreadId();
        CoRegisterMessageFilter(&watch_, &previous_);
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
    IMessageFilter* previous_ = nullptr;
    DWORD caller_ = 0;
    unique_handle stop_;
    unique_handle heartbeat_;
};

Watching g_watching;

void WatchForAnswers() { g_watching.Start(); }

template <class Call>
HRESULT UntilTaken(Call call) {
    WatchForAnswers();
    const ULONGLONG deadline = GetTickCount64() + kBusyRetryMs;
    for (;;) {
        const HRESULT hr = call();
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
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDispatch* object = nullptr;
    HRESULT hr = CoCreateInstance(creation->clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&object));
    if (SUCCEEDED(hr)) {
        hr = CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object, &creation->stream);
        object->Release();
    }
    creation->hr = hr;
    creation->Leave();
    if (SUCCEEDED(init)) CoUninitialize();
    return 0;
}

}  // namespace

bool UsersExcelOpen() {
    bool found = false;
    EnumWindows(FindShownExcel, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool WaitPainted(HANDLE* handles, DWORD count, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return count == 0;
        const DWORD got = MsgWaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(end - now),
                                                    QS_PAINT | QS_SENDMESSAGE);
        if (got == WAIT_FAILED) return false;
        if (got < WAIT_OBJECT_0 + count) {
            // The signalled handle leaves the set: the last one takes its place.
            handles[got - WAIT_OBJECT_0] = handles[count - 1];
            if (--count == 0) return true;
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE))
            DispatchMessageW(&message);
    }
}

HRESULT Create(const CLSID& clsid, IDispatch** object) {
    *object = nullptr;
    WatchForAnswers();
    g_excelGivenUp = false;
    // An in-process class is made here: there is no server to wait for, and its object
    // belongs to this thread.
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(object));
    if (hr != REGDB_E_CLASSNOTREG && hr != CLASS_E_CLASSNOTAVAILABLE) return hr;

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
    hr = done ? creation->hr : RPC_E_CALL_CANCELED;
    if (done && SUCCEEDED(hr)) {
        hr = CoGetInterfaceAndReleaseStream(std::exchange(creation->stream, nullptr), IID_IDispatch,
                                            reinterpret_cast<void**>(object));
    }
    creation->Leave();
    return hr;
}

HRESULT DispIdOf(IDispatch* object, const wchar_t* name, DISPID* id) {
    *id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return UntilTaken([&] { return object->GetIDsOfNames(IID_NULL, names, 1, kLocale, id); });
}

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* exception) {
    UINT argError = 0;
    // A call turned away was not run: it is made again as it was.
    return UntilTaken(
        [&] { return object->Invoke(id, IID_NULL, kLocale, flags, params, result, exception, &argError); });
}

}  // namespace ferrolin::excel_calls
