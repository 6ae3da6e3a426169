// Folders and files for the uninstallers' scenarios, by exact name: blanks at either end of
// a folder name are kept (the \\?\ form bypasses the trimming of Windows path names).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "handles.h"

namespace uninstall_test {

std::wstring Exact(const std::wstring& path);  // the \\?\ form of a full path
void MakeFolder(const std::wstring& path);
void PutFile(const std::wstring& path);
bool Exists(const std::wstring& path);
void RemoveTreeExact(const std::wstring& path);

// Holds a file open as Excel holds an open workbook: reading and writing shared, deleting not.
ferrolin::unique_handle HoldOpen(const std::wstring& path);

// Writes `Dir` (REG_SZ) under HKEY_CURRENT_USER\key.
void WriteDir(const wchar_t* key, const std::wstring& dir);

}  // namespace uninstall_test
