// The file-system service: the file and folder operations the setup program relies on,
// with the members of the script file-system object it stands for, on the Win32 file API.
// A failing operation raises VbError with the Win32 error code as its number and the
// system's own description (FormatMessage).
//
// CopyFileTo and DeleteFileAt stand for the object's CopyFile and DeleteFile, whose names are
// macros of <windows.h>.
#pragma once

#include <string>
#include <vector>

namespace ferrolin::fso {

// True exactly when a file (not a folder) exists at the path.
bool FileExists(const std::wstring& path);
// True exactly when a folder exists at the path.
bool FolderExists(const std::wstring& path);
// Creates one folder level; fails when the folder (or a file of that name) exists or the
// parent folder is missing.
void CreateFolder(const std::wstring& path);
// Copies a file; an existing target is overwritten unless overwrite is False (then the
// copy fails). Fails when the source is missing or the target cannot be written.
void CopyFileTo(const std::wstring& source, const std::wstring& target, bool overwrite = true);
// Deletes a file; with force also a read-only one. Fails when the file is missing, open
// in another program without delete sharing, or access is refused.
void DeleteFileAt(const std::wstring& path, bool force = false);

// Drive types as the script object numbers them.
enum DriveTypeConst : long {
    UnknownType = 0,
    Removable = 1,
    Fixed = 2,
    Remote = 3,
    CDRom = 4,
    RamDisk = 5,
};
struct Drive {
    long DriveType;
    std::wstring Path;  // the drive letter and colon, such as C:
};
// The machine's drives in drive-letter order.
std::vector<Drive> Drives();
// folder, "\", name; a folder that ends with a backslash (the root of a drive) keeps just it.
std::wstring JoinPath(std::wstring folder, const std::wstring& name);
// The add-in's file of one extension in its folder: folder, "\", title, extension, as the
// record's folder is stored (the uninstallers build the same path).
std::wstring AddinFile(const std::wstring& folder, const std::wstring& title, const wchar_t* extension);

// The drive part of a path: "C:" for C:\DATA, "\\server\share" for a UNC path, the empty
// text when the path names no drive.
std::wstring GetDriveName(const std::wstring& path);

}  // namespace ferrolin::fso
