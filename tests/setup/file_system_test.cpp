// The file-system service against real files and folders: existence of files versus
// folders, one-level folder creation and its failures, copies that overwrite or refuse,
// forced deletion of read-only files, a file held open by another process, the drives.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "file_system.h"
#include "setup_host.h"
#include "system_error.h"
#include "test_support.h"
#include "uidriver.h"

using testing_support::ErrorOf;
using namespace ferrolin;
using testing_support::Narrow;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    const ferrolin::unique_handle file = ferrolin::adopt_file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
    return bytes;
}

void MakeReadOnly(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

}  // namespace

TEST(FileSystem, FileAndFolderExistence) {
    TempDir dir(L"fso_exists");
    WriteFileBytes(dir.file(L"Ferrolin 1.1.xla"), "xla");
    CreateDirectoryW(dir.file(L"Library").c_str(), nullptr);
    struct Case {
        std::wstring path;
        bool file;
        bool folder;
    };
    const Case cases[] = {
        {dir.file(L"Ferrolin 1.1.xla"), true, false},
        {dir.file(L"FERROLIN 1.1.XLA"), true, false},  // case does not matter
        {dir.file(L"Library"), false, true},
        {dir.file(L"Library\\"), false, true},
        {dir.path(), false, true},
        {dir.file(L"missing.xla"), false, false},
        {dir.file(L"missing\\Ferrolin 1.1.xla"), false, false},
        {L"C:\\", false, true},
        {L"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fso::FileExists(c.path), c.file) << "FileExists(" << Narrow(c.path) << ")";
        EXPECT_EQ(fso::FolderExists(c.path), c.folder) << "FolderExists(" << Narrow(c.path) << ")";
    }
}

TEST(FileSystem, CreateFolderMakesOneLevel) {
    TempDir dir(L"fso_create");
    WriteFileBytes(dir.file(L"plain.txt"), "x");
    fso::CreateFolder(dir.file(L"Ferrolin"));
    EXPECT_TRUE(fso::FolderExists(dir.file(L"Ferrolin")));

    struct Case {
        const char* name;
        std::wstring path;
        long number;
    };
    const Case cases[] = {
        {"existing folder", dir.file(L"Ferrolin"), ERROR_ALREADY_EXISTS},
        {"existing file", dir.file(L"plain.txt"), ERROR_ALREADY_EXISTS},
        {"missing parent", dir.file(L"missing\\Ferrolin"), ERROR_PATH_NOT_FOUND},
        {"invalid name", dir.file(L"bad|name"), ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        std::wstring description;
        EXPECT_EQ(ErrorOf([&] { fso::CreateFolder(c.path); }, &description), c.number) << c.name;
        // The description is the system's own, as FormatMessage gives it.
        EXPECT_EQ(description, SystemMessage(static_cast<DWORD>(c.number))) << c.name;
        EXPECT_FALSE(description.empty()) << c.name;
        EXPECT_NE(description.back(), L'\n') << c.name;
    }
    EXPECT_FALSE(fso::FolderExists(dir.file(L"missing"))) << "created more than one level";
}

TEST(FileSystem, CopyOverwritesOrFails) {
    TempDir dir(L"fso_copy");
    WriteFileBytes(dir.file(L"fr.xla"), "new workbook");
    WriteFileBytes(dir.file(L"target.xla"), "old workbook");
    WriteFileBytes(dir.file(L"locked.xla"), "read-only target");
    MakeReadOnly(dir.file(L"locked.xla"));

    // Overwriting is the default, and True asks for it too.
    fso::CopyFileTo(dir.file(L"fr.xla"), dir.file(L"target.xla"));
    EXPECT_EQ(ReadAll(dir.file(L"target.xla")), "new workbook");
    WriteFileBytes(dir.file(L"target.xla"), "old workbook");
    fso::CopyFileTo(dir.file(L"fr.xla"), dir.file(L"target.xla"), true);
    EXPECT_EQ(ReadAll(dir.file(L"target.xla")), "new workbook");
    fso::CopyFileTo(dir.file(L"fr.xla"), dir.file(L"fresh.xla"));
    EXPECT_EQ(ReadAll(dir.file(L"fresh.xla")), "new workbook");

    // A downloaded file's internet zone mark stays behind: the copy carries no
    // Zone.Identifier stream. Wine's CopyFileW does not carry streams, so what shows here is
    // a mark on the target before the copy, gone after it.
    const std::string mark = "[ZoneTransfer]\r\nZoneId=3\r\n";
    WriteFileBytes(dir.file(L"fr.xla:Zone.Identifier"), mark);
    WriteFileBytes(dir.file(L"target.xla:Zone.Identifier"), mark);
    ASSERT_EQ(ReadAll(dir.file(L"target.xla:Zone.Identifier")), mark) << "no stream written";
    fso::CopyFileTo(dir.file(L"fr.xla"), dir.file(L"target.xla"));
    EXPECT_EQ(ReadAll(dir.file(L"target.xla:Zone.Identifier")), "<missing>") << "the zone mark was kept";
    EXPECT_EQ(ReadAll(dir.file(L"target.xla")), "new workbook");

    struct Case {
        const char* name;
        std::wstring source;
        std::wstring target;
        bool overwrite;
        long number;
    };
    const Case cases[] = {
        {"missing source", dir.file(L"fr.chm"), dir.file(L"help.chm"), true, ERROR_FILE_NOT_FOUND},
        {"missing target folder", dir.file(L"fr.xla"), dir.file(L"missing\\x.xla"), true, ERROR_PATH_NOT_FOUND},
        {"existing target, no overwrite", dir.file(L"fr.xla"), dir.file(L"target.xla"), false, ERROR_FILE_EXISTS},
        {"read-only target", dir.file(L"fr.xla"), dir.file(L"locked.xla"), true, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOf([&] { fso::CopyFileTo(c.source, c.target, c.overwrite); }), c.number) << c.name;
    }
    EXPECT_EQ(ReadAll(dir.file(L"locked.xla")), "read-only target");
    SetFileAttributesW(dir.file(L"locked.xla").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileSystem, DeleteWithForce) {
    TempDir dir(L"fso_delete");
    struct Case {
        const char* name;
        bool readOnly;
        bool force;
        long number;
    };
    const Case cases[] = {
        {"plain file", false, false, 0},
        {"plain file, forced", false, true, 0},
        {"read-only file, forced", true, true, 0},
        {"read-only file, not forced", true, false, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        const std::wstring path = dir.file(L"Ferrolin 1.1.xla");
        WriteFileBytes(path, "xla");
        if (c.readOnly) MakeReadOnly(path);
        EXPECT_EQ(ErrorOf([&] { fso::DeleteFileAt(path, c.force); }), c.number) << c.name;
        EXPECT_EQ(fso::FileExists(path), c.number != 0) << c.name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    EXPECT_EQ(ErrorOf([&] { fso::DeleteFileAt(dir.file(L"missing.xla"), true); }), ERROR_FILE_NOT_FOUND);
}

TEST(FileSystem, DeleteFailsWhileAnotherProgramHoldsTheFile) {
    TempDir dir(L"fso_held");
    const std::wstring path = dir.file(L"Ferrolin 1.1.xla");
    WriteFileBytes(path, "xla");
    MakeReadOnly(path);
    {
        uidriver::Process holder = uidriver::Start(testing_support::WindowsPath(SETUP_HOST), L"hold \"" + path + L"\"");
        HWND window = uidriver::WaitForWindow({setup_host::kHoldCaption, nullptr, holder.id()}, 15000);
        std::wstring description;
        EXPECT_EQ(ErrorOf([&] { fso::DeleteFileAt(path, true); }, &description), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(description, SystemMessage(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(fso::FileExists(path));
        // The forced delete that failed gives the file its read-only attribute back.
        EXPECT_TRUE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
        uidriver::Close(window);
        EXPECT_EQ(holder.WaitForExit(15000), setup_host::kExitReturned);
    }
    fso::DeleteFileAt(path, true);
    EXPECT_FALSE(fso::FileExists(path));
    uidriver::EndScenario();
}

TEST(FileSystem, DrivesInLetterOrder) {
    const std::vector<fso::Drive> drives = fso::Drives();
    ASSERT_FALSE(drives.empty());
    bool sawC = false;
    for (size_t i = 0; i < drives.size(); ++i) {
        const fso::Drive& d = drives[i];
        ASSERT_EQ(d.Path.size(), 2u) << Narrow(d.Path);
        EXPECT_TRUE(d.Path[0] >= L'A' && d.Path[0] <= L'Z' && d.Path[1] == L':') << Narrow(d.Path);
        if (i > 0) {
            EXPECT_LT(drives[i - 1].Path, d.Path) << "not in drive-letter order";
        }
        const wchar_t root[] = {d.Path[0], L':', L'\\', 0};
        const UINT type = GetDriveTypeW(root);
        EXPECT_EQ(d.DriveType == fso::Fixed, type == DRIVE_FIXED) << Narrow(d.Path);
        if (d.Path == L"C:") {
            sawC = true;
            EXPECT_EQ(d.DriveType, fso::Fixed);
        }
    }
    EXPECT_TRUE(sawC);
}

TEST(FileSystem, GetDriveName) {
    const struct {
        const wchar_t* path;
        const wchar_t* drive;
    } cases[] = {
        {L"C:\\Program Files\\Setup", L"C:"},
        {L"d:\\", L"d:"},
        {L"E:", L"E:"},
        {L"\\\\server\\share\\folder", L"\\\\server\\share"},
        {L"\\\\server\\share", L"\\\\server\\share"},
        {L"\\folder", L""},
        {L"folder\\file", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fso::GetDriveName(c.path), c.drive) << "GetDriveName(" << Narrow(c.path) << ")";
    }
}
