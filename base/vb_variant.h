// VB's conversions of a Variant, with the errors a VB program raises when one fails.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "handles.h"

namespace ferrolin {

// CStr: any scalar to text. Null raises 94, arrays and objects without a default value 13.
std::wstring VariantToText(const VARIANT& value);
// CLng: any scalar to a signed 32-bit integer; 13 when it is no number, 6 when out of range.
long VariantToLong(const VARIANT& value);
// Assignment to a Byte array: a text gives its UTF-16LE bytes, a byte array its bytes;
// anything else raises 13 (Null raises 94).
std::vector<BYTE> VariantToBytes(const VARIANT& value);

// Variant builders.
unique_variant MakeText(const std::wstring& text);
unique_variant MakeLong(long value);
unique_variant MakeBytes(const BYTE* bytes, size_t count);
// A copy of a variant, by-reference contents taken by value.
unique_variant CopyByValue(const VARIANT& value);
// The text held by a byte array taken as UTF-16LE code units (an odd last byte is a
// character of its own), as VB assigns a Byte array to a String.
std::wstring BytesToText(const std::vector<BYTE>& bytes);
// The bytes of a VT_ARRAY|VT_UI1 variant, or nothing when it holds none.
std::vector<BYTE> VariantBytes(const VARIANT& value);

}  // namespace ferrolin
