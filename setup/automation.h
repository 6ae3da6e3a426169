// Late-bound automation through IDispatch, as a VB program calls an object it holds in a
// variable of type Object: members by name (GetIDsOfNames, locale 1033) or by a pinned
// dispatch identifier, positional arguments, property get and put. Failures come back as
// VbError: the number and description Excel reported (EXCEPINFO), or the ones VB gives the
// failure's HRESULT.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <initializer_list>
#include <string>

#include "excel_calls.h"
#include "handles.h"
#include "vb_error.h"

namespace ferrolin::automation {

using Object = com_ptr<IDispatch>;

using excel_calls::kDispIdAdd;
using excel_calls::kDispIdInstalled;
inline constexpr DISPID kDispIdDefault = DISPID_VALUE;

// One positional argument, owned: a text, a number, a Boolean, an object or an omitted one.
class Arg {
public:
    Arg(const wchar_t* text);
    Arg(const std::wstring& text);
    Arg(int number);
    Arg(long number);
    Arg(bool value);  // VARIANT_TRUE / VARIANT_FALSE
    Arg(const Object& object);
    static Arg Missing();
    Arg(const Arg& other);
    Arg& operator=(const Arg&) = delete;
    const VARIANT& get() const noexcept { return *value_.get(); }

private:
    Arg() = default;
    unique_variant value_;
};
using Args = std::initializer_list<Arg>;

// CreateObject by class or program identifier, as IDispatch of a local or in-process server
// (excel_calls::Create); the process of the Excel started for it into *process.
// Failure: 429 "ActiveX component can't create object" when the class is unknown or its
// server does not start, otherwise the HRESULT with its system description.
Object CreateObject(const CLSID& clsid, DWORD* process = nullptr);
Object CreateObject(const wchar_t* progId);

// The dispatch identifier of a member name (438 when the object has no such member).
DISPID DispIdOf(const Object& object, const wchar_t* name);

// The call itself: a method call or property get (DISPATCH_METHOD | DISPATCH_PROPERTYGET)
// or a property put; the arguments are given in source order. A null object raises 91.
unique_variant Invoke(const Object& object, DISPID id, WORD flags, Args args);

// object.name(args) as a call or property get; the result as a variant.
unique_variant Get(const Object& object, const wchar_t* name, Args args = {});
unique_variant Get(const Object& object, DISPID id, Args args = {});
// object.name(args) whose result is an object (91 when it is Nothing, 13 when no object).
Object GetObj(const Object& object, const wchar_t* name, Args args = {});
Object GetObj(const Object& object, DISPID id, Args args = {});
// object.name = value.
void Put(const Object& object, const wchar_t* name, const Arg& value);
void Put(const Object& object, DISPID id, const Arg& value);
// object.name args, the result ignored.
void Call(const Object& object, const wchar_t* name, Args args = {});
void Call(const Object& object, DISPID id, Args args = {});

// The object held by a result (91 when it is Nothing or empty, 13 when it is no object).
Object ToObject(const VARIANT& value);

// The error VB raises for a failed call: from EXCEPINFO when the server raised one,
// otherwise from the HRESULT.
VbError ErrorFromHresult(HRESULT hr, unique_excepinfo* exception = nullptr);

}  // namespace ferrolin::automation
