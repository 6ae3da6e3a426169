// What the library's tests share: the DLL beside the test programs, objects of CLibrary
// made from it (directly, as COM does, or through the registration), registration with
// the system's regsvr32, and calls by name through IDispatch the way VBA and VBScript
// make them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>
#include <vector>

#include "IFR_v11.h"
#include "handles.h"
#include "test_support.h"

namespace library_harness {

// IFR_v11.dll in the test program's own folder.
std::wstring LibraryPath();
using testing_support::ProgramFolder;

// The DLL loaded into this process; objects come from its class factory without any
// registration.
class LoadedLibrary {
public:
    LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    explicit operator bool() const { return module_ != nullptr; }
    HMODULE module() const { return module_.get(); }
    ferrolin::com_ptr<IClassFactory> Factory() const;
    ferrolin::com_ptr<_CLibrary> Create() const;
    HRESULT CanUnloadNow() const;

private:
    ferrolin::unique_hmodule module_;
};

// regsvr32 /s on the DLL for the object's lifetime; regsvr32 /u /s when it ends.
class Registration : testing_support::NotCopied {
public:
    Registration();
    ~Registration();
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};
int Regsvr32(bool unregister);

// The VB error a failed call left: number from the HRESULT, description from the
// error object (0 and empty on success).
struct VbFailure {
    long number = 0;
    std::wstring description;
    std::wstring source;
};
VbFailure FailureOf(HRESULT hr);

// A BSTR of a text (embedded NULs kept).
ferrolin::unique_bstr Bstr(const std::wstring& text);
std::wstring Text(BSTR b);
std::wstring Text(const ferrolin::unique_bstr& b);
ferrolin::unique_variant TextVariant(const std::wstring& text);
ferrolin::unique_variant LongVariant(long value);
ferrolin::unique_variant ShortVariant(short value);
ferrolin::unique_variant Missing();

// The library's members in interface order: name, dispatch identifier, kind and signature as
// its type library describes them, and the arguments a client passes (what each stands
// for, and how many trailing ones may be left out).
enum class ArgKind { RootRead, RootWrite, Key, KeyCreate, Value, Kind, Variant, Text, Link };
struct LibraryMember {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    const char* signature;
    std::vector<ArgKind> args;
    int optional;
    WORD flags() const {
        return kind == INVOKE_PROPERTYGET ? DISPATCH_PROPERTYGET
               : kind == INVOKE_PROPERTYPUT ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD;
    }
};
const std::vector<LibraryMember>& LibraryMembers();

// What a call through IDispatch gave back.
struct DispatchResult {
    HRESULT hr = S_OK;
    ferrolin::unique_variant value;
    ferrolin::unique_excepinfo exception;
    UINT argError = 0;
};
// Arguments of a call by name, in the order they are written in the call.
template <class... V>
std::vector<ferrolin::unique_variant> Args(V&&... values) {
    std::vector<ferrolin::unique_variant> args;
    (args.push_back(std::move(values)), ...);
    return args;
}
DISPID DispIdOf(IDispatch* object, const wchar_t* name);
DispatchResult Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<ferrolin::unique_variant>& args);
DispatchResult CallByName(IDispatch* object, const wchar_t* name, std::vector<ferrolin::unique_variant> args,
                          WORD flags = DISPATCH_METHOD);

}  // namespace library_harness

namespace library_harness {

// Watches this process for message boxes while it lives, notes their captions and
// texts, and answers each with its first button, so that a member that shows one
// cannot hang a test.
class MessageBoxWatch : testing_support::NotCopied {
public:
    MessageBoxWatch();
    ~MessageBoxWatch();
    struct Seen {
        std::wstring caption;
        std::wstring text;
    };
    // Stops watching and gives what was seen.
    std::vector<Seen> Stop();

private:
    static DWORD WINAPI Watch(void* self);
    ferrolin::unique_handle stop_;
    ferrolin::unique_handle thread_;
    std::vector<Seen> seen_;
};

}  // namespace library_harness
