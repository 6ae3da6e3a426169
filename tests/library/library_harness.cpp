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

const std::vector<LibraryMember>& LibraryMembers() {
    using A = ArgKind;
    static const std::vector<LibraryMember> members = {
        {L"lCia", 0x40030000, INVOKE_PROPERTYGET, "(out retval BSTR*)", {}, 0},
        {L"lCia", 0x40030000, INVOKE_PROPERTYPUT, "(in BSTR)", {A::Text}, 0},
        {L"CreateRegistryKey", 0x60030000, INVOKE_FUNC, "(in long, in BSTR, out retval VARIANT_BOOL*)",
         {A::RootWrite, A::KeyCreate}, 0},
        {L"DeleteRegistryKey", 0x60030001, INVOKE_FUNC, "(in long, in BSTR)", {A::RootWrite, A::KeyCreate}, 0},
        {L"GetRegistryValue", 0x60030002, INVOKE_FUNC,
         "(in long, in BSTR, in BSTR, in short, in optional VARIANT*, out retval VARIANT*)",
         {A::RootRead, A::Key, A::Value, A::Kind, A::Variant}, 1},
        {L"SetRegistryValue", 0x60030003, INVOKE_FUNC, "(in long, in BSTR, in BSTR, in short, in VARIANT*)",
         {A::RootWrite, A::Key, A::Value, A::Kind, A::Variant}, 0},
        {L"DeleteRegistryValue", 0x60030004, INVOKE_FUNC, "(in long, in BSTR, in BSTR)",
         {A::RootWrite, A::Key, A::Value}, 0},
        {L"prcLink", 0x60030005, INVOKE_FUNC, "(in BSTR*)", {A::Link}, 0},
        {L"prcLink_About", 0x60030006, INVOKE_FUNC, "(in BSTR*)", {A::Link}, 0},
        {L"prcDesinstalar_Addin", 0x60030007, INVOKE_FUNC, "()", {}, 0},
        {L"App_Exist", 0x60030008, INVOKE_FUNC, "(out retval VARIANT_BOOL*)", {}, 0},
        {L"prcChecked_Key_RG", 0x60030009, INVOKE_FUNC, "()", {}, 0},
        {L"CheckRegistryKey", 0x6003000a, INVOKE_FUNC, "(in long, in BSTR, out retval VARIANT_BOOL*)",
         {A::RootRead, A::Key}, 0},
        {L"prcSet_status_Addin", 0x6003000b, INVOKE_FUNC, "(in BSTR*)", {A::Text}, 0},
        {L"Get_status_Addin", 0x6003000c, INVOKE_FUNC, "(out retval BSTR*)", {}, 0},
        {L"IsAddin_Installed", 0x6003000d, INVOKE_FUNC, "(out retval VARIANT_BOOL*)", {}, 0},
        {L"Delete_All", 0x6003000e, INVOKE_FUNC, "()", {}, 0},
        {L"prcDir", 0x6003000f, INVOKE_FUNC, "(in BSTR*)", {A::Text}, 0},
        {L"InstallPath", 0x60030010, INVOKE_FUNC, "(out retval BSTR*)", {}, 0},
        {L"prcSet_Addin", 0x60030011, INVOKE_FUNC, "(in BSTR*)", {A::Text}, 0},
        {L"EnumRegistryKeys", 0x60030012, INVOKE_FUNC, "(in long, in BSTR, out retval SAFEARRAY(BSTR)*)",
         {A::RootRead, A::Key}, 0},
        {L"SetRegistryValueX", 0x60030013, INVOKE_FUNC, "(in BSTR, in BSTR, in short, in VARIANT*)",
         {A::Key, A::Value, A::Kind, A::Variant}, 0},
        {L"GetRegistryValueX", 0x60030014, INVOKE_FUNC,
         "(in BSTR, in BSTR, in short, in optional VARIANT*, out retval VARIANT*)",
         {A::Key, A::Value, A::Kind, A::Variant}, 1},
        {L"lpHkey_app", 0x60030015, INVOKE_FUNC, "(out retval BSTR*)", {}, 0},
        {L"Delete_information_All", 0x60030016, INVOKE_FUNC, "(out retval VARIANT_BOOL*)", {}, 0},
        {L"Limpia", 0x60030017, INVOKE_FUNC, "()", {}, 0},
        {L"GetWindowsDir", 0x60030018, INVOKE_FUNC, "(out retval BSTR*)", {}, 0},
        {L"StripTerminator", 0x60030019, INVOKE_FUNC, "(in BSTR, out retval BSTR*)", {A::Text}, 0},
    };
    return members;
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
