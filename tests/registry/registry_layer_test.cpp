// The registry layer against the real registry: buffer limits, storage forms, the silent
// failures and the VB errors.
#include <gtest/gtest.h>

#include "names.h"
#include "registry_layer.h"
#include "test_support.h"
#include "vb_error.h"
#include "vb_variant.h"

using testing_support::ErrorOf;
using namespace ferrolin;
using testing_support::Hex;
using testing_support::ReadRaw;
using testing_support::ScratchKey;

namespace {

constexpr long HKCU = kHkeyCurrentUser;

std::wstring TextOf(const unique_variant& v) {
    EXPECT_EQ(v.vt(), VT_BSTR);
    return v.vt() == VT_BSTR ? std::wstring(V_BSTR(v.get()), SysStringLen(V_BSTR(v.get()))) : L"<not text>";
}

using testing_support::Bool;
using testing_support::Double;
unique_variant Null() { return testing_support::Of(VT_NULL); }

}  // namespace

TEST(RegistryLayer, ReadsGiveTheDefaultWhenNothingCanBeRead) {
    ScratchKey scratch(L"defaults");
    SetRegistryValue(HKCU, scratch.path(), L"present", kKindText, *MakeText(L"here").get());
    const unique_variant fortyTwo = MakeLong(42);
    struct Case {
        const char* what;
        std::wstring key, value;
        short kind;
    } cases[] = {
        {"missing key, text", scratch.sub(L"nothing"), L"present", kKindText},
        {"missing key, binary", scratch.sub(L"nothing"), L"present", kKindBinary},
        {"missing key, number", scratch.sub(L"nothing"), L"present", kKindNumber},
        {"missing key, kind 2", scratch.sub(L"nothing"), L"present", 2},
        {"missing value, text", scratch.path(), L"absent", kKindText},
        {"missing value, binary", scratch.path(), L"absent", kKindBinary},
        {"missing value, number", scratch.path(), L"absent", kKindNumber},
    };
    for (const Case& c : cases) {
        unique_variant omitted = GetRegistryValue(HKCU, c.key, c.value, c.kind);
        EXPECT_EQ(TextOf(omitted), L"") << c.what;
        unique_variant given = GetRegistryValue(HKCU, c.key, c.value, c.kind, fortyTwo.get());
        EXPECT_EQ(given.vt(), VT_I4) << c.what;
        EXPECT_EQ(V_I4(given.get()), 42) << c.what;
    }
}

TEST(RegistryLayer, BufferLimits) {
    ScratchKey scratch(L"limits");
    struct Case {
        const char* what;
        short kind;
        size_t length;
        bool readable;
    } cases[] = {
        {"text of 1023 characters", kKindText, 1023, true},
        {"text of 1024 characters", kKindText, 1024, false},
        {"binary of 4096 bytes", kKindBinary, 4096, true},
        {"binary of 4097 bytes", kKindBinary, 4097, false},
    };
    const unique_variant fallback = MakeText(L"default");
    for (const Case& c : cases) {
        if (c.kind == kKindText) {
            SetRegistryValue(HKCU, scratch.path(), L"v", kKindText, *MakeText(std::wstring(c.length, L'x')).get());
        } else {
            std::vector<BYTE> bytes(c.length, 0xA5);
            SetRegistryValue(HKCU, scratch.path(), L"v", kKindBinary, *MakeBytes(bytes.data(), bytes.size()).get());
        }
        ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"v").present) << c.what << ": not written";
        unique_variant read = GetRegistryValue(HKCU, scratch.path(), L"v", c.kind, fallback.get());
        if (!c.readable) {
            EXPECT_EQ(TextOf(read), L"default") << c.what;
        } else if (c.kind == kKindText) {
            EXPECT_EQ(TextOf(read), std::wstring(c.length, L'x')) << c.what;
        } else {
            EXPECT_EQ(VariantBytes(*read.get()), std::vector<BYTE>(c.length, 0xA5)) << c.what;
        }
    }
}

