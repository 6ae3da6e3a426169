// The install record through CLibrary: what the add-in reads and changes while Excel
// runs, byte for byte as setup and the uninstallers find it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library_session.h"
#include "names.h"
#include "test_support.h"

using namespace library_harness;
using ferrolin::com_ptr;
using ferrolin::unique_bstr;
using ferrolin::unique_variant;
using testing_support::CleanRecord;
using testing_support::Hex;
using testing_support::Narrow;
using testing_support::ReadRaw;
using testing_support::Sz;
using testing_support::Utf16Bytes;
using testing_support::WriteRaw;

namespace {

const wchar_t* const kKey = ferrolin::kRecordKey;

std::string Stored(const wchar_t* value) { return Hex(ReadRaw(HKEY_CURRENT_USER, kKey, value).data); }

}  // namespace

TEST(RecordThroughTheClass, WithoutARecordEverythingReadsEmpty) {
    CleanRecord clean;
    Session s;
    EXPECT_TRUE(s.Bool(&_CLibrary::App_Exist));
    EXPECT_FALSE(s.Bool(&_CLibrary::IsAddin_Installed));
    EXPECT_EQ(s.Text(&_CLibrary::InstallPath), L"");
    EXPECT_EQ(s.Text(&_CLibrary::Get_status_Addin), L"");
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, ferrolin::kRecordParentKey)) << "readers create nothing";
    EXPECT_TRUE(s.Bool(&_CLibrary::Delete_information_All)) << "nothing to delete counts as success";

    MessageBoxWatch watch;
    EXPECT_EQ(s.lib->Delete_All(), S_OK);
    EXPECT_TRUE(watch.Stop().empty()) << "Delete_All showed a message although the deletion succeeded";

    EXPECT_EQ(s.lib->prcChecked_Key_RG(), S_OK);
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CURRENT_USER, kKey)) << "prcChecked_Key_RG creates both levels";
}

TEST(RecordThroughTheClass, StatusIsStoredEncodedAndComparedExactly) {
    CleanRecord clean;
    Session s;
    for (const testing_support::StatusCase& c : testing_support::kStatusCases) {
        ASSERT_EQ(s.ByRef(&_CLibrary::prcSet_status_Addin, c.status), S_OK) << Narrow(c.status);
        const auto raw = ReadRaw(HKEY_CURRENT_USER, kKey, ferrolin::kValueStatus);
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY)) << Narrow(c.status);
        EXPECT_EQ(Hex(raw.data), Hex(Utf16Bytes(c.encoded))) << Narrow(c.status);
        EXPECT_EQ(s.Text(&_CLibrary::Get_status_Addin), c.encoded) << Narrow(c.status);
        EXPECT_EQ(s.Bool(&_CLibrary::IsAddin_Installed), c.installed) << Narrow(c.status);
    }
    // An empty status fails with 9 and keeps the stored one.
    const HRESULT hr = s.ByRef(&_CLibrary::prcSet_status_Addin, L"");
    const VbFailure f = FailureOf(hr);
    EXPECT_EQ(f.number, 9);
    EXPECT_EQ(f.description, L"Subscript out of range");
    EXPECT_EQ(f.source, L"IFR_v11.CLibrary");
    EXPECT_EQ(s.Text(&_CLibrary::Get_status_Addin), L"120");
}

TEST(RecordThroughTheClass, TheAddinRemovingItself) {
    CleanRecord clean;
    Session s;
    ASSERT_EQ(s.ByRef(&_CLibrary::prcSet_status_Addin, L"True"), S_OK);
    ASSERT_EQ(s.lib->prcDesinstalar_Addin(), S_OK);
    EXPECT_EQ(Stored(ferrolin::kValueAppExist), "30 00 31 00");
    const auto status = ReadRaw(HKEY_CURRENT_USER, kKey, ferrolin::kValueStatus);
    EXPECT_EQ(status.data.size(), 26u);
    EXPECT_EQ(Hex(status.data), Hex(Utf16Bytes(L"7097108115101")));
    EXPECT_FALSE(s.Bool(&_CLibrary::App_Exist));
    EXPECT_FALSE(s.Bool(&_CLibrary::IsAddin_Installed));

    for (const testing_support::AppExistCase& c : testing_support::AppExistCases()) {
        WriteRaw(HKEY_CURRENT_USER, kKey, ferrolin::kValueAppExist, REG_BINARY, c.stored);
        EXPECT_EQ(s.Bool(&_CLibrary::App_Exist), c.exists) << c.what;
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, ferrolin::kValueAppExist);
    EXPECT_TRUE(s.Bool(&_CLibrary::App_Exist)) << "missing";
}

