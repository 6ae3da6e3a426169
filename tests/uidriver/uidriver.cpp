#include "uidriver.h"

#include "icon_hook.h"
#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

namespace uidriver {

namespace {

const UINT kSendTimeoutMs = 5000;

using testing_support::Utf8;

// Control characters shown visibly, so a failure message shows "\r" where the text has one.
std::string Printable(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

// Handles of every process Start() made, duplicated, for EndScenario().
std::mutex started_lock;
std::vector<HANDLE> started;

void Remember(HANDLE process) {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    std::lock_guard<std::mutex> guard(started_lock);
    started.push_back(copy);
}

bool Matches(const WindowInfo& w, const WindowQuery& q) {
    if (q.process_id && w.process_id != q.process_id) return false;
    if (q.caption && w.caption != q.caption) return false;
    if (q.class_name && lstrcmpiW(w.class_name.c_str(), q.class_name) != 0) return false;
    return true;
}

WindowInfo Info(HWND hwnd) {
    WindowInfo w;
    w.hwnd = hwnd;
    w.caption = Text(hwnd);
    w.class_name = ClassName(hwnd);
    GetWindowThreadProcessId(hwnd, &w.process_id);
    w.visible = IsWindowVisible(hwnd) != FALSE;
    return w;
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
    return TRUE;
}

HWND FindIconStatic(HWND box) {
    for (const WindowInfo& w : Children(box)) {
        if (lstrcmpiW(w.class_name.c_str(), L"Static") == 0 && (Style(w.hwnd) & SS_TYPEMASK) == SS_ICON)
            return w.hwnd;
    }
    return nullptr;
}

// The kind of icon a static control shows. The comparison with the shared system icons
// runs inside the control's own program through the icon hook; where the hook cannot run,
// the handles are compared here (equal on Windows, where those icons are system-wide).
IconKind IconOf(HWND icon_static) {
    DWORD_PTR shown = 0;
    SendMessageTimeoutW(icon_static, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &shown);
    if (!shown) return IconKind::None;

    RemovePropW(icon_static, uidriver_hook::kAnswerProperty);
    if (const ferrolin::unique_hmodule loaded{LoadLibraryW(testing_support::WindowsPath(UIDRIVER_ICON_HOOK).c_str())}) {
        HMODULE hook_module = loaded.get();
        const auto procedure =
            reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(
                GetProcAddress(hook_module, uidriver_hook::kHookProcedure)));
        const DWORD thread = GetWindowThreadProcessId(icon_static, nullptr);
        if (HHOOK hook = procedure ? SetWindowsHookExW(WH_CALLWNDPROC, procedure, hook_module, thread) : nullptr) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(icon_static, RegisterWindowMessageW(uidriver_hook::kQueryMessage), 0, 0,
                                SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
            UnhookWindowsHookEx(hook);
        }
    }
    INT_PTR kind = reinterpret_cast<INT_PTR>(GetPropW(icon_static, uidriver_hook::kAnswerProperty));
    if (!kind) kind = uidriver_hook::KindOfIcon(reinterpret_cast<HICON>(shown));
    switch (kind) {
    case uidriver_hook::kNone: return IconKind::None;
    case uidriver_hook::kError: return IconKind::Error;
    case uidriver_hook::kQuestion: return IconKind::Question;
    case uidriver_hook::kWarning: return IconKind::Warning;
    case uidriver_hook::kInformation: return IconKind::Information;
    }
    return IconKind::Unknown;
}

}  // namespace

// ---- Processes -------------------------------------------------------------------------

Process::Process(HANDLE process, DWORD id) : handle_(process), id_(id) {}

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Terminate();
        if (handle_) CloseHandle(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

Process::~Process() {
    Terminate();
    if (handle_) CloseHandle(handle_);
}

bool Process::running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

bool Process::Ended(DWORD timeout_ms) const {
    if (!handle_) throw Error("Ended: no process");
    return WaitForSingleObject(handle_, timeout_ms) == WAIT_OBJECT_0;
}

DWORD Process::WaitForExit(DWORD timeout_ms) const {
    if (!Ended(timeout_ms)) {
        throw Timeout("process " + std::to_string(id_) + " still runs after " + std::to_string(timeout_ms) +
                      " ms; its windows:\n" + Describe(TopLevelWindows(id_)));
    }
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return code;
}

void Process::Terminate() {
    if (running()) {
        TerminateProcess(handle_, 0xDEAD);
        WaitForSingleObject(handle_, 5000);
    }
}

Process Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& current_folder) {
    std::string why;
    ferrolin::unique_process_information started =
        testing_support::StartProgram(program, arguments, current_folder, &why);
    if (!started.process) throw Error(why);
    Remember(started.process.get());
    return Process(started.process.release(), started.processId);
}

int EndScenario() {
    std::vector<HANDLE> processes;
    {
        std::lock_guard<std::mutex> guard(started_lock);
        processes.swap(started);
    }
    int ended = 0;
    for (HANDLE h : processes) {
        if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) {
            TerminateProcess(h, 0xDEAD);
            WaitForSingleObject(h, 5000);
            ++ended;
        }
        CloseHandle(h);
    }
    return ended;
}

