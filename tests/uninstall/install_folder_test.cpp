// GetInstallFolder against every form the stored `Dir` of the record can take.
#include <gtest/gtest.h>

#include "names.h"
#include "prcBasics.h"
#include "test_support.h"

namespace prcBasics = ferrolin::prcBasics;
using testing_support::Utf16Bytes;

namespace {

std::vector<BYTE> Terminated(const std::wstring& text) {
    std::vector<BYTE> data = Utf16Bytes(text);
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::wstring GetInstallFolder() {
    const prcBasics::Folder folder = prcBasics::GetInstallFolder();
    return std::wstring(folder.text, folder.length);
}

}  // namespace

TEST(GetInstallFolder, StoredForms) {
    const std::wstring blanks254(254, L' ');
    const std::wstring longest = L"C:\\" + std::wstring(251, L'x');  // 254 characters and the NUL fit
    const std::wstring too_long = longest + L"y";
    const struct Case {
        const char* name;
        bool key;                 // the record key exists
        bool value;               // `Dir` exists
        DWORD type;
        std::vector<BYTE> data;
        std::wstring folder;      // what GetInstallFolder returns
    } cases[] = {
        {"no record key", false, false, REG_SZ, {}, blanks254},
        {"key without Dir", true, false, REG_SZ, {}, blanks254},
        {"ordinary folder", true, true, REG_SZ, Terminated(L"C:\\FERROLIN"), L"C:\\FERROLIN"},
        {"blanks around the folder are kept", true, true, REG_SZ, Terminated(L"  C:\\FR  "), L"  C:\\FR  "},
        {"blanks only", true, true, REG_SZ, Terminated(L"   "), L"   "},
        {"empty text", true, true, REG_SZ, Terminated(L""), L""},
        {"no data at all", true, true, REG_SZ, {}, L""},
        {"stored without its NUL", true, true, REG_SZ, Utf16Bytes(L"C:\\FR"), L"C:\\FR"},
        {"ANSI characters", true, true, REG_SZ, Terminated(L"C:\\Caf\u00e9"), L"C:\\Caf\u00e9"},
        {"254 characters", true, true, REG_SZ, Terminated(longest), longest},
        {"255 characters read as missing", true, true, REG_SZ, Terminated(too_long), blanks254},
    };
    for (const Case& c : cases) {
        testing_support::CleanRecord clean;
        if (c.key) testing_support::WriteRaw(HKEY_CURRENT_USER, ferrolin::kRecordKey, L"other", REG_SZ, Terminated(L"x"));
        if (c.value) testing_support::WriteRaw(HKEY_CURRENT_USER, ferrolin::kRecordKey, ferrolin::kValueDir, c.type, c.data);
        const std::wstring folder = GetInstallFolder();
        EXPECT_EQ(prcBasics::IsBlank(prcBasics::GetInstallFolder()),
                  folder.find_first_not_of(L' ') == std::wstring::npos) << c.name << ": blank test";
        EXPECT_EQ(folder, c.folder) << c.name << ": got " << folder.size() << " characters \""
                                    << testing_support::Narrow(folder) << "\"";
    }
}

TEST(GetInstallFolder, ReadsOnlyItsOwnVersion) {
    testing_support::CleanRecord clean;
    testing_support::WriteRaw(HKEY_CURRENT_USER, ferrolin::kRecordKey10, ferrolin::kValueDir, REG_SZ,
                              Terminated(L"C:\\VERSION10"));
    EXPECT_EQ(GetInstallFolder(), std::wstring(254, L' ')) << "UFR11 read the record of version 1.0";
    testing_support::WriteRaw(HKEY_CURRENT_USER, ferrolin::kRecordKey, ferrolin::kValueDir, REG_SZ,
                              Terminated(L"C:\\VERSION11"));
    EXPECT_EQ(GetInstallFolder(), L"C:\\VERSION11");
}