TEST(RegistryLayer, StorageForms) {
    ScratchKey scratch(L"forms");
    SetRegistryValue(HKCU, scratch.path(), L"text", kKindText, *MakeText(L"abc").get());
    SetRegistryValue(HKCU, scratch.path(), L"binary", kKindBinary, *MakeText(L"01").get());
    SetRegistryValue(HKCU, scratch.path(), L"number", kKindNumber, *MakeLong(-2).get());

    const auto text = ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"text");
    EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
    const auto binary = ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"binary");
    EXPECT_EQ(binary.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Hex(binary.data), "30 00 31 00");
    const auto number = ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"number");
    EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Hex(number.data), "FE FF FF FF");

    // Round trips, and the kind of the read deciding how the data comes back.
    EXPECT_EQ(TextOf(GetRegistryValue(HKCU, scratch.path(), L"text", kKindText)), L"abc");
    EXPECT_EQ(Hex(VariantBytes(*GetRegistryValue(HKCU, scratch.path(), L"text", kKindBinary).get())),
              "61 62 63 00")
        << "a REG_SZ read as binary gives its ANSI bytes with the terminator";
    EXPECT_EQ(BytesToText(VariantBytes(*GetRegistryValue(HKCU, scratch.path(), L"binary", kKindBinary).get())),
              L"01");
    unique_variant n = GetRegistryValue(HKCU, scratch.path(), L"number", kKindNumber);
    EXPECT_EQ(n.vt(), VT_I4);
    EXPECT_EQ(V_I4(n.get()), -2);

    // A text the ANSI code page holds is stored as the ANSI entry point stored it (its size
    // without the terminator, the buffer carrying one), whichever entry point writes.
    const std::string ansiTexts[] = {"", "C:\\FERROLIN", "caf\xE9 \xFC", std::string(1023, 'x')};
    for (const std::string& ansi : ansiTexts) {
        std::wstring wide;
        for (unsigned char c : ansi) wide += static_cast<wchar_t>(c);  // Latin-1 = code page 1252 here
        SetRegistryValue(HKCU, scratch.path(), L"wide", kKindText, *MakeText(wide).get());
        const ferrolin::unique_hkey key = ferrolin::open_key(HKEY_CURRENT_USER, scratch.path().c_str(), KEY_SET_VALUE);
        ASSERT_TRUE(key);
        RegSetValueExA(key.get(), "ansi", 0, REG_SZ, reinterpret_cast<const BYTE*>(ansi.c_str()),
                       static_cast<DWORD>(ansi.size()));
        const auto byAnsi = ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"ansi");
        const auto byLayer = ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"wide");
        EXPECT_EQ(byLayer.type, byAnsi.type) << ansi.size() << " characters";
        EXPECT_EQ(Hex(byLayer.data), Hex(byAnsi.data)) << ansi.size() << " characters";
        EXPECT_EQ(TextOf(GetRegistryValue(HKCU, scratch.path(), L"ansi", kKindText)), wide);
    }
    // One the ANSI code page lacks is kept whole, as a value, a value name and a key name.
    const std::wstring polish = L"C:\\ACC\\\x0141\x00F3" L"d\x017A";
    SetRegistryValue(HKCU, scratch.path(), polish, kKindText, *MakeText(polish).get());
    EXPECT_EQ(Hex(ReadRaw(HKEY_CURRENT_USER, scratch.path(), polish).data), Hex(testing_support::Sz(polish)));
    EXPECT_EQ(TextOf(GetRegistryValue(HKCU, scratch.path(), polish, kKindText)), polish);
    const std::wstring folder = L"\x0141\x00F3" L"d\x017A";
    EXPECT_FALSE(CreateRegistryKey(HKCU, scratch.sub(folder)));
    EXPECT_TRUE(CheckRegistryKey(HKCU, scratch.sub(folder)));
    const std::vector<std::wstring> names = EnumRegistryKeys(HKCU, scratch.path());
    EXPECT_EQ(names.size() == 1 && names[0] == folder, true) << names.size() << " subkeys";
}

TEST(RegistryLayer, ValuesOfNoData) {
    ScratchKey scratch(L"empty");
    SetRegistryValue(HKCU, scratch.path(), L"text", kKindText, *MakeText(L"").get());
    testing_support::WriteRaw(HKEY_CURRENT_USER, scratch.path(), L"binary", REG_BINARY, {});
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"text").present);
    EXPECT_EQ(TextOf(GetRegistryValue(HKCU, scratch.path(), L"text", kKindText)), L"");
    unique_variant bytes = GetRegistryValue(HKCU, scratch.path(), L"binary", kKindBinary);
    EXPECT_EQ(bytes.vt(), VT_ARRAY | VT_UI1);
    EXPECT_TRUE(VariantBytes(*bytes.get()).empty());
}

