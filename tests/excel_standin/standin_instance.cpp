#include "standin_instance.h"

#include <shlobj.h>

#include <algorithm>
#include <cwctype>

#include "excel_standin.h"
#include "standin_dispatch.h"

namespace excel_standin {

namespace {

std::wstring ReadText(HKEY key, const wchar_t* name, const std::wstring& fallback) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return fallback;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size) != ERROR_SUCCESS)
        return fallback;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

DWORD ReadNumber(HKEY key, const wchar_t* name, DWORD fallback) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return fallback;
    return value;
}

std::vector<std::wstring> SplitList(const std::wstring& text) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring item = text.substr(start, end - start);
        item.erase(0, item.find_first_not_of(L' '));
        item.erase(item.find_last_not_of(L' ') + 1);
        if (!item.empty()) items.push_back(item);
        start = end + 1;
    }
    return items;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The full path Excel lists: absolute, as GetFullPathName gives it.
std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return path;
    return buffer;
}

ferrolin::unique_hkey CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return ferrolin::unique_hkey(key);
}

std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[1024];
        DWORD length = 1024;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// "OPEN", "OPEN1", "OPEN2", ...; the number of the value, or -1 for other names.
int OpenValueIndex(const std::wstring& name) {
    if (name.size() < 4 || _wcsnicmp(name.c_str(), L"OPEN", 4) != 0) return -1;
    if (name.size() == 4) return 0;
    int index = 0;
    for (size_t i = 4; i < name.size(); ++i) {
        if (!iswdigit(name[i])) return -1;
        index = index * 10 + (name[i] - L'0');
    }
    return index;
}

// `/R "full path"` (the switch and the quotes may be missing).
std::wstring PathOfOpenValue(std::wstring data) {
    data.erase(0, data.find_first_not_of(L' '));
    if (data.size() > 1 && data[0] == L'/') {
        size_t blank = data.find(L' ');
        data = blank == std::wstring::npos ? L"" : data.substr(blank + 1);
        data.erase(0, data.find_first_not_of(L' '));
    }
    if (!data.empty() && data.front() == L'"') {
        size_t close = data.find(L'"', 1);
        return data.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    data.erase(data.find_last_not_of(L' ') + 1);
    return data;
}

}  // namespace

// Opens the add-in's workbook as Excel does: the file stays open, readable by others, and
// can be neither written nor deleted nor moved while it is.
bool OpenAddInWorkbook(const AddInModel& addin) {
    if (FindWorkbook(addin.name())) return true;
    ferrolin::unique_handle file = ferrolin::adopt_file(CreateFileW(addin.fullName.c_str(), GENERIC_READ,
                                                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    auto book = std::make_shared<WorkbookModel>();
    book->name = addin.name();
    book->fullName = addin.fullName;
    book->isAddin = true;
    book->file = std::move(file);
    AddSheet(*book);
    book->dirty = false;
    TheInstance().workbooks.push_back(book);
    return true;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

Instance& TheInstance() {
    static Instance instance;
    return instance;
}

std::wstring DefaultLibraryPath() {
    // Office's own add-in library, as a Click-to-Run Office 2016 or later installs it (in
    // Program Files (x86) for a 32-bit Office on 64-bit Windows, as for a 32-bit program).
    wchar_t programFiles[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles)))
        return L"";
    return std::wstring(programFiles) + L"\\Microsoft Office\\root\\Office16\\LIBRARY";
}

std::wstring UserLibraryPath() {
    // Excel gives this one with its closing backslash.
    wchar_t appData[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return L"";
    return std::wstring(appData) + L"\\Microsoft\\AddIns\\";
}

void ReadKnobs() {
    Knobs& knobs = TheInstance().knobs;
    HKEY raw = nullptr;
    ferrolin::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKnobKey, 0, KEY_READ, &raw) == ERROR_SUCCESS) key.reset(raw);
    HKEY k = key.get();
    knobs.version = k ? ReadText(k, kKnobVersion, kDefaultVersion) : kDefaultVersion;
    knobs.libraryPath = k ? ReadText(k, kKnobLibraryPath, DefaultLibraryPath()) : DefaultLibraryPath();
    knobs.failMembers = SplitList(k ? ReadText(k, kKnobFailMember, L"") : L"");
    knobs.installOpensWorkbook = (k ? ReadNumber(k, kKnobInstallOpensWorkbook, 1) : 1) != 0;
    knobs.idleSeconds = k ? ReadNumber(k, kKnobIdleSeconds, kDefaultIdleSeconds) : kDefaultIdleSeconds;
    knobs.busyMs = k ? ReadNumber(k, kKnobBusyMs, 0) : 0;
    knobs.slowMembers = SplitList(k ? ReadText(k, kKnobSlowMember, L"") : L"");
    knobs.slowMs = k ? ReadNumber(k, kKnobSlowMs, 0) : 0;
    knobs.log = (k ? ReadNumber(k, kKnobLog, 0) : 0) != 0;
    knobs.logFile = k ? ReadText(k, kKnobLogFile, L"") : L"";
}

