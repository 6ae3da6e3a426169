#include "install_e2e.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <sstream>

#include <shlobj.h>
#include <tlhelp32.h>

#include "excel_standin.h"
#include "handles.h"
#include "controls.h"
#include "names.h"
#include "test_support.h"

namespace install_e2e {

using testing_support::WaitUntil;
namespace ctl = ferrolin::ctl;

namespace {

const wchar_t kRegistrations[] = L"Software\\FerrolinTests\\Registrations";
const wchar_t kRegistrars[] = L"Software\\FerrolinTests\\Registrars";
const wchar_t kPlantedRegistrar[] = L"Software\\FerrolinTests\\PlantedRegistrar";
// The vendor's components are 32-bit: the 64-bit setup puts them into SysWOW64.
#if defined(_WIN64) && defined(FERROLIN_FIXTURES_32BIT)
constexpr bool kComponentsInWow64 = true;
#else
constexpr bool kComponentsInWow64 = false;
#endif

}  // namespace

std::wstring DistFolder() {
    // FERROLIN_DIST names another distribution folder (a signed release's programs, say).
    const char* other = std::getenv("FERROLIN_DIST");
    return testing_support::WindowsPath(other && *other ? other : FERROLIN_DIST_DIR);
}

std::wstring SystemWow64Folder() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

std::wstring StandInProgram() { return testing_support::WindowsPath(FERROLIN_STANDIN); }
std::wstring UrlRecorderProgram() { return testing_support::WindowsPath(FERROLIN_URL_RECORDER); }

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CopyOrFail(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        throw uidriver::Error("cannot copy " + std::string(from.begin(), from.end()) + " -> " +
                              std::string(to.begin(), to.end()));
}

const std::vector<DeployedFile>& DeployedFiles() {
    static const std::vector<DeployedFile> files = {
        {ferrolin::kVb6esFile, ferrolin::kVb6esFile, true, kComponentsInWow64},
        {ferrolin::kComdlgFile, ferrolin::kComdlgSource, true, kComponentsInWow64},
        {ferrolin::kFm20File, ferrolin::kFm20Source, true, kComponentsInWow64},
        {ferrolin::kMscomctlFile, ferrolin::kMscomctlSource, true, kComponentsInWow64},
        {ferrolin::kLibraryFile, ferrolin::kLibraryFile, true, false},
#ifdef _WIN64
        {ferrolin::kLibraryFile, ferrolin::kLibrary32Source, true, true},
#endif
    };
    return files;
}

std::wstring InstalledPath(const DeployedFile& file) {
    return Join(file.wow64 ? SystemWow64Folder() : SystemFolder(), file.installed);
}

bool Is(const DeployedFile& file, const wchar_t* source) { return lstrcmpiW(file.source, source) == 0; }

std::wstring LibraryServer(REGSAM view) {
    const std::wstring key = L"CLSID\\{DCCC35A0-B477-4287-94AA-99FC390A593A}\\InprocServer32";
    const ferrolin::unique_hkey opened = ferrolin::open_key(HKEY_CLASSES_ROOT, key.c_str(), KEY_QUERY_VALUE | view);
    if (!opened) return L"";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path - sizeof(wchar_t);
    const LONG read = RegQueryValueExW(opened.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    return read == ERROR_SUCCESS ? std::wstring(path) : std::wstring();
}

void ClearLibraryRegistration() {
    const wchar_t* keys[] = {L"CLSID\\{DCCC35A0-B477-4287-94AA-99FC390A593A}", L"IFR_v11.CLibrary",
                             L"TypeLib\\{3B6EB83F-979E-44B1-B1B2-B6FFFF01EABD}",
                             L"Interface\\{3C3F42FE-BE82-4D80-AD3A-132FBC0302D2}"};
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        for (const wchar_t* key : keys) {
            if (const ferrolin::unique_hkey opened = ferrolin::open_key(HKEY_CLASSES_ROOT, key, KEY_ALL_ACCESS | view))
                RegDeleteTreeW(opened.get(), nullptr);
            else
                continue;
            RegDeleteKeyExW(HKEY_CLASSES_ROOT, key, view, 0);
        }
}

std::map<std::wstring, DWORD> FixtureRegistrations() {
    std::map<std::wstring, DWORD> registrations;
    const ferrolin::unique_hkey key = ferrolin::open_key(HKEY_CURRENT_USER, kRegistrations, KEY_READ);
    if (!key) return registrations;
    for (DWORD i = 0;; ++i) {
        wchar_t name[1024];
        DWORD nameLength = 1024, type = 0, count = 0, size = sizeof count;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS)
            break;
        registrations[Lower(std::wstring(name, nameLength))] = count;
    }
    return registrations;
}

std::map<std::wstring, std::wstring> FixtureRegistrars() {
    std::map<std::wstring, std::wstring> registrars;
    const ferrolin::unique_hkey key = ferrolin::open_key(HKEY_CURRENT_USER, kRegistrars, KEY_READ);
    if (!key) return registrars;
    for (DWORD i = 0;; ++i) {
        wchar_t name[1024];
        wchar_t data[1024] = {};
        DWORD nameLength = 1024, type = 0, size = sizeof data - sizeof(wchar_t);
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        registrars[Lower(std::wstring(name, nameLength))] = Lower(data);
    }
    return registrars;
}

void ClearFixtureRegistrations() {
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, kRegistrations);
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, kRegistrars);
}

