#include "files.h"

#include "test_support.h"

namespace uninstall_test {

std::wstring Exact(const std::wstring& path) { return L"\\\\?\\" + path; }

void MakeFolder(const std::wstring& path) { CreateDirectoryW(Exact(path).c_str(), nullptr); }

void PutFile(const std::wstring& path) {
    ferrolin::unique_handle file = ferrolin::adopt_file(CreateFileW(
        Exact(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.get(), "add-in", 6, &written, nullptr);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(Exact(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTreeExact(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Exact(path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeExact(child);
            } else {
                SetFileAttributesW(Exact(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(Exact(child).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(Exact(path).c_str());
}

ferrolin::unique_handle HoldOpen(const std::wstring& path) {
    return ferrolin::adopt_file(CreateFileW(Exact(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteDir(const wchar_t* key, const std::wstring& dir) {
    std::vector<BYTE> data = testing_support::Utf16Bytes(dir);
    data.push_back(0);
    data.push_back(0);
    testing_support::WriteRaw(HKEY_CURRENT_USER, key, L"Dir", REG_SZ, data);
}

}  // namespace uninstall_test