bool AnswersSlowly(const wchar_t* className, const wchar_t* member) {
    const std::wstring qualified = std::wstring(className) + L"." + member;
    for (const std::wstring& slow : TheInstance().knobs.slowMembers)
        if (SameText(slow, qualified) || SameText(slow, member)) return true;
    return false;
}

void AnswerSlowly(const wchar_t* className, const wchar_t* member) {
    if (AnswersSlowly(className, member)) Sleep(TheInstance().knobs.slowMs);
}

bool MemberFails(const wchar_t* className, const wchar_t* member) {
    const std::wstring qualified = std::wstring(className) + L"." + member;
    for (const std::wstring& failing : TheInstance().knobs.failMembers)
        if (SameText(failing, qualified) || SameText(failing, member)) return true;
    return false;
}

void Log(const std::wstring& line) {
    const Knobs& knobs = TheInstance().knobs;
    if (!knobs.log || knobs.logFile.empty()) return;
    // Appending only: every instance writes whole lines to the same file.
    ferrolin::unique_handle file = ferrolin::adopt_file(
        CreateFileW(knobs.logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    std::string bytes = Utf8(std::to_wstring(GetCurrentProcessId()) + L" " + line + L"\r\n");
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Workbooks

std::shared_ptr<SheetModel> AddSheet(WorkbookModel& book) {
    auto sheet = std::make_shared<SheetModel>();
    sheet->name = L"Sheet" + std::to_wstring(++book.sheetsMade);
    book.sheets.push_back(sheet);
    book.activeSheet = book.sheets.size() - 1;
    book.dirty = true;
    return sheet;
}

std::shared_ptr<WorkbookModel> AddBlankWorkbook() {
    Instance& instance = TheInstance();
    auto book = std::make_shared<WorkbookModel>();
    book->name = L"Book" + std::to_wstring(++instance.booksMade);
    book->fullName = book->name;
    AddSheet(*book);
    book->dirty = false;
    instance.workbooks.push_back(book);
    UpdateCaption();
    return book;
}

std::shared_ptr<WorkbookModel> FindWorkbook(const std::wstring& name) {
    for (const auto& book : TheInstance().workbooks)
        if (SameText(book->name, name)) return book;
    return nullptr;
}

std::shared_ptr<WorkbookModel> ActiveWorkbook() {
    const auto& books = TheInstance().workbooks;
    for (auto it = books.rbegin(); it != books.rend(); ++it)
        if (!(*it)->isAddin) return *it;
    return nullptr;
}

std::vector<std::shared_ptr<WorkbookModel>> VisibleWorkbooks() {
    std::vector<std::shared_ptr<WorkbookModel>> books;
    for (const auto& book : TheInstance().workbooks)
        if (!book->isAddin) books.push_back(book);
    return books;
}

void CloseWorkbook(const std::shared_ptr<WorkbookModel>& book) {
    Instance& instance = TheInstance();
    if (book->dirty && !book->isAddin && instance.displayAlerts)
        Log(L"Prompt \"Do you want to save the changes you made to '" + book->name + L"'?\"");
    book->open = false;
    book->file.reset();
    auto& books = instance.workbooks;
    books.erase(std::remove(books.begin(), books.end(), book), books.end());
    UpdateCaption();
}

void CloseAllWorkbooks() {
    while (!TheInstance().workbooks.empty()) CloseWorkbook(TheInstance().workbooks.back());
}

// Add-ins

std::wstring AddInModel::name() const { return FileNameOf(fullName); }

std::wstring AddInModel::title() const {
    std::wstring file = name();
    size_t dot = file.find_last_of(L'.');
    return dot == std::wstring::npos ? file : file.substr(0, dot);
}

std::wstring AddInModel::path() const {
    size_t slash = fullName.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : fullName.substr(0, slash);
}

std::shared_ptr<AddInModel> ListAddIn(const std::wstring& fileName) {
    // Excel adds nothing to its list while no workbook is open.
    if (VisibleWorkbooks().empty() || fileName.empty() || !FileExists(fileName)) ThrowMethodFailed(L"Add", L"AddIns");
    const std::wstring fullName = FullPath(fileName);
    Instance& instance = TheInstance();
    for (const auto& addin : instance.addins)
        if (SameText(addin->fullName, fullName)) return addin;
    auto addin = std::make_shared<AddInModel>();
    addin->fullName = fullName;
    instance.addins.push_back(addin);
    UpdateCaption();
    return addin;
}

std::shared_ptr<AddInModel> FindAddIn(const std::wstring& title) {
    for (const auto& addin : TheInstance().addins)
        if (SameText(addin->title(), title)) return addin;
    return nullptr;
}

void SetInstalled(AddInModel& addin, bool installed) {
    Instance& instance = TheInstance();
    // Setting the state it already has changes nothing: an add-in marked installed whose
    // workbook is not loaded stays unloaded.
    if (installed == addin.installed) return;
    if (installed) {
        if (instance.knobs.installOpensWorkbook && !OpenAddInWorkbook(addin))
            ThrowUnableTo(L"set", L"Installed", L"AddIn");
        addin.installed = true;
    } else {
        if (auto book = FindWorkbook(addin.name())) CloseWorkbook(book);
        addin.installed = false;
    }
    UpdateCaption();
}

std::wstring ExcelKey() {
    const std::wstring& version = TheInstance().knobs.version;
    size_t digits = 0;
    while (digits < version.size() && iswdigit(version[digits])) ++digits;
    return std::wstring(kOfficeKey) + (digits ? version.substr(0, digits) : L"0") + L".0";
}

void LoadAddInList() {
    Instance& instance = TheInstance();
    HKEY raw = nullptr;
    std::vector<std::pair<int, std::wstring>> installed;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (ExcelKey() + kOptionsSubkey).c_str(), 0, KEY_READ, &raw) == ERROR_SUCCESS) {
        ferrolin::unique_hkey options(raw);
        for (const std::wstring& name : ValueNames(raw)) {
            int index = OpenValueIndex(name);
            if (index < 0) continue;
            std::wstring path = PathOfOpenValue(ReadText(raw, name.c_str(), L""));
            if (!path.empty()) installed.emplace_back(index, path);
        }
    }
    std::sort(installed.begin(), installed.end());
    for (const auto& entry : installed) {
        auto addin = std::make_shared<AddInModel>();
        addin->fullName = entry.second;
        addin->installed = true;
        // Excel started through automation loads no add-ins: the workbook stays closed.
        instance.addins.push_back(addin);
    }
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (ExcelKey() + kAddinManagerSubkey).c_str(), 0, KEY_READ, &raw) ==
        ERROR_SUCCESS) {
        ferrolin::unique_hkey manager(raw);
        for (const std::wstring& path : ValueNames(raw)) {
            bool known = false;
            for (const auto& addin : instance.addins) known = known || SameText(addin->fullName, path);
            if (known || path.empty()) continue;
            auto addin = std::make_shared<AddInModel>();
            addin->fullName = path;
            instance.addins.push_back(addin);
        }
    }
}

