#include "form.h"

#include "dpi.h"
#include "names.h"
#include "optional_export.h"

#include "program.h"
#include "resource.h"

namespace ferrolin {

namespace {

// The window's frame at its own DPI, from Windows 10 1607 on; at the system's before.
void AdjustForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust =
        OptionalExport<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (adjust && adjust(rect, style, FALSE, exStyle, dpi)) return;
    AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

// The window class that makes a control of each kind.
const wchar_t* WindowClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
    case ControlKind::Frame: return L"BUTTON";
    case ControlKind::TextBox: return L"EDIT";
    case ControlKind::List: return L"LISTBOX";
    case ControlKind::DropDownList: return L"COMBOBOX";
    case ControlKind::Label:
    case ControlKind::Picture:
    case ControlKind::Icon:
    case ControlKind::Line: break;
    }
    return L"STATIC";
}

// No WS_CLIPCHILDREN: a frame paints only its border, the form paints what lies inside it.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

void RegisterFormClass(WNDPROC windowProc) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_SETUP));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    RegisterClassExW(&wc);
    registered = true;
}

Form* FormOf(HWND hwnd) { return reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

struct DisabledWindows {
    HWND keep;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM context) {
    auto* state = reinterpret_cast<DisabledWindows*>(context);
    if (hwnd != state->keep && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        state->windows.push_back(hwnd);
    }
    return TRUE;
}

}  // namespace

Form::Form(const wchar_t* caption, int clientWidthTwips, int clientHeightTwips)
    : caption_(caption), clientWidthTwips_(clientWidthTwips), clientHeightTwips_(clientHeightTwips) {}

HWND Form::hwnd() {
    if (!hwnd_) Load();
    return hwnd_;
}

void Form::Load() {
    if (hwnd_) return;
    RegisterFormClass(&Form::WindowProc);
    HWND window = CreateWindowExW(kFormExStyle, kFormClass, caption_, kFormStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), this);
    if (!window) throw VbError::OutOfMemory();
    hwnd_ = window;
    ++loadSerial_;
    hiddenState_ = FormWindowState::Normal;
    dpi_ = WindowDpi(window);
    FitWindow(nullptr);
    CreateControls();
}

void Form::Unload() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void Form::Show(bool modal) {
    HWND previous = GetActiveWindow();
    HWND window = hwnd();
    const unsigned long serial = loadSerial_;
    if (!IsWindowVisible(window)) {
        ShowWindow(window, hiddenState_ == FormWindowState::Minimized ? SW_SHOWMINIMIZED : SW_SHOW);
    } else if (IsIconic(window) && hiddenState_ == FormWindowState::Normal) {
        ShowWindow(window, SW_RESTORE);
    }
    if (hwnd_ == window) {
        SetForegroundWindow(window);
        // The focus starts on the first control of the tab order (the order of the layout).
        HWND focus = GetFocus();
        if (!focus || GetAncestor(focus, GA_ROOT) != window) {
            if (HWND first = FirstTabStop()) SetFocus(first);
        }
    }
    if (!modal) return;

    DisabledWindows disabled{window, {}};
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&disabled));

    MSG msg;
    while (loadSerial_ == serial && hwnd_ && IsWindowVisible(hwnd_)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root && IsFormWindow(root)) {
            Form* form = FormOf(root);
            if (msg.message == WM_KEYDOWN && form && form->KeyDown(static_cast<UINT>(msg.wParam))) continue;
            if (IsDialogMessageW(root, &msg)) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    for (HWND other : disabled.windows) {
        if (IsWindow(other)) EnableWindow(other, TRUE);
    }
    // As a dialog's end does: the window that was active before comes back to the front,
    // with its focus where it was.
    if (previous != window && IsWindow(previous) && IsWindowVisible(previous) && IsWindowEnabled(previous))
        SetForegroundWindow(previous);
}

