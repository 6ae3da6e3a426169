#include "frmPath.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "controls.h"
#include "deploy.h"
#include "file_system.h"
#include "frmWizard1.h"
#include "handles.h"
#include "names.h"
#include "program.h"
#include "run_state.h"
#include "system_error.h"
#include "vb_text.h"

namespace ferrolin {

FrmPath frmPath;

namespace {

constexpr int kIndent = 2;  // blanks per folder level in the folder list

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ToLower(a) == ToLower(b);
}

// "C:" and "c:\x" give the drive "c:"; the empty text when the path names no drive.
std::wstring DriveOf(const std::wstring& path) {
    const std::wstring drive = fso::GetDriveName(path);
    return drive.size() == 2 ? ToLower(drive) : L"";
}

const wchar_t* KindName(long type) {
    switch (type) {
    case fso::Removable: return L"Removable";
    case fso::Fixed: return L"Local Disk";
    case fso::Remote: return L"Network";
    case fso::CDRom: return L"CD Drive";
    case fso::RamDisk: return L"RAM Disk";
    default: return L"Unknown";
    }
}

// A folder path as the folder list holds it: full, the root with its backslash ("C:\"),
// any other folder without one ("C:\DATA"); a drive alone opens its root.
std::wstring NormalFolder(const std::wstring& path) {
    std::wstring folder = path;
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
    if (length > 0 && length < MAX_PATH) folder.assign(full, length);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (folder.size() >= 2 && folder[1] == L':') folder[0] = static_cast<wchar_t>(towupper(folder[0]));
    return folder;
}

// The subfolders of a folder, sorted without regard to case. Raises the system's error
// when the folder cannot be read (a drive without a medium, a missing folder).
std::vector<std::wstring> Subfolders(const std::wstring& folder) {
    std::wstring pattern = folder;
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    unique_find search = adopt_find(FindFirstFileW(pattern.c_str(), &found));
    if (!search) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return {};
        throw Win32Error(code);
    }
    std::vector<std::wstring> names;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return ToLower(a) < ToLower(b); });
    return names;
}

}  // namespace

FrmPath::FrmPath() : Form(kCaptionPicker, 5775, 4485) {}

std::wstring FrmPath::ShowDrive() {
    std::wstring fixed;
    FailuresRecorded().Run([&] {
        for (const fso::Drive& drive : fso::Drives())
            if (drive.DriveType == fso::Fixed) {
                fixed = drive.Path + L"\\";
                return;
            }
    });
    return fixed;
}

std::wstring FrmPath::lpDriveName() {
    std::wstring name = kDefaultFolderDrive;
    FailuresRecorded().Run([&] { name = TrimBlanks(fso::GetDriveName(SourceFolder())) + L"\\"; });
    return name;
}

void FrmPath::CreateControls() {
    drive_.clear();
    dirPath_.clear();
    folderPaths_.clear();
    AddLabel(ctl::Label1, kLabelDrive, {120, 165, 720, 285});
    AddControl(ctl::Drive1, ControlKind::DropDownList, nullptr,
               WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, {840, 120, 2880, 2400}, {});
    AddControl(ctl::Dir1, ControlKind::List, nullptr,
               WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
               WS_EX_CLIENTEDGE, {120, 600, 3600, 2520}, {});
    AddButton(ctl::NewFolder, kCaptionNewFolderButton, {3960, 600, 1680, 375});
    AddButton(ctl::PickerOk, kCaptionOk, {3960, 1080, 1680, 375});
    AddButton(ctl::PickerCancel, kCaptionCancel, {3960, 1560, 1680, 375});
    AddControl(ctl::lblPath, ControlKind::Label, L"", WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS,
               0, {240, 3540, 5295, 645}, {L"Arial", 9, false});
    UseWindowColours(ctl::lblPath);
    AddFrame(ctl::Frame1, kCaptionPathFrame, {120, 3240, 5535, 1125});

    // The lists start at the current drive and folder, as the standard lists do.
    wchar_t current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring start = length > 0 && length < MAX_PATH ? std::wstring(current, length) : L"C:\\";
    drive_ = DriveOf(start);
    FillDrives();
    dirPath_ = NormalFolder(start);
    // The list stays empty when the start folder cannot be read.
    FailuresRecorded().Run([&] { FillFolders(); });

    if (TrimBlanks(ShowDrive()).empty()) return;
    strHomeDrive = lpDriveName();
    strStartDrive = ShowDrive();
    SetDrive(strStartDrive);
    SetDirPath(strStartDrive);
    FillFolders();
}

