#include "deploy.h"

#include <windows.h>

#include <iterator>
#include <vector>

#include "bitness.h"
#include "excel.h"
#include "file_system.h"
#include "frmWizard1.h"
#include "handles.h"
#include "input_box.h"
#include "install_record.h"
#include "module_path.h"
#include "names.h"
#include "program.h"
#include "registry_layer.h"
#include "run_state.h"
#include "system_error.h"
#include "vb_text.h"

namespace ferrolin {

namespace {

constexpr DWORD kSystemDirBuffer = 255;

const SystemComponent kSystemComponents[] = {
    {0, false, kRegistrarPresent, kRegistrarSource, kRegistrarPresent, kMsgCopyRegsvr32, true, nullptr},
    {1, false, kVb6esPresent, kVb6esFile, kVb6esFile, kMsgCopyVb6es, true, kVb6esFile},
    {3, false, kComdlgFile, kComdlgSource, kComdlgFile, kMsgCopyComdlg, false, kComdlgFile},
    {4, false, kFm20File, kFm20Source, kFm20File, kMsgCopyFm20, true, kFm20File},
    {6, false, kMscomctlFile, kMscomctlSource, kMscomctlFile, kMsgCopyMscomctl, false, kMscomctlFile},
    {7, false, kLibraryFile, kLibraryFile, kLibraryFile, kMsgCopyLibrary, true, kLibraryFile},
#ifdef _WIN64
    // 32-bit Excel loads only a 32-bit library, registered in the 32-bit view of the
    // registry by the 32-bit registrar: the same as row 7, from the 32-bit build, which
    // its header sends to the 32-bit system folder.
    {8, true, kLibraryFile, kLibrary32Source, kLibraryFile, kMsgCopyLibrary, true, kLibraryFile},
#endif
};

// The folder a system folder call fills in, or the empty text when it fails or does not fit.
template <class Call>
std::wstring FolderFrom(Call call) {
    wchar_t buffer[kSystemDirBuffer + 1] = {};
    const UINT length = call(buffer, kSystemDirBuffer);
    if (length == 0 || length > kSystemDirBuffer) return L"";
    return StripTerminator(std::wstring(buffer, kSystemDirBuffer));
}

void Critical(const std::wstring& text, const wchar_t* title = kMessageTitle) {
    MsgBox(text, MB_OK | MB_ICONERROR, title);
}

}  // namespace

std::wstring SourceFolder() {
    const std::wstring path = ModuleFileName(nullptr);
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return L"";
    // The root of a drive keeps its backslash, as the platform reports it (D:\).
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

std::wstring SourceFile(const std::wstring& name) { return fso::JoinPath(SourceFolder(), name); }

std::wstring GetSystemDir() { return FolderFrom(GetSystemDirectoryW); }

std::wstring GetSystemWow64Dir() { return FolderFrom(GetSystemWow64DirectoryW); }

bool ComponentFolderOf(const std::wstring& file, std::wstring* folder) {
#ifdef _WIN64
    switch (ProgramBitness(file)) {
    case Bitness::Bits32: *folder = GetSystemWow64Dir(); return true;
    case Bitness::Bits64: *folder = GetSystemDir(); return true;
    default: return false;
    }
#else
    (void)file;
    *folder = GetSystemDir();
    return true;
#endif
}

namespace {

// A row left out on this Windows: one for 32-bit Excel without a 32-bit system folder.
bool Skipped(const SystemComponent& component) {
    return component.for32BitExcelOnly && GetSystemWow64Dir().empty();
}

}  // namespace

bool ComponentPresent(const SystemComponent& component) {
    std::wstring folder;
    return ComponentFolderOf(SourceFile(component.sourceName), &folder) &&
           fso::FileExists(fso::JoinPath(folder, component.presentTest));
}

namespace {

// A registrar started in this run and the command line its message names.
struct Registration {
    unique_handle process;
    std::wstring commandLine;
};
std::vector<Registration> g_registrations;

// Its exit codes: 0 registered, 4 the file has no DllRegisterServer (a resource-only DLL,
// nothing to register); 1 bad arguments, 2 OLE failed, 3 the file did not load, 5 the
// registration itself failed.
constexpr DWORD kRegistered = 0;
constexpr DWORD kNoEntryPoint = 4;
// All of them together get this long; a 32-bit registrar takes seconds to start where
// 32-bit code is emulated.
constexpr DWORD kRegistrarsMs = 60000;

}  // namespace

void prcRegisterFile(const std::wstring& registrar, const std::wstring& commandLine) {
    FailuresRecorded failures;
    failures.Run([&] {
        // Silent: a registrar started hidden shows its message hidden too, and would wait
        // for a click nobody can give; its exit code tells instead. CreateProcessW may
        // write into the command line: it gets a copy of its own.
        // The switch follows the registrar's name that every command line starts with.
        std::wstring line = commandLine;
        line.insert(wcslen(kRegistrarCommand), kRegistrarSilent);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(registrar.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            throw LastWin32Error();
        unique_handle thread(process.hThread);
        g_registrations.push_back({unique_handle(process.hProcess), commandLine});
    });
    if (failures.Pending()) {
        blnRegistrationFailed = true;
        Critical(kMsgNotRegister + commandLine);
    }
}

void prcWaitForRegistrars() {
    std::vector<HANDLE> running;
    for (const Registration& registration : g_registrations) running.push_back(registration.process.get());
    if (!running.empty()) WaitPainted(running, kRegistrarsMs);
    for (const Registration& registration : g_registrations) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(registration.process.get(), &code);
        if (code == kRegistered || code == kNoEntryPoint) continue;
        // One that never ends is no registration either.
        if (code == STILL_ACTIVE) TerminateProcess(registration.process.get(), 1);
        blnRegistrationFailed = true;
        Critical(kMsgNotRegister + registration.commandLine);
    }
    g_registrations.clear();
}

const SystemComponent* SystemComponents(size_t* count) {
    *count = std::size(kSystemComponents);
    return kSystemComponents;
}

void prcCopyComponent(const SystemComponent& row) {
    // Without a 32-bit system folder there is no 32-bit Excel to serve: nothing to copy,
    // nothing to report.
    if (Skipped(row)) return;
    const std::wstring source = SourceFile(row.sourceName);
    // A file that is no program of a known kind cannot be placed: a failed copy of its row.
    // Its registration, where the row goes on, is then tried in the native system folder.
    std::wstring systemFolder;
    const bool placeable = ComponentFolderOf(source, &systemFolder);
    if (!placeable) systemFolder = GetSystemDir();
    FailuresRecorded failures;
    failures.Run([&] {
        if (!placeable) throw Win32Error(fso::FileExists(source) ? ERROR_BAD_EXE_FORMAT : ERROR_FILE_NOT_FOUND);
        fso::CopyFileTo(source, fso::JoinPath(systemFolder, row.installedName), true);
    });
    if (failures.Pending()) {
        Critical(row.copyFailure);
        if (row.failureEnds) EndProgram(SetupEnd::ComponentNotCopied);
    }
    failures.Stop();
    prcRegisterComponent(row, systemFolder);
}

void prcRegisterComponent(const SystemComponent& component, const std::wstring& systemFolder) {
    if (!component.registeredName) return;
    // The registrar of the component's own system folder: the 32-bit one registers a 32-bit
    // file in the 32-bit view of the registry, where 32-bit Excel looks, the 64-bit one a
    // 64-bit file in the 64-bit view.
    prcRegisterFile(fso::JoinPath(systemFolder, kRegistrarProgram),
                    kRegistrarCommand + fso::JoinPath(systemFolder, component.registeredName));
}

bool LibraryUnregistered(const SystemComponent& component, std::wstring* systemFolder) {
    if (lstrcmpiW(component.installedName, kLibraryFile) != 0 ||
        !ComponentFolderOf(SourceFile(component.sourceName), systemFolder))
        return false;
    // The view of the registry that the programs loading from that folder read.
    REGSAM view = 0;
#ifdef _WIN64
    view = lstrcmpiW(systemFolder->c_str(), GetSystemWow64Dir().c_str()) == 0 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
#endif
    const std::wstring clsid = ClassesText(std::wstring(kLibraryProgId) + L"\\CLSID", view);
    return clsid.empty() || ClassesText(L"CLSID\\" + clsid + L"\\InprocServer32", view).empty();
}

void prcCopyUninstallers() {
    const std::wstring systemFolder = GetSystemDir();
    FailuresRecorded failures;
    for (const wchar_t* uninstaller : {kUninstaller10, kUninstaller11}) {
        const std::wstring name = std::wstring(uninstaller) + kProgramExt;
        failures.Run([&] { fso::CopyFileTo(SourceFile(name), fso::JoinPath(systemFolder, name), true); });
    }
    failures.Stop();
}

void prcCopyAddin(const std::wstring& folder) {
    FailuresRecorded failures;
    failures.Run([&] {
        fso::CopyFileTo(SourceFile(kSourceWorkbook), fso::AddinFile(folder, kProductTitle, kWorkbookExt), true);
    });
    if (failures.Pending()) {
        Critical(kMsgCopyAddinHead + std::wstring(kProductTitle) + kMsgCopyTail);
        EndProgram(SetupEnd::AddinNotCopied);
    }
    failures.Run([&] {
        fso::CopyFileTo(SourceFile(kSourceHelp), fso::AddinFile(folder, kProductTitle, kHelpExt), true);
    });
    if (failures.Pending())
        Critical(kMsgCopyHelpHead + std::wstring(kProductTitle) + kMsgCopyTail);
    failures.Stop();
}

void prcDeleteAddin(const std::wstring& title) {
    const std::wstring folder = record::ReadDir();
    if (folder.empty()) return;
    const std::wstring path = fso::AddinFile(folder, title, kWorkbookExt);
    if (!fso::FileExists(path)) return;
    FailuresRecorded failures;
    failures.Run([&] { fso::DeleteFileAt(path, true); });
    if (failures.Pending()) {
        MsgBox(kMsgCantContinue, MB_OK | MB_ICONINFORMATION, kMessageTitle);
        blnExitInstall = true;
        frmWizard1.Refresh();
    }
    failures.Stop();
}

void prcCreateDefaultFolder() {
    FailuresRecorded failures;
    failures.Run([&] {
        // The folder is tested, then created; Excel is asked for it once in a run.
        if (!fso::FolderExists(GetDefaultFolder())) fso::CreateFolder(GetDefaultFolder());
    });
    if (failures.Pending()) Critical(failures.Error().description(), kProductName);
    failures.Stop();
}

void prcNewFolder(const std::wstring& parentFolder) {
    const std::wstring name = InputBox(L"", kCaptionNewFolder, L"");
    if (name.empty()) {
        MsgBox(kMsgNameEmpty, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        return;
    }
    FailuresRecorded failures;
    failures.Run([&] { fso::CreateFolder(fso::JoinPath(parentFolder, name)); });
    if (failures.Pending()) {
        Critical(failures.Error().description());
        EndProgram(SetupEnd::FolderNotCreated);
    }
    failures.Stop();
}

void prcResetRecord() {
    FailuresRecorded failures;
    // A record that stays (a key of its own inside it, no right to delete it) would keep
    // the earlier installation's values beside the new ones: that stops setup. One that is
    // not there is reset already.
    failures.Run([] {
        const long status = DeleteRegistryKeyStatus(kHkeyCurrentUser, kRecordKey);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) throw Win32Error(static_cast<DWORD>(status));
    });
    // The parent stays while it holds other keys, as it should.
    failures.Run([] { DeleteRegistryKey(kHkeyCurrentUser, kRecordParentKey); });
    if (failures.Pending()) {
        MsgBox(kMsgCantRegisterInfo, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        EndProgram(SetupEnd::RecordNotReset);
    }
    failures.Stop();
}

}  // namespace ferrolin
