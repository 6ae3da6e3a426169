#include "standin_dispatch.h"

#include <cwchar>

#include "standin_instance.h"

namespace excel_standin {

namespace {

const wchar_t kSource[] = L"Microsoft Excel";

// Answered only inside the server: an object of the stand-in that a client handed back
// (an unmarshalled proxy of one's own object is the object itself).
const IID kIidStandinObject = {0x5f0b7c1e, 0x2a4d, 0x4c36, {0x9e, 0x61, 0x3b, 0x0d, 0x8a, 0x47, 0x12, 0xc5}};

ferrolin::unique_variant CopyDereferenced(const VARIANT& from) {
    ferrolin::unique_variant to;
    if (FAILED(VariantCopyInd(to.put(), const_cast<VARIANT*>(&from)))) ThrowTypeMismatch();
    return to;
}

bool IsMissing(const VARIANT& v) {
    return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND;
}

[[noreturn]] void ThrowArgumentNotOptional() { throw ExcelError{449, L"Argument not optional"}; }

}  // namespace

void ThrowSubscriptOutOfRange() { throw ExcelError{9, L"Subscript out of range"}; }
void ThrowTypeMismatch() { throw ExcelError{13, L"Type mismatch"}; }

void ThrowMethodFailed(const wchar_t* member, const wchar_t* className) {
    throw ExcelError{1004, std::wstring(member) + L" method of " + className + L" class failed"};
}

void ThrowUnableTo(const wchar_t* getOrSet, const wchar_t* member, const wchar_t* className) {
    throw ExcelError{1004, std::wstring(L"Unable to ") + getOrSet + L" the " + member + L" property of the " +
                               className + L" class"};
}

std::wstring HresultCode(HRESULT hr) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

std::wstring DescribeValue(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_EMPTY: return L"Empty";
    case VT_NULL: return L"Null";
    case VT_BOOL: return V_BOOL(&v) ? L"True" : L"False";
    case VT_BSTR: return L"\"" + std::wstring(V_BSTR(&v) ? V_BSTR(&v) : L"") + L"\"";
    case VT_ERROR: return IsMissing(v) ? L"Missing" : L"Error";
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IUnknown* unknown = V_VT(&v) == VT_DISPATCH ? V_DISPATCH(&v) : V_UNKNOWN(&v);
        if (!unknown) return L"Nothing";
        if (DispatchObject* own = DispatchObject::FromUnknown(unknown))
            return L"<" + std::wstring(own->className()) + L">";
        return L"<Object>";
    }
    default: {
        ferrolin::unique_variant text;
        if (SUCCEEDED(VariantChangeTypeEx(text.put(), const_cast<VARIANT*>(&v), 1033, 0, VT_BSTR)))
            return V_BSTR(text.get()) ? V_BSTR(text.get()) : L"";
        return L"?";
    }
    }
}

Args::Args(const DISPPARAMS& params, bool put) {
    UINT positional = params.cArgs;
    UINT first = 0;
    if (put && params.cArgs > 0) {
        value_ = CopyDereferenced(params.rgvarg[0]);
        first = 1;
    }
    for (UINT i = positional; i > first; --i) args_.push_back(CopyDereferenced(params.rgvarg[i - 1]));
}

bool Args::has(size_t i) const { return i < args_.size() && !IsMissing(*args_[i].get()); }

std::wstring Args::text(size_t i) const {
    if (!has(i)) ThrowArgumentNotOptional();
    ferrolin::unique_variant converted;
    if (FAILED(VariantChangeTypeEx(converted.put(), const_cast<VARIANT*>(args_[i].get()), 1033, 0, VT_BSTR)))
        ThrowTypeMismatch();
    return V_BSTR(converted.get()) ? V_BSTR(converted.get()) : L"";
}

namespace {
bool ToBoolean(const VARIANT& v) {
    ferrolin::unique_variant converted;
    if (FAILED(VariantChangeTypeEx(converted.put(), const_cast<VARIANT*>(&v), 1033, 0, VT_BOOL)))
        ThrowTypeMismatch();
    return V_BOOL(converted.get()) != VARIANT_FALSE;
}

long ToNumber(const VARIANT& v) {
    ferrolin::unique_variant converted;
    if (FAILED(VariantChangeTypeEx(converted.put(), const_cast<VARIANT*>(&v), 1033, 0, VT_I4)))
        ThrowTypeMismatch();
    return V_I4(converted.get());
}
}  // namespace

bool Args::boolean(size_t i) const {
    if (!has(i)) ThrowArgumentNotOptional();
    return ToBoolean(*args_[i].get());
}

long Args::number(size_t i) const {
    if (!has(i)) ThrowArgumentNotOptional();
    return ToNumber(*args_[i].get());
}

IDispatch* Args::object(size_t i) const {
    if (!has(i)) ThrowArgumentNotOptional();
    const VARIANT& v = *args_[i].get();
    if (V_VT(&v) != VT_DISPATCH || !V_DISPATCH(&v)) ThrowTypeMismatch();
    return V_DISPATCH(&v);
}

bool Args::valueBoolean() const { return ToBoolean(value()); }
long Args::valueNumber() const { return ToNumber(value()); }