void Form::Hide() {
    HWND window = hwnd();
    if (IsWindowVisible(window)) {
        hiddenState_ = IsIconic(window) ? FormWindowState::Minimized : FormWindowState::Normal;
        ShowWindow(window, SW_HIDE);
    }
}

void Form::Refresh() {
    RedrawWindow(hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
}

FormWindowState Form::WindowState() {
    HWND window = hwnd();
    if (!IsWindowVisible(window)) return hiddenState_;
    return IsIconic(window) ? FormWindowState::Minimized : FormWindowState::Normal;
}

void Form::SetWindowState(FormWindowState state) {
    HWND window = hwnd();
    hiddenState_ = state;
    if (IsWindowVisible(window))
        ShowWindow(window, state == FormWindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
}

HWND Form::Control(int id) {
    hwnd();
    const ControlInfo* control = Find(id);
    if (!control) throw VbError(730, L"Control '" + std::to_wstring(id) + L"' not found");
    return control->hwnd;
}

std::wstring Form::Text(int id) {
    HWND control = Control(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], static_cast<int>(text.size()))));
    return text;
}

void Form::SetText(int id, const std::wstring& text) {
    SetWindowTextW(Control(id), text.c_str());
}

bool Form::Enabled(int id) { return IsWindowEnabled(Control(id)) != FALSE; }

void Form::SetEnabled(int id, bool enabled) { EnableWindow(Control(id), enabled ? TRUE : FALSE); }