TEST(RegistryLayer, UnknownKinds) {
    ScratchKey scratch(L"kinds");
    SetRegistryValue(HKCU, scratch.path(), L"v", 2, *MakeText(L"x").get());
    SetRegistryValue(HKCU, scratch.path(), L"w", -1, *MakeText(L"x").get());
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"v").present) << "kind 2 writes nothing";
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"w").present) << "kind -1 writes nothing";

    for (short kind : {short(0), short(2), short(5), short(-32768), short(32767)}) {
        std::wstring description;
        EXPECT_EQ(ErrorOf([&] { GetRegistryValue(HKCU, scratch.path(), L"v", kind); }, &description), 1001)
            << "kind " << kind;
        EXPECT_EQ(description, L"Tipo de valor no compatible") << "kind " << kind;
        EXPECT_EQ(ErrorOf([&] { GetRegistryValue(HKCU, scratch.sub(L"none"), L"v", kind); }), 0)
            << "kind " << kind << " on a missing key returns the default";
    }
}

TEST(RegistryLayer, WritesToMissingKeysCreateNothing) {
    ScratchKey scratch(L"missing");
    const std::wstring missing = scratch.sub(L"a\\b");
    SetRegistryValue(HKCU, missing, L"v", kKindText, *MakeText(L"x").get());
    SetRegistryValue(HKCU, missing, L"v", kKindBinary, *MakeText(L"").get());  // no error 9 either
    DeleteRegistryValue(HKCU, missing, L"v");
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, scratch.sub(L"a")));
    EXPECT_FALSE(CheckRegistryKey(HKCU, missing));
}

TEST(RegistryLayer, EmptyBinaryWriteRaises9AndKeepsTheValue) {
    ScratchKey scratch(L"nine");
    SetRegistryValue(HKCU, scratch.path(), L"v", kKindBinary, *MakeText(L"keep").get());
    unique_variant emptyArray = MakeBytes(nullptr, 0);
    EXPECT_EQ(ErrorOf([&] { SetRegistryValue(HKCU, scratch.path(), L"v", kKindBinary, *MakeText(L"").get()); }), 9);
    EXPECT_EQ(ErrorOf([&] { SetRegistryValue(HKCU, scratch.path(), L"v", kKindBinary, *emptyArray.get()); }), 9);
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"v").data, testing_support::Utf16Bytes(L"keep"));
}

TEST(RegistryLayer, ConversionsFollowVb) {
    ScratchKey scratch(L"conversions");
    struct Case {
        const char* what;
        short kind;
        unique_variant value;
        long error;
        std::string stored;  // hex of the stored bytes (texts as the system keeps them, UTF-16)
    };
    Case cases[] = {
        {"number from text", kKindNumber, MakeText(L"12"), 0, "0C 00 00 00"},
        {"number from bad text", kKindNumber, MakeText(L"abc"), 13, ""},
        {"number too large", kKindNumber, Double(3e9), 6, ""},
        {"number rounds half to even", kKindNumber, Double(2.5), 0, "02 00 00 00"},
        {"number from True", kKindNumber, Bool(true), 0, "FF FF FF FF"},
        {"number from Null", kKindNumber, Null(), 94, ""},
        {"number from bytes", kKindNumber, MakeBytes(reinterpret_cast<const BYTE*>("ab"), 2), 13, ""},
        {"text from number", kKindText, MakeLong(42), 0, "34 00 32 00 00 00"},
        {"text from Boolean", kKindText, Bool(false), 0, "46 00 61 00 6C 00 73 00 65 00 00 00"},
        {"text from Null", kKindText, Null(), 94, ""},
        {"text from empty", kKindText, unique_variant(), 0, ""},
        {"binary from number", kKindBinary, MakeLong(1), 13, ""},
        {"binary from Null", kKindBinary, Null(), 94, ""},
        {"binary from bytes", kKindBinary, MakeBytes(reinterpret_cast<const BYTE*>("\x01\x02"), 2), 0, "01 02"},
    };
    for (Case& c : cases) {
        testing_support::WriteRaw(HKEY_CURRENT_USER, scratch.path(), L"v", REG_BINARY, {0xEE});
        EXPECT_EQ(ErrorOf([&] { SetRegistryValue(HKCU, scratch.path(), L"v", c.kind, *c.value.get()); }), c.error)
            << c.what;
        const auto raw = ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"v");
        EXPECT_EQ(Hex(raw.data), c.error ? "EE" : c.stored) << c.what;
    }
}

