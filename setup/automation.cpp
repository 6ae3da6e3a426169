#include "automation.h"

#include <utility>
#include <vector>

#include "names.h"
#include "program.h"
#include "system_error.h"
#include "vb_variant.h"

namespace ferrolin::automation {

namespace {

VbError CannotCreateObject() { return {429, L"ActiveX component can't create object"}; }
VbError NoSuchMember() { return {438, L"Object doesn't support this property or method"}; }

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
// thread of its own posts a message to setup's thread every second, so that the question is
// asked also when nothing else arrives. The cancelled call fails with RPC_E_CALL_CANCELED.
// From then on that Excel is given up: every call still waiting on it, the releases of its
// objects included, is cancelled at once, until the next creation.
constexpr DWORD kAnswerMs = 60000;
bool g_excelGivenUp = false;

class AnswerWatch : public IMessageFilter {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
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

DWORD WINAPI Heartbeat(void* thread) {
    for (;;) {
        Sleep(1000);
        PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(thread)), WM_NULL, 0, 0);
    }
}

// Registers the watch on the calling thread (setup's one thread) before its first call.
void WatchForAnswers() {
    static AnswerWatch watch;
    static bool watching = false;
    if (watching) return;
    watching = true;
    IMessageFilter* previous = nullptr;
    CoRegisterMessageFilter(&watch, &previous);
    const DWORD self = GetCurrentThreadId();
    if (HANDLE thread = CreateThread(nullptr, 0, Heartbeat, reinterpret_cast<void*>(static_cast<ULONG_PTR>(self)),
                                     0, nullptr))
        CloseHandle(thread);
}

template <class Call>
HRESULT UntilTaken(Call call) {
    WatchForAnswers();
    const ULONGLONG deadline = GetTickCount64() + kBusyRetryMs;
    for (;;) {
        const HRESULT hr = call();
        if (!TurnedAway(hr) || GetTickCount64() >= deadline) return hr;
        WaitPainted({}, kBusyPauseMs);
    }
}

}  // namespace

Arg::Arg(const wchar_t* text) : value_(MakeText(text)) {}
Arg::Arg(const std::wstring& text) : value_(MakeText(text)) {}
Arg::Arg(int number) : value_(MakeLong(number)) {}
Arg::Arg(long number) : value_(MakeLong(number)) {}
Arg::Arg(bool value) {
    V_VT(value_.get()) = VT_BOOL;
    V_BOOL(value_.get()) = value ? VARIANT_TRUE : VARIANT_FALSE;
}
Arg::Arg(const Object& object) {
    V_VT(value_.get()) = VT_DISPATCH;
    V_DISPATCH(value_.get()) = object.get();
    if (object) object->AddRef();
}
Arg Arg::Missing() {
    Arg missing;
    V_VT(missing.value_.get()) = VT_ERROR;
    V_ERROR(missing.value_.get()) = DISP_E_PARAMNOTFOUND;
    return missing;
}
Arg::Arg(const Arg& other) {
    if (FAILED(VariantCopy(value_.get(), const_cast<VARIANT*>(&other.get()))))
        throw VbError::OutOfMemory();
}

VbError ErrorFromHresult(HRESULT hr, const EXCEPINFO* exception) {
    if (hr == DISP_E_EXCEPTION && exception) {
        EXCEPINFO info = *exception;
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        const unique_bstr description(info.bstrDescription);
        const unique_bstr source(info.bstrSource);
        const unique_bstr helpFile(info.bstrHelpFile);
        long number;
        if (info.wCode) number = info.wCode;
        else if (HRESULT_FACILITY(info.scode) == FACILITY_CONTROL) number = HRESULT_CODE(info.scode);
        else number = info.scode;
        std::wstring text(description.get() ? description.get() : L"", description.length());
        if (text.empty()) text = SystemMessage(static_cast<DWORD>(info.scode));
        if (text.empty()) text = L"Automation error";
        return {number, text};
    }
    switch (hr) {
    case RPC_E_CALL_CANCELED: return {static_cast<long>(hr), kMsgExcelNotResponding};
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME: return NoSuchMember();
    case DISP_E_BADPARAMCOUNT: return {450, L"Wrong number of arguments or invalid property assignment"};
    case DISP_E_PARAMNOTOPTIONAL: return {449, L"Argument not optional"};
    case DISP_E_TYPEMISMATCH: return VbError::TypeMismatch();
    case DISP_E_OVERFLOW: return VbError::Overflow();
    case DISP_E_BADINDEX: return VbError::SubscriptOutOfRange();
    case E_OUTOFMEMORY: return VbError::OutOfMemory();
    case E_INVALIDARG: return VbError::InvalidCall();
    default: break;
    }
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) {
        std::wstring text = SystemMessage(static_cast<DWORD>(hr));
        return {HRESULT_CODE(hr), text.empty() ? L"Automation error" : text};
    }
    std::wstring text = SystemMessage(HRESULT_FACILITY(hr) == FACILITY_WIN32
                                          ? static_cast<DWORD>(HRESULT_CODE(hr))
                                          : static_cast<DWORD>(hr));
    return {static_cast<long>(hr), text.empty() ? L"Automation error" : text};
}

