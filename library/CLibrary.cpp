#include "CLibrary.h"

#include <shellapi.h>

#include <cstring>
#include <cwchar>
#include <utility>

#include "com_error.h"
#include "handles.h"
#include "install_record.h"
#include "names.h"
#include "registry_layer.h"
#include "vb_text.h"
#include "vb_variant.h"

namespace ferrolin::library {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

namespace {

constexpr int kClipboardAttempts = 10;
constexpr DWORD kClipboardPause = 10;  // milliseconds
constexpr UINT kWindowsDirBuffer = 255;

// A NULL BSTR is the empty text; embedded NULs are kept.
std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
std::wstring Text(const BSTR* b) { return b ? Text(*b) : std::wstring(); }

unique_bstr NewText(const std::wstring& text) {
    unique_bstr b(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!b.get()) throw std::bad_alloc();
    return b;
}

VARIANT_BOOL VbBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// The default a read falls back on: nullptr (the empty text) when the caller omitted
// the optional argument, which arrives as the error value DISP_E_PARAMNOTFOUND.
const VARIANT* GivenDefault(const VARIANT* value) {
    if (!value) return nullptr;
    const VARIANT* v = value;
    if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    if (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return nullptr;
    if (V_VT(v) == (VT_ERROR | VT_BYREF) && V_ERRORREF(v) && *V_ERRORREF(v) == DISP_E_PARAMNOTFOUND)
        return nullptr;
    return value;
}

const VARIANT& RequiredValue(const VARIANT* value) {
    if (!value) throw VbError::InvalidCall();
    return *value;
}

SAFEARRAY* TextArray(const std::vector<std::wstring>& names) {
    unique_safearray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size())));
    if (!array.get()) throw std::bad_alloc();
    if (!names.empty()) {
        safearray_access access(array.get());
        if (!access) throw std::bad_alloc();
        BSTR* items = access.data<BSTR>();
        for (size_t i = 0; i < names.size(); ++i) items[i] = NewText(names[i]).release();
    }
    return array.release();
}

}  // namespace

CLibrary::CLibrary() { ++g_objects; }
CLibrary::~CLibrary() { --g_objects; }

// IUnknown

HRESULT STDMETHODCALLTYPE CLibrary::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID__CLibrary))
        *object = static_cast<_CLibrary*>(this);
    else if (IsEqualIID(riid, __uuidof(ISupportErrorInfo)))
        *object = static_cast<ISupportErrorInfo*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CLibrary::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE CLibrary::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

// IDispatch

HRESULT STDMETHODCALLTYPE CLibrary::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CLibrary::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return LibraryTypeInfo(info);
}

HRESULT STDMETHODCALLTYPE CLibrary::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                  DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    com_ptr<ITypeInfo> info;
    const HRESULT hr = LibraryTypeInfo(info.put());
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(info.get(), names, count, ids);
}

HRESULT STDMETHODCALLTYPE CLibrary::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                           VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs && !params->rgdispidNamedArgs) return E_INVALIDARG;
    com_ptr<ITypeInfo> info;
    const HRESULT hr = LibraryTypeInfo(info.put());
    if (FAILED(hr)) return hr;
    return DispInvoke(Self(), info.get(), id, flags, params, result, exception, argError);
}

// ISupportErrorInfo

HRESULT STDMETHODCALLTYPE CLibrary::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID__CLibrary) ? S_OK : S_FALSE;
}

// Helpers that go through the object's own interface

void CLibrary::EnsureRecordKey() { CheckMember(Self()->prcChecked_Key_RG()); }

void CLibrary::SetRecordValue(const wchar_t* valueName, short kind, const std::wstring& text) {
    unique_bstr key = NewText(kRecordKey);
    unique_bstr name = NewText(valueName);
    unique_variant value = MakeText(text);
    CheckMember(Self()->SetRegistryValue(kHkeyCurrentUser, key.get(), name.get(), kind, value.get()));
}

// The text lCia

