// The installation end to end: a scenario drives setup.exe from a distribution folder with
// the UI driver, against the Excel stand-in, the fixture components and the real registry
// and system folder of the Wine prefix. Shared by the end-to-end tests and the demo driver.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "test_support.h"
#include "uidriver.h"

namespace install_e2e {

// Waits: a wizard page comes up after one or two Excel start-ups (about a second each).
inline constexpr DWORD kPageMs = 30000;
inline constexpr DWORD kMessageMs = 30000;
inline constexpr DWORD kExitMs = 20000;

// Folders and programs.
std::wstring DistFolder();          // build/<arch>/dist (or $FERROLIN_DIST) as a Windows path
using testing_support::SystemFolder;
std::wstring SystemWow64Folder();   // the 32-bit system folder of 64-bit Windows (SysWOW64)
std::wstring StandInProgram();      // excel_standin.exe
std::wstring UrlRecorderProgram();  // url_recorder.exe
using testing_support::Join;

// Files. Reading, finding and removing them are the shared helpers of test_support.h.
using testing_support::FileExists;
using testing_support::LogLines;  // the stand-in's log, the URL recorder's
using testing_support::ReadFileBytes;
using testing_support::RemoveFile;
using testing_support::RemoveTree;
bool FolderExists(const std::wstring& path);
void CopyOrFail(const std::wstring& from, const std::wstring& to);
using testing_support::FreshFolder;

using testing_support::ExitCodeOf;  // a program run to its end

// The files that the start-up deployment places in the system folders, by installed name,
// with the file beside setup each comes from (unique: it names the row).
struct DeployedFile {
    const wchar_t* installed;
    const wchar_t* source;
    bool registered;  // handed to the registrar
    bool wow64;       // a 32-bit file of the 64-bit setup: in the 32-bit system folder (SysWOW64)
};
const std::vector<DeployedFile>& DeployedFiles();
std::wstring InstalledPath(const DeployedFile& file);
// True when the file is the row of this source name.
bool Is(const DeployedFile& file, const wchar_t* source);

// The library's registration: its InprocServer32 path in one view of the registry (empty
// when not registered), and its removal from both views.
std::wstring LibraryServer(REGSAM view);
void ClearLibraryRegistration();

// The registrations recorded by the fixture components: full path (lower case) -> count,
// and the registrar program that loaded each (full paths, lower case).
std::map<std::wstring, DWORD> FixtureRegistrations();
std::map<std::wstring, std::wstring> FixtureRegistrars();
void ClearFixtureRegistrations();
// The distribution folder's own REGSVR32.exe (a fixture that registers nothing): how often
// it was started, and its last command line. Setup must start the system's registrar.
DWORD PlantedRegistrarStarts(std::wstring* lastCommandLine = nullptr);
void ClearPlantedRegistrarStarts();
// Setup starts the registrar without waiting for it: a scenario waits for the registrars of
// the one before to end before it resets the files they load. False when some still run.
bool WaitForRegistrarsToEnd(DWORD timeout_ms = 30000);

// The stand-in: registration, knobs, the add-in list it keeps as Excel does, its log.
bool RegisterStandIn(std::string* what = nullptr);  // what: how its /RegServer went
void ResetStandIn(const std::wstring& libraryPath, const std::wstring& logFile);
std::vector<std::wstring> InstalledAddins();  // the Options OPENn values
bool InAddinsDialog(const std::wstring& workbook);  // a value of the Add-in Manager key
// Excel as Office's Click-to-Run installs it, while this lives: the stand-in copied to
// Office's folder under Program Files as EXCEL.EXE and registered from there as Office
// registers it (excel_standin.h); the build's own registration is put back at its end.
class ClickToRunExcel : testing_support::NotCopied {
public:
    ClickToRunExcel();
    ~ClickToRunExcel();
    const std::string& failure() const { return failure_; }  // empty when registered

private:
    std::wstring program_;
    std::string failure_;
};
// Closes every visible stand-in window (as the user would) and waits for the processes.
void CloseExcelWindows();
// The stand-in's main windows now.
std::vector<HWND> ExcelWindows();

// The install record's values as stored: name -> (type, bytes), REG_SZ as UTF-16 with its
// terminator.
struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const StoredValue& other) const { return type == other.type && bytes == other.bytes; }
};
std::map<std::wstring, StoredValue> RecordValues();
// A VBScript client run by the cscript of a system folder: its exit code, 0 when it ended
// with "WScript.Quit 0" (each script ends so on success), kScriptDidNotRun when it ended
// without reaching a WScript.Quit (not parsed, or stopped by an error).
inline constexpr int kScriptSucceeded = 100;
inline constexpr int kScriptDidNotRun = -2;
int RunScript(const std::wstring& cscriptFolder, const std::wstring& file, const std::wstring& script);
std::string Ansi(const std::wstring& text);
std::string Describe(const std::map<std::wstring, StoredValue>& values);