// A local server's creation runs on a thread of its own, in the multithreaded apartment: COM
// waits for a server that does not offer its class for as long as it likes (Windows about
// 120 s) and asks no message filter meanwhile. Setup waits for it kAnswerMs with its windows
// painted; the object comes over in a stream. A creation given up is left to its thread,
// which lets go of whatever it gets.
struct Creation {
    CLSID clsid;
    HRESULT hr = E_FAIL;
    IStream* stream = nullptr;
    LONG owners = 2;  // setup's thread and the creating one: the last one frees it

    void Leave() {
        if (InterlockedDecrement(&owners) != 0) return;
        if (stream) {
            CoReleaseMarshalData(stream);
            stream->Release();
        }
        delete this;
    }
};

DWORD WINAPI Create(void* data) {
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

Object CreateObject(const CLSID& clsid) {
    WatchForAnswers();
    g_excelGivenUp = false;
    // An in-process class is made here: there is no server to wait for, and its object
    // belongs to this thread.
    Object object;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
    if (SUCCEEDED(hr)) return object;
    if (hr != REGDB_E_CLASSNOTREG && hr != CLASS_E_CLASSNOTAVAILABLE) throw ErrorFromHresult(hr);
    Creation* creation = new Creation{clsid};
    unique_handle thread(CreateThread(nullptr, 0, Create, creation, 0, nullptr));
    if (!thread) {
        creation->owners = 1;
        creation->Leave();
        throw VbError::OutOfMemory();
    }
    const bool done = WaitPainted({thread.get()}, kAnswerMs);
    hr = done ? creation->hr : RPC_E_CALL_CANCELED;
    if (done && SUCCEEDED(hr)) {
        hr = CoGetInterfaceAndReleaseStream(std::exchange(creation->stream, nullptr), IID_IDispatch,
                                            object.put_void());
    }
    creation->Leave();
    if (FAILED(hr)) {
        // A server that ended before it offered its class (Wine says E_NOINTERFACE) or did
        // not offer it in time did not start.
        if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_SERVER_EXEC_FAILURE || hr == E_NOINTERFACE ||
            hr == CO_E_APPNOTFOUND || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            throw CannotCreateObject();
        throw ErrorFromHresult(hr);
    }
    return object;
}

Object CreateObject(const wchar_t* progId) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) throw CannotCreateObject();
    return CreateObject(clsid);
}

DISPID DispIdOf(const Object& object, const wchar_t* name) {
    if (!object) throw VbError::ObjectNotSet();
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = UntilTaken([&] { return object->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id); });
    if (FAILED(hr)) throw hr == DISP_E_UNKNOWNNAME ? NoSuchMember() : ErrorFromHresult(hr);
    return id;
}

unique_variant Invoke(const Object& object, DISPID id, WORD flags, Args args) {
    if (!object) throw VbError::ObjectNotSet();
    // DISPPARAMS holds the arguments last to first. The array only borrows them.
    std::vector<VARIANTARG> reversed;
    reversed.reserve(args.size());
    for (auto it = args.end(); it != args.begin();) reversed.push_back((--it)->get());

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    unique_variant result;
    EXCEPINFO exception{};
    UINT argError = 0;
    // A call turned away was not run: it is made again as it was.
    const HRESULT hr = UntilTaken([&] {
        return object->Invoke(id, IID_NULL, kLocale, flags, &params,
                              (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.get(), &exception, &argError);
    });
    if (FAILED(hr)) throw ErrorFromHresult(hr, &exception);
    return result;
}

Object ToObject(const VARIANT& value) {
    const VARIANT* v = &value;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    switch (V_VT(v)) {
    case VT_DISPATCH:
        if (!V_DISPATCH(v)) throw VbError::ObjectNotSet();
        return Object::copy(V_DISPATCH(v));
    case VT_UNKNOWN: {
        if (!V_UNKNOWN(v)) throw VbError::ObjectNotSet();
        Object object;
        if (FAILED(V_UNKNOWN(v)->QueryInterface(IID_IDispatch, object.put_void())))
            throw VbError::TypeMismatch();
        return object;
    }
    case VT_EMPTY:
    case VT_NULL:
        throw VbError::ObjectNotSet();
    default:
        throw VbError::TypeMismatch();
    }
}

constexpr WORD kCallOrGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

unique_variant Get(const Object& object, const wchar_t* name, Args args) {
    return Invoke(object, DispIdOf(object, name), kCallOrGet, args);
}
unique_variant Get(const Object& object, DISPID id, Args args) {
    return Invoke(object, id, kCallOrGet, args);
}
Object GetObj(const Object& object, const wchar_t* name, Args args) {
    return ToObject(*Get(object, name, args).get());
}
Object GetObj(const Object& object, DISPID id, Args args) {
    return ToObject(*Get(object, id, args).get());
}
void Put(const Object& object, const wchar_t* name, const Arg& value) {
    Put(object, DispIdOf(object, name), value);
}
void Put(const Object& object, DISPID id, const Arg& value) {
    Invoke(object, id, DISPATCH_PROPERTYPUT, {value});
}
void Call(const Object& object, const wchar_t* name, Args args) {
    Get(object, name, args);
}
void Call(const Object& object, DISPID id, Args args) {
    Get(object, id, args);
}

}  // namespace ferrolin::automation
