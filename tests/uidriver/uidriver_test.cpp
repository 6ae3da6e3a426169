// The UI driver against a small window program: finding windows and controls, reading
// and acting on them, message boxes of every icon kind, and what a timeout reports.
#include <gtest/gtest.h>

#include "test_support.h"
#include "uidriver.h"

namespace {

const DWORD kWaitMs = 10000;
const std::wstring kProbe = testing_support::WindowsPath(UIDRIVER_PROBE);

HWND ProbeWindow(const uidriver::Process& probe) {
    uidriver::WindowQuery query;
    query.caption = L"uidriver probe";
    query.class_name = L"UidriverProbe";
    query.process_id = probe.id();
    return uidriver::WaitForWindow(query, kWaitMs);
}

}  // namespace

TEST(UiDriver, ControlsReadAndAct) {
    const auto end = uidriver::EndScenarioOnExit();
    uidriver::Process probe = uidriver::Start(kProbe);
    HWND window = ProbeWindow(probe);

    HWND edit = uidriver::FindControl(window, 101);
    HWND check = uidriver::FindControlByCaption(window, L"Checked", L"Button");
    HWND apply = uidriver::FindControlByCaption(window, L"Apply");
    HWND disabled = uidriver::FindControl(window, 104);
    ASSERT_TRUE(edit && check && apply && disabled) << uidriver::Describe(uidriver::Children(window));
    EXPECT_EQ(uidriver::FindControl(window, 999), nullptr);
    EXPECT_EQ(uidriver::FindControlByCaption(window, L"Apply", L"Edit"), nullptr);

    EXPECT_EQ(uidriver::ClassName(edit), L"Edit");
    EXPECT_TRUE(uidriver::IsEnabled(apply));
    EXPECT_FALSE(uidriver::IsEnabled(disabled));
    EXPECT_TRUE(uidriver::IsVisible(disabled));

    EXPECT_FALSE(uidriver::IsChecked(check));
    uidriver::Click(check);
    EXPECT_TRUE(uidriver::IsChecked(check));
    uidriver::Click(check);
    EXPECT_FALSE(uidriver::IsChecked(check));

    // Typing, then a click whose handler has run when Click returns.
    uidriver::TypeText(edit, L" renamed \u00e9 ");
    EXPECT_EQ(uidriver::Text(edit), L" renamed \u00e9 ");
    uidriver::Click(apply);
    EXPECT_EQ(uidriver::Text(window), L" renamed \u00e9 ");

    uidriver::Close(window);
    EXPECT_EQ(probe.WaitForExit(kWaitMs), 0u);
}

TEST(UiDriver, MessageBoxes) {
    const auto end = uidriver::EndScenarioOnExit();
    const struct Case {
        const wchar_t* argument;
        uidriver::IconKind icon;
        std::vector<int> buttons;
        int press;
    } cases[] = {
        {L"error", uidriver::IconKind::Error, {IDOK}, IDOK},
        {L"question", uidriver::IconKind::Question, {IDYES, IDNO}, IDNO},
        {L"warning", uidriver::IconKind::Warning, {IDOK}, IDOK},
        {L"information", uidriver::IconKind::Information, {IDOK}, IDOK},
        {L"none", uidriver::IconKind::None, {IDOK}, IDOK},
    };
    // All probes run at once; each shows its box as soon as its button is pressed.
    std::vector<uidriver::Process> probes;
    for (const Case& c : cases) probes.push_back(uidriver::Start(kProbe, c.argument));
    for (size_t i = 0; i < probes.size(); ++i) uidriver::PostClick(uidriver::FindControl(ProbeWindow(probes[i]), 100));

    for (size_t i = 0; i < probes.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "icon " << uidriver::ToString(c.icon));
        HWND box = uidriver::WaitForMessageBox(L"probe box", probes[i].id(), kWaitMs);
        const uidriver::MessageBoxInfo info = uidriver::ReadMessageBox(box);
        EXPECT_EQ(info.title, L"probe box");
        EXPECT_EQ(info.text, L"Line one\rLine two");
        EXPECT_EQ(info.icon, c.icon);
        EXPECT_EQ(info.button_ids, c.buttons);
        uidriver::PressButton(box, c.press);
        EXPECT_EQ(probes[i].WaitForExit(kWaitMs), static_cast<DWORD>(c.press));
    }
}

TEST(UiDriver, TimeoutsReportWhatTheySaw) {
    const auto end = uidriver::EndScenarioOnExit();
    uidriver::Process probe = uidriver::Start(kProbe);
    ProbeWindow(probe);

    uidriver::WindowQuery missing;
    missing.caption = L"no such window";
    try {
        uidriver::WaitForWindow(missing, 300);
        ADD_FAILURE() << "a missing window was found";
    } catch (const uidriver::Timeout& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("no window caption \"no such window\""), std::string::npos) << what;
        EXPECT_NE(what.find("caption \"uidriver probe\""), std::string::npos) << what;
        EXPECT_NE(what.find("pid " + std::to_string(probe.id())), std::string::npos) << what;
    }
    try {
        probe.WaitForExit(300);
        ADD_FAILURE() << "the probe ended by itself";
    } catch (const uidriver::Timeout& e) {
        EXPECT_NE(std::string(e.what()).find("class \"UidriverProbe\""), std::string::npos) << e.what();
    }
    EXPECT_THROW(uidriver::Start(L"Z:\\no\\such\\program.exe"), uidriver::Error);

    // What is left of the scenario ends with it.
    EXPECT_EQ(uidriver::EndScenario(), 1);
    EXPECT_FALSE(probe.running());
    EXPECT_EQ(probe.WaitForExit(0), 0xDEADu);
}

TEST(UiDriver, Geometry) {
    const struct {
        int twips, dpi, pixels;
    } cases[] = {{1440, 96, 96}, {5220, 96, 348}, {930, 96, 62}, {2000, 96, 133}, {5220, 120, 435}, {930, 144, 93}};
    for (const auto& c : cases)
        EXPECT_EQ(uidriver::TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi << " dpi";
    EXPECT_GT(uidriver::ScreenDpiX(), 0);

    EXPECT_EQ(testing_support::WindowsPath("/work/b/x.exe"), L"Z:\\work\\b\\x.exe");
    EXPECT_EQ(testing_support::WindowsPath("C:/b/x.exe"), L"C:\\b\\x.exe");

    const auto end = uidriver::EndScenarioOnExit();
    uidriver::Process probe = uidriver::Start(kProbe);
    HWND window = ProbeWindow(probe);
    const RECT r = uidriver::WindowRect(window);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right - r.left, 300);
    const SIZE client = uidriver::ClientSize(window);
    EXPECT_GT(client.cx, 0);
    EXPECT_LE(client.cx, 300);
}
