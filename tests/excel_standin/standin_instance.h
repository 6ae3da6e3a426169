// One stand-in instance (one process): its knobs, its log, its workbooks and add-in list,
// its main window, and the rules that end it.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"

namespace excel_standin {

struct Knobs {
    std::wstring version;
    std::wstring libraryPath;
    std::vector<std::wstring> failMembers;
    bool installOpensWorkbook = true;
    DWORD idleSeconds = 0;
    DWORD busyMs = 0;
    std::vector<std::wstring> slowMembers;
    DWORD slowMs = 0;
    bool log = false;
    std::wstring logFile;
};

struct HyperlinkModel {
    std::wstring anchor;
    std::wstring address;
    std::wstring subAddress;
};

struct SheetModel {
    std::wstring name;
    std::map<std::wstring, ferrolin::unique_variant> cells;   // by upper-case address
    std::vector<HyperlinkModel> hyperlinks;
};

struct WorkbookModel {
    std::wstring name;
    std::wstring fullName;
    bool isAddin = false;
    bool open = true;
    bool dirty = false;
    ferrolin::unique_handle file;   // the add-in file, held while open
    std::vector<std::shared_ptr<SheetModel>> sheets;
    size_t activeSheet = 0;
    int sheetsMade = 0;
};

struct AddInModel {
    std::wstring fullName;
    bool installed = false;
    std::wstring name() const;    // file name
    std::wstring title() const;   // file name without extension
    std::wstring path() const;    // folder
};

struct Instance {
    Knobs knobs;
    HWND window = nullptr;
    bool displayAlerts = true;
    long hiddenWindowState = -4143;   // xlNormal; applied when shown
    bool ending = false;
    bool quitting = false;
    int booksMade = 0;
    std::vector<std::shared_ptr<WorkbookModel>> workbooks;   // in opening order
    std::vector<std::shared_ptr<AddInModel>> addins;         // in listing order
};

Instance& TheInstance();

// Knobs and log
void ReadKnobs();
// Application.LibraryPath by default: Office's LIBRARY folder under Program Files, which the
// registration makes, as Office's installer does; Application.UserLibraryPath: the user's
// add-in folder under the roaming application data, with its closing backslash.
std::wstring DefaultLibraryPath();
std::wstring UserLibraryPath();
bool MemberFails(const wchar_t* className, const wchar_t* member);
// Blocks for the SlowMs knob when the member is one of the SlowMember knob.
void AnswerSlowly(const wchar_t* className, const wchar_t* member);
bool AnswersSlowly(const wchar_t* className, const wchar_t* member);
void Log(const std::wstring& line);

// Lifetime (standin_main.cpp)
void NoteCall();
void ObjectCreated();
void ObjectDestroyed();
void BeginQuit();
void EndInstance(const wchar_t* reason);

// Workbooks
std::shared_ptr<WorkbookModel> AddBlankWorkbook();
std::shared_ptr<WorkbookModel> FindWorkbook(const std::wstring& name);   // add-ins included
std::shared_ptr<WorkbookModel> ActiveWorkbook();                         // add-ins never active
std::vector<std::shared_ptr<WorkbookModel>> VisibleWorkbooks();          // add-ins left out
void CloseWorkbook(const std::shared_ptr<WorkbookModel>& book);
void CloseAllWorkbooks();
std::shared_ptr<SheetModel> AddSheet(WorkbookModel& book);

// Add-ins
std::shared_ptr<AddInModel> ListAddIn(const std::wstring& fullName);   // throws when missing
std::shared_ptr<AddInModel> FindAddIn(const std::wstring& title);
void SetInstalled(AddInModel& addin, bool installed);                    // throws on failure
bool OpenAddInWorkbook(const AddInModel& addin);                         // as Installed opens it
void LoadAddInList();
void SaveAddInList();
std::wstring ExcelKey();   // Software\Microsoft\Office\16.0

// Main window
void CreateMainWindow(HINSTANCE module, WNDPROC proc);
// The caption names the active workbook; the window is drawn again.
void UpdateCaption();
// The window's contents: the open workbooks and the add-in list with each add-in's state.
void PaintMainWindow(HWND window);
bool IsShown();
void Show(bool visible);
long GetWindowState();
void SetWindowState(long state);

bool SameText(const std::wstring& a, const std::wstring& b);

}  // namespace excel_standin
