// UI driver: drives the system's programs from a test program running beside them under
// Wine (or on Windows), through their windows only.
//
//   uidriver::Process app = uidriver::Start(L"Z:\\build\\UFR11.exe", L"", folder);
//   HWND box = uidriver::WaitForWindow({L"Ferrolin", L"#32770", app.id()}, 15000);
//   uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
//   uidriver::PressButton(box, IDOK);
//   EXPECT_EQ(app.WaitForExit(5000), 0u);
//
// - Start() runs a program (optionally in a given current folder) and returns a Process that
//   owns it: the process is terminated when its owner goes away while it still runs.
//   EndScenario() terminates whatever the driver started and is still running.
// - Every wait takes a timeout in milliseconds and polls; on timeout it throws
//   uidriver::Timeout whose message tells what it saw (the top-level windows with their
//   captions, classes and process ids, or the process still running).
// - Windows are found by exact caption and/or class, optionally of one process; controls by
//   ID or by caption among all descendants of a window.
// - Texts are read with WM_GETTEXT (bounded), so edit boxes read what the user sees; typing
//   sets the text with WM_SETTEXT. Click() sends BM_CLICK and returns after the handler ran;
//   PostClick() posts it, for buttons whose handler opens a modal window.
// - Message boxes (#32770): title, text (static 0xFFFF, carriage returns kept), icon kind and
//   buttons; PressButton() ends one as the user would. The icon kind is read inside the
//   driven program by a window hook in uidriver_icon_hook.dll (built beside the driver),
//   since under Wine each program holds its own handles of the shared system icons.
// - Geometry: window rectangle, client size, the screen's DPI and TwipsToPixels().
// Test code only; never part of a shipped program.
#pragma once

#include <windows.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "handles.h"

namespace uidriver {

// A wait that ran out; what() names what was awaited and what was there instead.
class Timeout : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Misuse or a failing system call (for example a program that cannot be started).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Processes -------------------------------------------------------------------------

// Owns a started process: terminates it (exit code 0xDEAD) when the owner is destroyed
// while the process still runs.
class Process {
public:
    Process() = default;
    Process(HANDLE process, DWORD id);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_; }
    bool running() const;
    // Waits for the end of the process and returns its exit code; throws Timeout (with the
    // process's windows) when it still runs after timeout_ms.
    DWORD WaitForExit(DWORD timeout_ms) const;
    // True when the process ended within timeout_ms (no throw).
    bool Ended(DWORD timeout_ms) const;
    // Ends the process now if it still runs.
    void Terminate();

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// Starts `program` (full path) with `arguments`; `current_folder` empty = the test's own.
Process Start(const std::wstring& program, const std::wstring& arguments = L"",
              const std::wstring& current_folder = L"");

// Terminates every process started by Start() that still runs; returns how many it ended.
int EndScenario();
// The same when the test leaves its scope, also when an assertion stops it early.
inline auto EndScenarioOnExit() { return ferrolin::on_scope_exit([] { EndScenario(); }); }

// ---- Windows ---------------------------------------------------------------------------

struct WindowQuery {
    const wchar_t* caption = nullptr;     // exact caption; nullptr = any
    const wchar_t* class_name = nullptr;  // exact class name; nullptr = any
    DWORD process_id = 0;                 // 0 = any process
};

struct WindowInfo {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring class_name;
    DWORD process_id = 0;
    bool visible = false;
};

// Top-level windows, optionally of one process.
std::vector<WindowInfo> TopLevelWindows(DWORD process_id = 0);
// Printable list of windows, one per line, for failure messages.
std::string Describe(const std::vector<WindowInfo>& windows);
std::string Describe(const WindowQuery& query);

// The first top-level window that matches now, or nullptr.
HWND FindTopLevel(const WindowQuery& query);
// Waits until a matching top-level window exists; throws Timeout listing the windows seen.
HWND WaitForWindow(const WindowQuery& query, DWORD timeout_ms);
// Waits until no matching top-level window exists; throws Timeout when one stays.
void WaitForNoWindow(const WindowQuery& query, DWORD timeout_ms);

// Controls: any descendant of `parent`. nullptr when absent.
HWND FindControl(HWND parent, int id);
HWND FindControlByCaption(HWND parent, const std::wstring& caption, const wchar_t* class_name = nullptr);
std::vector<WindowInfo> Children(HWND parent);  // all descendants, in Z order per level

// ---- Reading and acting ----------------------------------------------------------------

std::wstring Text(HWND window);
std::wstring ClassName(HWND window);
int ControlId(HWND window);
LONG Style(HWND window);
LONG ExStyle(HWND window);
bool IsEnabled(HWND window);
bool IsVisible(HWND window);
bool IsChecked(HWND button);  // BST_CHECKED

void Click(HWND button);      // BM_CLICK, waits for the handler (bounded)
void PostClick(HWND button);  // BM_CLICK posted; for handlers that open modal windows
void TypeText(HWND edit, const std::wstring& text);  // WM_SETTEXT
void Close(HWND window);      // posts WM_CLOSE

// The keyboard: the window with the focus in the thread of `window` (nullptr when none),
// and a keystroke as the keyboard makes it (SendInput, to the foreground window), with
// Shift held around it when asked.
HWND FocusOf(HWND window);
void PressKey(WORD key, bool shift = false);
// Presses the key and waits (bounded) until the focus of window's thread is on `expected`.
void PressKeyUntilFocus(HWND window, WORD key, HWND expected, bool shift = false);

// ---- Message boxes ---------------------------------------------------------------------

enum class IconKind { None, Error, Question, Warning, Information, Unknown };
const char* ToString(IconKind kind);
inline void PrintTo(IconKind kind, std::ostream* out) { *out << ToString(kind); }  // GoogleTest messages

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;             // carriage returns kept
    IconKind icon = IconKind::None;
    std::vector<int> button_ids;   // IDOK, IDCANCEL, IDYES, IDNO, ... in window order
    std::vector<std::wstring> button_texts;
};

// Waits for a message box (#32770) with this exact title, optionally of one process.
HWND WaitForMessageBox(const std::wstring& title, DWORD process_id, DWORD timeout_ms);
MessageBoxInfo ReadMessageBox(HWND box);
// Presses the button with this ID (IDOK, IDYES, ...) as a click would.
void PressButton(HWND box, int button_id);

// ---- Geometry --------------------------------------------------------------------------

RECT WindowRect(HWND window);  // screen coordinates
SIZE ClientSize(HWND window);
int ScreenDpiX();
int ScreenDpiY();
// Twips (1/1440 inch) to pixels at `dpi`, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

}  // namespace uidriver
