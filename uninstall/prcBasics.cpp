#include "prcBasics.h"

#include <windows.h>

#include <cstring>

#include "ansi.h"
#include "handles.h"
#include "names.h"
#include "uninstaller.h"
#if FERROLIN_UNINSTALL_WAIT_WINDOW
#include "usfFR.h"
#endif

namespace ferrolin::prcBasics {

namespace {
const DWORD kKeyAllAccess = 0xF003F;
const DWORD kFolderBufferSize = 255;

#if !FERROLIN_UNINSTALL_WAIT_WINDOW
short intAttempts = 0;
#endif
}  // namespace

std::wstring GetInstallFolder() {
    // The results of the open and of the query are not examined: a key that cannot be
    // opened leaves the handle 0, and the query on it fails like a missing value.
    HKEY hKey = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, ToAnsi(kInstallKey).c_str(), 0, kKeyAllAccess, &hKey);
    unique_hkey key(hKey);

    char buffer[kFolderBufferSize];
    std::memset(buffer, ' ', sizeof buffer);
    DWORD size = kFolderBufferSize;
    DWORD type = REG_SZ;
    const LONG queried =
        RegQueryValueExA(key.get(), ToAnsi(kValueDir).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    key.reset();

    if (queried != ERROR_SUCCESS) {
        // Missing key or value: the buffer keeps its blanks and the size its 255. A value
        // too long for the buffer fails too, and the system may have written part of it
        // into the buffer: it reads as missing, so nothing is deleted on a partial path.
        return std::wstring(kFolderBufferSize - 1, L' ');
    }
    // The stored text without its terminating NUL; a value stored with no data at all is
    // the empty text, and one stored without a terminator keeps its last character.
    return FromAnsi(buffer, strnlen(buffer, size));
}

void prcUninstallFiles(const std::wstring& folder, short& intAttempts) {
    // Every step may fail (a file missing, held open, read-only): the failure is skipped.
    const std::string workbook = ToAnsi(folder + L"\\" + kFileStem + kWorkbookExt);
    const std::string help = ToAnsi(folder + L"\\" + kFileStem + kHelpExt);
    while (intAttempts < 10) {
        DeleteFileA(workbook.c_str());
        DeleteFileA(help.c_str());
        ++intAttempts;
    }
    ExitProcess(0);
}

#if !FERROLIN_UNINSTALL_WAIT_WINDOW
void Main() { prcUninstallFiles(GetInstallFolder(), intAttempts); }
#endif

}  // namespace ferrolin::prcBasics

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#if FERROLIN_UNINSTALL_WAIT_WINDOW
    return ferrolin::usfFR::Show(instance);
#else
    (void)instance;
    ferrolin::prcBasics::Main();
#endif
}
