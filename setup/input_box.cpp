#include "input_box.h"

#include <windows.h>

#include "form.h"

namespace ferrolin {

namespace {

enum : int { kPrompt = 1101, kText = 1102 };

class FrmInputBox : public Form {
public:
    FrmInputBox(const wchar_t* title, std::wstring prompt, std::wstring defaultText)
        : Form(title, 5880, 1740), prompt_(std::move(prompt)), defaultText_(std::move(defaultText)) {}
    ~FrmInputBox() { Unload(); }

    const std::wstring& Result() const { return result_; }

protected:
    void CreateControls() override {
        // The text comes first in the tab order, so the caret is there when the box opens,
        // then OK and Cancel; Enter reaches OK through its standard ID.
        AddLabel(kPrompt, prompt_.c_str(), {120, 120, 4320, 840});
        AddTextBox(kText, defaultText_.c_str(), {120, 1200, 5640, 345});
        AddButton(IDOK, L"OK", {4560, 120, 1200, 360});
        AddButton(IDCANCEL, L"Cancel", {4560, 540, 1200, 360});
        SendMessageW(Control(kText), EM_SETSEL, 0, -1);
    }
    void Escape() override { Click(IDCANCEL); }
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
