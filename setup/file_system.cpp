#include "file_system.h"

#include <windows.h>

#include <cwctype>

#include "system_error.h"

namespace ferrolin::fso {

namespace {

DWORD Attributes(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

long ScriptDriveType(UINT type) {
    switch (type) {
    case DRIVE_REMOVABLE: return Removable;
    case DRIVE_FIXED: return Fixed;
    case DRIVE_REMOTE: return Remote;
    case DRIVE_CDROM: return CDRom;
    case DRIVE_RAMDISK: return RamDisk;
    default: return UnknownType;
    }
}

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

// The stream in which Windows keeps the zone a file came from.
constexpr wchar_t kZoneMarkStream[] = L":Zone.Identifier";

}  // namespace

bool FileExists(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) throw LastWin32Error();
}

void CopyFileTo(const std::wstring& source, const std::wstring& target, bool overwrite) {
    // A read-only target cannot be written: Windows refuses to overwrite it, and so do we
    // where the platform would not (Wine).
    const DWORD targetAttributes = Attributes(target);
    if (overwrite && targetAttributes != INVALID_FILE_ATTRIBUTES &&
        (targetAttributes & FILE_ATTRIBUTE_READONLY) && FileExists(source))
        throw Win32Error(ERROR_ACCESS_DENIED);
    if (!CopyFileW(source.c_str(), target.c_str(), overwrite ? FALSE : TRUE)) throw LastWin32Error();
    // Files unpacked from a downloaded ZIP carry the internet zone mark, and the copy keeps
    // it: the help file would then show no topic and Office would block the add-in's
    // macros. What setup installs is trusted: the mark stays behind. A file without it (or
    // a volume without streams) is no failure.
    DeleteFileW((target + kZoneMarkStream).c_str());
}

void DeleteFileAt(const std::wstring& path, bool force) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) throw LastWin32Error();
    const bool clearReadOnly = force && (attributes & FILE_ATTRIBUTE_READONLY);
    if (clearReadOnly && !SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        throw LastWin32Error();
    if (!DeleteFileW(path.c_str())) {
        const DWORD code = GetLastError();
        // The file stays: give it back the attribute it had.
        if (clearReadOnly) SetFileAttributesW(path.c_str(), attributes);
        throw Win32Error(code);
    }
}

std::vector<Drive> Drives() {
    std::vector<Drive> drives;
    const DWORD letters = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(letters & (1u << i))) continue;
        const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        drives.push_back({ScriptDriveType(GetDriveTypeW(root)), std::wstring(root, 2)});
    }
    return drives;
}

std::wstring GetDriveName(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':' && iswalpha(path[0])) return path.substr(0, 2);
    if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) {
        // \\server\share: up to the end of the share name.
        size_t server = path.find_first_of(L"\\/", 2);
        if (server == std::wstring::npos || server == 2) return L"";
        size_t share = path.find_first_of(L"\\/", server + 1);
        if (share == server + 1) return L"";
        return path.substr(0, share);
    }
    return L"";
}

std::wstring JoinPath(std::wstring folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder + L"\\" + name;
}

std::wstring AddinFile(const std::wstring& folder, const std::wstring& title, const wchar_t* extension) {
    return folder + L"\\" + title + extension;
}

}  // namespace ferrolin::fso