// ---- Windows ---------------------------------------------------------------------------

std::vector<WindowInfo> TopLevelWindows(DWORD process_id) {
    std::vector<HWND> handles;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&handles));
    std::vector<WindowInfo> windows;
    for (HWND h : handles) {
        WindowInfo w = Info(h);
        if (!process_id || w.process_id == process_id) windows.push_back(std::move(w));
    }
    return windows;
}

std::string Describe(const std::vector<WindowInfo>& windows) {
    if (windows.empty()) return "  (no windows)\n";
    std::string out;
    char line[160];
    for (const WindowInfo& w : windows) {
        snprintf(line, sizeof line, "  hwnd %p pid %lu %s class \"", static_cast<void*>(w.hwnd),
                 static_cast<unsigned long>(w.process_id), w.visible ? "visible" : "hidden");
        out += line + Printable(w.class_name) + "\" caption \"" + Printable(w.caption) + "\"\n";
        // A message box says why it is there: its text is the static control 0xFFFF.
        if (w.class_name == L"#32770")
            for (const WindowInfo& child : Children(w.hwnd))
                if (ControlId(child.hwnd) == 0xFFFF && !child.caption.empty())
                    out += "    text \"" + Printable(child.caption) + "\"\n";
    }
    return out;
}

std::string Describe(const WindowQuery& q) {
    std::string out = "window";
    if (q.caption) out += " caption \"" + Printable(q.caption) + "\"";
    if (q.class_name) out += " class \"" + Printable(q.class_name) + "\"";
    if (q.process_id) out += " of process " + std::to_string(q.process_id);
    return out;
}

HWND FindTopLevel(const WindowQuery& query) {
    for (const WindowInfo& w : TopLevelWindows(query.process_id))
        if (Matches(w, query)) return w.hwnd;
    return nullptr;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeout_ms) {
    HWND found = nullptr;
    if (testing_support::WaitUntil([&] { return (found = FindTopLevel(query)) != nullptr; }, timeout_ms))
        return found;
    throw Timeout("no " + Describe(query) + " after " + std::to_string(timeout_ms) +
                  " ms; top-level windows:\n" + Describe(TopLevelWindows()));
}

void WaitForNoWindow(const WindowQuery& query, DWORD timeout_ms) {
    if (testing_support::WaitUntil([&] { return FindTopLevel(query) == nullptr; }, timeout_ms)) return;
    throw Timeout(Describe(query) + " still there after " + std::to_string(timeout_ms) +
                  " ms; top-level windows:\n" + Describe(TopLevelWindows()));
}

namespace {
BOOL CALLBACK CollectChild(HWND hwnd, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
    return TRUE;
}
}  // namespace

std::vector<WindowInfo> Children(HWND parent) {
    std::vector<HWND> handles;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&handles));
    std::vector<WindowInfo> children;
    for (HWND h : handles) children.push_back(Info(h));
    return children;
}

HWND FindControl(HWND parent, int id) {
    for (const WindowInfo& w : Children(parent))
        if (ControlId(w.hwnd) == id) return w.hwnd;
    return nullptr;
}

HWND FindControlByCaption(HWND parent, const std::wstring& caption, const wchar_t* class_name) {
    for (const WindowInfo& w : Children(parent)) {
        if (w.caption != caption) continue;
        if (class_name && lstrcmpiW(w.class_name.c_str(), class_name) != 0) continue;
        return w.hwnd;
    }
    return nullptr;
}