// The wizard.
struct SetupRun {
    uidriver::Process process;
    DWORD id() const { return process.id(); }
};
SetupRun StartSetup(const std::wstring& folder);
HWND WaitPage(const SetupRun& setup, const wchar_t* caption, DWORD timeout_ms = kPageMs);
HWND ControlOf(HWND page, int id);
// Clicks a picture control (a static that reports clicks).
void ClickPicture(HWND picture);
// Waits until the keyboard focus of the window's thread is on the control.
bool WaitFocus(HWND window, HWND control, DWORD timeout_ms = 5000);
// Waits for a message box of setup's and reads it.
uidriver::MessageBoxInfo WaitMessage(const SetupRun& setup, const wchar_t* title, DWORD timeout_ms = kMessageMs);

// Texts and paths as the scenarios compare them: ASCII with '?' for anything else (line
// ends kept, as message texts hold them), and upper and lower case as Windows folds them.
std::string N(const std::wstring& text);
std::wstring Upper(std::wstring text);
std::wstring Lower(std::wstring text);
// The add-in's workbook and help file as installed into a folder.
std::wstring Workbook(const std::wstring& folder);
std::wstring HelpFile(const std::wstring& folder);
// A path of the system folder in lower case, as a 32-bit program on 64-bit Windows has it
// in its 32-bit system folder (which it may name either way).
std::wstring AsWow64Sees(const std::wstring& path);
bool IsLibrary(const DeployedFile& file);  // the row of IFR_v11.dll

// Waits until the fixture components report as many registrations as expected (the
// registrar runs beside setup, not waited for).
std::map<std::wstring, DWORD> WaitForRegistrations(size_t count, DWORD timeout_ms = 15000);
// How often the registrar registered the system folder's file of this name. The folder is
// the system folder as the registered component saw it (a 32-bit registrar may see the
// WoW64 folder), so the file is found by its name: a path is the file's when it ends in
// "\<name>", in any case.
bool IsPathOf(const std::wstring& path, const wchar_t* installed);
DWORD RegistrationsOf(const std::map<std::wstring, DWORD>& registrations, const wchar_t* installed);
// Waits until the library is registered in one view of the registry, or a key exists.
bool WaitForServer(REGSAM view, DWORD timeout_ms);
bool WaitForKey(HKEY root, const wchar_t* key, DWORD timeout_ms);
// A VBScript client of the library as the add-in is one: it reads the record and ends with
// 10 when the class cannot be created, 11 and 12 when InstallPath or IsAddin_Installed
// fail, 13 for another folder than the one given, 14 when the add-in is not installed.
std::wstring RecordClient(const std::wstring& folder);

// The folder picker: a folder list entry without its indent; walks the folder list from the
// drive root down to a folder, opening each by a double-click on its entry.
namespace picker {
std::wstring Trimmed(const std::wstring& text);
void OpenPath(HWND picker, const std::wstring& path);
}  // namespace picker

}  // namespace install_e2e
