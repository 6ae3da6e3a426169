#include "install_record.h"

#include "ansi.h"
#include "names.h"
#include "registry_layer.h"
#include "vb_error.h"
#include "vb_variant.h"

namespace ferrolin::record {
namespace {

constexpr size_t kDirLimit = 255;

}  // namespace

bool Present() {
    return CheckRegistryKey(kHkeyCurrentUser, kRecordParentKey) && CheckRegistryKey(kHkeyCurrentUser, kRecordKey);
}

void EnsureKey() {
    if (!Present()) CreateRegistryKey(kHkeyCurrentUser, kRecordKey);
}

std::wstring EncodeStatus(const std::wstring& status) {
    std::wstring encoded;
    for (wchar_t c : status) {
        // The character's code in the ANSI code page; a double-byte character counts as
        // one code of lead and trail byte, always written without a sign.
        const std::string bytes = ToAnsi(std::wstring(1, c));
        unsigned code = 0;
        for (unsigned char b : bytes) code = (code << 8) | b;
        wchar_t digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<wchar_t>(L'0' + code % 10);
            code /= 10;
        } while (code);
        while (n) encoded += digits[--n];
    }
    return encoded;
}

void WriteStatus(const std::wstring& status) { WriteBinaryText(kValueStatus, EncodeStatus(status)); }

std::wstring ReadStatus() { return ReadBinaryText(kValueStatus); }

void WriteDir(const std::wstring& folder) {
    EnsureKey();
    SetRegistryValue(kHkeyCurrentUser, kRecordKey, kValueDir, kKindText, *MakeText(folder).get());
}

std::wstring ReadDir() {
    unique_variant value = GetRegistryValue(kHkeyCurrentUser, kRecordKey, kValueDir, kKindText);
    std::wstring dir = VariantToText(*value.get());
    return dir.size() > kDirLimit ? std::wstring() : dir;
}

void WriteBinaryText(const wchar_t* valueName, const std::wstring& text) {
    EnsureKey();
    SetRegistryValue(kHkeyCurrentUser, kRecordKey, valueName, kKindBinary, *MakeText(text).get());
}

std::wstring ReadBinaryText(const wchar_t* valueName) {
    unique_variant value = GetRegistryValue(kHkeyCurrentUser, kRecordKey, valueName, kKindBinary);
    if (value.vt() == (VT_ARRAY | VT_UI1)) return BytesToText(VariantBytes(*value.get()));
    return VariantToText(*value.get());
}

bool AppExist() {
    const std::wstring stored = ReadBinaryText(kValueAppExist);
    if (stored.empty()) return true;
    return false;  // "01" (the add-in removed itself) and any other content alike
}

}  // namespace ferrolin::record