// ---- Reading and acting ----------------------------------------------------------------

std::wstring Text(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
        // A window whose thread does not answer: the caption the system keeps.
        wchar_t buffer[512] = {};
        GetWindowTextW(window, buffer, 512);
        return buffer;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &copied);
    text.resize(std::min<size_t>(static_cast<size_t>(copied), text.size() - 1));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

int ControlId(HWND window) { return GetDlgCtrlID(window); }
LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }
LONG ExStyle(HWND window) { return GetWindowLongW(window, GWL_EXSTYLE); }
bool IsEnabled(HWND window) { return IsWindowEnabled(window) != FALSE; }
bool IsVisible(HWND window) { return IsWindowVisible(window) != FALSE; }

bool IsChecked(HWND button) {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
    return state == BST_CHECKED;
}

void Click(HWND button) {
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored) &&
        IsWindow(button)) {
        throw Timeout("click on \"" + Printable(Text(button)) + "\" not handled within " +
                      std::to_string(kSendTimeoutMs) + " ms (a modal window? use PostClick)");
    }
}

void PostClick(HWND button) {
    if (!PostMessageW(button, BM_CLICK, 0, 0)) throw Error("PostClick: not a window");
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void PressKey(WORD key, bool shift) {
    std::vector<INPUT> inputs;
    const auto stroke = [&inputs](WORD vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (shift) stroke(VK_SHIFT, false);
    stroke(key, false);
    stroke(key, true);
    if (shift) stroke(VK_SHIFT, true);
    if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
        throw Error("SendInput failed");
}

void PressKeyUntilFocus(HWND window, WORD key, HWND expected, bool shift) {
    PressKey(key, shift);
    if (!testing_support::WaitUntil([&] { return FocusOf(window) == expected; }, kSendTimeoutMs))
        throw Timeout("the focus did not reach \"" + Printable(Text(expected)) + "\" (it is on \"" +
                      Printable(Text(FocusOf(window))) + "\")");
}

void TypeText(HWND edit, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &ignored))
        throw Timeout("WM_SETTEXT not handled within " + std::to_string(kSendTimeoutMs) + " ms");
}

void Close(HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }

// ---- Message boxes ---------------------------------------------------------------------

const char* ToString(IconKind kind) {
    switch (kind) {
    case IconKind::None: return "none";
    case IconKind::Error: return "error";
    case IconKind::Question: return "question";
    case IconKind::Warning: return "warning";
    case IconKind::Information: return "information";
    case IconKind::Unknown: return "unknown";
    }
    return "?";
}

HWND WaitForMessageBox(const std::wstring& title, DWORD process_id, DWORD timeout_ms) {
    WindowQuery query;
    query.caption = title.c_str();
    query.class_name = L"#32770";
    query.process_id = process_id;
    return WaitForWindow(query, timeout_ms);
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo info;
    info.hwnd = box;
    info.title = Text(box);
    if (HWND text = FindControl(box, 0xFFFF)) info.text = Text(text);
    if (HWND icon = FindIconStatic(box)) info.icon = IconOf(icon);
    for (const WindowInfo& w : Children(box)) {
        if (lstrcmpiW(w.class_name.c_str(), L"Button") != 0 || !w.visible) continue;
        info.button_ids.push_back(ControlId(w.hwnd));
        info.button_texts.push_back(w.caption);
    }
    return info;
}

void PressButton(HWND box, int button_id) {
    HWND button = GetDlgItem(box, button_id);
    if (!button) {
        throw Error("message box \"" + Printable(Text(box)) + "\" has no button " + std::to_string(button_id));
    }
    // The dialog's own command, as a click on the button sends it.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// ---- Geometry --------------------------------------------------------------------------

RECT WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

SIZE ClientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

namespace {
int ScreenCaps(int index) {
    HDC screen = GetDC(nullptr);
    const int value = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return value;
}
}  // namespace

int ScreenDpiX() { return ScreenCaps(LOGPIXELSX); }
int ScreenDpiY() { return ScreenCaps(LOGPIXELSY); }

int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

}  // namespace uidriver
