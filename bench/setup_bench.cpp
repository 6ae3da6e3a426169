// Setup benchmark (run by scripts/bench-setup.sh, never by ctest):
// 1. the ordinary road end to end, driven like the end-to-end tests, split into setup's
//    own work (its process's CPU time) and the Excel stand-in's start-ups (their count in
//    the stand-in's log times the measured cost of one start-up);
// 2. the add-in copy (prcCopyAddin) of a 64 MB workbook against a bare CopyFileW.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "controls.h"
#include "deploy.h"
#include "excel_standin.h"
#include "handles.h"
#include "install_e2e.h"
#include "names.h"

using namespace install_e2e;
namespace ctl = ferrolin::ctl;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double CpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    auto value = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

// One start-up of the stand-in: creation, a call, release (the instance ends at release).
double StandInStartup() {
    ferrolin::com_apartment apartment;
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        IDispatch* excel = nullptr;
        CLSID clsid = excel_standin::kClsidApplication;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&excel))))
            return -1;
        excel->Release();
        times.push_back(Seconds(Clock::now() - start));
        Sleep(300);
    }
    return Median(times);
}

void OrdinaryRoad() {
    const std::wstring scratch = FreshFolder(L"FerrolinBench");
    const std::wstring library = Join(scratch, L"AddIns");
    CreateDirectoryW(library.c_str(), nullptr);
    const std::wstring log = Join(scratch, L"excel.log");
    if (!RegisterStandIn()) {
        std::printf("the stand-in could not be registered\n");
        return;
    }
    const double startup = StandInStartup();

    std::vector<double> totals, own, excel, firstWindow, termsPage;
    for (int run = 0; run < 3; ++run) {
        CloseExcelWindows();
        for (const DeployedFile& file : DeployedFiles()) RemoveFile(InstalledPath(file));
        RegDeleteTreeW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
        ClearFixtureRegistrations();
        DeleteFileW(log.c_str());
        ResetStandIn(library, log);

        const auto start = Clock::now();
        SetupRun setup = StartSetup(DistFolder());
        // The first window the user sees: "Ferrolin 1.1", the installation being prepared.
        for (bool shown = false; !shown && Seconds(Clock::now() - start) < 30;) {
            for (const uidriver::WindowInfo& window : uidriver::TopLevelWindows(setup.id()))
                shown = shown || (window.visible && window.caption == ferrolin::kProductTitle);
            if (!shown) Sleep(10);
        }
        firstWindow.push_back(Seconds(Clock::now() - start));
        HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
        termsPage.push_back(Seconds(Clock::now() - start));
        uidriver::Click(ControlOf(terms, ctl::chkOk));
        uidriver::PostClick(ControlOf(terms, ctl::Command2));
        uidriver::PostClick(ControlOf(WaitPage(setup, ferrolin::kCaptionDestination), ctl::Command2));
        uidriver::PostClick(ControlOf(WaitPage(setup, ferrolin::kCaptionAddin), ctl::Command2));
        uidriver::PressButton(WaitMessage(setup, ferrolin::kProductName).hwnd, IDOK);
        setup.process.WaitForExit(kExitMs);
        const double total = Seconds(Clock::now() - start);

        size_t starts = 0;
        for (const std::wstring& line : LogLines(log))
            if (line.find(L" Start ") != std::wstring::npos) ++starts;
        totals.push_back(total);
        own.push_back(CpuSeconds(setup.process.handle()));
        excel.push_back(static_cast<double>(starts) * startup);
        std::printf("  run %d: %.2f s end to end, setup's own work %.3f s, %zu Excel start-ups\n", run + 1, total,
                    own.back(), starts);
    }
    CloseExcelWindows();
    RegDeleteTreeW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, ferrolin::kRecordParentKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, excel_standin::kKnobKey);
    RemoveTree(scratch);

    const double total = Median(totals);
    std::printf("Ordinary road (median of 3): %.2f s end to end\n", total);
    std::printf("  setup's first window after %.3f s (median; target at most 0.5 s)\n", Median(firstWindow));
    std::printf("  the terms page after %.2f s (median)\n", Median(termsPage));
    std::printf("  Excel stand-in start-ups: %.2f s (%.0f%%), one start-up %.3f s\n", Median(excel),
                100 * Median(excel) / total, startup);
    std::printf("  setup's own work (CPU): %.3f s (%.1f%%, target <= 10%%)\n", Median(own), 100 * Median(own) / total);
    std::printf("  the rest: the registrars, the UI driver's polling and Wine's window traffic\n");
}

void AddinCopy() {
    const size_t size = 64u << 20;
    const std::wstring workbook = ferrolin::SourceFile(ferrolin::kSourceWorkbook);
    const std::wstring help = ferrolin::SourceFile(ferrolin::kSourceHelp);
    {
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
        HANDLE file = CreateFileW(workbook.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        for (size_t done = 0; done < size; done += block.size())
            WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
        CloseHandle(file);
        file = CreateFileW(help.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        WriteFile(file, "help", 4, &written, nullptr);
        CloseHandle(file);
    }
    const std::wstring target = FreshFolder(L"FerrolinBenchCopy");
    const std::wstring bare = Join(target, L"bare.xla");
    const std::wstring bareHelp = Join(target, L"bare.chm");
    std::vector<double> addin, copy;
    for (int i = 0; i < 15; ++i) {
        // Each copy writes a new file, as an installation does; the order alternates.
        DeleteFileW(Join(target, std::wstring(ferrolin::kProductTitle) + ferrolin::kWorkbookExt).c_str());
        DeleteFileW(Join(target, std::wstring(ferrolin::kProductTitle) + ferrolin::kHelpExt).c_str());
        DeleteFileW(bare.c_str());
        DeleteFileW(bareHelp.c_str());
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = Clock::now();
            if ((turn + i) % 2 == 0) {
                ferrolin::prcCopyAddin(target);
                addin.push_back(Seconds(Clock::now() - start));
            } else {
                // The same two files, workbook and help, with nothing around the copies.
                CopyFileW(workbook.c_str(), bare.c_str(), FALSE);
                CopyFileW(help.c_str(), bareHelp.c_str(), FALSE);
                copy.push_back(Seconds(Clock::now() - start));
            }
        }
    }
    RemoveTree(target);
    DeleteFileW(workbook.c_str());
    DeleteFileW(help.c_str());
    const double a = Median(addin), c = Median(copy);
    std::printf("Add-in copy of a 64 MB workbook and its help file (median of 15): prcCopyAddin %.3f s,\n"
                "  the same two files with bare CopyFileW %.3f s\n", a, c);
    std::printf("  speed relative to CopyFileW: %.2fx (target >= 0.85x)\n", c / a);
}

}  // namespace

int main() {
    try {
        OrdinaryRoad();
    } catch (const std::exception& error) {
        std::printf("the ordinary road stopped: %s\n", error.what());
        uidriver::EndScenario();
        CloseExcelWindows();
    }
    AddinCopy();
    return 0;
}
