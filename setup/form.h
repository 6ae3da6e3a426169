// The window layer of the setup program: a form with the behaviour of a VB form.
//
// - A form is created on first reference: reading or setting one of its controls, or
//   asking for its window, creates it hidden, with every control in its initial state.
// - Unload destroys the window; the contents of its controls are lost, and the next
//   reference creates the form afresh.
// - Show shows the form; shown modally it runs a message loop of its own that returns
//   when the form is hidden or unloaded, so modal pages nest inside each other's handlers.
//   While it runs, the program's other windows are disabled.
// - Positions and sizes are in twips, converted at the window's DPI (twips * dpi / 1440).
// - An error that leaves an event handler unhandled stops the program with its message.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "handles.h"

namespace ferrolin {

// VB's vbNormal and vbMinimized.
enum class FormWindowState { Normal = 0, Minimized = 1 };

// A control's place in the client area, in twips.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// What a control is, recorded when the form creates it; the keyboard handling goes by it.
enum class ControlKind { PushButton, CheckBox, Label, TextBox, List, DropDownList, Picture, Icon, Frame, Line };

// A control's font: face name, size in points, weight. A null face is the system's
// message font at its own size.
struct FontStyle {
    const wchar_t* face;
    int points;
    bool bold;
};

class Form {
public:
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const wchar_t* Caption() const noexcept { return caption_; }
    // The keys a wizard is used with that the system's dialog navigation does not give a
    // plain window: Tab and Shift+Tab move the focus in the layout's order, Enter presses the
    // focused push button or opens the selected item of a list, Escape goes to Escape(). An
    // open drop-down list keeps Esc and Enter. True when the key was taken.
    bool KeyDown(UINT key);
    bool IsLoaded() const noexcept { return hwnd_ != nullptr; }
    // The window; creates the form when it is not loaded.
    HWND hwnd();

    void Load();
    void Unload();
    // Shows the form (modal: returns only when it is hidden or unloaded).
    void Show(bool modal = false);
    void Hide();
    void Refresh();
    FormWindowState WindowState();
    void SetWindowState(FormWindowState state);

    // The controls, by their IDs (controls.h). Each of these creates the form when it is
    // not loaded.
    HWND Control(int id);
    std::wstring Text(int id);
    void SetText(int id, const std::wstring& text);
    bool Enabled(int id);
    void SetEnabled(int id, bool enabled);
    bool Visible(int id);
    void SetVisible(int id, bool visible);
    // A check box's value: checked or not.
    bool Value(int id);
    void SetValue(int id, bool checked);

protected:
    Form(const wchar_t* caption, int clientWidthTwips, int clientHeightTwips);
    ~Form() = default;

    // Builds the controls in their initial state; runs at every creation.
    virtual void CreateControls() = 0;
    // A control reported something (WM_COMMAND); clicks go on to Click.
    virtual void Notify(int id, int code);
    // A button, check box or clickable picture was clicked.
    virtual void Click(int id);
    // The window's close box. As in VB, it unloads the form.
    virtual void CloseBox();
    // Escape pressed in the form; nothing by default.
    virtual void Escape();

    // Control builders for CreateControls.
    void AddButton(int id, const wchar_t* caption, TwipsRect place, bool enabled = true);
    void AddLabel(int id, const wchar_t* caption, TwipsRect place, bool visible = true,
                  FontStyle font = {}, COLORREF color = CLR_INVALID);
    void AddCheckBox(int id, const wchar_t* caption, TwipsRect place, FontStyle font = {});
    void AddTextBox(int id, const wchar_t* text, TwipsRect place, bool multiLine = false);
    void AddPicture(int id, int bitmapId, TwipsRect place, bool clickable = false);
    void AddIcon(int id, int iconId, TwipsRect place);
    // A frame is drawn below the controls placed inside it.
    void AddFrame(int id, const wchar_t* caption, TwipsRect place);
    void AddLine(int id, TwipsRect place);
    // Any control, of its kind's window class, with the styles the builder chooses.
    HWND AddControl(int id, ControlKind kind, const wchar_t* text, DWORD style, DWORD exStyle,
                    TwipsRect place, FontStyle font);
    // The control is drawn in the system's window background and window text colours.
    void UseWindowColours(int id);

private:
    struct ControlInfo {
        int id;
        HWND hwnd;
        ControlKind kind;
        TwipsRect place;
        int font;  // index into fonts_
        COLORREF color;
        bool whiteBackground;
        bool clickable;
    };
    struct FontInfo {
        FontStyle style;
        unique_hfont font;
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    const ControlInfo* Find(int id) const;
    const ControlInfo* FindByWindow(HWND hwnd) const;
    int FontIndex(FontStyle style);
    unique_hfont MakeFont(const FontStyle& style) const;
    int ToPixels(int twips) const;
    HWND FirstTabStop() const;
    void FitWindow(const RECT* suggested);
    void LayOut();
    void Destroyed();

    const wchar_t* caption_;
    int clientWidthTwips_;
    int clientHeightTwips_;
    HWND hwnd_ = nullptr;
    HWND lastFocus_ = nullptr;  // the control that had the focus when the window was left
    UINT dpi_ = 96;
    unsigned long loadSerial_ = 0;
    FormWindowState hiddenState_ = FormWindowState::Normal;
    std::vector<ControlInfo> controls_;
    std::vector<FontInfo> fonts_;
    std::vector<unique_hbitmap> bitmaps_;
};

// Whether a window, of this process or another, is a form of setup's.
bool IsFormWindow(HWND hwnd);

}  // namespace ferrolin
