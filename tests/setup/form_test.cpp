// The window layer inside one process: creation on first reference, unload, modal shows
// that return when their page is hidden or unloaded and nest inside each other, the window
// state of a hidden form, the failure-recording helper, and the application manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "controls.h"
#include "frmEnd.h"
#include "frmWizard1.h"
#include "frmWizard2.h"
#include "frmWizard4.h"
#include "program.h"
#include "resource.h"
#include "run_state.h"

using namespace ferrolin;

namespace {

struct NamedForm {
    const char* name;
    Form* form;
};
const NamedForm kForms[] = {
    {"frmWizard4", &frmWizard4},
    {"frmWizard1", &frmWizard1},
    {"frmWizard2", &frmWizard2},
    {"frmEnd", &frmEnd},
};

void UnloadAll() {
    for (const NamedForm& f : kForms) f.form->Unload();
}

// Actions run from inside whatever message loop is running, after a delay.
std::map<UINT_PTR, std::function<void()>>& Pending() {
    static std::map<UINT_PTR, std::function<void()>> pending;
    return pending;
}

void CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto it = Pending().find(id);
    if (it == Pending().end()) return;
    std::function<void()> action = std::move(it->second);
    Pending().erase(it);
    action();
}

void Later(UINT ms, std::function<void()> action) {
    const UINT_PTR id = SetTimer(nullptr, 0, ms, &RunPending);
    Pending()[id] = std::move(action);
}

// Ends every modal show after a while, so a faulty loop fails the test instead of hanging.
class Watchdog {
public:
    Watchdog() {
        Later(8000, [this] {
            fired_ = true;
            UnloadAll();
        });
    }
    ~Watchdog() {
        for (auto it = Pending().begin(); it != Pending().end();) {
            KillTimer(nullptr, it->first);
            it = Pending().erase(it);
        }
        UnloadAll();
    }
    bool fired() const { return fired_; }

private:
    bool fired_ = false;
};

}  // namespace

TEST(FormLayer, CreatedHiddenOnFirstReference) {
    UnloadAll();
    for (const NamedForm& f : kForms) {
        SCOPED_TRACE(f.name);
        EXPECT_FALSE(f.form->IsLoaded());
        // Reading a control's property creates the form, without showing it.
        EXPECT_TRUE(f.form->Visible(ctl::Line1));
        ASSERT_TRUE(f.form->IsLoaded());
        EXPECT_FALSE(IsWindowVisible(f.form->hwnd()));
        wchar_t caption[64] = {};
        GetWindowTextW(f.form->hwnd(), caption, 64);
        EXPECT_STREQ(caption, f.form->Caption());
        f.form->Unload();
        EXPECT_FALSE(f.form->IsLoaded());
    }
    // Setting a control creates it too, and the setting stays while the form is loaded.
    frmWizard1.SetText(ctl::txtPathdefault, L"C:\\Ferrolin");
    EXPECT_TRUE(frmWizard1.IsLoaded());
    EXPECT_FALSE(IsWindowVisible(frmWizard1.hwnd()));
    EXPECT_EQ(frmWizard1.Text(ctl::txtPathdefault), L"C:\\Ferrolin");
    UnloadAll();
}

