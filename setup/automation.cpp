#include "automation.h"

#include <vector>

#include "excel_calls.h"
#include "names.h"
#include "system_error.h"
#include "vb_variant.h"

namespace ferrolin::automation {

namespace {

VbError CannotCreateObject() { return {429, L"ActiveX component can't create object"}; }
VbError NoSuchMember() { return {438, L"Object doesn't support this property or method"}; }
// VB's description of a failure the server and the system do not describe.
const wchar_t kAutomationError[] = L"Automation error";

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

VbError ErrorFromHresult(HRESULT hr, unique_excepinfo* exception) {
    if (hr == DISP_E_EXCEPTION && exception) {
        exception->fill();
        const EXCEPINFO& info = *exception->get();
        long number;
        if (info.wCode) number = info.wCode;
        else if (HRESULT_FACILITY(info.scode) == FACILITY_CONTROL) number = HRESULT_CODE(info.scode);
        else number = info.scode;
        std::wstring text(info.bstrDescription ? info.bstrDescription : L"", SysStringLen(info.bstrDescription));
        if (text.empty()) text = SystemMessage(static_cast<DWORD>(info.scode));
        if (text.empty()) text = kAutomationError;
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
        return {HRESULT_CODE(hr), text.empty() ? kAutomationError : text};
    }
    std::wstring text = SystemMessage(HRESULT_FACILITY(hr) == FACILITY_WIN32
                                          ? static_cast<DWORD>(HRESULT_CODE(hr))
                                          : static_cast<DWORD>(hr));
    return {static_cast<long>(hr), text.empty() ? kAutomationError : text};
}

Object CreateObject(const CLSID& clsid, DWORD* process) {
    Object object;
    const HRESULT hr = excel_calls::Create(clsid, object.put(), process);
    if (FAILED(hr)) {
        // A server that ended before it offered its class (Wine says E_NOINTERFACE) did
        // not start.
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
    const HRESULT hr = excel_calls::DispIdOf(object.get(), name, &id);
    if (FAILED(hr)) throw hr == DISP_E_UNKNOWNNAME ? NoSuchMember() : ErrorFromHresult(hr);
    return id;
}

unique_variant Invoke(const Object& object, DISPID id, WORD flags, Args args) {
    if (!object) throw VbError::ObjectNotSet();
    // DISPPARAMS holds the arguments last to first. The array only borrows them.
    std::vector<VARIANTARG> reversed;
    reversed.reserve(args.size());
    for (auto it = args.end(); it != args.begin();) reversed.push_back((--it)->get());

    unique_variant result;
    unique_excepinfo exception;
    const HRESULT hr = excel_calls::CallMember(object.get(), id, flags, reversed.data(),
                                               static_cast<UINT>(reversed.size()),
                                               (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.get(), exception.get());
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

using excel_calls::kCallOrGet;

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
