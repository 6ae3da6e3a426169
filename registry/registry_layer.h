// The typed registry layer shared by setup and the library. Keys are named by a root
// handle (a predefined root as a signed 32-bit number, or an open key) and a path; every
// call opens what it needs, works and closes it again. Texts go through the wide entry
// points, so every character is kept; what a client reads back of a text the ANSI code
// page can hold is what the ANSI entry points gave. Values travel as VARIANTs: text, byte
// array, 32-bit integer or empty.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "handles.h"

namespace ferrolin {

// Value kinds.
inline constexpr short kKindText = 1;    // REG_SZ
inline constexpr short kKindBinary = 3;  // REG_BINARY
inline constexpr short kKindNumber = 4;  // REG_DWORD

// The description of the key-creation failure (error 1001). Each program that links the
// layer defines it: the library and setup word it differently.
extern const wchar_t* const kCreateKeyFailureText;

// True when the key already existed, False when it was created. Raises 1001 on failure.
bool CreateRegistryKey(long hKey, const std::wstring& keyName);
// Deletes a key without subkeys; says nothing of the outcome (the library's member).
void DeleteRegistryKey(long hKey, const std::wstring& keyName);
// The same deletion, with the platform's result code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND
// for a missing key, ERROR_ACCESS_DENIED for one with subkeys or without the right).
long DeleteRegistryKeyStatus(long hKey, const std::wstring& keyName);
// The value, or defaultValue (nullptr: the empty text) when it cannot be read.
// Raises 1001 for a kind other than 1, 3 or 4 once the key is open.
unique_variant GetRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName,
                                short keyType, const VARIANT* defaultValue = nullptr);
// Writes nothing when the key cannot be opened or the kind is unknown. Raises the VB
// conversion errors, and 9 for an empty binary value.
void SetRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName,
                      short keyType, const VARIANT& value);
void DeleteRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName);
bool CheckRegistryKey(long hKey, const std::wstring& keyName);
std::vector<std::wstring> EnumRegistryKeys(long hKey, const std::wstring& keyName);
std::wstring StripTerminator(const std::wstring& text);

// The HKEY a signed 32-bit root handle stands for (predefined roots are sign-extended).
inline HKEY RootKey(long hKey) { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(hKey)); }

}  // namespace ferrolin
