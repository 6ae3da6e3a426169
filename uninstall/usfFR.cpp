#include "usfFR.h"

#include "uninstaller.h"
#if FERROLIN_UNINSTALL_WAIT_WINDOW  // UFR10 has no window

#include "dpi.h"
#include "handles.h"
#include "names.h"
#include "prcBasics.h"
#include "resource.h"

namespace ferrolin::usfFR {

namespace {

const UINT_PTR kTimer1 = 1;

short intAttempts = 0;  // deletion passes made
bool removing = false;  // the timer event runs: the window stays until the program ends
unique_hfont label_font;

HWND CreateControl(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style, int id, int left,
                   int top, int width, int height, UINT dpi) {
    return CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, TwipsToPixels(left, dpi),
                           TwipsToPixels(top, dpi), TwipsToPixels(width, dpi), TwipsToPixels(height, dpi), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

// The form as designed: its client size, Frame1 with Label1 inside it, and Timer1.
void CreateForm(HWND form) {
    const UINT dpi = WindowDpi(form);
    SetWindowPos(form, nullptr, 0, 0, TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    HWND frame1 = CreateControl(form, L"BUTTON", L"", BS_GROUPBOX, kFrame1, kFrame1Left, kFrame1Top, kFrame1Width,
                                kFrame1Height, dpi);
    HWND label1 = CreateControl(frame1, L"STATIC", kUninstallWaitText, SS_LEFT, kLabel1, kLabel1Left, kLabel1Top,
                                kLabel1Width, kLabel1Height, dpi);
    label_font.reset(CreateFontW(-PointsToPixels(kLabel1FontPoints, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                                 FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_SWISS, kWaitWindowFont));
    SendMessageW(label1, WM_SETFONT, reinterpret_cast<WPARAM>(label_font.get()), FALSE);

    SetTimer(form, kTimer1, kTimer1Interval, nullptr);
}

// Left edge at half the screen width less 2000 twips, top edge at half the screen height
// less 450 twips; the size stays.
void Form_Load(HWND form) {
    const UINT dpi = WindowDpi(form);
    const int screen_width = PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), dpi);
    const int screen_height = PixelsToTwips(GetSystemMetrics(SM_CYSCREEN), dpi);
    SetWindowPos(form, nullptr, TwipsToPixels(screen_width / 2 - kFormLoadLeftOffset, dpi),
                 TwipsToPixels(screen_height / 2 - kFormLoadTopOffset, dpi), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Ten seconds after the start: the folder of the record, then the removal; the end of the
// program either way.
void Timer1_Timer(HWND form) {
    KillTimer(form, kTimer1);  // the event runs once
    removing = true;
    prcBasics::prcCheckAccount(form);
    const prcBasics::Folder folder = prcBasics::GetInstallFolder();
    if (prcBasics::IsBlank(folder)) {
        Message(form, kMsgUninstallPathNotFound, MB_OK | MB_ICONEXCLAMATION);
        prcBasics::End(UninstallEnd::FolderNotFound);
    }
    prcBasics::prcRemove(folder, intAttempts, form);
}

LRESULT CALLBACK FormProc(HWND form, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        CreateForm(form);
        return 0;
    case WM_TIMER:
        if (wparam == kTimer1) Timer1_Timer(form);
        return 0;
    case WM_CLOSE:
        // The window has no close box, but Alt+F4 closes it: before the removal that ends
        // the program having changed nothing, with a code of its own; during it, nothing.
        if (!removing) prcBasics::End(UninstallEnd::Closed);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(form, message, wparam, lparam);
}

}  // namespace

int Show(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_UNINSTALL), IMAGE_ICON, 32, 32, 0));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_UNINSTALL), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWaitWindowClass;
    RegisterClassExW(&wc);

    HWND form = CreateWindowExW(0, kWaitWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
    if (!form) return 1;
    Form_Load(form);
    ShowWindow(form, SW_SHOWNORMAL);
    UpdateWindow(form);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace ferrolin::usfFR

#endif  // FERROLIN_UNINSTALL_WAIT_WINDOW