DWORD PlantedRegistrarStarts(std::wstring* lastCommandLine) {
    const ferrolin::unique_hkey key = ferrolin::open_key(HKEY_CURRENT_USER, kPlantedRegistrar, KEY_READ);
    if (!key) return 0;
    DWORD count = 0, size = sizeof count;
    RegQueryValueExW(key.get(), L"Started", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
    if (lastCommandLine) {
        wchar_t line[2048] = {};
        size = sizeof line - sizeof(wchar_t);
        RegQueryValueExW(key.get(), L"CommandLine", nullptr, nullptr, reinterpret_cast<BYTE*>(line), &size);
        *lastCommandLine = line;
    }
    return count;
}

void ClearPlantedRegistrarStarts() { testing_support::DeleteKeyTree(HKEY_CURRENT_USER, kPlantedRegistrar); }

bool WaitForRegistrarsToEnd(DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        std::vector<DWORD> running;
        {
            const ferrolin::unique_handle snapshot = ferrolin::adopt_file(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            if (!snapshot) return false;
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
                if (lstrcmpiW(entry.szExeFile, L"regsvr32.exe") == 0) running.push_back(entry.th32ProcessID);
        }
        if (running.empty()) return true;
        for (DWORD id : running) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            if (const ferrolin::unique_handle process{OpenProcess(SYNCHRONIZE, FALSE, id)})
                WaitForSingleObject(process.get(), static_cast<DWORD>(deadline - now));
        }
    }
}

bool RegisterStandIn(std::string* what) {
    const testing_support::ProgramRun run = testing_support::RunProgram(StandInProgram(), L"/RegServer");
    if (what) *what = run.what;
    return run.exitCode == 0;
}

