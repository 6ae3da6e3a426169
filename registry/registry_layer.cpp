#include "registry_layer.h"

#include "ansi.h"
#include "names.h"
#include "vb_error.h"
#include "vb_variant.h"

namespace ferrolin {
namespace {

constexpr REGSAM kRead = 0x20019;   // KEY_READ
constexpr REGSAM kWrite = 0x20006;  // KEY_WRITE
constexpr DWORD kTextBuffer = 1024;
constexpr DWORD kBinaryBuffer = 4096;
constexpr DWORD kEnumBuffer = 260;
constexpr DWORD kEnumLimit = 999999;

unique_hkey OpenKey(long hKey, const std::wstring& keyName, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootKey(hKey), ToAnsi(keyName).c_str(), 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return unique_hkey(key);
}

unique_variant ReadText(HKEY key, const std::string& name, unique_variant result) {
    char buffer[kTextBuffer];
    memset(buffer, ' ', sizeof buffer);
    DWORD size = kTextBuffer;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return result;
    // The stored text without its terminator; a value of no data at all is the empty text.
    return MakeText(FromAnsi(buffer, size > 0 ? size - 1 : 0));
}

unique_variant ReadBinary(HKEY key, const std::string& name, unique_variant result) {
    std::vector<BYTE> buffer(kBinaryBuffer);
    DWORD size = kBinaryBuffer;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
        return result;
    return MakeBytes(buffer.data(), size);
}

unique_variant ReadNumber(HKEY key, const std::string& name, unique_variant result) {
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size) !=
        ERROR_SUCCESS)
        return result;
    return MakeLong(static_cast<long>(number));
}

}  // namespace

bool CreateRegistryKey(long hKey, const std::wstring& keyName) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(RootKey(hKey), ToAnsi(keyName).c_str(), 0, nullptr, 0, 0, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        throw VbError(kErrRegistry, kCreateKeyFailureText);
    unique_hkey owned(key);
    return disposition == REG_OPENED_EXISTING_KEY;
}

void DeleteRegistryKey(long hKey, const std::wstring& keyName) {
    RegDeleteKeyA(RootKey(hKey), ToAnsi(keyName).c_str());
}

unique_variant GetRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName,
                                short keyType, const VARIANT* defaultValue) {
    unique_variant result = defaultValue ? CopyByValue(*defaultValue) : MakeText(L"");
    unique_hkey key = OpenKey(hKey, keyName, kRead);
    if (!key) return result;
    const std::string name = ToAnsi(valueName);
    switch (keyType) {
    case kKindText: return ReadText(key.get(), name, std::move(result));
    case kKindBinary: return ReadBinary(key.get(), name, std::move(result));
    case kKindNumber: return ReadNumber(key.get(), name, std::move(result));
    default: throw VbError(kErrRegistry, kErrUnsupportedType);
    }
}

void SetRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName, short keyType,
                      const VARIANT& value) {
    unique_hkey key = OpenKey(hKey, keyName, kWrite);
    if (!key) return;
    const std::string name = ToAnsi(valueName);
    switch (keyType) {
    case kKindText: {
        // The size leaves the terminator out; the buffer handed over carries it, and the
        // registry keeps it with the text.
        const std::string text = ToAnsi(VariantToText(value));
        RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size()));
        break;
    }
    case kKindBinary: {
        const std::vector<BYTE> bytes = VariantToBytes(value);
        if (bytes.empty()) throw VbError::SubscriptOutOfRange();
        RegSetValueExA(key.get(), name.c_str(), 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
        break;
    }
    case kKindNumber: {
        const DWORD number = static_cast<DWORD>(VariantToLong(value));
        RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
        break;
    }
    default: break;
    }
}

void DeleteRegistryValue(long hKey, const std::wstring& keyName, const std::wstring& valueName) {
    if (unique_hkey key = OpenKey(hKey, keyName, kWrite))
        RegDeleteValueA(key.get(), ToAnsi(valueName).c_str());
}

bool CheckRegistryKey(long hKey, const std::wstring& keyName) {
    return static_cast<bool>(OpenKey(hKey, keyName, kRead));
}

std::vector<std::wstring> EnumRegistryKeys(long hKey, const std::wstring& keyName) {
    unique_hkey opened;
    HKEY key = RootKey(hKey);
    if (!keyName.empty()) {
        opened = OpenKey(hKey, keyName, kRead);
        if (!opened) return {};
        key = opened.get();
    }
    std::vector<std::wstring> names;
    char buffer[kEnumBuffer];
    for (DWORD i = 0; i <= kEnumLimit; ++i) {
        memset(buffer, ' ', sizeof buffer);
        if (RegEnumKeyA(key, i, buffer, kEnumBuffer) != ERROR_SUCCESS) break;
        names.push_back(FromAnsi(buffer, strnlen(buffer, kEnumBuffer)));
    }
    return names;
}

unique_variant GetRegistryValueX(const std::wstring& keyName, const std::wstring& valueName, short keyType,
                                 const VARIANT* defaultValue) {
    return GetRegistryValue(kHkeyCurrentUser, keyName, valueName, keyType, defaultValue);
}

void SetRegistryValueX(const std::wstring& keyName, const std::wstring& valueName, short keyType,
                       const VARIANT& value) {
    SetRegistryValue(kHkeyCurrentUser, keyName, valueName, keyType, value);
}

std::wstring GetWindowsDir() {
    char buffer[255];
    memset(buffer, ' ', sizeof buffer);
    const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    if (length == 0) return {};
    return StripTerminator(FromAnsi(buffer, sizeof buffer));
}

std::wstring StripTerminator(const std::wstring& text) {
    const size_t nul = text.find(L'\0');
    return nul == std::wstring::npos ? text : text.substr(0, nul);
}

}  // namespace ferrolin
