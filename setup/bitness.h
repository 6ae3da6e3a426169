// Which Excel this setup can serve. An in-process library is loaded only by a program of
// its own bitness, so the add-in inside 64-bit Excel needs the 64-bit library and the one
// inside 32-bit Excel the 32-bit one. The 64-bit setup installs both; the 32-bit setup
// only the 32-bit one, so it refuses a 64-bit Excel.
#pragma once

#include <windows.h>

#include <string>

namespace ferrolin {

enum class Bitness { Unknown, Bits32, Bits64 };

// The bitness of a Windows program file, read from its PE header; Unknown when the file
// cannot be read or is no program.
Bitness ProgramBitness(const std::wstring& path);

// The program of a server command line as COM keeps it (LocalServer32): a quoted path, or
// an unquoted one up to ".exe", or else up to the first blank; switches are left out.
std::wstring ServerProgram(const std::wstring& commandLine);

// The default value of a key under HKEY_CLASSES_ROOT in one view of the registry
// (KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0), environment variables expanded; empty when there
// is none.
std::wstring ClassesText(const std::wstring& key, REGSAM view);

// The program registered as Excel's automation server (Excel's application class, the
// 64-bit registry view first), switches left out; empty when none is registered.
std::wstring ExcelServerPath();

// The bitness of the program registered as Excel's automation server (Excel's application
// class, the 64-bit registry view first); Unknown when no server is registered.
Bitness ExcelServerBitness();

// True when Windows itself is 64-bit (for a 32-bit program: it runs under WoW64).
bool WindowsIs64Bit();

// True when a setup of this bitness cannot install a library that Excel loads: a 32-bit
// setup on 64-bit Windows whose Excel is 64-bit.
bool RefusesExcel(bool setupIs64Bit, bool windowsIs64Bit, Bitness excel);

// Refuses, with a message naming the 64-bit setup, a 64-bit Excel that this setup cannot
// serve, and ends the program; returns otherwise.
void prcCheckExcelBitness();

}  // namespace ferrolin