ClickToRunExcel::ClickToRunExcel() {
    wchar_t programFiles[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    const std::wstring folder = std::wstring(programFiles) + L"\\Microsoft Office\\root\\Office16";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    program_ = Join(folder, L"EXCEL.EXE");
    if (!CopyFileW(StandInProgram().c_str(), program_.c_str(), FALSE))
        failure_ = "not copied to " + testing_support::Narrow(program_) + ": error " + std::to_string(GetLastError());
    else if (const auto run = testing_support::RunProgram(program_, L"/RegServer /ClickToRun"); run.exitCode != 0)
        failure_ = "/RegServer /ClickToRun: " + run.what;
}

ClickToRunExcel::~ClickToRunExcel() {
    ExitCodeOf(StandInProgram(), L"/UnregServer");
    RegisterStandIn();
    DeleteFileW(program_.c_str());
}

void ResetStandIn(const std::wstring& libraryPath, const std::wstring& logFile) {
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::kKnobKey);
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::ExcelKey(L""));
    excel_standin::SetKnob(excel_standin::kKnobLibraryPath, libraryPath);
    excel_standin::SetKnob(excel_standin::kKnobIdleSeconds, DWORD{20});
    if (!logFile.empty()) {
        excel_standin::SetKnob(excel_standin::kKnobLog, DWORD{1});
        excel_standin::SetKnob(excel_standin::kKnobLogFile, logFile);
    }
}

std::vector<std::wstring> InstalledAddins() {
    std::vector<std::wstring> addins;
    const ferrolin::unique_hkey key =
        ferrolin::open_key(HKEY_CURRENT_USER, excel_standin::ExcelKey(excel_standin::kOptionsSubkey).c_str(), KEY_READ);
    if (!key) return addins;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[1024];
        DWORD nameLength = 256, type = 0, size = sizeof data;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            break;
        if (std::wstring(name, nameLength).rfind(L"OPEN", 0) == 0 && type == REG_SZ)
            addins.emplace_back(data, wcsnlen(data, size / sizeof(wchar_t)));
    }
    return addins;
}

bool InAddinsDialog(const std::wstring& workbook) {
    const std::wstring manager = excel_standin::ExcelKey(excel_standin::kAddinManagerSubkey);
    return RegGetValueW(HKEY_CURRENT_USER, manager.c_str(), workbook.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

std::vector<HWND> ExcelWindows() {
    std::vector<HWND> windows;
    for (const uidriver::WindowInfo& window : uidriver::TopLevelWindows())
        if (window.class_name == excel_standin::kMainWindowClass) windows.push_back(window.hwnd);
    return windows;
}

void CloseExcelWindows() {
    for (HWND window : ExcelWindows()) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        const ferrolin::unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (process) WaitForSingleObject(process.get(), 10000);
    }
}

std::map<std::wstring, StoredValue> RecordValues() {
    std::map<std::wstring, StoredValue> values;
    const ferrolin::unique_hkey key = ferrolin::open_key(HKEY_CURRENT_USER, ferrolin::kRecordKey, KEY_READ);
    if (!key) return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        BYTE data[4096];
        DWORD nameLength = 256, type = 0, size = sizeof data;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        values[std::wstring(name, nameLength)] = {type, std::vector<BYTE>(data, data + size)};
    }
    return values;
}

