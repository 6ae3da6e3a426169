// Module prcBasics: the folder reader and the deletion loop of both uninstallers, and the
// entry procedure of UFR10.
#pragma once

#include <string>

namespace ferrolin::prcBasics {

// The install folder of this program's version, read from the registry: the stored `Dir`
// text as it is (blanks kept), 254 blanks when the key or the value cannot be read.
std::wstring GetInstallFolder();

// Ten passes that each delete the workbook and the help file of this version from `folder`,
// failures skipped, counted in `intAttempts`; then the end of the program.
[[noreturn]] void prcUninstallFiles(const std::wstring& folder, short& intAttempts);

// UFR10: read the folder and delete, whatever the folder holds.
[[noreturn]] void Main();

}  // namespace ferrolin::prcBasics