TEST(RegistryLayer, ByReferenceValues) {
    ScratchKey scratch(L"byref");
    unique_variant inner = MakeText(L"7");
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = inner.get();
    SetRegistryValue(HKCU, scratch.path(), L"v", kKindNumber, ref);
    EXPECT_EQ(Hex(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"v").data), "07 00 00 00");

    VARIANT dangling;
    VariantInit(&dangling);
    V_VT(&dangling) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&dangling) = nullptr;
    EXPECT_EQ(ErrorOf([&] { SetRegistryValue(HKCU, scratch.path(), L"v", kKindText, dangling); }), 5);
}

TEST(RegistryLayer, Keys) {
    ScratchKey scratch(L"keys");
    const std::wstring deep = scratch.sub(L"one\\two\\three");
    EXPECT_FALSE(CreateRegistryKey(HKCU, deep)) << "a new key (and its missing parents)";
    EXPECT_TRUE(CheckRegistryKey(HKCU, deep));
    EXPECT_TRUE(CreateRegistryKey(HKCU, deep)) << "an existing key";

    DeleteRegistryKey(HKCU, scratch.sub(L"one"));
    EXPECT_TRUE(CheckRegistryKey(HKCU, deep)) << "a key with subkeys is not deleted";
    DeleteRegistryKey(HKCU, deep);
    EXPECT_FALSE(CheckRegistryKey(HKCU, deep));
    DeleteRegistryKey(HKCU, deep);  // again: nothing to report

    std::wstring description;
    EXPECT_EQ(ErrorOf([&] { CreateRegistryKey(0x12345, L"x"); }, &description), 1001) << "invalid root";
    EXPECT_EQ(description, L"It was impossible to create the registration key");
    EXPECT_FALSE(CheckRegistryKey(0x12345, L"x"));
    EXPECT_EQ(TextOf(GetRegistryValue(0x12345, L"x", L"y", kKindText)), L"");

    SetRegistryValue(HKCU, scratch.path(), L"v", kKindText, *MakeText(L"x").get());
    DeleteRegistryValue(HKCU, scratch.path(), L"v");
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, scratch.path(), L"v").present);
}

TEST(RegistryLayer, EnumRegistryKeys) {
    ScratchKey scratch(L"enum");
    EXPECT_TRUE(EnumRegistryKeys(HKCU, scratch.path()).empty()) << "no subkeys";
    EXPECT_TRUE(EnumRegistryKeys(HKCU, scratch.sub(L"missing")).empty()) << "missing key";

    std::vector<std::wstring> expected;
    for (int i = 0; i < 150; ++i) {
        wchar_t name[16];
        swprintf(name, 16, L"k%03d", i);
        expected.push_back(name);
        CreateRegistryKey(HKCU, scratch.sub(name));
    }
    EXPECT_EQ(EnumRegistryKeys(HKCU, scratch.path()), expected);

    // An empty name enumerates the given key itself.
    HKEY open = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, scratch.path().c_str(), 0, KEY_READ, &open), ERROR_SUCCESS);
    unique_hkey owned(open);
    EXPECT_EQ(EnumRegistryKeys(static_cast<long>(reinterpret_cast<LONG_PTR>(open)), L"").size(), 150u);
}

TEST(RegistryLayer, StripTerminator) {
    struct Case {
        std::wstring in, out;
    } cases[] = {
        {std::wstring(L"abc\0ef", 6), L"abc"},
        {L"abcdef", L"abcdef"},
        {std::wstring(L"\0abc", 4), L""},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StripTerminator(c.in), c.out) << testing_support::Narrow(c.in);
}