TEST(FormLayer, UnloadLosesContents) {
    struct Case {
        const char* name;
        Form* form;
        std::function<void(Form&)> change;
        std::function<bool(Form&)> initial;
    };
    const Case cases[] = {
        {"frmWizard1 txtPathdefault", &frmWizard1,
         [](Form& f) { f.SetText(ctl::txtPathdefault, L"D:\\ADDINS"); },
         [](Form& f) { return f.Text(ctl::txtPathdefault).empty(); }},
        {"frmWizard1 lblCopy", &frmWizard1, [](Form& f) { f.SetVisible(ctl::lblCopy, true); },
         [](Form& f) { return !f.Visible(ctl::lblCopy); }},
        {"frmWizard4 chkOk", &frmWizard4, [](Form& f) { f.SetValue(ctl::chkOk, true); },
         [](Form& f) { return !f.Value(ctl::chkOk); }},
        {"frmWizard4 Command2", &frmWizard4, [](Form& f) { f.SetEnabled(ctl::Next, true); },
         [](Form& f) { return !f.Enabled(ctl::Next); }},
        {"frmWizard2 lblAdd", &frmWizard2, [](Form& f) { f.SetVisible(ctl::lblAdd, true); },
         [](Form& f) { return !f.Visible(ctl::lblAdd); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.form->Unload();
        ASSERT_TRUE(c.initial(*c.form)) << "not in its initial state when created";
        c.change(*c.form);
        EXPECT_FALSE(c.initial(*c.form)) << "the change did not take";
        // Hiding keeps the contents; unloading loses them.
        c.form->Hide();
        EXPECT_FALSE(c.initial(*c.form)) << "hiding lost the change";
        c.form->Unload();
        EXPECT_TRUE(c.initial(*c.form)) << "a form created afresh kept the change";
    }
    UnloadAll();
}

TEST(FormLayer, ModalShowReturnsWhenHiddenOrUnloaded) {
    struct Case {
        const char* name;
        std::function<void()> leave;
        bool loadedAfter;
    };
    const Case cases[] = {
        {"Hide", [] { frmWizard2.Hide(); }, true},
        {"Unload", [] { frmWizard2.Unload(); }, false},
        // The add-in page's close box does nothing (its Abort is disabled): still loaded.
        {"close box, then Hide",
         [] {
             SendMessageW(frmWizard2.hwnd(), WM_CLOSE, 0, 0);
             frmWizard2.Hide();
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Watchdog watchdog;
        bool shownWhileRunning = false;
        Later(50, [&] {
            shownWhileRunning = IsWindowVisible(frmWizard2.hwnd()) != FALSE;
            c.leave();
        });
        frmWizard2.Show(true);
        EXPECT_FALSE(watchdog.fired()) << "the modal show did not return by itself";
        EXPECT_TRUE(shownWhileRunning);
        EXPECT_EQ(frmWizard2.IsLoaded(), c.loadedAfter);
    }
}

TEST(FormLayer, ModalPagesNest) {
    Watchdog watchdog;
    std::vector<std::string> events;
    bool termsDisabledUnderDestination = false;
    bool termsEnabledAfter = false;

    // The terms page shows the destination page from inside its own modal show; the
    // destination page's handler unloads it, and the terms page's handler goes on.
    Later(50, [&] {
        events.push_back("terms running");
        Later(50, [&] {
            events.push_back("destination running");
            termsDisabledUnderDestination = !IsWindowEnabled(frmWizard4.hwnd());
            frmWizard1.Unload();
        });
        frmWizard1.Show(true);
        events.push_back("destination returned");
        termsEnabledAfter = IsWindowEnabled(frmWizard4.hwnd()) != FALSE;
        frmWizard4.Hide();
    });
    frmWizard4.Show(true);
    events.push_back("terms returned");

    EXPECT_FALSE(watchdog.fired());
    const std::vector<std::string> expected = {"terms running", "destination running",
                                               "destination returned", "terms returned"};
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(termsDisabledUnderDestination) << "the page below a modal page stayed enabled";
    EXPECT_TRUE(termsEnabledAfter) << "the page below was not enabled again";
}

TEST(FormLayer, PageCreatedAfreshInsideItsOwnShowEndsTheOuterShow) {
    // As Back does: the page is unloaded and a fresh one shown modally inside the handler
    // of the first. When the fresh page is merely hidden, the first show must still end:
    // the window it was showing is gone.
    Watchdog watchdog;
    bool innerFresh = false;
    Later(50, [&] {
        frmWizard4.SetValue(ctl::chkOk, true);
        frmWizard4.Unload();
        Later(50, [&] {
            innerFresh = !frmWizard4.Value(ctl::chkOk);
            frmWizard4.Hide();
        });
        frmWizard4.Show(true);
    });
    frmWizard4.Show(true);
    EXPECT_FALSE(watchdog.fired()) << "the outer show went on after its page was unloaded";
    EXPECT_TRUE(innerFresh);
    EXPECT_TRUE(frmWizard4.IsLoaded());
    EXPECT_FALSE(IsWindowVisible(frmWizard4.hwnd()));
    UnloadAll();
}

TEST(FormLayer, WindowStateOfHiddenAndShownForm) {
    UnloadAll();
    // Setting the state loads the form without showing it; it comes up in that state.
    frmEnd.SetWindowState(FormWindowState::Minimized);
    ASSERT_TRUE(frmEnd.IsLoaded());
    EXPECT_FALSE(IsWindowVisible(frmEnd.hwnd()));
    EXPECT_EQ(frmEnd.WindowState(), FormWindowState::Minimized);
    frmEnd.Show(false);
    EXPECT_TRUE(IsWindowVisible(frmEnd.hwnd()));
    EXPECT_TRUE(IsIconic(frmEnd.hwnd()));
    // Hiding keeps the state, and so does a second show.
    frmEnd.Hide();
    EXPECT_EQ(frmEnd.WindowState(), FormWindowState::Minimized);
    frmEnd.Show(false);
    EXPECT_TRUE(IsIconic(frmEnd.hwnd()));
    frmEnd.SetWindowState(FormWindowState::Normal);
    EXPECT_FALSE(IsIconic(frmEnd.hwnd()));
    EXPECT_EQ(frmEnd.WindowState(), FormWindowState::Normal);
    frmEnd.SetWindowState(FormWindowState::Minimized);
    // Created afresh, a form is in the normal state.
    frmEnd.Unload();
    EXPECT_EQ(frmEnd.WindowState(), FormWindowState::Normal);
    frmEnd.Show(false);
    EXPECT_FALSE(IsIconic(frmEnd.hwnd()));
    frmEnd.Refresh();
    UnloadAll();
}

TEST(FormLayer, ExitInstallReportsTheRunState) {
    UnloadAll();
    const bool saved = blnExitInstall;
    blnExitInstall = false;
    EXPECT_FALSE(frmWizard1.Exit_Install()) << "before any Next";
    blnExitInstall = true;
    EXPECT_TRUE(frmWizard1.Exit_Install()) << "after a Next that stopped";
    // The flag belongs to the run, not to the page: unloading does not clear it.
    frmWizard1.Unload();
    EXPECT_TRUE(frmWizard1.Exit_Install()) << "after an unload";
    blnExitInstall = saved;
}

TEST(FailuresRecorded, KeepsTheLastFailureUntilStopped) {
    FailuresRecorded failures;
    EXPECT_FALSE(failures.Pending());
    int ran = 0;
    failures.Run([&] { ++ran; });
    EXPECT_FALSE(failures.Pending()) << "a step that succeeded";
    failures.Run([&] { throw VbError(1004, L"first"); });
    failures.Run([&] { ++ran; });
    ASSERT_TRUE(failures.Pending()) << "a later success must not forget the failure";
    EXPECT_EQ(failures.Error().number(), 1004);
    failures.Run([&] { throw VbError::ObjectNotSet(); });
    EXPECT_EQ(failures.Error().number(), 91) << "the last failure is the pending one";
    // Whatever a step throws is recorded: no exception leaves the mode.
    failures.Run([&] { throw std::bad_alloc(); });
    EXPECT_EQ(failures.Error().number(), 7);
    failures.Run([&] { throw std::runtime_error("not a VB error"); });
    EXPECT_EQ(failures.Error().number(), 51);
    EXPECT_TRUE(failures.Error().description() == L"Internal error");
    EXPECT_EQ(ran, 2);
    failures.Stop();
    EXPECT_FALSE(failures.Pending()) << "leaving the mode forgets the failure";
}

TEST(Manifest, CommonControls6DpiAwarenessAndElevation) {
    // The test program embeds setup's manifest, as the host and setup.exe do.
    // The common controls come from the side-by-side assembly of version 6, not from the
    // system folder's version 5.
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(comctl, path, MAX_PATH);
    std::wstring loaded = path;
    for (wchar_t& c : loaded) c = static_cast<wchar_t>(towlower(c));
    EXPECT_NE(loaded.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."), std::wstring::npos)
        << "common controls 6 not active: " << std::string(loaded.begin(), loaded.end());

    EXPECT_TRUE(IsProcessDPIAware()) << "the process is not DPI aware";

    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(resource, nullptr) << "no manifest resource";
    const char* text = static_cast<const char*>(LockResource(LoadResource(nullptr, resource)));
    const std::string manifest(text, SizeofResource(nullptr, resource));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
}

TEST(Pictures, LoadAsDrawn) {
    // Size and a few pixels of each picture as the program loads it: a bitmap whose pixels
    // are read from the wrong place shows up as wrong colours at the corners.
    struct Pixel {
        int x, y;
        COLORREF colour;
    };
    const struct {
        const char* name;
        int id;
        int width, height;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"banner", IDB_BANNER, 624, 64, {{0, 0, RGB(31, 58, 104)}, {0, 63, RGB(224, 123, 26)}, {623, 63, RGB(224, 123, 26)}}},
        {"small banner", IDB_BANNER_SMALL, 409, 48, {{0, 0, RGB(31, 58, 104)}, {408, 47, RGB(224, 123, 26)}}},
        {"side", IDB_SIDE, 96, 112, {{0, 0, RGB(220, 232, 242)}, {95, 111, RGB(31, 58, 104)}}},
        {"web link", IDB_LINK_WEB, 32, 32, {{0, 0, RGB(240, 240, 240)}, {31, 31, RGB(240, 240, 240)}}},
        {"mail link", IDB_LINK_MAIL, 32, 32, {{0, 0, RGB(240, 240, 240)}, {16, 12, RGB(255, 255, 255)}}},
        {"finish", IDB_FINISH, 64, 64, {{0, 0, RGB(240, 240, 240)}, {63, 0, RGB(240, 240, 240)}}},
        {"mark", IDB_MARK, 32, 32, {{0, 0, RGB(240, 240, 240)}, {16, 4, RGB(31, 58, 104)}}},
    };
    HDC dc = CreateCompatibleDC(nullptr);
    for (const auto& c : cases) {
        auto bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.id),
                                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bitmap, nullptr) << c.name;
        BITMAP info{};
        GetObjectW(bitmap, sizeof(info), &info);
        EXPECT_EQ(info.bmWidth, c.width) << c.name;
        EXPECT_EQ(info.bmHeight, c.height) << c.name;
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (const Pixel& p : c.pixels) {
            const COLORREF got = GetPixel(dc, p.x, p.y);
            const int difference = abs(GetRValue(got) - GetRValue(p.colour)) + abs(GetGValue(got) - GetGValue(p.colour)) +
                                   abs(GetBValue(got) - GetBValue(p.colour));
            EXPECT_LE(difference, 24) << c.name << " at " << p.x << "," << p.y << ": " << std::hex << got;
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
}