void SaveAddInList() {
    ferrolin::unique_hkey options = CreateKey(ExcelKey() + kOptionsSubkey);
    ferrolin::unique_hkey manager = CreateKey(ExcelKey() + kAddinManagerSubkey);
    if (!options || !manager) return;
    for (const std::wstring& name : ValueNames(options.get()))
        if (OpenValueIndex(name) >= 0) RegDeleteValueW(options.get(), name.c_str());
    for (const std::wstring& name : ValueNames(manager.get())) RegDeleteValueW(manager.get(), name.c_str());
    int index = 0;
    for (const auto& addin : TheInstance().addins) {
        if (addin->installed) {
            std::wstring name = index == 0 ? std::wstring(L"OPEN") : L"OPEN" + std::to_wstring(index);
            std::wstring data = L"/R \"" + addin->fullName + L"\"";
            RegSetValueExW(options.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
            ++index;
        } else {
            RegSetValueExW(manager.get(), addin->fullName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                           sizeof(wchar_t));
        }
    }
}

// Main window

void CreateMainWindow(HINSTANCE module, WNDPROC proc) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);
    TheInstance().window = CreateWindowExW(0, kMainWindowClass, kExcelCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                           CW_USEDEFAULT, 800, 600, nullptr, nullptr, module, nullptr);
}

