// The class CLibrary: the add-in's way to the registry, the install record, the shell
// and the clipboard. Its only state is the text lCia; every other member works from the
// registry alone. Members that use other members call them through the object's own
// _CLibrary interface.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <string>

#include "IFR_v11.h"

namespace ferrolin::library {

class CLibrary : public _CLibrary, public ISupportErrorInfo {
public:
    CLibrary();
    virtual ~CLibrary();
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, from the embedded type library
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // _CLibrary
    HRESULT STDMETHODCALLTYPE get_lCia(BSTR* lCia) override;
    HRESULT STDMETHODCALLTYPE put_lCia(BSTR lCia) override;
    HRESULT STDMETHODCALLTYPE CreateRegistryKey(LONG hKey, BSTR KeyName, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE DeleteRegistryKey(LONG hKey, BSTR KeyName) override;
    HRESULT STDMETHODCALLTYPE GetRegistryValue(LONG hKey, BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                               VARIANT* DefaultValue, VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE SetRegistryValue(LONG hKey, BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                               VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE DeleteRegistryValue(LONG hKey, BSTR KeyName, BSTR ValueName) override;
    HRESULT STDMETHODCALLTYPE prcLink(BSTR* lpFile) override;
    HRESULT STDMETHODCALLTYPE prcLink_About(BSTR* lpFile) override;
    HRESULT STDMETHODCALLTYPE prcDesinstalar_Addin() override;
    HRESULT STDMETHODCALLTYPE App_Exist(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE prcChecked_Key_RG() override;
    HRESULT STDMETHODCALLTYPE CheckRegistryKey(LONG hKey, BSTR KeyName, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE prcSet_status_Addin(BSTR* lpStatus) override;
    HRESULT STDMETHODCALLTYPE Get_status_Addin(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE IsAddin_Installed(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE Delete_All() override;
    HRESULT STDMETHODCALLTYPE prcDir(BSTR* lpVal) override;
    HRESULT STDMETHODCALLTYPE InstallPath(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE prcSet_Addin(BSTR* lpStatus) override;
    HRESULT STDMETHODCALLTYPE EnumRegistryKeys(LONG hKey, BSTR KeyName, SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE SetRegistryValueX(BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                                VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetRegistryValueX(BSTR KeyName, BSTR ValueName, SHORT KeyType,
                                                VARIANT* DefaultValue, VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE lpHkey_app(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE Delete_information_All(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE Limpia() override;
    HRESULT STDMETHODCALLTYPE GetWindowsDir(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE StripTerminator(BSTR strString, BSTR* result) override;

private:
    // The object's own interface: members that use other members call them through it.
    _CLibrary* Self() { return this; }
    // prcChecked_Key_RG through the interface.
    void EnsureRecordKey();
    // SetRegistryValue through the interface on a value of the record key.
    void SetRecordValue(const wchar_t* valueName, short kind, const std::wstring& text);

    std::atomic<ULONG> references_{1};
    std::wstring lCia_;
};

// Live objects and server locks of the module, for DllCanUnloadNow.
extern std::atomic<long> g_objects;
extern std::atomic<long> g_locks;

// The type information of _CLibrary from the module's own type library, loaded once.
HRESULT LibraryTypeInfo(ITypeInfo** info);
// The module's file path.
std::wstring ModulePath();

}  // namespace ferrolin::library
