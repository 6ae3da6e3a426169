// The install record under HKEY_CURRENT_USER "Software\Vandrel11\Groupdate": where the
// add-in was installed, whether it is active, and whether it removed itself. Setup and
// the library read and write it through these functions; the uninstallers read Dir alone.
//
// Storage: Dir is a REG_SZ text; every other value is a REG_BINARY holding the UTF-16LE
// code units of its text, no terminator. STATUS_APP holds a status text encoded as the
// decimal ANSI codes of its characters ("True" -> "84114117101").
#pragma once

#include <string>

namespace ferrolin::record {

// Creates the record key (and its parent) unless both exist. Raises 1001 on failure.
void EnsureKey();
// False when either the parent or the record key cannot be opened for reading.
bool Present();

std::wstring EncodeStatus(const std::wstring& status);
// Ensures the key and stores the encoding of status (9 when status is empty).
void WriteStatus(const std::wstring& status);
// The stored, still encoded status; empty when missing.
std::wstring ReadStatus();

// Dir in text form. ReadDir gives the empty text when missing or longer than 255 characters.
void WriteDir(const std::wstring& folder);
std::wstring ReadDir();

// The binary text form of the other values: ensure the key, then write.
void WriteBinaryText(const wchar_t* valueName, const std::wstring& text);
std::wstring ReadBinaryText(const wchar_t* valueName);

// False when APP_EXIST is "01" or any other content; True when missing or empty.
bool AppExist();

}  // namespace ferrolin::record