void FrmPath::FillDrives() {
    HWND list = Control(ctl::Drive1);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    int selected = -1;
    for (const fso::Drive& drive : fso::Drives()) {
        const std::wstring item = ToLower(drive.Path) + L" [" + KindName(drive.DriveType) + L"]";
        const int index = static_cast<int>(SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
        if (DriveOf(drive.Path) == drive_) selected = index;
    }
    SendMessageW(list, CB_SETCURSEL, selected, 0);
}

void FrmPath::SetDrive(const std::wstring& drive) {
    const std::wstring wanted = DriveOf(drive);
    HWND list = Control(ctl::Drive1);
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t item[64] = {};
        if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) >= 64) continue;
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        if (DriveOf(item) != wanted) continue;
        SendMessageW(list, CB_SETCURSEL, i, 0);
        if (wanted != drive_) {
            drive_ = wanted;
            DriveChange();
        }
        return;
    }
    throw VbError(68, L"Device unavailable");
}

void FrmPath::SetDirPath(const std::wstring& path) {
    const std::wstring folder = NormalFolder(path);
    const std::wstring before = dirPath_;
    // Read first: a folder that cannot be read leaves the list as it was.
    Subfolders(folder);
    dirPath_ = folder;
    FillFolders();
    if (!SamePath(before, folder)) FolderChange();
}

// The open folder's parents from the root down, the open folder, then its subfolders.
void FrmPath::FillFolders() {
    const std::vector<std::wstring> children = Subfolders(dirPath_);
    HWND list = Control(ctl::Dir1);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    folderPaths_.clear();
    auto add = [&](int level, const std::wstring& name, const std::wstring& full) {
        const std::wstring item = std::wstring(static_cast<size_t>(level * kIndent), L' ') + name;
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        folderPaths_.push_back(full);
    };
    int level = 0;
    size_t start = 0;
    if (dirPath_.size() >= 3 && dirPath_[1] == L':') {
        add(level++, ToLower(dirPath_.substr(0, 3)), dirPath_.substr(0, 3));
        start = 3;
    }
    while (start < dirPath_.size()) {
        size_t end = dirPath_.find(L'\\', start);
        if (end == std::wstring::npos) end = dirPath_.size();
        add(level++, dirPath_.substr(start, end - start), dirPath_.substr(0, end));
        start = end + 1;
    }
    // The open folder is the selected entry.
    SendMessageW(list, LB_SETCURSEL, folderPaths_.empty() ? -1 : folderPaths_.size() - 1, 0);
    for (const std::wstring& child : children) add(level, child, fso::JoinPath(dirPath_, child));
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void FrmPath::DriveChange() {
    if (TrimBlanks(ShowDrive()).empty()) return;
    FailuresRecorded failures;
    failures.Run([&] { SetDirPath(drive_); });
    if (failures.Pending()) {
        MsgBox(failures.Error().description(), MB_OK | MB_ICONINFORMATION, kMessageTitle);
        failures.Run([&] { SetDrive(strHomeDrive); });
    }
}

void FrmPath::FolderChange() {
    SetText(ctl::lblPath, dirPath_);
}

void FrmPath::NewFolder() {
    prcNewFolder(TrimBlanks(Text(ctl::lblPath)));
    FillDrives();
    FailuresRecorded().Run([&] { FillFolders(); });
    FolderChange();
}

void FrmPath::Notify(int id, int code) {
    if (id == ctl::Drive1 && code == CBN_SELCHANGE) {
        HWND list = Control(ctl::Drive1);
        const int index = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
        wchar_t item[64] = {};
        if (index >= 0 && SendMessageW(list, CB_GETLBTEXTLEN, index, 0) < 64)
            SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item));
        const std::wstring picked = DriveOf(item);
        if (!picked.empty() && picked != drive_) {
            drive_ = picked;
            DriveChange();
        }
        return;
    }
    if (id == ctl::Dir1 && code == LBN_DBLCLK) {
        const int index = static_cast<int>(SendMessageW(Control(ctl::Dir1), LB_GETCURSEL, 0, 0));
        if (index < 0 || static_cast<size_t>(index) >= folderPaths_.size()) return;
        // A folder that went away since the list was filled.
        FailuresRecorded failures;
        failures.Run([&] { SetDirPath(folderPaths_[static_cast<size_t>(index)]); });
        if (failures.Pending()) MsgBox(failures.Error().description(), MB_OK | MB_ICONINFORMATION, kMessageTitle);
        return;
    }
    Form::Notify(id, code);
}

void FrmPath::Click(int id) {
    switch (id) {
    case ctl::NewFolder:
        NewFolder();
        break;
    case ctl::PickerOk:
        frmWizard1.SetText(ctl::txtPathdefault, ToUpper(TrimBlanks(Text(ctl::lblPath))));
        blnPathChosen = true;
        Unload();
        break;
    case ctl::PickerCancel:
        Unload();
        break;
    default:
        break;
    }
}

}  // namespace ferrolin
