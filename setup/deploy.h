// File deployment and component registration: the uninstallers and the shared system
// components copied into the Windows system folder and handed to the system registrar,
// the add-in workbook and help file copied into the destination folder, the earlier
// workbook removed, the default and new folders created, and the install record reset.
#pragma once

#include <string>

namespace ferrolin {

// The folder of the running setup program, as the platform reports it.
std::wstring SourceFolder();
// A file beside the running setup program: the source folder, "\", the name (one
// backslash also when setup runs from the root of a drive).
std::wstring SourceFile(const std::wstring& name);

// The Windows system folder, or the empty text when the platform cannot tell.
std::wstring GetSystemDir();
// The 32-bit system folder of 64-bit Windows (SysWOW64); empty on 32-bit Windows.
std::wstring GetSystemWow64Dir();

// Starts the registrar program (a full path: never one found by a search, which would take
// a regsvr32.exe lying beside setup) on the command line's file, silently, in a hidden
// window, and goes on; "Not register the file " + the command line when it cannot be
// started. prcWaitForRegistrars collects its result.
void prcRegisterFile(const std::wstring& registrar, const std::wstring& commandLine);
// Waits for the registrars started in this run, all of them together for at most a minute,
// and reports each registration that failed, as its start would have been ("Not register
// the file " + the command line); a registrar still running then is ended. A file without
// a registration entry point is no failure.
void prcWaitForRegistrars();

// One row of the system component table: its index, whether it serves 32-bit Excel only
// (skipped where Windows has no 32-bit system folder), the name looked for in its system
// folder, the name beside setup, the name in the folder, the message of a failed copy,
// whether that failure ends setup, and the name handed to the registrar (none for the
// registrar itself).
struct SystemComponent {
    short index;
    bool for32BitExcelOnly;
    const wchar_t* presentTest;
    const wchar_t* sourceName;
    const wchar_t* installedName;
    const wchar_t* copyFailure;
    bool failureEnds;
    const wchar_t* registeredName;
};
// The rows in the order the start-up deployment walks them: 0, 1, 3, 4, 6, 7, and in the
// 64-bit setup 8, the 32-bit library for 32-bit Excel.
const SystemComponent* SystemComponents(size_t* count);
// The system folder a component file belongs in, the one where the programs that can load
// it look: for the 64-bit setup the 32-bit system folder (SysWOW64) for a 32-bit file and
// System32 for a 64-bit one, as its PE header says; for the 32-bit setup its one system
// folder (WoW64 takes it to SysWOW64). False when the header cannot be read.
bool ComponentFolderOf(const std::wstring& file, std::wstring* folder);
// True when the row's system folder already holds its file. The folder follows the file
// beside setup; one whose header cannot be read has no folder to be present in, and its
// row is deployed, which reports it as a failed copy.
bool ComponentPresent(const SystemComponent& component);

// True when the component is the library, present in its system folder (given back), and
// its class is missing from that folder's view of the registry: an earlier registration
// failed or was undone, and the add-in could never create it.
bool LibraryUnregistered(const SystemComponent& component, std::wstring* systemFolder);
// Starts the registrar of the system folder on the component there (none for the registrar).
void prcRegisterComponent(const SystemComponent& component, const std::wstring& systemFolder);

// Copies one component (a row of the table) into the system folder and starts the
// registrar on it.
void prcCopyComponent(const SystemComponent& row);
// Copies UFR10.exe and UFR11.exe into the system folder, replacing any copy; silent.
void prcCopyUninstallers();

// Copies "fr.xla" and "fr.chm" into the folder as "Ferrolin 1.1.xla" and ".chm". A failed
// workbook copy ends setup; a failed help copy is reported and setup goes on.
void prcCopyAddin(const std::wstring& folder);
// Deletes the add-in workbook of the recorded installation; when it cannot, says so and
// sets blnExitInstall.
void prcDeleteAddin(const std::wstring& title);
// Creates the default destination folder when it does not exist; a failure is reported
// under the title "Ferrolin" and setup goes on.
void prcCreateDefaultFolder();
// Asks for a name and creates parent\name; an empty name creates nothing, a failed
// creation ends setup.
void prcNewFolder(const std::wstring& parentFolder);
// Deletes the install record; when that cannot be carried out, says so and ends setup.
void prcResetRecord();

}  // namespace ferrolin
