#include "library_harness.h"

#include <cstring>
#include <utility>

#include "call_params.h"
#include "uidriver.h"
#include "vb_variant.h"

namespace library_harness {

using ferrolin::com_ptr;
using ferrolin::unique_bstr;
using ferrolin::unique_handle;
using ferrolin::unique_variant;

std::wstring LibraryPath() { return ProgramFolder() + L"\\IFR_v11.dll"; }

LoadedLibrary::LoadedLibrary() : module_(LoadLibraryW(LibraryPath().c_str())) {}

com_ptr<IClassFactory> LoadedLibrary::Factory() const {
    com_ptr<IClassFactory> factory;
    if (!module_) return factory;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
    if (get) get(CLSID_CLibrary, IID_IClassFactory, factory.put_void());
    return factory;
}

com_ptr<_CLibrary> LoadedLibrary::Create() const {
    com_ptr<_CLibrary> object;
    if (com_ptr<IClassFactory> factory = Factory())
        factory->CreateInstance(nullptr, IID__CLibrary, object.put_void());
    return object;
}

HRESULT LoadedLibrary::CanUnloadNow() const {
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto can = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllCanUnloadNow")));
    return can ? can() : E_FAIL;
}

unique_handle Start(const std::wstring& program, const std::wstring& arguments) {
    return std::move(testing_support::StartProgram(program, arguments).process);
}

int Regsvr32(bool unregister) {
    return testing_support::ExitCodeOf(testing_support::SystemFolder() + L"\\regsvr32.exe",
                                       std::wstring(unregister ? L"/u " : L"") + L"/s \"" + LibraryPath() + L"\"", 60000);
}

Registration::Registration() : exitCode_(Regsvr32(false)) {}
Registration::~Registration() { Regsvr32(true); }

VbFailure FailureOf(HRESULT hr) {
    VbFailure failure;
    if (SUCCEEDED(hr)) return failure;
    failure.number = HRESULT_FACILITY(hr) == FACILITY_CONTROL ? HRESULT_CODE(hr) : hr;
    com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        unique_bstr text;
        if (SUCCEEDED(info->GetDescription(text.put()))) failure.description = Text(text);
        unique_bstr source;
        if (SUCCEEDED(info->GetSource(source.put()))) failure.source = Text(source);
    }
    return failure;
}

unique_bstr Bstr(const std::wstring& text) {
    return unique_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
std::wstring Text(const unique_bstr& b) { return Text(b.get()); }

unique_variant TextVariant(const std::wstring& text) { return ferrolin::MakeText(text); }

unique_variant LongVariant(long value) { return ferrolin::MakeLong(value); }

unique_variant ShortVariant(short value) {
    unique_variant v;
    V_VT(v.get()) = VT_I2;
    V_I2(v.get()) = value;
    return v;
}

unique_variant Missing() {
    unique_variant v;
    V_VT(v.get()) = VT_ERROR;
    V_ERROR(v.get()) = DISP_E_PARAMNOTFOUND;
    return v;
}

DISPID DispIdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

DispatchResult Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<unique_variant>& args) {
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    ferrolin::CallParams params(reversed.data(), static_cast<UINT>(reversed.size()), flags);
    DispatchResult result;
    result.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params.get(), result.value.put(),
                               result.exception.get(), &result.argError);
    return result;
}

DispatchResult CallByName(IDispatch* object, const wchar_t* name, std::vector<unique_variant> args, WORD flags) {
    return Invoke(object, DispIdOf(object, name), flags, args);
}

}  // namespace library_harness

namespace library_harness {

MessageBoxWatch::MessageBoxWatch() : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_.reset(CreateThread(nullptr, 0, &MessageBoxWatch::Watch, this, 0, nullptr));
}

MessageBoxWatch::~MessageBoxWatch() { Stop(); }

std::vector<MessageBoxWatch::Seen> MessageBoxWatch::Stop() {
    if (thread_) {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), 10000);
        thread_.reset();
    }
    return seen_;
}

DWORD WINAPI MessageBoxWatch::Watch(void* data) {
    auto* self = static_cast<MessageBoxWatch*>(data);
    while (WaitForSingleObject(self->stop_.get(), 20) == WAIT_TIMEOUT) {
        bool found = false;
        for (const uidriver::WindowInfo& box : uidriver::TopLevelWindows(GetCurrentProcessId())) {
            if (!box.visible || box.class_name != L"#32770") continue;
            found = true;
            Seen seen{box.caption, L""};
            if (HWND text = GetDlgItem(box.hwnd, 0xFFFF)) seen.text = uidriver::Text(text);
            self->seen_.push_back(seen);
            PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            PostMessageW(box.hwnd, WM_CLOSE, 0, 0);
        }
        if (found) Sleep(200);  // let the box go before looking again
    }
    return 0;
}

}  // namespace library_harness