std::wstring Args::describe() const {
    if (args_.empty()) return L"";
    std::wstring text = L"(";
    for (size_t i = 0; i < args_.size(); ++i) {
        if (i) text += L", ";
        text += DescribeValue(*args_[i].get());
    }
    return text + L")";
}

DispatchObject::DispatchObject(const wchar_t* className, const Member* members, size_t count, DISPID defaultId)
    : className_(className), members_(members), count_(count), defaultId_(defaultId) {
    ObjectCreated();
}

DispatchObject::~DispatchObject() { ObjectDestroyed(); }

DispatchObject* DispatchObject::FromUnknown(IUnknown* unknown) {
    IDispatch* own = nullptr;
    if (!unknown || FAILED(unknown->QueryInterface(kIidStandinObject, reinterpret_cast<void**>(&own))))
        return nullptr;
    own->Release();   // the caller's reference keeps it alive
    return static_cast<DispatchObject*>(own);
}

HRESULT DispatchObject::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidStandinObject) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG DispatchObject::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    NoteCall();
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count == 0) return S_OK;
    bool found = false;
    for (size_t m = 0; m < count_ && !found; ++m) {
        if (_wcsicmp(names[0], members_[m].name) == 0) {
            ids[0] = members_[m].id;
            found = true;
        }
    }
    if (!found || count > 1) hr = DISP_E_UNKNOWNNAME;   // no named parameters
    return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excepInfo, UINT* argErr) {
    NoteCall();
    if (!params) return E_POINTER;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put) {
        if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || params->cArgs < 1)
            return DISP_E_PARAMNOTOPTIONAL;
    } else if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    const bool byDefault = id == DISPID_VALUE;
    const DISPID target = byDefault ? defaultId_ : id;
    const Member* member = nullptr;
    for (size_t m = 0; m < count_; ++m)
        if (members_[m].id == target) member = &members_[m];
    if (!member) return DISP_E_MEMBERNOTFOUND;
    if (put && !(member->kinds & kPut)) return DISP_E_MEMBERNOTFOUND;
    if (!put && !(member->kinds & (kGet | kMethod))) return DISP_E_MEMBERNOTFOUND;

    std::wstring line = byDefault ? std::wstring(className_) : std::wstring(className_) + L"." + member->name;
    ferrolin::unique_variant value;
    HRESULT hr = S_OK;
    try {
        Args args(*params, put);
        line += put ? args.describe() + L"=" + DescribeValue(args.value()) : args.describe();
        if (!Alive()) throw ExcelError{0, L"The object invoked has disconnected from its clients.", RPC_E_DISCONNECTED};
        AnswerSlowly(className_, member->name);
        if (MemberFails(className_, member->name)) {
            if (put) ThrowUnableTo(L"set", member->name, className_);
            if (member->kinds & kMethod) ThrowMethodFailed(member->name, className_);
            ThrowUnableTo(L"get", member->name, className_);
        }
        if (!put && args.count() > member->params) {
            if (!(member->kinds & kGet)) throw ExcelError{0, L"", DISP_E_BADPARAMCOUNT};
            Call(member->id, Args(), false, value.get());
            DispatchObject* inner = value.vt() == VT_DISPATCH ? FromUnknown(V_DISPATCH(value.get())) : nullptr;
            if (!inner) throw ExcelError{0, L"", DISP_E_BADPARAMCOUNT};
            ferrolin::unique_variant item;
            inner->CallDefault(args, item.get());
            value = std::move(item);
        } else {
            Call(member->id, args, put, value.get());
        }
    } catch (const ExcelError& error) {
        if (error.plain != S_OK) {
            hr = error.plain;
            line += L" -> Error " + HresultCode(hr);
        } else {
            hr = DISP_E_EXCEPTION;
            line += L" -> Error " + std::to_wstring(error.number);
            if (excepInfo) {
                ZeroMemory(excepInfo, sizeof(*excepInfo));
                excepInfo->bstrSource = SysAllocString(kSource);
                excepInfo->bstrDescription = SysAllocString(error.description.c_str());
                excepInfo->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, error.number & 0xFFFF);
            }
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
        line += L" -> Error 0x8007000E";
    }
    if (argErr) *argErr = 0;
    Log(line);
    if (SUCCEEDED(hr) && result) value.detach(result);
    return hr;
}

void DispatchObject::CallDefault(const Args& args, VARIANT* result) {
    const Member* member = nullptr;
    for (size_t m = 0; m < count_; ++m)
        if (members_[m].id == defaultId_) member = &members_[m];
    if (!member || args.count() > member->params) throw ExcelError{0, L"", DISP_E_BADPARAMCOUNT};
    if (!Alive()) throw ExcelError{0, L"The object invoked has disconnected from its clients.", RPC_E_DISCONNECTED};
    if (MemberFails(className_, member->name)) ThrowUnableTo(L"get", member->name, className_);
    Call(member->id, args, false, result);
}

void ReturnText(VARIANT* result, const std::wstring& text) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void ReturnBool(VARIANT* result, bool value) {
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void ReturnLong(VARIANT* result, long value) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
}

void ReturnObject(VARIANT* result, DispatchObject* object) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
}

}  // namespace excel_standin