TEST(RecordThroughTheClass, DirIsTextTrimmedAndReadAsSetupWroteIt) {
    CleanRecord clean;
    Session s;
    ASSERT_EQ(s.ByRef(&_CLibrary::prcDir, L"   C:\\FERROLIN  "), S_OK);
    const auto raw = ReadRaw(HKEY_CURRENT_USER, kKey, ferrolin::kValueDir);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ)) << "the uninstallers read Dir as text";
    EXPECT_EQ(Hex(raw.data), Hex(Sz(L"C:\\FERROLIN")));
    EXPECT_EQ(s.Text(&_CLibrary::InstallPath), L"C:\\FERROLIN");

    // What setup stores, read back by InstallPath; longer than 255 characters reads as empty.
    const struct {
        const char* what;
        std::wstring stored;
        std::wstring read;
    } cases[] = {
        {"setup's folder", L"D:\\PROGRAMS\\FERROLIN", L"D:\\PROGRAMS\\FERROLIN"},
        {"255 characters", std::wstring(255, L'd'), std::wstring(255, L'd')},
        {"256 characters", std::wstring(256, L'd'), L""},
    };
    for (const auto& c : cases) {
        WriteRaw(HKEY_CURRENT_USER, kKey, ferrolin::kValueDir, REG_SZ, Sz(c.stored));
        EXPECT_EQ(s.Text(&_CLibrary::InstallPath), c.read) << c.what;
    }

    // A folder that is empty after trimming fails with 9; Dir keeps its folder.
    WriteRaw(HKEY_CURRENT_USER, kKey, ferrolin::kValueDir, REG_SZ, Sz(L"C:\\KEPT"));
    for (const wchar_t* blank : {L"", L"    "}) {
        const VbFailure f = FailureOf(s.ByRef(&_CLibrary::prcDir, blank));
        EXPECT_EQ(f.number, 9) << "\"" << Narrow(blank) << "\"";
        EXPECT_EQ(f.description, L"Subscript out of range");
        EXPECT_EQ(s.Text(&_CLibrary::InstallPath), L"C:\\KEPT");
    }
    EXPECT_EQ(FailureOf(s.lib->prcDir(nullptr)).number, 9) << "NULL is the empty text";
}

TEST(RecordThroughTheClass, SetAddinStoresTheTextUnchanged) {
    CleanRecord clean;
    Session s;
    for (const wchar_t* text : {L"01", L" padded ", L"\x03A9"}) {
        ASSERT_EQ(s.ByRef(&_CLibrary::prcSet_Addin, text), S_OK) << Narrow(text);
        EXPECT_EQ(Stored(ferrolin::kValueConfig), Hex(Utf16Bytes(text))) << Narrow(text);
    }
    EXPECT_EQ(FailureOf(s.ByRef(&_CLibrary::prcSet_Addin, L"")).number, 9);
    EXPECT_EQ(Stored(ferrolin::kValueConfig), Hex(Utf16Bytes(L"\x03A9"))) << "kept after the failure";
}

TEST(RecordThroughTheClass, DeletingTheRecord) {
    CleanRecord clean;
    Session s;
    ASSERT_EQ(s.ByRef(&_CLibrary::prcSet_status_Addin, L"True"), S_OK);
    EXPECT_TRUE(s.Bool(&_CLibrary::Delete_information_All));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, ferrolin::kRecordParentKey));

    // A parent with other subkeys stays; the deletion still counts as done.
    WriteRaw(HKEY_CURRENT_USER, std::wstring(ferrolin::kRecordParentKey) + L"\\Other", L"", REG_SZ, Sz(L""));
    ASSERT_EQ(s.ByRef(&_CLibrary::prcDir, L"C:\\F"), S_OK);
    EXPECT_TRUE(s.Bool(&_CLibrary::Delete_information_All));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, kKey));
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CURRENT_USER, std::wstring(ferrolin::kRecordParentKey) + L"\\Other"));

    // Delete_All over a present record: deleted, and no message.
    ASSERT_EQ(s.ByRef(&_CLibrary::prcSet_Addin, L"01"), S_OK);
    s.lib->put_lCia(Bstr(L"Ferrolin").get());
    MessageBoxWatch watch;
    EXPECT_EQ(s.lib->Delete_All(), S_OK);
    EXPECT_TRUE(watch.Stop().empty());
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, kKey));
}

TEST(RecordThroughTheClass, ScriptStyleCallsByName) {
    CleanRecord clean;
    Session s;
    com_ptr<IDispatch> d;
    s.lib.query(d);
    // A literal for a by-reference text, and a text passed by reference.
    EXPECT_EQ(CallByName(d.get(), L"prcDir", Args(TextVariant(L" C:\\BYNAME "))).hr, S_OK);
    unique_bstr folder = Bstr(L"C:\\BYREF");
    BSTR ref = folder.get();
    unique_variant byRef;
    V_VT(byRef.get()) = VT_BSTR | VT_BYREF;
    V_BSTRREF(byRef.get()) = &ref;
    std::vector<unique_variant> args;
    args.push_back(std::move(byRef));
    EXPECT_EQ(Invoke(d.get(), DispIdOf(d.get(), L"prcDir"), DISPATCH_METHOD, args).hr, S_OK);
    V_VT(args[0].get()) = VT_EMPTY;
    EXPECT_EQ(ref, folder.get()) << "the caller's text is left alone";
    DispatchResult path = CallByName(d.get(), L"InstallPath", {});
    EXPECT_EQ(Text(V_BSTR(path.value.get())), L"C:\\BYREF");

    EXPECT_EQ(CallByName(d.get(), L"prcSet_status_Addin", Args(TextVariant(L"True"))).hr, S_OK);
    DispatchResult installed = CallByName(d.get(), L"IsAddin_Installed", {});
    ASSERT_EQ(installed.value.vt(), VT_BOOL);
    EXPECT_EQ(V_BOOL(installed.value.get()), VARIANT_TRUE);

    DispatchResult failed = CallByName(d.get(), L"prcSet_Addin", Args(TextVariant(L"")));
    EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(failed.exception->scode, static_cast<SCODE>(0x800A0009));
    EXPECT_EQ(Text(failed.exception->bstrDescription), L"Subscript out of range");

    // A number where a text is expected is converted as VB converts it.
    EXPECT_EQ(CallByName(d.get(), L"prcSet_Addin", Args(LongVariant(1))).hr, S_OK);
    EXPECT_EQ(Stored(ferrolin::kValueConfig), Hex(Utf16Bytes(L"1")));
}