HRESULT STDMETHODCALLTYPE CLibrary::get_lCia(BSTR* lCia) {
    if (!lCia) return E_POINTER;
    *lCia = nullptr;
    return Guarded([&] { *lCia = NewText(lCia_).release(); });
}

HRESULT STDMETHODCALLTYPE CLibrary::put_lCia(BSTR lCia) {
    return Guarded([&] { lCia_ = Text(lCia); });
}

// The registry layer

HRESULT STDMETHODCALLTYPE CLibrary::CreateRegistryKey(LONG hKey, BSTR KeyName, VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guarded([&] { *result = VbBool(ferrolin::CreateRegistryKey(hKey, Text(KeyName))); });
}

HRESULT STDMETHODCALLTYPE CLibrary::DeleteRegistryKey(LONG hKey, BSTR KeyName) {
    return Guarded([&] { ferrolin::DeleteRegistryKey(hKey, Text(KeyName)); });
}

HRESULT STDMETHODCALLTYPE CLibrary::GetRegistryValue(LONG hKey, BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                                     VARIANT* DefaultValue, VARIANT* result) {
    if (!result) return E_POINTER;
    VariantInit(result);
    return Guarded([&] {
        ferrolin::GetRegistryValue(hKey, Text(KeyName), Text(ValueName), KeyType, GivenDefault(DefaultValue))
            .detach(result);
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::SetRegistryValue(LONG hKey, BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                                     VARIANT* value) {
    return Guarded([&] {
        ferrolin::SetRegistryValue(hKey, Text(KeyName), Text(ValueName), KeyType, RequiredValue(value));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::DeleteRegistryValue(LONG hKey, BSTR KeyName, BSTR ValueName) {
    return Guarded([&] { ferrolin::DeleteRegistryValue(hKey, Text(KeyName), Text(ValueName)); });
}

HRESULT STDMETHODCALLTYPE CLibrary::CheckRegistryKey(LONG hKey, BSTR KeyName, VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guarded([&] { *result = VbBool(ferrolin::CheckRegistryKey(hKey, Text(KeyName))); });
}

HRESULT STDMETHODCALLTYPE CLibrary::EnumRegistryKeys(LONG hKey, BSTR KeyName, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    // A key that cannot be opened, and a key without subkeys, give an array with no
    // elements (bounds 0 to -1): a VB client can take UBound of it without an error.
    return Guarded([&] { *result = TextArray(ferrolin::EnumRegistryKeys(hKey, Text(KeyName))); });
}

HRESULT STDMETHODCALLTYPE CLibrary::SetRegistryValueX(BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                                      VARIANT* value) {
    return Guarded([&] {
        CheckMember(Self()->SetRegistryValue(kHkeyCurrentUser, KeyName, ValueName, KeyType, value));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::GetRegistryValueX(BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                                      VARIANT* DefaultValue, VARIANT* result) {
    if (!result) return E_POINTER;
    VariantInit(result);
    return Guarded([&] {
        CheckMember(
            Self()->GetRegistryValue(kHkeyCurrentUser, KeyName, ValueName, KeyType, DefaultValue, result));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::GetWindowsDir(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Guarded([&] {
        wchar_t buffer[kWindowsDirBuffer];
        wmemset(buffer, L' ', kWindowsDirBuffer);
        const UINT length = GetWindowsDirectoryW(buffer, kWindowsDirBuffer);
        if (length == 0 || length >= kWindowsDirBuffer) {
            *result = NewText(L"").release();
            return;
        }
        unique_bstr raw = NewText(std::wstring(buffer, kWindowsDirBuffer));
        CheckMember(Self()->StripTerminator(raw.get(), result));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::StripTerminator(BSTR strString, BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Guarded([&] { *result = NewText(ferrolin::StripTerminator(Text(strString))).release(); });
}

// The install record

HRESULT STDMETHODCALLTYPE CLibrary::prcChecked_Key_RG() {
    return Guarded([] { record::EnsureKey(); });
}

HRESULT STDMETHODCALLTYPE CLibrary::prcDir(BSTR* lpVal) {
    return Guarded([&] {
        EnsureRecordKey();
        const std::wstring folder = TrimBlanks(Text(lpVal));
        // An empty folder is refused as an empty binary value would be, and Dir keeps
        // what it held.
        if (folder.empty()) throw VbError::SubscriptOutOfRange();
        SetRecordValue(kValueDir, kKindText, folder);
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::InstallPath(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Guarded([&] { *result = NewText(record::ReadDir()).release(); });
}

HRESULT STDMETHODCALLTYPE CLibrary::prcSet_status_Addin(BSTR* lpStatus) {
    return Guarded([&] {
        EnsureRecordKey();
        SetRecordValue(kValueStatus, kKindBinary, record::EncodeStatus(Text(lpStatus)));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::Get_status_Addin(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Guarded([&] { *result = NewText(record::ReadStatus()).release(); });
}

HRESULT STDMETHODCALLTYPE CLibrary::IsAddin_Installed(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guarded([&] {
        unique_bstr stored;
        CheckMember(Self()->Get_status_Addin(stored.put()));
        const std::wstring status = Text(stored.get());
        *result = VbBool(!status.empty() && status == record::EncodeStatus(kStatusInstalled));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::prcSet_Addin(BSTR* lpStatus) {
    return Guarded([&] {
        EnsureRecordKey();
        SetRecordValue(kValueConfig, kKindBinary, Text(lpStatus));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::App_Exist(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guarded([&] { *result = VbBool(record::AppExist()); });
}

HRESULT STDMETHODCALLTYPE CLibrary::prcDesinstalar_Addin() {
    return Guarded([&] {
        EnsureRecordKey();
        SetRecordValue(kValueAppExist, kKindBinary, kAppExistRemoved);
        unique_bstr status = NewText(kStatusRemoved);
        BSTR statusRef = status.get();
        CheckMember(Self()->prcSet_status_Addin(&statusRef));
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::lpHkey_app(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Guarded([&] { *result = NewText(kRecordKeyWithSlash).release(); });
}

HRESULT STDMETHODCALLTYPE CLibrary::Delete_information_All(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guarded([&] {
        // Errors are trapped: each failed step counts, and the next one still runs.
        bool deleted = true;
        for (const wchar_t* key : {kRecordKey, kRecordParentKey}) {
            unique_bstr name = NewText(key);
            if (FAILED(Self()->DeleteRegistryKey(kHkeyCurrentUser, name.get()))) {
                deleted = false;
                com_ptr<IErrorInfo> trapped;
                GetErrorInfo(0, trapped.put());
            }
        }
        *result = VbBool(deleted);
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::Delete_All() {
    return Guarded([&] {
        VARIANT_BOOL deleted = VARIANT_FALSE;
        CheckMember(Self()->Delete_information_All(&deleted));
        if (deleted != VARIANT_TRUE)
            MessageBoxW(nullptr, kMsgCantRegisterAddin, lCia_.c_str(), MB_OK | MB_ICONEXCLAMATION);
    });
}

// The shell and the clipboard

HRESULT STDMETHODCALLTYPE CLibrary::prcLink(BSTR* lpFile) {
    return Guarded([&] {
        ShellExecuteW(nullptr, nullptr, Text(lpFile).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::prcLink_About(BSTR* lpFile) {
    return Guarded([&] {
        ShellExecuteW(nullptr, nullptr, Text(lpFile).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    });
}

HRESULT STDMETHODCALLTYPE CLibrary::Limpia() {
    return Guarded([] {
        // Another program may hold the clipboard for a moment; a clipboard that stays
        // busy is left as it is.
        for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
            if (OpenClipboard(nullptr)) {
                EmptyClipboard();
                CloseClipboard();
                return;
            }
            Sleep(kClipboardPause);
        }
    });
}

}  // namespace ferrolin::library
