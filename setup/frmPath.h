// The folder picker: a drive list and a folder list, the path they show, a new-folder
// button, Ok and Cancel. Ok puts the path, trimmed and in upper case, into the destination
// page's path box and sets blnPathChosen.
//
// The lists behave like the platform's standard drive and folder lists: the drive list
// names every drive of the machine with its kind; the folder list shows the open folder
// with its parents above and its subfolders below, and opens a folder on double-click.
// The folder list stays at the folder the user opened, so lblPath always shows it; a drive
// picked in the drive list opens that drive's root folder.
#pragma once

#include <string>
#include <vector>

#include "controls.h"
#include "form.h"

namespace ferrolin {

// Root of the drive that holds the running setup program (such as D:\): the drive the
// drive list falls back to when a chosen drive cannot be read.
inline std::wstring strHomeDrive;
// Root of the first fixed drive (such as C:\): where the lists start.
inline std::wstring strStartDrive;

class FrmPath : public Form {
public:
    FrmPath();

    // The root of the first fixed drive; the empty text when there is none or on error.
    std::wstring ShowDrive();
    // The drive of the setup program's folder followed by "\"; "C:\" on error.
    std::wstring lpDriveName();

    // The drive list's drive ("c:") and the folder list's path, as the controls hold them.
    std::wstring Drive() const { return drive_; }
    std::wstring DirPath() const { return dirPath_; }

protected:
    void CreateControls() override;
    void Notify(int id, int code) override;
    void Click(int id) override;
    // Escape is Cancel.
    void Escape() override { Click(ctl::PickerCancel); }

private:
    // The drive list: filled with the machine's drives; setting the drive selects it and
    // runs the drive change when it changes.
    void FillDrives();
    void SetDrive(const std::wstring& drive);
    // The folder list: setting its path fills it and runs the folder change when the path
    // changes. Raises the system's error when the folder cannot be read.
    void SetDirPath(const std::wstring& path);
    void FillFolders();
    void DriveChange();
    void FolderChange();
    void NewFolder();

    std::wstring drive_;
    std::wstring dirPath_;
    std::vector<std::wstring> folderPaths_;  // the folder list's entries, as full paths
};

extern FrmPath frmPath;

}  // namespace ferrolin
