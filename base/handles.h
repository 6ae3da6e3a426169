// Owners for the Windows resources the programs hold: registry keys, kernel handles, GDI
// objects and device contexts, BSTRs, VARIANTs, SAFEARRAYs and COM interface pointers. Each
// releases its resource in its destructor, so an early return or an exception cannot leak it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <type_traits>
#include <utility>

namespace ferrolin {

struct RegKeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
// Owns an opened or created key; never holds a predefined root key.
using unique_hkey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;

// Opens a key of `root`; empty when it cannot be opened.
inline unique_hkey open_key(HKEY root, const wchar_t* name, REGSAM access) noexcept {
    HKEY key = nullptr;
    return unique_hkey(RegOpenKeyExW(root, name, 0, access, &key) == ERROR_SUCCESS ? key : nullptr);
}

struct HandleCloser {
    void operator()(HANDLE h) const noexcept {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using unique_handle = std::unique_ptr<void, HandleCloser>;

// The two handles CreateProcess gives back, closed with the owner.
struct unique_process_information {
    unique_handle process;
    unique_handle thread;
    DWORD processId = 0;
    DWORD threadId = 0;

    unique_process_information() noexcept = default;
    explicit unique_process_information(const PROCESS_INFORMATION& info) noexcept
        : process(info.hProcess), thread(info.hThread), processId(info.dwProcessId), threadId(info.dwThreadId) {}
};

struct ModuleFreer {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
// A module loaded with LoadLibrary(Ex), freed with its owner.
using unique_hmodule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// A file handle: CreateFile reports failure as INVALID_HANDLE_VALUE, not NULL.
inline unique_handle adopt_file(HANDLE h) {
    return unique_handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

struct FindCloser {
    void operator()(HANDLE h) const noexcept { FindClose(h); }
};
// A search of FindFirstFile; FindFirstFile reports failure as INVALID_HANDLE_VALUE.
using unique_find = std::unique_ptr<void, FindCloser>;
inline unique_find adopt_find(HANDLE h) { return unique_find(h == INVALID_HANDLE_VALUE ? nullptr : h); }

template <class T>
struct GdiObjectDeleter {
    void operator()(T object) const noexcept { DeleteObject(object); }
};
using unique_hfont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter<HFONT>>;
using unique_hbitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter<HBITMAP>>;

// The device context of a window (of the screen for nullptr), released with its owner.
class window_dc {
public:
    explicit window_dc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    window_dc(const window_dc&) = delete;
    window_dc& operator=(const window_dc&) = delete;
    ~window_dc() { if (dc_) ReleaseDC(window_, dc_); }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(BSTR b) noexcept : b_(b) {}
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    unique_bstr(unique_bstr&& o) noexcept : b_(o.release()) {}
    unique_bstr& operator=(unique_bstr&& o) noexcept { reset(o.release()); return *this; }
    ~unique_bstr() { reset(); }

    BSTR get() const noexcept { return b_; }
    BSTR release() noexcept { return std::exchange(b_, nullptr); }
    void reset(BSTR b = nullptr) noexcept { SysFreeString(std::exchange(b_, b)); }
    BSTR* put() noexcept { reset(); return &b_; }
    UINT length() const noexcept { return SysStringLen(b_); }

private:
    BSTR b_ = nullptr;
};

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&v_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    unique_variant(unique_variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    unique_variant& operator=(unique_variant&& o) noexcept {
        if (this != &o) { VariantClear(&v_); v_ = o.v_; VariantInit(&o.v_); }
        return *this;
    }
    ~unique_variant() { VariantClear(&v_); }

    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    VARIANT* operator->() noexcept { return &v_; }
    const VARIANT* operator->() const noexcept { return &v_; }
    VARTYPE vt() const noexcept { return V_VT(&v_); }
    // Clears the current contents and hands out the VARIANT to be filled.
    VARIANT* put() noexcept { VariantClear(&v_); return &v_; }
    // Gives up ownership: the caller's VARIANT receives the contents.
    void detach(VARIANT* out) noexcept { *out = v_; VariantInit(&v_); }

private:
    VARIANT v_;
};

class unique_safearray {
public:
    unique_safearray() noexcept = default;
    explicit unique_safearray(SAFEARRAY* a) noexcept : a_(a) {}
    unique_safearray(const unique_safearray&) = delete;
    unique_safearray& operator=(const unique_safearray&) = delete;
    unique_safearray(unique_safearray&& o) noexcept : a_(o.release()) {}
    unique_safearray& operator=(unique_safearray&& o) noexcept { reset(o.release()); return *this; }
    ~unique_safearray() { reset(); }

    SAFEARRAY* get() const noexcept { return a_; }
    SAFEARRAY* release() noexcept { return std::exchange(a_, nullptr); }
    void reset(SAFEARRAY* a = nullptr) noexcept {
        if (SAFEARRAY* old = std::exchange(a_, a)) SafeArrayDestroy(old);
    }

private:
    SAFEARRAY* a_ = nullptr;
};

// Keeps a SAFEARRAY's data locked for the owner's lifetime.
class safearray_access {
public:
    explicit safearray_access(SAFEARRAY* a) noexcept : a_(a) {
        if (FAILED(SafeArrayAccessData(a_, &data_))) { a_ = nullptr; data_ = nullptr; }
    }
    safearray_access(const safearray_access&) = delete;
    safearray_access& operator=(const safearray_access&) = delete;
    ~safearray_access() { if (a_) SafeArrayUnaccessData(a_); }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    template <class T> T* data() const noexcept { return static_cast<T*>(data_); }

private:
    SAFEARRAY* a_;
    void* data_ = nullptr;
};

// The exception information IDispatch::Invoke fills, its strings freed with it.
class unique_excepinfo {
public:
    unique_excepinfo() noexcept : info_{} {}
    unique_excepinfo(const unique_excepinfo&) = delete;
    unique_excepinfo& operator=(const unique_excepinfo&) = delete;
    unique_excepinfo(unique_excepinfo&& o) noexcept : info_(std::exchange(o.info_, EXCEPINFO{})) {}
    unique_excepinfo& operator=(unique_excepinfo&& o) noexcept {
        if (this != &o) { reset(); info_ = std::exchange(o.info_, EXCEPINFO{}); }
        return *this;
    }
    ~unique_excepinfo() { reset(); }

    EXCEPINFO* get() noexcept { return &info_; }
    const EXCEPINFO* get() const noexcept { return &info_; }
    EXCEPINFO* operator->() noexcept { return &info_; }
    // Has the server fill in what it left for later (pfnDeferredFillIn).
    void fill() noexcept {
        if (auto fillIn = std::exchange(info_.pfnDeferredFillIn, nullptr)) fillIn(&info_);
    }
    void reset() noexcept {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
        info_ = EXCEPINFO{};
    }

private:
    EXCEPINFO info_;
};

// Memory the system allocated for the caller with LocalAlloc (FormatMessage's buffer,
// CommandLineToArgvW's array).
struct LocalFreer {
    void operator()(void* p) const noexcept { LocalFree(p); }
};
template <class T>
using unique_hlocal = std::unique_ptr<T, LocalFreer>;

template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already owns.
    static com_ptr adopt(T* p) noexcept { com_ptr c; c.p_ = p; return c; }
    // Adds a reference of its own.
    static com_ptr copy(T* p) noexcept { if (p) p->AddRef(); return adopt(p); }
    com_ptr(const com_ptr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    com_ptr& operator=(const com_ptr& o) noexcept { com_ptr(o).swap(*this); return *this; }
    com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& o) noexcept { com_ptr(std::move(o)).swap(*this); return *this; }
    ~com_ptr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T** put() noexcept { reset(); return &p_; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() noexcept { if (T* p = std::exchange(p_, nullptr)) p->Release(); }
    void swap(com_ptr& o) noexcept { std::swap(p_, o.p_); }

    template <class U>
    HRESULT query(com_ptr<U>& out) const noexcept {
        return p_ ? p_->QueryInterface(__uuidof(U), out.put_void()) : E_POINTER;
    }

private:
    T* p_ = nullptr;
};

// Runs a step when the scope is left, however it is left: for the undo of a change that has
// no resource of its own to own (a registration, a setting, a file written for a test).
template <class Step>
class scope_exit {
public:
    explicit scope_exit(Step step) noexcept : step_(std::move(step)) {}
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    ~scope_exit() { step_(); }

private:
    Step step_;
};
template <class Step>
scope_exit<Step> on_scope_exit(Step step) noexcept { return scope_exit<Step>(std::move(step)); }

// Balances a successful CoInitialize/OleInitialize on the same thread.
class com_apartment {
public:
    explicit com_apartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : hr_(CoInitializeEx(nullptr, model)) {}
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;
    ~com_apartment() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace ferrolin
