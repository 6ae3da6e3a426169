#include "registry_layer.h"

#include <cwchar>

#include "ansi.h"
#include "names.h"
#include "vb_error.h"
#include "vb_variant.h"

namespace ferrolin {
namespace {

constexpr DWORD kTextBuffer = 1024;
constexpr DWORD kBinaryBuffer = 4096;
constexpr DWORD kEnumBuffer = 260;
constexpr DWORD kEnumLimit = 999999;

unique_hkey OpenKey(long hKey, const std::wstring& keyName, REGSAM access) {
    return open_key(RootKey(hKey), keyName.c_str(), access);
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A value's type and data, read into a buffer of `capacity` bytes; false when it cannot be
// read or does not fit. Texts come as the registry keeps them, in UTF-16.
bool QueryValue(HKEY key, const std::wstring& name, DWORD capacity, DWORD* type, std::vector<BYTE>* data) {
    data->assign(capacity, 0);
    DWORD size = capacity;
    if (RegQueryValueExW(key, name.c_str(), nullptr, type, data->data(), &size) != ERROR_SUCCESS) return false;
    data->resize(size);
    return true;
}

// The data as the ANSI entry points hand it over: texts converted to the ANSI code page,
// their terminator included; everything else as stored.
std::vector<BYTE> AnsiForm(DWORD type, std::vector<BYTE> data) {
    if (!IsTextType(type)) return data;
    const std::string bytes =
        ToAnsi(std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t)));
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

// Kind 1: a text of up to 1024 characters, its terminator included. The stored text comes
// back without its terminator; data of other types is taken as ANSI text, as it always was.
unique_variant ReadText(HKEY key, const std::wstring& name, unique_variant result) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!QueryValue(key, name, kTextBuffer * sizeof(wchar_t), &type, &data)) return result;
    if (IsTextType(type)) {
        const size_t length = data.size() / sizeof(wchar_t);
        return MakeText(std::wstring(reinterpret_cast<const wchar_t*>(data.data()), length > 0 ? length - 1 : 0));
    }
    if (data.size() > kTextBuffer) return result;
    // A value of no data at all is the empty text.
    return MakeText(FromAnsi(reinterpret_cast<const char*>(data.data()), data.empty() ? 0 : data.size() - 1));
}

// Kinds 3 and 4 hand over the bytes the ANSI entry point would give a buffer of `limit`
// bytes (a text in its ANSI form); a value that would not fit reads as missing.
bool ReadBytes(HKEY key, const std::wstring& name, DWORD limit, std::vector<BYTE>* bytes) {
    DWORD type = REG_NONE;
    // An ANSI form of `limit` bytes has at most `limit` characters.
    if (!QueryValue(key, name, limit * sizeof(wchar_t), &type, bytes)) return false;
    *bytes = AnsiForm(type, std::move(*bytes));
    return bytes->size() <= limit;
}

unique_variant ReadBinary(HKEY key, const std::wstring& name, unique_variant result) {
    std::vector<BYTE> bytes;
    if (!ReadBytes(key, name, kBinaryBuffer, &bytes)) return result;
    return MakeBytes(bytes.data(), static_cast<DWORD>(bytes.size()));
}

unique_variant ReadNumber(HKEY key, const std::wstring& name, unique_variant result) {
    std::vector<BYTE> bytes;
    if (!ReadBytes(key, name, sizeof(DWORD), &bytes)) return result;
    DWORD number = 0;
    memcpy(&number, bytes.data(), bytes.size());
    return MakeLong(static_cast<long>(number));
}

}  // namespace

bool CreateRegistryKey(long hKey, const std::wstring& keyName) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(RootKey(hKey), keyName.c_str(), 0, nullptr, 0, 0, nullptr, &key, &disposition) !=
        ERROR_SUCCESS)
        throw VbError(kErrRegistry, kCreateKeyFailureText);
    unique_hkey owned(key);
    return disposition == REG_OPENED_EXISTING_KEY;
}

void DeleteRegistryKey(long hKey, const std::wstring& keyName) { DeleteRegistryKeyStatus(hKey, keyName); }

long DeleteRegistryKeyStatus(long hKey, const std::wstring& keyName) {
    return RegDeleteKeyW(RootKey(hKey), keyName.c_str());
}

unique_variant GetRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName,
                                short keyType, const VARIANT* defaultValue) {
    unique_variant result = defaultValue ? CopyByValue(*defaultValue) : MakeText(L"");
    unique_hkey key = OpenKey(hKey, keyName, KEY_READ);
    if (!key) return result;
    switch (keyType) {
    case kKindText: return ReadText(key.get(), valueName, std::move(result));
    case kKindBinary: return ReadBinary(key.get(), valueName, std::move(result));
    case kKindNumber: return ReadNumber(key.get(), valueName, std::move(result));
    default: throw VbError(kErrRegistry, kErrUnsupportedType);
    }
}

void SetRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName, short keyType,
                      const VARIANT& value) {
    unique_hkey key = OpenKey(hKey, keyName, KEY_WRITE);
    if (!key) return;
    const wchar_t* name = valueName.c_str();
    switch (keyType) {
    case kKindText: {
        // The size leaves the terminator out; the buffer handed over carries it, and the
        // registry keeps it with the text (the bytes the ANSI entry point stored too).
        const std::wstring text = VariantToText(value);
        RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() * sizeof(wchar_t)));
        break;
    }
    case kKindBinary: {
        const std::vector<BYTE> bytes = VariantToBytes(value);
        if (bytes.empty()) throw VbError::SubscriptOutOfRange();
        RegSetValueExW(key.get(), name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
        break;
    }
    case kKindNumber: {
        const DWORD number = static_cast<DWORD>(VariantToLong(value));
        RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        break;
    }
    default: break;
    }
}

void DeleteRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName) {
    if (unique_hkey key = OpenKey(hKey, keyName, KEY_WRITE))
        RegDeleteValueW(key.get(), valueName.c_str());
}

bool CheckRegistryKey(long hKey, const std::wstring& keyName) {
    return static_cast<bool>(OpenKey(hKey, keyName, KEY_READ));
}

std::vector<std::wstring> EnumRegistryKeys(long hKey, const std::wstring& keyName) {
    unique_hkey opened;
    HKEY key = RootKey(hKey);
    if (!keyName.empty()) {
        opened = OpenKey(hKey, keyName, KEY_READ);
        if (!opened) return {};
        key = opened.get();
    }
    std::vector<std::wstring> names;
    wchar_t buffer[kEnumBuffer];
    for (DWORD i = 0; i <= kEnumLimit; ++i) {
        wmemset(buffer, L' ', kEnumBuffer);
        if (RegEnumKeyW(key, i, buffer, kEnumBuffer) != ERROR_SUCCESS) break;
        names.emplace_back(buffer, wcsnlen(buffer, kEnumBuffer));
    }
    return names;
}

std::wstring StripTerminator(const std::wstring& text) {
    const size_t nul = text.find(L'\0');
    return nul == std::wstring::npos ? text : text.substr(0, nul);
}

}  // namespace ferrolin
