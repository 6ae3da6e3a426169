#include "prcBasics.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "desktop_user.h"
#include "excel_calls.h"
#include "handles.h"
#include "names.h"
#include "prcExcel.h"
#include "uninstaller.h"
#if FERROLIN_UNINSTALL_WAIT_WINDOW
#include "usfFR.h"
#endif

namespace ferrolin::prcBasics {

namespace {

// Longest path the deletions build: the folder, a backslash, the file's name.
const int kPathChars = kFolderBufferSize + 64;

#if !FERROLIN_UNINSTALL_WAIT_WINDOW
short intAttempts = 0;
#endif

// Appends `text` to `path` holding `length` characters; false when it does not fit.
bool Append(wchar_t (&path)[kPathChars], int& length, const wchar_t* text, int count) {
    if (count > kPathChars - 1 - length) return false;
    std::memcpy(path + length, text, count * sizeof(wchar_t));
    length += count;
    path[length] = L'\0';
    return true;
}

// The folder joined to this version's file of the given extension.
bool FilePath(const Folder& folder, const wchar_t* extension, wchar_t (&path)[kPathChars]) {
    int length = 0;
    path[0] = L'\0';
    return Append(path, length, folder.text, folder.length) && Append(path, length, L"\\", 1) &&
           Append(path, length, kFileStem, static_cast<int>(wcslen(kFileStem))) &&
           Append(path, length, extension, static_cast<int>(wcslen(extension)));
}
}  // namespace

Folder GetInstallFolder() {
    Folder folder = {};

    // The results of the open and of the query are not examined: a key that cannot be
    // opened leaves the handle 0, and the query on it fails like a missing value.
    unique_hkey key = open_key(HKEY_CURRENT_USER, kInstallKey, KEY_ALL_ACCESS);

    wchar_t buffer[kFolderBufferSize];
    for (wchar_t& c : buffer) c = L' ';
    DWORD size = sizeof buffer;
    DWORD type = REG_SZ;
    const LONG queried =
        RegQueryValueExW(key.get(), kValueDir, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    key.reset();

    if (queried != ERROR_SUCCESS) {
        // Missing key or value: the buffer keeps its blanks and the size its 255. A value
        // too long for the buffer fails too, and the system may have written part of it
        // into the buffer: it reads as missing, so nothing is deleted on a partial path.
        folder.length = static_cast<int>(kFolderBufferSize - 1);
        for (int i = 0; i < folder.length; ++i) folder.text[i] = L' ';
        folder.text[folder.length] = L'\0';
        return folder;
    }
    // The stored text without its terminating NUL; a value stored with no data at all is
    // the empty text, and one stored without a terminator keeps its last character.
    folder.length = static_cast<int>(wcsnlen(buffer, size / sizeof(wchar_t)));
    std::memcpy(folder.text, buffer, folder.length * sizeof(wchar_t));
    folder.text[folder.length] = L'\0';
    return folder;
}

bool IsBlank(const Folder& folder) {
    for (int i = 0; i < folder.length; ++i)
        if (folder.text[i] != L' ') return false;
    return true;
}

void prcUninstallFiles(const Folder& folder, short& intAttempts) {
    // Every step may fail (a file missing, held open, read-only): the failure is skipped.
    // A path that cannot be formed names no file, and nothing is deleted for it.
    wchar_t workbook[kPathChars];
    wchar_t help[kPathChars];
    const bool have_workbook = FilePath(folder, kWorkbookExt, workbook);
    const bool have_help = FilePath(folder, kHelpExt, help);
    while (intAttempts < 10) {
        if (have_workbook) DeleteFileW(workbook);
        if (have_help) DeleteFileW(help);
        ++intAttempts;
    }
}

void prcRemove(const Folder& folder, short& intAttempts, HWND owner) {
    if (!prcExcel::prcWaitForExcelClosed(owner)) End(UninstallEnd::ExcelOpenCancelled);
    UninstallEnd end = UninstallEnd::Removed;
    // The files go all the same: the user asked for the removal, and Excel offers to take
    // an add-in whose file is gone off its list.
    if (!prcExcel::RemoveFromExcel(kFileStem)) end = UninstallEnd::ExcelNotEnded;
    wchar_t workbook[kPathChars];
    if (FilePath(folder, kWorkbookExt, workbook)) prcExcel::prcForgetAddin(workbook);
    prcUninstallFiles(folder, intAttempts);
    if (end == UninstallEnd::ExcelNotEnded) {
        wchar_t text[1024];
        wsprintfW(text, kMsgExcelNotEndedToRemove, kFileStem, kFileStem, kFileStem);
        Message(owner, text, MB_OK | MB_ICONEXCLAMATION);
    }
    // The deletions fail quietly; a file still there is named, by the path the record gives.
    for (const wchar_t* extension : {kWorkbookExt, kHelpExt}) {
        wchar_t path[kPathChars];
        if (!FilePath(folder, extension, path) || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) continue;
        wchar_t text[1024];
        wsprintfW(text, kMsgFileNotRemoved, path, kProgramName);
        Message(owner, text, MB_OK | MB_ICONEXCLAMATION);
        end = UninstallEnd::FileLeft;
    }
    End(end);
}

void prcCheckAccount(HWND owner) {
    wchar_t own[kAccountChars], shell[kAccountChars];
    if (!RunsAsAnotherAccount(own, shell)) return;
    wchar_t text[1025];  // wsprintfW writes 1024 characters at most
    wsprintfW(text, kMsgOtherAccountToRemove, kProgramName, own, shell, kFileStem, own, shell, shell, kProgramName, own);
    if (Message(owner, text, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES) End(UninstallEnd::OtherAccount);
}

void End(UninstallEnd how) {
    // No Excel of the uninstaller's outlives it.
    excel_calls::EndStarted();
    ExitProcess(static_cast<UINT>(how));
}

#if !FERROLIN_UNINSTALL_WAIT_WINDOW
void Main() {
    prcCheckAccount(nullptr);
    const Folder folder = GetInstallFolder();
    // Without a recorded folder the paths would name files of the current folder.
    if (IsBlank(folder)) End(UninstallEnd::FolderNotFound);
    prcRemove(folder, intAttempts, nullptr);
}
#endif

}  // namespace ferrolin::prcBasics

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Excel is called from this thread, which runs the wait window.
    const ferrolin::com_apartment apartment;
#if FERROLIN_UNINSTALL_WAIT_WINDOW
    return ferrolin::usfFR::Show(instance);
#else
    (void)instance;
    ferrolin::prcBasics::Main();
#endif
}
