#include "vb_variant.h"

#include "vb_error.h"

namespace ferrolin {
namespace {

// The variant with any by-reference indirection removed.
unique_variant Dereferenced(const VARIANT& value) {
    if ((V_VT(&value) & VT_BYREF) && !V_BYREF(&value)) throw VbError::InvalidCall();
    unique_variant plain;
    const HRESULT hr = VariantCopyInd(plain.get(), const_cast<VARIANT*>(&value));
    if (FAILED(hr)) throw VbError::FromConversion(hr);
    return plain;
}

void RejectNullAndNothing(const VARIANT& v) {
    if (V_VT(&v) == VT_NULL) throw VbError::InvalidUseOfNull();
    if ((V_VT(&v) == VT_DISPATCH && !V_DISPATCH(&v)) || (V_VT(&v) == VT_UNKNOWN && !V_UNKNOWN(&v)))
        throw VbError::ObjectNotSet();
}

unique_variant Converted(const VARIANT& value, VARTYPE to, USHORT flags) {
    unique_variant plain = Dereferenced(value);
    RejectNullAndNothing(*plain.get());
    if (V_VT(plain.get()) & VT_ARRAY) throw VbError::TypeMismatch();
    unique_variant out;
    const HRESULT hr = VariantChangeTypeEx(out.get(), plain.get(), LOCALE_USER_DEFAULT, flags, to);
    if (FAILED(hr)) throw VbError::FromConversion(hr);
    return out;
}

}  // namespace

std::wstring VariantToText(const VARIANT& value) {
    unique_variant text = Converted(value, VT_BSTR, VARIANT_ALPHABOOL);
    BSTR b = V_BSTR(text.get());
    return std::wstring(b ? b : L"", b ? SysStringLen(b) : 0);
}

long VariantToLong(const VARIANT& value) {
    unique_variant number = Converted(value, VT_I4, 0);
    return V_I4(number.get());
}

std::vector<BYTE> VariantToBytes(const VARIANT& value) {
    unique_variant plain = Dereferenced(value);
    const VARIANT& v = *plain.get();
    RejectNullAndNothing(v);
    if (V_VT(&v) == VT_BSTR) {
        const BSTR b = V_BSTR(&v);
        const BYTE* data = reinterpret_cast<const BYTE*>(b);
        return std::vector<BYTE>(data, data + (b ? SysStringByteLen(b) : 0));
    }
    if (V_VT(&v) == (VT_ARRAY | VT_UI1)) {
        SAFEARRAY* array = V_ARRAY(&v);
        if (!array || SafeArrayGetDim(array) == 0) return {};
        if (SafeArrayGetDim(array) != 1) throw VbError::TypeMismatch();
        return VariantBytes(v);
    }
    throw VbError::TypeMismatch();
}

std::vector<BYTE> VariantBytes(const VARIANT& value) {
    if (V_VT(&value) != (VT_ARRAY | VT_UI1) || !V_ARRAY(&value)) return {};
    SAFEARRAY* array = V_ARRAY(&value);
    if (SafeArrayGetDim(array) != 1) return {};
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    if (upper < lower) return {};
    safearray_access access(array);
    if (!access) throw VbError::InvalidCall();
    const BYTE* data = access.data<BYTE>();
    return std::vector<BYTE>(data, data + (static_cast<size_t>(upper) - lower + 1));
}

unique_variant MakeText(const std::wstring& text) {
    unique_variant v;
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b) throw VbError::OutOfMemory();
    V_VT(v.get()) = VT_BSTR;
    V_BSTR(v.get()) = b;
    return v;
}

unique_variant MakeLong(long value) {
    unique_variant v;
    V_VT(v.get()) = VT_I4;
    V_I4(v.get()) = value;
    return v;
}

unique_variant MakeBytes(const BYTE* bytes, size_t count) {
    unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count)));
    if (!array.get()) throw VbError::OutOfMemory();
    if (count) {
        safearray_access access(array.get());
        if (!access) throw VbError::OutOfMemory();
        memcpy(access.data<BYTE>(), bytes, count);
    }
    unique_variant v;
    V_VT(v.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(v.get()) = array.release();
    return v;
}

unique_variant CopyByValue(const VARIANT& value) { return Dereferenced(value); }

std::wstring BytesToText(const std::vector<BYTE>& bytes) {
    std::wstring text;
    text.reserve((bytes.size() + 1) / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    if (bytes.size() % 2) text.push_back(static_cast<wchar_t>(bytes.back()));
    return text;
}

}  // namespace ferrolin
