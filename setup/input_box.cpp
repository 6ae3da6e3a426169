#include "input_box.h"

#include <windows.h>

#include "form.h"

namespace ferrolin {

namespace {

enum : int { kPrompt = 1101, kText = 1102 };
// Posted to the box at its creation, handled once it is shown: the caret goes into the text.
constexpr int kFocusText = 0x7FFF;

class FrmInputBox : public Form {
public:
    FrmInputBox(const wchar_t* title, std::wstring prompt, std::wstring defaultText)
        : Form(title, 5880, 1740), prompt_(std::move(prompt)), defaultText_(std::move(defaultText)) {}
    ~FrmInputBox() { Unload(); }

    const std::wstring& Result() const { return result_; }

protected:
    void CreateControls() override {
        AddLabel(kPrompt, prompt_.c_str(), {120, 120, 4320, 840});
        // Enter and Escape reach the buttons through their standard IDs.
        AddButton(IDOK, L"OK", {4560, 120, 1200, 360});
        AddButton(IDCANCEL, L"Cancel", {4560, 540, 1200, 360});
        AddTextBox(kText, defaultText_.c_str(), {120, 1200, 5640, 345});
        HWND edit = Control(kText);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(kText, kFocusText), reinterpret_cast<LPARAM>(edit));
    }
    void Notify(int id, int code) override {
        if (id == kText && code == kFocusText) {
            SetFocus(Control(kText));
            return;
        }
        Form::Notify(id, code);
    }
    void Click(int id) override {
        if (id == IDOK) result_ = Text(kText);
        if (id == IDOK || id == IDCANCEL) Unload();
    }

private:
    std::wstring prompt_;
    std::wstring defaultText_;
    std::wstring result_;
};

}  // namespace

std::wstring InputBox(const std::wstring& prompt, const wchar_t* title, const std::wstring& defaultText) {
    FrmInputBox box(title, prompt, defaultText);
    box.Show(true);
    return box.Result();
}

}  // namespace ferrolin
