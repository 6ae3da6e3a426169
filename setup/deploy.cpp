#include "deploy.h"

#include <windows.h>

#include <iterator>

#include "ansi.h"
#include "excel.h"
#include "file_system.h"
#include "handles.h"
#include "frmWizard1.h"
#include "input_box.h"
#include "install_record.h"
#include "names.h"
#include "program.h"
#include "registry_layer.h"
#include "run_state.h"
#include "system_error.h"

namespace ferrolin {

namespace {

constexpr DWORD kSystemDirBuffer = 255;

constexpr auto kSystem = ComponentFolder::System;

const SystemComponent kSystemComponents[] = {
    {0, kSystem, kRegistrarPresent, kRegistrarSource, kRegistrarPresent, kMsgCopyRegsvr32, true, nullptr},
    {1, kSystem, kVb6esPresent, kVb6esFile, kVb6esFile, kMsgCopyVb6es, true, kVb6esFile},
    {3, kSystem, kComdlgFile, kComdlgSource, kComdlgFile, kMsgCopyComdlg, false, kComdlgFile},
    {4, kSystem, kFm20File, kFm20Source, kFm20File, kMsgCopyFm20, true, kFm20File},
    {6, kSystem, kMscomctlFile, kMscomctlSource, kMscomctlFile, kMsgCopyMscomctl, false, kMscomctlFile},
    {7, kSystem, kLibraryFile, kLibraryFile, kLibraryFile, kMsgCopyLibrary, true, kLibraryFile},
#ifdef _WIN64
    // 32-bit Excel loads only a 32-bit library, registered in the 32-bit view of the
    // registry by the 32-bit registrar: the same as row 7, in the 32-bit system folder.
    {8, ComponentFolder::System32Bit, kLibraryFile, kLibrary32Source, kLibraryFile, kMsgCopyLibrary, true,
     kLibraryFile},
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
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return L"";
    // The root of a drive keeps its backslash, as the platform reports it (D:\).
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

std::wstring SourceFile(const std::wstring& name) {
    std::wstring folder = SourceFolder();
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder + L"\\" + name;
}

std::wstring GetSystemDir() { return FolderFrom(GetSystemDirectoryW); }

std::wstring GetSystemWow64Dir() { return FolderFrom(GetSystemWow64DirectoryW); }

std::wstring FolderOf(const SystemComponent& component) {
    return component.folder == ComponentFolder::System ? GetSystemDir() : GetSystemWow64Dir();
}

void prcRegisterFile(const std::wstring& commandLine) {
    FailuresRecorded failures;
    failures.Run([&] {
        // CreateProcessW may write into the command line: it gets a copy of its own.
        std::wstring line = commandLine;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            throw LastWin32Error();
        // The registrar runs on by itself: nothing of it is kept.
        unique_handle thread(process.hThread);
        unique_handle owner(process.hProcess);
    });
    if (failures.Pending())
        Critical(kMsgNotRegister + commandLine);
}

const SystemComponent* SystemComponents(size_t* count) {
    *count = std::size(kSystemComponents);
    return kSystemComponents;
}

void prcCopyComponent(short componentIndex) {
    const SystemComponent* row = nullptr;
    for (const SystemComponent& component : kSystemComponents)
        if (component.index == componentIndex) row = &component;
    if (!row) return;

    const std::wstring systemFolder = FolderOf(*row);
    // Without a 32-bit system folder there is no 32-bit Excel to serve.
    if (row->folder == ComponentFolder::System32Bit && systemFolder.empty()) return;
    const std::wstring target = systemFolder + L"\\" + row->installedName;
    const std::wstring source = SourceFile(row->sourceName);
    FailuresRecorded failures;
    failures.Run([&] { fso::copyfile(source, target, true); });
    if (failures.Pending()) {
        Critical(row->copyFailure);
        if (row->failureEnds) EndProgram();
    }
    failures.Stop();
    if (!row->registeredName) return;
    // A bare registrar name finds the one of the program's own bitness; the 32-bit system
    // folder's row names that folder's registrar by its full path.
    const std::wstring registrar =
        row->folder == ComponentFolder::System ? kRegistrarCommand : systemFolder + L"\\" + kRegistrarCommand;
    prcRegisterFile(registrar + systemFolder + L"\\" + row->registeredName);
}

void prcCopyUninstallers() {
    // The folder as many characters as the platform reports.
    wchar_t buffer[kSystemDirBuffer + 1] = {};
    UINT length = GetSystemDirectoryW(buffer, kSystemDirBuffer);
    if (length > kSystemDirBuffer) length = 0;
    const std::wstring systemFolder(buffer, length);
    FailuresRecorded failures;
    for (const wchar_t* uninstaller : {kUninstaller10, kUninstaller11}) {
        const std::wstring name = std::wstring(uninstaller) + kProgramExt;
        failures.Run([&] { fso::copyfile(SourceFile(name), systemFolder + L"\\" + name, true); });
    }
    failures.Stop();
}

void prcCopyAddin(const std::wstring& folder) {
    FailuresRecorded failures;
    failures.Run([&] {
        fso::copyfile(SourceFile(kSourceWorkbook), folder + L"\\" + kProductTitle + kWorkbookExt, true);
    });
    if (failures.Pending()) {
        Critical(kMsgCopyAddinHead + std::wstring(kProductTitle) + kMsgCopyTail);
        EndProgram();
    }
    failures.Run([&] {
        fso::copyfile(SourceFile(kSourceHelp), folder + L"\\" + kProductTitle + kHelpExt, true);
    });
    if (failures.Pending())
        Critical(kMsgCopyHelpHead + std::wstring(kProductTitle) + kMsgCopyTail);
    failures.Stop();
}

void prcDeleteAddin(const std::wstring& title) {
    const std::wstring folder = record::ReadDir();
    if (folder.empty()) return;
    const std::wstring path = folder + L"\\" + title + kWorkbookExt;
    if (!fso::FileExists(path)) return;
    FailuresRecorded failures;
    failures.Run([&] { fso::deletefile(path, true); });
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
        if (!fso::FolderExists(GetDefaultFolder())) fso::CreateFolder(GetDefaultFolder());
    });
    if (failures.Pending()) Critical(failures.Error().description(), kProductName);
    failures.Stop();
}

void prcNewFolder(const std::wstring& parentFolder) {
    const std::wstring name = InputBox(L"", kCaptionNewFolder, L"");
    std::wstring base = parentFolder;
    if (!base.empty() && TrimBlanks(base.substr(base.size() - 1)) == L"\\") base.pop_back();
    if (name.empty()) {
        MsgBox(kMsgNameEmpty, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        return;
    }
    FailuresRecorded failures;
    failures.Run([&] { fso::CreateFolder(base + L"\\" + name); });
    if (failures.Pending()) {
        Critical(failures.Error().description());
        EndProgram();
    }
    failures.Stop();
}

void prcResetRecord() {
    FailuresRecorded failures;
    failures.Run([] { DeleteRegistryKey(kHkeyCurrentUser, kRecordKey); });
    failures.Run([] { DeleteRegistryKey(kHkeyCurrentUser, kRecordParentKey); });
    if (failures.Pending()) {
        MsgBox(kMsgCantRegisterInfo, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
        EndProgram();
    }
    failures.Stop();
}

}  // namespace ferrolin
