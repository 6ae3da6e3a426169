// Module prcBasics: the folder reader and the deletion loop of both uninstallers, and the
// entry procedure of UFR10.
#pragma once

#include <windows.h>

#include "uninstaller.h"

namespace ferrolin::prcBasics {

// The value is read into a buffer of this many characters, terminator included.
inline constexpr unsigned long kFolderBufferSize = 255;

// A folder as read from the record, NUL-terminated.
// (The uninstallers use no C++ library containers: they stay small programs.)
struct Folder {
    wchar_t text[kFolderBufferSize + 1];
    int length;
};

// The install folder of this program's version, read from the registry: the stored `Dir`
// text as it is (blanks kept), 254 blanks when the key or the value cannot be read.
Folder GetInstallFolder();

// True when the folder is empty or holds only blanks.
bool IsBlank(const Folder& folder);

// Ten passes that each delete the workbook and the help file of this version from `folder`,
// failures skipped, counted in `intAttempts`.
void prcUninstallFiles(const Folder& folder, short& intAttempts);

// Before anything is read: where the program runs as another account than the desktop's
// signed-in user, says for whom the add-in would be removed; No ends the program.
void prcCheckAccount(HWND owner);

// The removal from a folder that was found: the user's Excel closed first (Cancel ends
// having changed nothing), the add-in taken out of Excel's list (and out of its Add-ins
// dialog), the deletions, a message for each file still there; then the end of the program
// with its exit code. Messages are owned by `owner`.
[[noreturn]] void prcRemove(const Folder& folder, short& intAttempts, HWND owner);

// Ends the program at once with that exit code.
[[noreturn]] void End(UninstallEnd how);

// UFR10: read the folder and remove, without a window; a folder of blanks only ends it.
[[noreturn]] void Main();

}  // namespace ferrolin::prcBasics