bool Form::Visible(int id) {
    return (GetWindowLongPtrW(Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Form::SetVisible(int id, bool visible) { ShowWindow(Control(id), visible ? SW_SHOWNA : SW_HIDE); }

bool Form::Value(int id) {
    return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form::SetValue(int id, bool checked) {
    SendMessageW(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Form::Notify(int id, int code) {
    if (code == BN_CLICKED) Click(id);  // STN_CLICKED has the same code
}

void Form::Click(int) {}

void Form::CloseBox() { Unload(); }

void Form::Escape() {}

bool Form::KeyDown(UINT key) {
    HWND focus = GetFocus();
    const ControlInfo* control = focus ? FindByWindow(focus) : nullptr;
    const ControlKind kind = control ? control->kind : ControlKind::Label;
    // An open drop-down list takes Esc and Enter for itself: they close the list.
    if ((key == VK_ESCAPE || key == VK_RETURN) && kind == ControlKind::DropDownList &&
        SendMessageW(focus, CB_GETDROPPEDSTATE, 0, 0))
        return false;
    if (key == VK_ESCAPE) {
        RunProcedure([&] { Escape(); });
        return true;
    }
    if (key == VK_TAB) {
        // Tab and Shift+Tab move over the enabled controls in the order of the layout, also
        // out of the multi-line conditions text, which would keep the key for itself.
        HWND next = GetNextDlgTabItem(hwnd_, focus && IsChild(hwnd_, focus) ? focus : nullptr,
                                      GetKeyState(VK_SHIFT) < 0);
        if (next) {
            SetFocus(next);
            if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    if (key != VK_RETURN || !control) return false;
    const int id = control->id;
    if (kind == ControlKind::List) {
        // Enter opens the selected item, as a double-click does.
        RunProcedure([&] { Notify(id, LBN_DBLCLK); });
        return true;
    }
    if (kind != ControlKind::PushButton) return false;
    if (!IsWindowEnabled(focus)) return true;
    RunProcedure([&] { Notify(id, BN_CLICKED); });
    return true;
}

HWND Form::AddControl(int id, ControlKind kind, const wchar_t* text, DWORD style, DWORD exStyle,
                      TwipsRect place, FontStyle font) {
    HWND control = CreateWindowExW(exStyle, WindowClassOf(kind), text, WS_CHILD | WS_CLIPSIBLINGS | style,
                                   ToPixels(place.left), ToPixels(place.top),
                                   ToPixels(place.width), ToPixels(place.height), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    const int fontIndex = FontIndex(font);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[fontIndex].font.get()), FALSE);
    controls_.push_back({id, control, kind, place, fontIndex, CLR_INVALID, false, false});
    return control;
}

void Form::AddButton(int id, const wchar_t* caption, TwipsRect place, bool enabled) {
    HWND button = AddControl(id, ControlKind::PushButton, caption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0,
                             place, {});
    EnableWindow(button, enabled ? TRUE : FALSE);
}

void Form::AddLabel(int id, const wchar_t* caption, TwipsRect place, bool visible, FontStyle font,
                    COLORREF color) {
    AddControl(id, ControlKind::Label, caption, (visible ? WS_VISIBLE : 0) | SS_LEFT | SS_NOPREFIX, 0,
               place, font);
    controls_.back().color = color;
}

void Form::AddCheckBox(int id, const wchar_t* caption, TwipsRect place, FontStyle font) {
    AddControl(id, ControlKind::CheckBox, caption, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, place, font);
}

void Form::AddTextBox(int id, const wchar_t* text, TwipsRect place, bool multiLine) {
    const DWORD style = multiLine ? ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL
                                  : ES_AUTOHSCROLL;
    AddControl(id, ControlKind::TextBox, text, WS_VISIBLE | WS_TABSTOP | style, WS_EX_CLIENTEDGE, place, {});
    controls_.back().whiteBackground = true;
}

void Form::AddPicture(int id, int bitmapId, TwipsRect place, bool clickable) {
    HWND picture = AddControl(id, ControlKind::Picture, nullptr,
                              WS_VISIBLE | SS_BITMAP | SS_REALSIZECONTROL | (clickable ? SS_NOTIFY : 0),
                              0, place, {});
    // The bitmap control keeps the size the form gave it.
    SetWindowPos(picture, nullptr, 0, 0, ToPixels(place.width), ToPixels(place.height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    controls_.back().clickable = clickable;
    unique_hbitmap bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId),
                                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) return;
    SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
    bitmaps_.push_back(std::move(bitmap));
    SetWindowPos(picture, nullptr, 0, 0, ToPixels(place.width), ToPixels(place.height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::AddIcon(int id, int iconId, TwipsRect place) {
    HWND image = AddControl(id, ControlKind::Icon, nullptr, WS_VISIBLE | SS_ICON | SS_REALSIZEIMAGE, 0, place, {});
    auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId),
                                              IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    if (icon) SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void Form::UseWindowColours(int id) {
    for (ControlInfo& control : controls_)
        if (control.id == id) control.whiteBackground = true;
}

void Form::AddFrame(int id, const wchar_t* caption, TwipsRect place) {
    HWND frame = AddControl(id, ControlKind::Frame, caption, WS_VISIBLE | BS_GROUPBOX, 0, place, {});
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form::AddLine(int id, TwipsRect place) {
    AddControl(id, ControlKind::Line, nullptr, WS_VISIBLE | SS_ETCHEDHORZ, 0, place, {});
}

const Form::ControlInfo* Form::Find(int id) const {
    for (const ControlInfo& control : controls_)
        if (control.id == id) return &control;
    return nullptr;
}

const Form::ControlInfo* Form::FindByWindow(HWND hwnd) const {
    for (const ControlInfo& control : controls_)
        if (control.hwnd == hwnd) return &control;
    return nullptr;
}

int Form::FontIndex(FontStyle style) {
    for (size_t i = 0; i < fonts_.size(); ++i) {
        const FontStyle& known = fonts_[i].style;
        const bool sameFace = (!known.face && !style.face) ||
                              (known.face && style.face && lstrcmpW(known.face, style.face) == 0);
        if (sameFace && known.points == style.points && known.bold == style.bold) return static_cast<int>(i);
    }
    fonts_.push_back({style, MakeFont(style)});
    return static_cast<int>(fonts_.size() - 1);
}

unique_hfont Form::MakeFont(const FontStyle& style) const {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    int points = style.points;
    if (!style.face || !points) {
        // The message font's own size, measured at the system DPI.
        const int height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
        points = height ? MulDiv(height, 72, static_cast<int>(SystemDpi())) : 9;
    }
    font.lfHeight = -PointsToPixels(points, dpi_);
    font.lfWidth = 0;
    if (style.face) lstrcpynW(font.lfFaceName, style.face, LF_FACESIZE);
    if (style.bold) font.lfWeight = FW_BOLD;
    return unique_hfont(CreateFontIndirectW(&font));
}

int Form::ToPixels(int twips) const { return TwipsToPixels(twips, dpi_); }

HWND Form::FirstTabStop() const { return GetNextDlgTabItem(hwnd_, nullptr, FALSE); }

// Sizes the window so that its client area is the form's size at its DPI; centred on its
// monitor at creation, kept in place on a DPI change.
void Form::FitWindow(const RECT* suggested) {
    RECT rect{0, 0, ToPixels(clientWidthTwips_), ToPixels(clientHeightTwips_)};
    AdjustForDpi(&rect, kFormStyle, kFormExStyle, dpi_);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    int x, y;
    if (suggested) {
        x = suggested->left;
        y = suggested->top;
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT& work = monitor.rcWork;
        x = work.left + ((work.right - work.left) - width) / 2;
        y = work.top + ((work.bottom - work.top) - height) / 2;
    }
    SetWindowPos(hwnd_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Places every control and renews the fonts at the current DPI.
void Form::LayOut() {
    // The old fonts are kept until no control uses them.
    std::vector<unique_hfont> oldFonts;
    for (FontInfo& font : fonts_) {
        oldFonts.push_back(std::move(font.font));
        font.font = MakeFont(font.style);
    }
    for (const ControlInfo& control : controls_) {
        SetWindowPos(control.hwnd, nullptr, ToPixels(control.place.left), ToPixels(control.place.top),
                     ToPixels(control.place.width), ToPixels(control.place.height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[control.font].font.get()), TRUE);
    }
}

// The window is gone: forget its controls and free what they used.
void Form::Destroyed() {
    hwnd_ = nullptr;
    controls_.clear();
    fonts_.clear();
    bitmaps_.clear();
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    Form* form = FormOf(hwnd);
    if (!form || form->hwnd_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    return form->HandleMessage(message, wParam, lParam);
}

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = hwnd_;
    switch (message) {
    case WM_ACTIVATE:
        // As a dialog does: the focus leaves with the window and comes back to the same
        // control (after a message box, say), or else to the first one.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            lastFocus_ = focus && IsChild(window, focus) ? focus : nullptr;
        } else if (!IsIconic(window)) {
            HWND target = lastFocus_ && IsChild(window, lastFocus_) && IsWindowEnabled(lastFocus_) &&
                                  IsWindowVisible(lastFocus_)
                              ? lastFocus_
                              : FirstTabStop();
            SetFocus(target ? target : window);
            return 0;
        }
        break;
    case WM_COMMAND:
        if (lParam) {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            RunProcedure([&] { Notify(id, code); });
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const ControlInfo* control = FindByWindow(reinterpret_cast<HWND>(lParam));
        auto dc = reinterpret_cast<HDC>(wParam);
        if (control && control->whiteBackground) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        SetTextColor(dc, control && control->color != CLR_INVALID ? control->color
                                                                  : GetSysColor(COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR: {
        const ControlInfo* control = FindByWindow(reinterpret_cast<HWND>(wParam));
        if (control && control->clickable && IsWindowEnabled(control->hwnd)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case 0x02E0: {  // WM_DPICHANGED
        dpi_ = HIWORD(wParam);
        FitWindow(reinterpret_cast<const RECT*>(lParam));
        LayOut();
        return 0;
    }
    case WM_CLOSE:
        RunProcedure([&] { CloseBox(); });
        return 0;
    case WM_NCDESTROY: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        Destroyed();
        return result;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool IsFormWindow(HWND hwnd) {
    wchar_t name[32];
    return GetClassNameW(hwnd, name, 32) && lstrcmpW(name, kFormClass) == 0;
}

}  // namespace ferrolin