void UpdateCaption() {
    HWND window = TheInstance().window;
    if (!window) return;
    auto active = ActiveWorkbook();
    std::wstring caption = kExcelCaption;
    if (active) caption += L" - " + active->name;
    SetWindowTextW(window, caption.c_str());
    InvalidateRect(window, nullptr, TRUE);
}

void PaintMainWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    const int line = metrics.tmHeight + metrics.tmExternalLeading + 4;
    int y = 12;
    const auto say = [&](int x, const std::wstring& text) {
        TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
        y += line;
    };
    // What a user checks: the open workbooks, and the Add-ins dialog's list.
    const auto active = ActiveWorkbook();
    say(12, L"Open workbooks:");
    const auto books = VisibleWorkbooks();
    if (books.empty()) say(28, L"(none)");
    for (const auto& book : books) say(28, book->name + (book == active ? L"   (active)" : L""));
    y += line / 2;
    say(12, L"Add-ins (Tools > Add-ins):");
    const auto& addins = TheInstance().addins;
    if (addins.empty()) say(28, L"(none listed)");
    for (const auto& addin : addins) {
        const bool loaded = FindWorkbook(addin->name()) != nullptr;
        say(28, std::wstring(addin->installed ? L"[x] " : L"[  ] ") + addin->title() +
                    (addin->installed ? (loaded ? L"   installed, loaded" : L"   installed, not loaded")
                                      : L"   not installed"));
        say(56, addin->fullName);
    }
    SelectObject(dc, oldFont);
    EndPaint(window, &paint);
}

bool IsShown() { return TheInstance().window && IsWindowVisible(TheInstance().window); }

void Show(bool visible) {
    Instance& instance = TheInstance();
    if (!instance.window || visible == IsShown()) return;
    if (!visible) {
        instance.hiddenWindowState = GetWindowState();
        ShowWindow(instance.window, SW_HIDE);
        return;
    }
    int command = instance.hiddenWindowState == xlMinimized   ? SW_SHOWMINIMIZED
                  : instance.hiddenWindowState == xlMaximized ? SW_SHOWMAXIMIZED
                                                              : SW_SHOWNORMAL;
    ShowWindow(instance.window, command);
}

long GetWindowState() {
    Instance& instance = TheInstance();
    if (!IsShown()) return instance.hiddenWindowState;
    if (IsIconic(instance.window)) return xlMinimized;
    if (IsZoomed(instance.window)) return xlMaximized;
    return xlNormal;
}

void SetWindowState(long state) {
    Instance& instance = TheInstance();
    if (state != xlMinimized && state != xlMaximized && state != xlNormal)
        ThrowUnableTo(L"set", L"WindowState", L"Application");
    instance.hiddenWindowState = state;
    if (!IsShown()) return;
    ShowWindow(instance.window, state == xlMinimized ? SW_MINIMIZE : state == xlMaximized ? SW_MAXIMIZE : SW_RESTORE);
}

}  // namespace excel_standin
