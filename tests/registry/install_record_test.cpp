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
    EXPECT_EQ(record::ReadDir(), L"");
    EXPECT_EQ(record::ReadStatus(), L"");
}

TEST(InstallRecord, StatusEncoding) {
    testing_support::CleanRecord clean;
    for (const testing_support::StatusCase& c : testing_support::kStatusCases) {
        EXPECT_EQ(record::EncodeStatus(c.status), c.encoded) << testing_support::Narrow(c.status);
        record::WriteStatus(c.status);
        const auto raw = Stored(kValueStatus);
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(raw.data, Utf16Bytes(c.encoded)) << testing_support::Narrow(c.status);
        EXPECT_EQ(record::ReadStatus(), c.encoded);
    }

    // An empty status cannot be stored in binary form: error 9, the value unchanged.
    record::WriteStatus(L"True");
    try {
        record::WriteStatus(L"");
        ADD_FAILURE() << "an empty status was written";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 9);
    }
    EXPECT_EQ(record::ReadStatus(), L"84114117101");
}

TEST(InstallRecord, AppExistReadsAnyContentButEmptyAsFalse) {
    testing_support::CleanRecord clean;
    for (const testing_support::AppExistCase& c : testing_support::AppExistCases()) {
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

TEST(InstallRecord, EnsureKeyCreatesBothLevelsOnce) {
    testing_support::CleanRecord clean;
    record::EnsureKey();
    EXPECT_TRUE(record::Present());
    record::WriteBinaryText(kValueConfig, L"x");
    record::EnsureKey();
    EXPECT_EQ(Stored(kValueConfig).data, Utf16Bytes(L"x")) << "ensuring an existing key keeps its values";
}
