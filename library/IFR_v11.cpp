// The library file's entry points: the class factory of CLibrary, self-registration
// for the system registrar, and the module's type library.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "CLibrary.h"
#include "handles.h"
#include "module_path.h"
#include "names.h"
#include "registry_layer.h"
#include "uncounted_com_object.h"

// The wording of the key-creation failure in this library.
const wchar_t* const ferrolin::kCreateKeyFailureText = ferrolin::kErrCreateKeyLibrary;

namespace ferrolin::library {
namespace {

HINSTANCE g_module = nullptr;
// Guards the cached type information: objects of several apartments may ask at once.
SRWLOCK g_typeInfoLock = SRWLOCK_INIT;

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK* lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    ~ExclusiveLock() { ReleaseSRWLockExclusive(lock_); }

private:
    SRWLOCK* lock_;
};
com_ptr<ITypeInfo> g_typeInfo;

constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;
constexpr LCID kTypeLibLocale = 0x409;
#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_CLibrary); }

// Creates HKEY_CLASSES_ROOT\key and sets one text value of it (name nullptr: the default).
bool SetClassesText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return false;
    unique_hkey owned(raw);
    return RegSetValueExW(raw, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void DeleteClassesTree(const std::wstring& key) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

HRESULT LoadOwnTypeLib(ITypeLib** library) {
    const std::wstring path = ModulePath();
    if (path.empty()) return E_UNEXPECTED;
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

// The factory is part of the module; the server locks keep the module loaded.
class ClassFactory : public uncounted_com_object<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        CLibrary* library = new (std::nothrow) CLibrary();
        if (!library) return E_OUTOFMEMORY;
        const HRESULT hr = library->QueryInterface(riid, object);
        library->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ++g_locks;
        else --g_locks;
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace

std::wstring ModulePath() { return ModuleFileName(g_module); }

HRESULT LibraryTypeInfo(ITypeInfo** info) {
    ExclusiveLock hold(&g_typeInfoLock);
    if (!g_typeInfo) {
        com_ptr<ITypeLib> library;
        HRESULT hr = LoadOwnTypeLib(library.put());
        if (FAILED(hr)) return hr;
        hr = library->GetTypeInfoOfGuid(IID__CLibrary, g_typeInfo.put());
        if (FAILED(hr)) return hr;
    }
    *info = com_ptr<ITypeInfo>(g_typeInfo).detach();
    return S_OK;
}

}  // namespace ferrolin::library

using namespace ferrolin;
using namespace ferrolin::library;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_CLibrary)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() {
    ExclusiveLock hold(&g_typeInfoLock);
    if (g_objects.load() != 0 || g_locks.load() != 0) return S_FALSE;
    g_typeInfo.reset();
    return S_OK;
}

STDAPI DllUnregisterServer() {
    UnRegisterTypeLib(LIBID_IFR_v11, kTypeLibMajor, kTypeLibMinor, kTypeLibLocale, kSysKind);
    DeleteClassesTree(ClassKey());
    DeleteClassesTree(kLibraryProgId);
    return S_OK;
}

STDAPI DllRegisterServer() {
    try {
        const std::wstring path = ModulePath();
        com_ptr<ITypeLib> library;
        if (path.empty() || FAILED(LoadOwnTypeLib(library.put())) ||
            FAILED(RegisterTypeLib(library.get(), const_cast<LPOLESTR>(path.c_str()), nullptr)))
            return SELFREG_E_TYPELIB;

        const std::wstring classKey = ClassKey();
        const bool registered =
            SetClassesText(classKey, nullptr, kLibraryProgId) &&
            SetClassesText(classKey + L"\\InprocServer32", nullptr, path) &&
            SetClassesText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            SetClassesText(classKey + L"\\ProgID", nullptr, kLibraryProgId) &&
            SetClassesText(classKey + L"\\TypeLib", nullptr, GuidText(LIBID_IFR_v11)) &&
            SetClassesText(kLibraryProgId, nullptr, kLibraryProgId) &&
            SetClassesText(std::wstring(kLibraryProgId) + L"\\Clsid", nullptr, GuidText(CLSID_CLibrary));
        if (!registered) {
            DllUnregisterServer();
            return SELFREG_E_CLASS;
        }
        return S_OK;
    } catch (...) {
        DllUnregisterServer();
        return E_OUTOFMEMORY;
    }
}
