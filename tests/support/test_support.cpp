#include "test_support.h"

#include <tlhelp32.h>

#include <cstdio>
#include <sstream>

#include "handles.h"
#include "module_path.h"
#include "names.h"

namespace testing_support {

namespace {
const wchar_t kTestRoot[] = L"Software\\FerrolinTests";
const DWORD kPollMs = 50;

void DeleteRecord() {
    DeleteKeyTree(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
    DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Vandrel");
}
}  // namespace

ScratchKey::ScratchKey(const std::wstring& name)
    : path_(std::wstring(kTestRoot) + L"\\" + name + L"." + std::to_wstring(GetCurrentProcessId())) {
    DeleteKeyTree(HKEY_CURRENT_USER, path_);
    HKEY key = nullptr;
    const LONG made =
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const ferrolin::unique_hkey created(made == ERROR_SUCCESS ? key : nullptr);
}

ScratchKey::~ScratchKey() { DeleteKeyTree(HKEY_CURRENT_USER, path_); }

CleanRecord::CleanRecord() { DeleteRecord(); }
CleanRecord::~CleanRecord() { DeleteRecord(); }

ferrolin::unique_variant Of(VARTYPE vt) {
    ferrolin::unique_variant v;
    V_VT(v.get()) = vt;
    return v;
}

ferrolin::unique_variant Double(double value) {
    ferrolin::unique_variant v = Of(VT_R8);
    V_R8(v.get()) = value;
    return v;
}

ferrolin::unique_variant Bool(bool value) {
    ferrolin::unique_variant v = Of(VT_BOOL);
    V_BOOL(v.get()) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

std::wstring RawValue::text() const {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

RawValue ReadRaw(HKEY root, const std::wstring& key, const std::wstring& value) {
    RawValue raw;
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return raw;
    ferrolin::unique_hkey owned(k);
    DWORD size = 0;
    if (RegQueryValueExW(k, value.c_str(), nullptr, &raw.type, nullptr, &size) != ERROR_SUCCESS) return raw;
    raw.data.resize(size);
    if (RegQueryValueExW(k, value.c_str(), nullptr, &raw.type, raw.data.data(), &size) != ERROR_SUCCESS)
        return raw;
    raw.data.resize(size);
    raw.present = true;
    return raw;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    return static_cast<bool>(ferrolin::open_key(root, key.c_str(), KEY_READ));
}

bool WriteRaw(HKEY root, const std::wstring& key, const std::wstring& value, DWORD type,
              const std::vector<BYTE>& data) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return false;
    const ferrolin::unique_hkey owned(k);
    return RegSetValueExW(k, value.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::vector<BYTE> Utf16Bytes(const std::wstring& text) {
    std::vector<BYTE> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
    }
    return bytes;
}

std::string Hex(const std::vector<BYTE>& bytes) {
    std::string out;
    char piece[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(piece, sizeof piece, "%02X", bytes[i]);
        if (i) out += ' ';
        out += piece;
    }
    return out;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], needed, nullptr,
                            nullptr);
    return out;
}

std::string JoinLines(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const std::wstring& line : lines) text += "\n  " + Narrow(line);
    return text;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

std::wstring ProgramFolder() {
    const std::wstring self = ferrolin::ModuleFileName(nullptr);
    return self.substr(0, self.find_last_of(L'\\'));
}

std::wstring ProgramBeside(const std::wstring& fileName) { return ProgramFolder() + L"\\" + fileName; }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    return out;
}

std::wstring FreshFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    const std::wstring path = Join(std::wstring(temp, length), name + L"." + std::to_wstring(GetCurrentProcessId()));
    RemoveTree(path);
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

TempDir::TempDir(const std::wstring& name) : path_(FreshFolder(L"ferrolin-" + name)) {}

TempDir::~TempDir() { RemoveTree(path_); }

std::string ReadFileBytes(const std::wstring& path) {
    ferrolin::unique_handle file = ferrolin::adopt_file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
        nullptr));
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    ferrolin::unique_handle file = ferrolin::adopt_file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::vector<std::wstring> LogLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    std::istringstream in(ReadFileBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const int length = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(length), L'\0');
        if (length) MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &wide[0], length);
        lines.push_back(wide);
    }
    return lines;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    if (const ferrolin::unique_find search = ferrolin::adopt_find(FindFirstFileW(Join(path, L"*").c_str(), &found))) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(Join(path, name));
            else
                RemoveFile(Join(path, name));
        } while (FindNextFileW(search.get(), &found));
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring WindowsPath(const std::string& path) {
    std::wstring out;
    if (!path.empty() && path[0] == '/') out = L"Z:";
    for (char c : path) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

ferrolin::unique_process_information StartProgram(const std::wstring& program, const std::wstring& arguments,
                                                  const std::wstring& folder, std::string* why) {
    std::wstring command = L"\"" + program + L"\"";
    if (!arguments.empty()) command += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return ferrolin::unique_process_information(process);
    const DWORD error = GetLastError();
    if (why) {
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        const ferrolin::unique_hlocal<wchar_t> owned(text);
        std::wstring description = text ? text : L"";
        while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r'))
            description.pop_back();
        *why = Narrow(program) + ": could not be started, error " + std::to_string(error) + " (" +
               Narrow(description) + ")";
    }
    return {};
}

ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms) {
    ProgramRun run;
    const std::string name = Narrow(program) + (arguments.empty() ? "" : " " + Narrow(arguments));
    const ferrolin::unique_process_information process = StartProgram(program, arguments, L"", &run.what);
    if (!process.process) return run;
    if (WaitForSingleObject(process.process.get(), timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process.process.get(), 1);
        WaitForSingleObject(process.process.get(), 5000);
        run.what = name + ": still running after " + std::to_string(timeout_ms) + " ms, ended";
        return run;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.process.get(), &code);
    run.exitCode = static_cast<int>(code);
    run.what = name + ": ended with code " + std::to_string(run.exitCode);
    return run;
}

int ExitCodeOf(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms, std::string* what) {
    const ProgramRun run = RunProgram(program, arguments, timeout_ms);
    if (what) *what = run.what;
    return run.exitCode;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length);
}

bool StaysTrue(const std::function<bool()>& predicate, DWORD ms) {
    return !WaitUntil([&] { return !predicate(); }, ms);
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

void SetThreadsRunning(DWORD processId, bool running) {
    ferrolin::unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{sizeof entry};
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        if (ferrolin::unique_handle thread{entry.th32OwnerProcessID == processId
                                               ? OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)
                                               : nullptr})
            running ? ResumeThread(thread.get()) : SuspendThread(thread.get());
}

void DeleteKeyTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

const StatusCase kStatusCases[6] = {
    {L"True", L"84114117101", true},      {L"False", L"7097108115101", false},
    {L"true", L"116114117101", false},    {L"True ", L"8411411710132", false},
    {L"\u00e9", L"233", false},            {L"x", L"120", false},
};

std::vector<AppExistCase> AppExistCases() {
    return {{"\"01\"", Utf16Bytes(L"01"), false},
            {"\"1\"", Utf16Bytes(L"1"), false},
            {"\"00\"", Utf16Bytes(L"00"), false},
            {"no data", {}, true}};
}

}  // namespace testing_support