int RunScript(const std::wstring& cscriptFolder, const std::wstring& file, const std::wstring& script) {
    // Wine's cscript runs only scripts in the ANSI code page (on a UTF-16 file it ends with 0,
    // having run nothing), its VBScript has no ChrW, and it ends with 0 on a script it cannot
    // parse too. So the file is ASCII: a string literal holding any other character is read
    // at the start from a registry value (WScript.Shell's RegRead, not the library under
    // test) into T(n); and success is told by a code of its own: "WScript.Quit 0" ends with
    // kScriptSucceeded.
    const std::wstring textsKey = L"Software\\FerrolinTests\\ScriptTexts";
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, textsKey);
    std::wstring body, literal;
    std::vector<std::wstring> texts;
    bool inLiteral = false;
    for (size_t i = 0; i < script.size(); ++i) {
        const wchar_t c = script[i];
        if (!inLiteral) {
            if (c == L'"') inLiteral = true, literal.clear();
            else body += c;
            continue;
        }
        if (c == L'"' && i + 1 < script.size() && script[i + 1] == L'"') {
            literal += L'"';
            ++i;
        } else if (c == L'"') {
            inLiteral = false;
            if (std::all_of(literal.begin(), literal.end(), [](wchar_t l) { return l < 128; })) {
                std::wstring quoted;
                for (wchar_t l : literal) quoted += l == L'"' ? std::wstring(L"\"\"") : std::wstring(1, l);
                body += L"\"" + quoted + L"\"";
            } else {
                body += L"T(" + std::to_wstring(texts.size()) + L")";
                texts.push_back(literal);
            }
        } else {
            literal += c;
        }
    }
    std::wstring header;
    if (!texts.empty()) {
        header = L"Dim T(" + std::to_wstring(texts.size()) + L")\r\nSet ScriptTexts = CreateObject(\"WScript.Shell\")\r\n";
        for (size_t n = 0; n < texts.size(); ++n) {
            const std::wstring name = std::to_wstring(n);
            if (!testing_support::WriteRaw(HKEY_CURRENT_USER, textsKey, name, REG_SZ, testing_support::Sz(texts[n])))
                return -1;
            header += L"T(" + name + L") = ScriptTexts.RegRead(\"HKCU\\" + textsKey + L"\\" + name + L"\")\r\n";
        }
    }
    std::string text;
    for (wchar_t c : header + body) text += static_cast<char>(c);
    const std::string quitZero = "WScript.Quit 0\r";
    for (size_t at = 0; (at = text.find(quitZero, at)) != std::string::npos; at += quitZero.size())
        text.replace(at, quitZero.size() - 1, "WScript.Quit " + std::to_string(kScriptSucceeded));
    if (!testing_support::WriteFileBytes(file, text)) return -1;
    const int code = ExitCodeOf(Join(cscriptFolder, L"cscript.exe"), L"//nologo \"" + file + L"\"");
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, textsKey);
    if (code == kScriptSucceeded) return 0;
    return code == 0 ? kScriptDidNotRun : code;
}

std::string Ansi(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    if (length)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr,
                            nullptr);
    return bytes;
}

std::string Describe(const std::map<std::wstring, StoredValue>& values) {
    std::ostringstream out;
    for (const auto& [name, value] : values) {
        out << "\n  " << std::string(name.begin(), name.end()) << " type " << value.type << ":";
        if (!value.bytes.empty()) out << ' ' << testing_support::Hex(value.bytes);
    }
    return values.empty() ? "\n  (no record)" : out.str();
}

SetupRun StartSetup(const std::wstring& folder) {
    return SetupRun{uidriver::Start(Join(folder, L"setup.exe"), L"", folder)};
}

HWND WaitPage(const SetupRun& setup, const wchar_t* caption, DWORD timeout_ms) {
    // Pages are created hidden before they are shown: wait for the shown one.
    HWND shown = nullptr;
    const auto find = [&] {
        for (const uidriver::WindowInfo& window : uidriver::TopLevelWindows(setup.id()))
            if (window.visible && window.caption == caption) {
                shown = window.hwnd;
                return true;
            }
        return false;
    };
    if (testing_support::WaitUntil(find, timeout_ms)) return shown;
    uidriver::WaitForWindow({caption, nullptr, setup.id()}, 0);
    throw uidriver::Timeout("window shown but hidden: " + uidriver::Describe({caption, nullptr, setup.id()}) +
                            "\n" + uidriver::Describe(uidriver::TopLevelWindows(setup.id())));
}

HWND ControlOf(HWND page, int id) {
    HWND control = uidriver::FindControl(page, id);
    if (!control) throw uidriver::Error("control " + std::to_string(id) + " not found");
    return control;
}

