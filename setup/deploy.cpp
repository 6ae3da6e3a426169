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

const SystemComponent kSystemComponents[] = {
    {0, kRegistrarPresent, kRegistrarSource, kRegistrarPresent, kMsgCopyRegsvr32, true, nullptr},
    {1, kVb6esPresent, kVb6esFile, kVb6esFile, kMsgCopyVb6es, true, kVb6esFile},
    {3, kComdlgFile, kComdlgSource, kComdlgFile, kMsgCopyComdlg, false, kComdlgFile},
    {4, kFm20File, kFm20Source, kFm20File, kMsgCopyFm20, true, kFm20File},
    {6, kMscomctlFile, kMscomctlSource, kMscomctlFile, kMsgCopyMscomctl, false, kMscomctlFile},
    {7, kLibraryFile, kLibraryFile, kLibraryFile, kMsgCopyLibrary, true, kLibraryFile},
};

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

std::wstring GetSystemDir() {
    char buffer[kSystemDirBuffer + 1] = {};
    const UINT length = GetSystemDirectoryA(buffer, kSystemDirBuffer);
    if (length == 0 || length > kSystemDirBuffer) return L"";
    return StripTerminator(FromAnsi(buffer, kSystemDirBuffer));
}

void prcRegisterFile(const std::wstring& commandLine) {
    FailuresRecorded failures;
    failures.Run([&] {
        std::string line = ToAnsi(commandLine);
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
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

    const std::wstring systemFolder = GetSystemDir();
    const std::wstring target = systemFolder + L"\\" + row->installedName;
    const std::wstring source = SourceFile(row->sourceName);
    FailuresRecorded failures;
    failures.Run([&] { fso::copyfile(source, target, true); });
    if (failures.Pending()) {
        Critical(row->copyFailure);
        if (row->failureEnds) EndProgram();
    }
    failures.Stop();
    if (row->registeredName)
        prcRegisterFile(kRegistrarCommand + systemFolder + L"\\" + row->registeredName);
}

void prcCopyUninstallers() {
    // The folder as many characters as the platform reports.
    char buffer[kSystemDirBuffer + 1] = {};
    UINT length = GetSystemDirectoryA(buffer, kSystemDirBuffer);
    if (length > kSystemDirBuffer) length = 0;
    const std::wstring systemFolder = FromAnsi(buffer, length);
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
