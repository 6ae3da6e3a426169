// The wizard windows as the user meets them: each one shown by the test host in a process
// of its own and read through the UI driver: caption, client area at the screen's DPI,
// every control with its text, kind, enabled and visible state, and nothing else.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "controls.h"
#include "names.h"
#include "setup_host.h"
#include "test_support.h"
#include "uidriver.h"

namespace {

using namespace ferrolin;

const DWORD kWaitMs = 15000;
const std::wstring kHost = testing_support::WindowsPath(SETUP_HOST);

enum Kind { Button, CheckBox, Frame, Label, Picture, Icon, Line, TextBox };

struct ControlCase {
    int id;
    const char* name;
    Kind kind;
    const wchar_t* text;  // nullptr: not compared (pictures, lines)
    bool enabled;
    bool visible;
};

struct FormCase {
    const char* name;
    const wchar_t* caption;
    int widthTwips;
    int heightTwips;
    std::vector<ControlCase> controls;
};

const std::vector<FormCase>& Forms() {
    static const std::vector<FormCase> forms = {
        {"frmWizard4", L"Wizard Install  - Step 2 of 4 ", 9360, 7590,
         {
             {ctl::Picture1, "Picture1", Picture, nullptr, true, true},
             {ctl::Label1, "Label1", Label, L"Ferrolin", true, true},
             {ctl::lblAdd, "lblAdd", Label, L"Starting installation process.............", true, true},
             {ctl::Label2, "Label2", Label, L"Conditions for Use - Huebrook 1.0", true, true},
             {ctl::Text1, "Text1", TextBox, kConditionsOfUse, true, true},
             {ctl::chkOk, "chkOk", CheckBox, L"I agree with the above terms and conditions", true, true},
             {ctl::pLink1, "pLink1", Picture, nullptr, true, true},
             {ctl::pLink2, "pLink2", Picture, nullptr, true, true},
             {ctl::Frame1, "Frame1", Frame, L"", true, true},
             {ctl::pLink3, "pLink3", Picture, nullptr, true, true},
             {ctl::Image1, "Image1", Icon, nullptr, true, true},
             {ctl::Line1, "Line1", Line, nullptr, true, true},
             {ctl::Back, "Command3", Button, L"<< Back", false, true},
             {ctl::Next, "Command2", Button, L"Next >>", false, true},
             {ctl::Abort, "Command1", Button, L"Abort", true, true},
         }},
        {"frmWizard1", L"Wizard Install  - Step 3 of 4", 6960, 3135,
         {
             {ctl::Frame1, "Frame1", Frame, L"", true, true},
             {ctl::Picture1, "Picture1", Picture, nullptr, true, true},
             {ctl::Label1, "Label1", Label, L" Where do you like to install Ferrolin:", true, true},
             {ctl::txtPathdefault, "txtPathdefault", TextBox, L"", true, true},
             {ctl::Browse, "Command4", Button, L"Browse....", true, true},
             {ctl::lblCopy, "lblCopy", Label, L"Copying file of Installation............", true, false},
             {ctl::Image1, "Image1", Icon, nullptr, true, true},
             {ctl::Line1, "Line1", Line, nullptr, true, true},
             {ctl::Abort, "Command1", Button, L"Abort", false, true},
             {ctl::Back, "Command3", Button, L"<< Back", true, true},
             {ctl::Next, "Command2", Button, L"Next >>     ", true, true},
         }},
        {"frmWizard2", L"Wizard Install  - Step 4 of 4 ", 6135, 3270,
         {
             {ctl::Picture1, "Picture1", Picture, nullptr, true, true},
             {ctl::Frame1, "Frame1", Frame, L"", true, true},
             {ctl::Image1, "Image1", Icon, nullptr, true, true},
             {ctl::Line1, "Line1", Line, nullptr, true, true},
             {ctl::lblAdd, "lblAdd", Label, L"Add to Microsoft Excel the Add-in ...", true, false},
             {ctl::lblDelete, "lblDelete", Label, L"Delete files copy.......", true, false},
             {ctl::Abort, "Command1", Button, L"Abort", false, true},
             {ctl::Back, "Command3", Button, L"<< Back", false, true},
             {ctl::Next, "Command2", Button, L"End", true, true},
         }},
        {"frmEnd", L"Finishing Installation ...", 5655, 3030,
         {
             {ctl::Frame1, "Frame1", Frame, L"", true, true},
             {ctl::Image1, "Image1", Picture, nullptr, true, true},
             {ctl::Label1, "Label1", Label, L"Succesfully installation Ferrolin", true, true},
             {ctl::Image2, "Image2", Picture, nullptr, true, true},
             {ctl::Line1, "Line1", Line, nullptr, true, true},
         }},
    };
    return forms;
}

// The kind of a control as the system sees it: its class and style.
void ExpectKind(HWND control, Kind kind) {
    const std::wstring cls = uidriver::ClassName(control);
    const LONG style = uidriver::Style(control);
    const LONG type = style & 0x1F;  // SS_TYPEMASK; BS_TYPEMASK is 0x0F
    switch (kind) {
    case Button:
        EXPECT_EQ(cls, L"Button");
        EXPECT_EQ(style & 0x0F, BS_PUSHBUTTON);
        break;
    case CheckBox:
        EXPECT_EQ(cls, L"Button");
        EXPECT_EQ(style & 0x0F, BS_AUTOCHECKBOX);
        EXPECT_FALSE(uidriver::IsChecked(control)) << "checked at creation";
        break;
    case Frame:
        EXPECT_EQ(cls, L"Button");
        EXPECT_EQ(style & 0x0F, BS_GROUPBOX);
        break;
    case Label:
        EXPECT_EQ(cls, L"Static");
        EXPECT_EQ(type, SS_LEFT);
        break;
    case Picture:
        EXPECT_EQ(cls, L"Static");
        EXPECT_EQ(type, SS_BITMAP);
        EXPECT_NE(SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no picture";
        break;
    case Icon:
        EXPECT_EQ(cls, L"Static");
        EXPECT_EQ(type, SS_ICON);
        EXPECT_NE(SendMessageW(control, STM_GETICON, 0, 0), 0) << "no icon";
        break;
    case Line:
        EXPECT_EQ(cls, L"Static");
        EXPECT_EQ(type, SS_ETCHEDHORZ);
        break;
    case TextBox:
        EXPECT_EQ(cls, L"Edit");
        break;
    }
}

}  // namespace

TEST(WizardWindows, InitialState) {
    const int dpi = uidriver::ScreenDpiX();
    for (const FormCase& form : Forms()) {
        SCOPED_TRACE(form.name);
        uidriver::Process host = uidriver::Start(kHost, std::wstring(L"show ") +
                                                            std::wstring(form.name, form.name + strlen(form.name)));
        HWND window = uidriver::WaitForWindow({form.caption, L"FerrolinForm", host.id()}, kWaitMs);
        EXPECT_EQ(uidriver::Text(window), form.caption);
        EXPECT_TRUE(uidriver::IsVisible(window));
        const SIZE client = uidriver::ClientSize(window);
        EXPECT_EQ(client.cx, uidriver::TwipsToPixels(form.widthTwips, dpi)) << "client width at " << dpi << " dpi";
        EXPECT_EQ(client.cy, uidriver::TwipsToPixels(form.heightTwips, dpi)) << "client height at " << dpi << " dpi";

        const std::vector<uidriver::WindowInfo> children = uidriver::Children(window);
        EXPECT_EQ(children.size(), form.controls.size()) << uidriver::Describe(children);
        for (const ControlCase& c : form.controls) {
            SCOPED_TRACE(c.name);
            HWND control = uidriver::FindControl(window, c.id);
            ASSERT_NE(control, nullptr) << "missing; the window has:\n" << uidriver::Describe(children);
            EXPECT_EQ(GetParent(control), window) << "not a control of the window itself";
            ExpectKind(control, c.kind);
            if (c.text) {
                EXPECT_EQ(uidriver::Text(control), c.text) << testing_support::Narrow(uidriver::Text(control));
            }
            EXPECT_EQ(uidriver::IsEnabled(control), c.enabled);
            EXPECT_EQ((uidriver::Style(control) & WS_VISIBLE) != 0, c.visible);
            // Every control lies inside the client area.
            RECT r = uidriver::WindowRect(control);
            MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.cx && r.bottom <= client.cy)
                << "placed at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
        }
        // Hiding the page ends its modal show (the pages' close boxes belong to the navigation).
        ShowWindow(window, SW_HIDE);
        PostMessageW(window, WM_NULL, 0, 0);  // wakes the page's loop to notice
        EXPECT_EQ(host.WaitForExit(kWaitMs), setup_host::kExitReturned);
    }
    uidriver::EndScenario();
}