void ClickPicture(HWND picture) {
    // A static control with SS_NOTIFY reports STN_CLICKED when the mouse button goes down.
    PostMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(picture, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

bool WaitFocus(HWND window, HWND control, DWORD timeout_ms) {
    return WaitUntil([&] { return uidriver::FocusOf(window) == control; }, timeout_ms);
}

uidriver::MessageBoxInfo WaitMessage(const SetupRun& setup, const wchar_t* title, DWORD timeout_ms) {
    return uidriver::ReadMessageBox(uidriver::WaitForMessageBox(title, setup.id(), timeout_ms));
}

std::string N(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Workbook(const std::wstring& folder) {
    return Join(folder, std::wstring(ferrolin::kProductTitle) + ferrolin::kWorkbookExt);
}
std::wstring HelpFile(const std::wstring& folder) {
    return Join(folder, std::wstring(ferrolin::kProductTitle) + ferrolin::kHelpExt);
}

bool IsLibrary(const DeployedFile& file) { return lstrcmpiW(file.installed, ferrolin::kLibraryFile) == 0; }

std::map<std::wstring, DWORD> WaitForRegistrations(size_t count, DWORD timeout_ms) {
    std::map<std::wstring, DWORD> seen;
    WaitUntil(
        [&] {
            seen = FixtureRegistrations();
            return seen.size() >= count;
        },
        timeout_ms);
    return seen;
}

bool IsPathOf(const std::wstring& path, const wchar_t* installed) {
    const std::wstring name = std::wstring(L"\\") + installed;
    return path.size() > name.size() && lstrcmpiW(path.c_str() + path.size() - name.size(), name.c_str()) == 0;
}

DWORD RegistrationsOf(const std::map<std::wstring, DWORD>& registrations, const wchar_t* installed) {
    DWORD count = 0;
    for (const auto& [path, times] : registrations)
        if (IsPathOf(path, installed)) count += times;
    return count;
}

bool WaitForServer(REGSAM view, DWORD timeout_ms) {
    return WaitUntil([&] { return !LibraryServer(view).empty(); }, timeout_ms);
}

std::wstring AsWow64Sees(const std::wstring& path) {
    std::wstring lower = Lower(path);
#ifndef _WIN64
    const std::wstring system = Lower(SystemFolder()), wow64 = Lower(SystemWow64Folder());
    if (!wow64.empty() && lower.compare(0, system.size() + 1, system + L"\\") == 0)
        lower = wow64 + lower.substr(system.size());
#endif
    return lower;
}

std::wstring RecordClient(const std::wstring& folder) {
    return L"On Error Resume Next\r\n"
           L"Set o = CreateObject(\"IFR_v11.CLibrary\")\r\n"
           L"If Err.Number <> 0 Then WScript.Quit 10\r\n"
           L"p = o.InstallPath\r\n"
           L"If Err.Number <> 0 Then WScript.Quit 11\r\n"
           L"b = o.IsAddin_Installed\r\n"
           L"If Err.Number <> 0 Then WScript.Quit 12\r\n"
           L"If p <> \"" + folder + L"\" Then WScript.Quit 13\r\n"
           L"If b <> True Then WScript.Quit 14\r\n"
           L"WScript.Quit 0\r\n";
}

bool WaitForKey(HKEY root, const wchar_t* key, DWORD timeout_ms) {
    return WaitUntil([&] { return testing_support::KeyExists(root, key); }, timeout_ms);
}

namespace picker {

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    return first == std::wstring::npos ? L"" : text.substr(first);
}

namespace {

void OpenFolder(HWND picker, const std::wstring& name) {
    HWND list = ControlOf(picker, ctl::Dir1);
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t item[MAX_PATH] = {};
        if (SendMessageW(list, LB_GETTEXTLEN, i, 0) >= MAX_PATH) continue;
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
        if (lstrcmpiW(Trimmed(item).c_str(), name.c_str()) != 0) continue;
        SendMessageW(list, LB_SETCURSEL, i, 0);
        SendMessageW(picker, WM_COMMAND, MAKEWPARAM(ctl::Dir1, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
        return;
    }
    throw uidriver::Error("no folder " + N(name) + " in the folder list");
}

}  // namespace

void OpenPath(HWND picker, const std::wstring& path) {
    size_t start = 3;  // after "C:\"
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start) OpenFolder(picker, path.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace picker

}  // namespace install_e2e
