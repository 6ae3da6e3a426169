// A window for the UI driver's own test. Its command line names the icon of the message
// box that its "Message" button shows: error, question, warning, information or none. The
// program ends with the message box's answer as its exit code.
#include <windows.h>

#include <cstring>

namespace {

const int kMessage = 100, kEdit = 101, kCheck = 102, kApply = 103, kDisabled = 104;
UINT icon_style = 0;

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, 120, 24, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        Child(hwnd, L"BUTTON", L"Message", BS_PUSHBUTTON, 10, 10, kMessage);
        Child(hwnd, L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, 10, 40, kEdit);
        Child(hwnd, L"BUTTON", L"Checked", BS_AUTOCHECKBOX, 10, 70, kCheck);
        Child(hwnd, L"BUTTON", L"Apply", BS_PUSHBUTTON, 10, 100, kApply);
        EnableWindow(Child(hwnd, L"BUTTON", L"Disabled", BS_PUSHBUTTON, 10, 130, kDisabled), FALSE);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == kApply) {
            wchar_t text[256] = {};
            GetDlgItemTextW(hwnd, kEdit, text, 256);
            SetWindowTextW(hwnd, text);
        } else if (LOWORD(wp) == kMessage) {
            const UINT buttons = icon_style == MB_ICONQUESTION ? MB_YESNO : MB_OK;
            const int answer = MessageBoxW(hwnd, L"Line one\rLine two", L"probe box", buttons | icon_style);
            PostQuitMessage(answer);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
    const struct {
        const char* name;
        UINT style;
    } icons[] = {{"error", MB_ICONHAND},
                 {"question", MB_ICONQUESTION},
                 {"warning", MB_ICONEXCLAMATION},
                 {"information", MB_ICONASTERISK}};
    for (const auto& i : icons)
        if (std::strcmp(command_line, i.name) == 0) icon_style = i.style;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"UidriverProbe";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, L"UidriverProbe", L"uidriver probe", WS_OVERLAPPEDWINDOW, 100, 100, 300, 220,
                                  nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
