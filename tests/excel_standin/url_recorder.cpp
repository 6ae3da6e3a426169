// url_recorder.exe: a stand-in for the user's mail program and web browser. Registered as the
// handler of the "mailto", "http" and "https" URL protocols, it appends every URL it is
// started with to a log file and exits.
//   url_recorder.exe /Register LOG    become the handler, recording into LOG
//   url_recorder.exe /Remove          leave those protocols without any handler
//   url_recorder.exe /Unregister      undo either, restoring the previous handler
//   url_recorder.exe /Log LOG URL     (the shell's call) append URL to LOG
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "excel_standin.h"

namespace {

const wchar_t* const kProtocols[] = {L"mailto", L"http", L"https"};
const wchar_t kNoCommand[] = L"*none*";

std::wstring ClassesPath(const wchar_t* protocol) { return std::wstring(L"Software\\Classes\\") + protocol; }
std::wstring CommandPath(const wchar_t* protocol) { return ClassesPath(protocol) + L"\\shell\\open\\command"; }

bool ReadDefault(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& data) {
    const ferrolin::unique_hkey key = ferrolin::open_key(root, path.c_str(), KEY_READ);
    if (!key) return false;
    wchar_t buffer[2048] = L"";
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    data = buffer;
    return true;
}

void DeleteTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

// Keeps the machine-wide command of a protocol once, before the first change.
void SaveMachineCommand(const wchar_t* protocol) {
    std::wstring saved;
    if (ReadDefault(HKEY_CURRENT_USER, excel_standin::kUrlRecorderSavedKey, protocol, saved)) return;
    std::wstring command;
    if (!ReadDefault(HKEY_LOCAL_MACHINE, CommandPath(protocol), nullptr, command)) command = kNoCommand;
    excel_standin::WriteText(HKEY_CURRENT_USER, excel_standin::kUrlRecorderSavedKey, protocol, command);
}

// The user's classes come first where the system merges them (Windows); where it does not
// (Wine 8 keeps HKEY_CLASSES_ROOT to the machine's classes) the machine's entry is replaced.
int Register(const std::wstring& logFile) {
    const std::wstring command = L"\"" + ferrolin::ModuleFileName(nullptr) + L"\" /Log \"" + logFile + L"\" \"%1\"";
    for (const wchar_t* protocol : kProtocols) {
        if (!excel_standin::WriteText(HKEY_CURRENT_USER, ClassesPath(protocol), nullptr, std::wstring(L"URL:") + protocol) ||
            !excel_standin::WriteText(HKEY_CURRENT_USER, ClassesPath(protocol), L"URL Protocol", L"") ||
            !excel_standin::WriteText(HKEY_CURRENT_USER, CommandPath(protocol), nullptr, command))
            return 1;
        std::wstring seen;
        if (ReadDefault(HKEY_CLASSES_ROOT, std::wstring(protocol) + L"\\shell\\open\\command", nullptr, seen) &&
            seen == command)
            continue;
        SaveMachineCommand(protocol);
        if (!excel_standin::WriteText(HKEY_LOCAL_MACHINE, ClassesPath(protocol), L"URL Protocol", L"") ||
            !excel_standin::WriteText(HKEY_LOCAL_MACHINE, CommandPath(protocol), nullptr, command))
            return 1;
    }
    return 0;
}

int Remove() {
    for (const wchar_t* protocol : kProtocols) {
        DeleteTree(HKEY_CURRENT_USER, ClassesPath(protocol));
        SaveMachineCommand(protocol);
        DeleteTree(HKEY_LOCAL_MACHINE, CommandPath(protocol));
    }
    return 0;
}

int Unregister() {
    for (const wchar_t* protocol : kProtocols) {
        DeleteTree(HKEY_CURRENT_USER, ClassesPath(protocol));
        std::wstring saved;
        if (!ReadDefault(HKEY_CURRENT_USER, excel_standin::kUrlRecorderSavedKey, protocol, saved)) continue;
        if (saved == kNoCommand) DeleteTree(HKEY_LOCAL_MACHINE, CommandPath(protocol));
        else excel_standin::WriteText(HKEY_LOCAL_MACHINE, CommandPath(protocol), nullptr, saved);
    }
    DeleteTree(HKEY_CURRENT_USER, excel_standin::kUrlRecorderSavedKey);
    return 0;
}

int Record(const std::wstring& logFile, const std::wstring& url) {
    const ferrolin::unique_handle file = ferrolin::adopt_file(
        CreateFileW(logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    std::wstring line = url + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    const ferrolin::unique_hlocal<LPWSTR> raw(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> args(raw ? raw.get() + 1 : nullptr, raw ? raw.get() + count : nullptr);
    if (args.size() == 2 && _wcsicmp(args[0].c_str(), L"/Register") == 0) return Register(args[1]);
    if (args.size() == 1 && _wcsicmp(args[0].c_str(), L"/Remove") == 0) return Remove();
    if (args.size() == 1 && _wcsicmp(args[0].c_str(), L"/Unregister") == 0) return Unregister();
    if (args.size() == 3 && _wcsicmp(args[0].c_str(), L"/Log") == 0) return Record(args[1], args[2]);
    return 2;
}
