// The install record: its states, storage forms and the status encoding, byte for byte.
#include <gtest/gtest.h>

#include "install_record.h"
#include "names.h"
#include "registry_layer.h"
#include "test_support.h"
#include "vb_error.h"
#include "vb_variant.h"

using namespace ferrolin;
using testing_support::ReadRaw;
using testing_support::Utf16Bytes;

namespace {

testing_support::RawValue Stored(const wchar_t* value) { return ReadRaw(HKEY_CURRENT_USER, kRecordKey, value); }

}  // namespace

TEST(InstallRecord, Absent) {
    testing_support::CleanRecord clean;
    EXPECT_FALSE(record::Present());
    EXPECT_TRUE(record::AppExist());
    EXPECT_FALSE(record::IsInstalled());
    EXPECT_EQ(record::ReadDir(), L"");
    EXPECT_EQ(record::ReadStatus(), L"");
    EXPECT_TRUE(record::Delete()) << "deleting a missing record succeeds";
}

TEST(InstallRecord, StatusEncoding) {
    testing_support::CleanRecord clean;
    struct Case {
        std::wstring status, encoded;
        bool installed;
    } cases[] = {
        {L"True", L"84114117101", true},
        {L"False", L"7097108115101", false},
        {L"true", L"116114117101", false},
        {L"True ", L"8411411710132", false},
        {L"\u00e9", L"233", false},  // ANSI code page 1252
    };
    for (const Case& c : cases) {
        EXPECT_EQ(record::EncodeStatus(c.status), c.encoded) << testing_support::Narrow(c.status);
        record::WriteStatus(c.status);
        const auto raw = Stored(kValueStatus);
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(raw.data, Utf16Bytes(c.encoded)) << testing_support::Narrow(c.status);
        EXPECT_EQ(record::ReadStatus(), c.encoded);
        EXPECT_EQ(record::IsInstalled(), c.installed) << testing_support::Narrow(c.status);
    }

    // An empty status cannot be stored in binary form: error 9, the value unchanged.
    record::WriteStatus(L"True");
    try {
        record::WriteStatus(L"");
        ADD_FAILURE() << "an empty status was written";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 9);
    }
    EXPECT_TRUE(record::IsInstalled());
}

TEST(InstallRecord, RemovedByTheAddin) {
    testing_support::CleanRecord clean;
    record::WriteStatus(L"True");
    record::MarkRemovedByAddin();
    EXPECT_EQ(Stored(kValueAppExist).data, Utf16Bytes(L"01"));
    const auto status = Stored(kValueStatus);
    EXPECT_EQ(status.data.size(), 26u);
    EXPECT_EQ(status.data, Utf16Bytes(L"7097108115101"));
    EXPECT_FALSE(record::AppExist());
    EXPECT_FALSE(record::IsInstalled());
}

TEST(InstallRecord, AppExistReadsAnyContentButEmptyAsFalse) {
    testing_support::CleanRecord clean;
    struct Case {
        const char* what;
        std::vector<BYTE> stored;
        bool exists;
    } cases[] = {
        {"\"01\"", Utf16Bytes(L"01"), false},
        {"\"1\"", Utf16Bytes(L"1"), false},
        {"no data", {}, true},
    };
    for (const Case& c : cases) {
        testing_support::WriteRaw(HKEY_CURRENT_USER, kRecordKey, kValueAppExist, REG_BINARY, c.stored);
        EXPECT_EQ(record::AppExist(), c.exists) << c.what;
    }
}

TEST(InstallRecord, DirIsTextForEveryReaderAndWriter) {
    testing_support::CleanRecord clean;
    record::WriteDir(L"C:\\FERROLIN");
    const auto raw = Stored(kValueDir);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(record::ReadDir(), L"C:\\FERROLIN");
    EXPECT_TRUE(record::Present()) << "writing Dir ensures the key";

    record::WriteDir(std::wstring(255, L'd'));
    EXPECT_EQ(record::ReadDir(), std::wstring(255, L'd'));
    record::WriteDir(std::wstring(256, L'd'));
    EXPECT_EQ(record::ReadDir(), L"") << "longer than 255 characters reads as empty";
}

TEST(InstallRecord, DeleteKeepsAParentWithOtherSubkeys) {
    testing_support::CleanRecord clean;
    record::WriteStatus(L"True");
    CreateRegistryKey(kHkeyCurrentUser, std::wstring(kRecordParentKey) + L"\\Other");
    EXPECT_TRUE(record::Delete());
    EXPECT_FALSE(CheckRegistryKey(kHkeyCurrentUser, kRecordKey));
    EXPECT_TRUE(CheckRegistryKey(kHkeyCurrentUser, std::wstring(kRecordParentKey) + L"\\Other"));
    EXPECT_FALSE(record::Present());

    DeleteRegistryKey(kHkeyCurrentUser, std::wstring(kRecordParentKey) + L"\\Other");
    record::WriteBinaryText(kValueConfig, L"01");
    EXPECT_TRUE(record::Delete());
    EXPECT_FALSE(CheckRegistryKey(kHkeyCurrentUser, kRecordParentKey)) << "parent goes with the record";
}

TEST(InstallRecord, EnsureKeyCreatesBothLevelsOnce) {
    testing_support::CleanRecord clean;
    record::EnsureKey();
    EXPECT_TRUE(record::Present());
    record::WriteBinaryText(kValueConfig, L"x");
    record::EnsureKey();
    EXPECT_EQ(Stored(kValueConfig).data, Utf16Bytes(L"x")) << "ensuring an existing key keeps its values";
}
