// The installation end to end under Wine: setup.exe started from the distribution folder
// and driven through its wizard, against the Excel stand-in, the fixture components, the
// install record and the system folder. Each scenario starts from a known state: the
// components out of the system folder (or placed there), no record, no registrations, a
// fresh stand-in configuration and a fresh destination folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls.h"
#include "excel_standin.h"
#include "install_fixture.h"
#include "names.h"
#include "standin_client.h"
#include "test_support.h"
#include "uidriver.h"

using namespace install_e2e;
using testing_support::WriteFileBytes;
using testing_support::StaysTrue;
using uidriver::PressKey;
using uidriver::PressKeyUntilFocus;

namespace {

// Setup's messages that several roads end in, as the user reads them.
const char kWorkbookOpen[] =
    "Can't continue with the installation. \rPlease, Close all Workbooks of Microsoft Excel\rto install this Add-in.";
const char kAddinNotCopied[] = "An unexpected error has occurred while trying to copy the Ferrolin 1.1 add-in.";

// The ordinary road: every component copied and registered, the terms and destination
// pages, the add-in copied into Excel's library folder, the record written, Excel left open
// with the add-in, and the library answering a script client. Excel is registered as
// Office's Click-to-Run registers it (a .NET in-process entry beside its local server).
TEST_F(Install, OrdinaryRoad) {
    const ClickToRunExcel clickToRun;
    ASSERT_EQ(clickToRun.failure(), "") << "Excel as Click-to-Run registers it";
    SetupRun setup = StartSetup(DistFolder());
    // At once a window of setup's says that the installation is being prepared (while
    // Excel starts for the checks); it is gone when the terms page shows.
    HWND preparing = WaitPage(setup, L"Ferrolin 1.1");
    EXPECT_EQ(N(uidriver::Text(ControlOf(preparing, ctl::Label1))), "Preparing the installation of Ferrolin 1.1 ...");
    HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
    EXPECT_FALSE(IsWindow(preparing)) << "the preparing window stays beside the terms page";
    EXPECT_FALSE(uidriver::IsEnabled(ControlOf(terms, ctl::Back))) << "terms page Back";
    // A second setup in this logon brings this one's page back from the task bar and to the
    // front, and ends at once, having done nothing (no Excel started: the count of
    // instances below).
    {
        ShowWindow(terms, SW_MINIMIZE);
        SetupRun second = StartSetup(DistFolder());
        EXPECT_EQ(second.process.WaitForExit(kExitMs), 11u) << "exit code of a second setup";
        EXPECT_TRUE(WaitUntil([&] { return !IsIconic(terms); }, 5000)) << "the first setup's page stays minimised";
        EXPECT_EQ(GetForegroundWindow(), terms) << "the first setup's page is not in front";
    }
    AgreeAndNext(terms);

    HWND destination = WaitPage(setup, ferrolin::kCaptionDestination);
    EXPECT_EQ(N(uidriver::Text(ControlOf(destination, ctl::txtPathdefault))), N(library_));
    uidriver::PostClick(ControlOf(destination, ctl::Next));
    Finish(setup);

    const std::wstring folder = Upper(library_);
    ExpectInstalledInto(library_);

    for (const DeployedFile& file : DeployedFiles())
        EXPECT_EQ(ReadFileBytes(InstalledPath(file)), ReadFileBytes(Join(DistFolder(), file.source)))
            << N(file.installed) << " in the system folder";
    ExpectUninstallersCopied();
    ExpectComponentsRegisteredByTheirFolders();
    ASSERT_TRUE(WaitForKey(HKEY_CLASSES_ROOT, ferrolin::kLibraryProgId, 15000)) << "IFR_v11.CLibrary not registered";

    ExpectExcelLeftWithAddin(folder);

    // Excel's instances, each with setup's rights and ended: the version check (which gives
    // the default folder too), the add-in taken out, and the one that adds and installs the
    // add-in and quits. Then the one left to the user, started by the desktop's shell with
    // the shell's rights: the user's own, limited on Windows and Wine 10 (tests/README.md).
    const std::vector<standin_test::Event> events = standin_test::Events(log_);
    const std::vector<DWORD> instances = standin_test::Instances(events);
    ASSERT_EQ(instances.size(), 4u) << "log:" << Log();
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(N(standin_test::LinesOf(events, instances[i])[0]), "Start elevated") << "instance " << i;
    EXPECT_EQ(N(standin_test::LinesOf(events, instances[3])[0]),
              N(L"Start user " + std::wstring(excel_standin::ShellRights()) + L" by explorer.exe"));
    EXPECT_TRUE(standin_test::InOrder(
        standin_test::LinesOf(events, instances[2]),
        {L"Create Application", L"Workbooks.Add", L"AddIns.Add(\"" + Workbook(folder) + L"\")",
         L"AddIns(\"Ferrolin 1.1\")", L"AddIn.Installed=True", L"Workbooks(\"Ferrolin 1.1.xla\")",
         L"Application.Quit", L"End Quit"}))
        << "setup's last instance";

    // The add-in's view of the record, through the registered library: in 64-bit Excel
    // and in 32-bit Excel, each with a library of its own bitness.
#ifdef _WIN64
    ASSERT_TRUE(WaitForServer(KEY_WOW64_32KEY, 15000)) << "the 32-bit library is not registered";
    EXPECT_EQ(Lower(LibraryServer(KEY_WOW64_32KEY)), Lower(Join(SystemWow64Folder(), L"IFR_v11.dll")));
    EXPECT_EQ(Lower(LibraryServer(KEY_WOW64_64KEY)), Lower(Join(SystemFolder(), L"IFR_v11.dll")));
    const std::vector<std::wstring> clients = {SystemFolder(), SystemWow64Folder()};
#else
    const std::vector<std::wstring> clients = {SystemFolder()};
#endif
    for (const std::wstring& cscript : clients)
        EXPECT_EQ(RunScript(cscript, Join(scratch_, L"client.vbs"), RecordClient(folder)), 0)
            << N(cscript) << ": 10 create, 11 InstallPath, 12 IsAddin_Installed, 13 wrong path, 14 not installed";

    // Removed by UFR11 from the system folder: both files gone, and Excel's list, written by
    // the Excel that took the add-in out when it ended, no longer holds it.
    EXPECT_EQ(ExitCodeOf(Join(SystemFolder(), L"UFR11.exe"), L"", 90000), 0);
    EXPECT_FALSE(FileExists(Workbook(library_))) << "UFR11 left the workbook";
    EXPECT_FALSE(FileExists(HelpFile(library_))) << "UFR11 left the help file";
    EXPECT_FALSE(Listed(Workbook(folder))) << "the add-in stays in Excel's list" << Log();
    EXPECT_FALSE(InAddinsDialog(Workbook(folder))) << "Excel's Add-ins dialog still lists the removed workbook";
    EXPECT_TRUE(ExcelWindows().empty()) << "UFR11 left Excel running";
}

// The reinstall road: a record whose folder holds the workbook; all components present.
// The terms page's Next goes straight to the add-in page; the workbook is copied again,
// the record is left as it was, nothing is copied into the system folder but the
// uninstallers, and no registrar runs.
// Setup started while the user's Excel is open asks for it to be closed, also again after
// a Retry with Excel still open; closed, Retry goes on, and the add-in stays in Excel's
// list once every Excel has ended. Every Excel of setup's is busy for 3 s after its start
// (it turns calls away): setup waits for it.
TEST_F(Install, ReinstallRoad) {
    PlaceAllComponents();
    const std::wstring folder = Join(scratch_, L"EARLIER");
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(Workbook(folder), "old"));
    WriteRecord(folder, true);
    const auto before = RecordValues();
    // Installed in Excel's list: the user's Excel loads it and holds the workbook open.
    testing_support::WriteRaw(HKEY_CURRENT_USER, excel_standin::ExcelKey(excel_standin::kOptionsSubkey), L"OPEN",
                              REG_SZ, Sz(L"/R \"" + Workbook(folder) + L"\""));

    OpenUsersExcel();
    excel_standin::SetKnob(excel_standin::kKnobBusyMs, DWORD{3000});
    SetupRun setup = StartSetup(DistFolder());
    AnswerCloseExcel(setup, IDRETRY);
    CloseExcelWindows();
    AnswerCloseExcel(setup, IDRETRY);
    HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
    // Opened while the terms page is up, the user's Excel is asked to be closed again before
    // the workbook it holds is replaced; a second setup brings that message to the front.
    excel_standin::SetKnob(excel_standin::kKnobBusyMs, DWORD{0});
    OpenUsersExcel();
    excel_standin::SetKnob(excel_standin::kKnobBusyMs, DWORD{3000});
    AgreeAndNext(terms);
    const uidriver::MessageBoxInfo again = WaitMessage(setup, L"Orvicta");
    EXPECT_EQ(N(again.text).substr(N(again.text).find("Close every")),
              "Close every Excel window, then click Retry. Cancel ends the setup and leaves Excel's list of "
              "add-ins as it is.");
    {
        SetupRun second = StartSetup(DistFolder());
        EXPECT_EQ(second.process.WaitForExit(kExitMs), 11u) << "exit code of a second setup";
        EXPECT_EQ(GetForegroundWindow(), again.hwnd) << "the first setup's message is not in front";
    }
    CloseExcelWindows();
    uidriver::PressButton(again.hwnd, IDRETRY);
    Finish(setup);

    EXPECT_FALSE(uidriver::FindTopLevel({ferrolin::kCaptionDestination, nullptr, 0})) << "destination page shown";
    EXPECT_EQ(ReadFileBytes(Workbook(folder)), ReadFileBytes(Join(DistFolder(), ferrolin::kSourceWorkbook)));
    EXPECT_EQ(ReadFileBytes(HelpFile(folder)), ReadFileBytes(Join(DistFolder(), ferrolin::kSourceHelp)));
    const auto after = RecordValues();
    EXPECT_TRUE(after == before) << "record before:" << Describe(before) << "\nafter:" << Describe(after);
    EXPECT_TRUE(StaysTrue([] { return FixtureRegistrations().empty(); }, 1000)) << "a registrar ran";
    ExpectUninstallersCopied();
    ExpectExcelLeftWithAddin(folder);
    // The libraries lay in the system folders unregistered, as after a failed registration:
    // registered again, nothing copied, a client creates the class.
    EXPECT_EQ(RunScript(SystemFolder(), Join(scratch_, L"client.vbs"), RecordClient(folder)), 0);

    // Once more, with setup's last Excel frozen in its look-up of the add-in's workbook (a
    // dialog nobody sees): setup ends that Excel, opens none for the user and says how to
    // finish.
    excel_standin::SetKnob(excel_standin::kKnobBusyMs, DWORD{0});
    const size_t earlier = FreezeStandInIn(L"Workbooks.Item");
    SetupRun frozen = StartSetup(DistFolder());
    AgreeAndNext(WaitPage(frozen, ferrolin::kCaptionTerms));
    uidriver::PostClick(ControlOf(WaitPage(frozen, ferrolin::kCaptionAddin), ctl::Next));
    const uidriver::MessageBoxInfo unlisted = WaitMessage(frozen, L"Orvicta", 90000);
    EXPECT_EQ(N(unlisted.text),
              "Ferrolin 1.1 was copied to this computer, but Microsoft Excel did not confirm that it is in its "
              "list of add-ins (Excel stopped answering, did not close when asked, or did not keep the add-in).\r"
              "To finish the installation, open Microsoft Excel, open its Add-ins dialog (File > Options > "
              "Add-ins > Go...) and tick Ferrolin 1.1.");
    EXPECT_EQ(unlisted.icon, uidriver::IconKind::Warning);
    uidriver::PressButton(unlisted.hwnd, IDOK);
    EXPECT_EQ(frozen.process.WaitForExit(kExitMs), 14u) << "exit code of an installation Excel did not confirm";
    ExpectNoExcelLeft(earlier);
}

// The reinstall road over a workbook held open: the deletion's message, then the copy over
// it fails with the workbook message, which ends setup; the record stays as it was.
TEST_F(Install, ReinstallOverHeldWorkbookEnds) {
    PlaceAllComponents();
    const std::wstring folder = Join(scratch_, L"EARLIER");
    CreateDirectoryW(folder.c_str(), nullptr);
    ferrolin::unique_handle held = ferrolin::adopt_file(CreateFileW(
        Workbook(folder).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held);
    DWORD written = 0;
    WriteFile(held.get(), "old", 3, &written, nullptr);
    WriteRecord(folder, false);
    const auto before = RecordValues();

    SetupRun setup = StartSetup(DistFolder());
    AgreeAndNext(WaitPage(setup, ferrolin::kCaptionTerms));
    AnswerMessage(setup, L"Orvicta", kWorkbookOpen, uidriver::IconKind::Information);
    AnswerMessage(setup, L"Orvicta", kAddinNotCopied, uidriver::IconKind::Error);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 7u);
    held.reset();
    EXPECT_EQ(ReadFileBytes(Workbook(folder)), "old");
    EXPECT_TRUE(RecordValues() == before) << Describe(RecordValues());
    EXPECT_TRUE(ExcelWindows().empty()) << "Excel was left open";
}

// The uninstallers are copied on every run, replacing the copies there; one missing beside
// setup is skipped without a message.
TEST_F(Install, UninstallersReplacedOnEveryRun) {
    PlaceAllComponents();
    const std::wstring dist = DistWithout({L"UFR10.exe"});
    const std::wstring ufr11 = Join(SystemFolder(), Uninstallers()[1]);
    ASSERT_TRUE(WriteFileBytes(ufr11, "old"));

    HWND terms = nullptr;
    SetupRun setup = StartToTerms(dist, &terms);
    EXPECT_FALSE(uidriver::FindTopLevel({ferrolin::kMessageTitle, L"#32770", setup.id()})) << "a message was shown";
    EXPECT_EQ(ReadFileBytes(ufr11), ReadFileBytes(Join(DistFolder(), Uninstallers()[1])));
    EXPECT_FALSE(FileExists(Join(SystemFolder(), Uninstallers()[0])));
    CancelAtTerms(setup, terms);
}

// The version check: the leading number of Excel's version text decides; below 9 the
// three-line refusal ends setup before anything is copied.
TEST_F(Install, ExcelVersionCheck) {
    const struct {
        const wchar_t* version;
        bool refused;
    } cases[] = {
        {L"8.0", true},
        {L" 8.5 (Build 1)", true},
        {L"Excel", true},
        {L"9.0", false},
        {L"12.0", false},
    };
    for (const auto& c : cases) {
        excel_standin::SetKnob(excel_standin::kKnobVersion, c.version);
        SetupRun setup = StartSetup(DistFolder());
        if (c.refused) {
            const uidriver::MessageBoxInfo refusal = WaitMessage(setup, L"Orvicta");
            EXPECT_EQ(N(refusal.text), "Ferrolin 1.1 works with Excel 2000 for Windows or later versions.\r"
                                       "It does not work with Excel 97 or earlier versions, and does not work with \r"
                                       "Excel for Macintosh.")
                << N(c.version);
            EXPECT_EQ(refusal.icon, uidriver::IconKind::Warning) << N(c.version);
            EXPECT_EQ(refusal.button_ids, std::vector<int>{IDOK}) << N(c.version);
            uidriver::PressButton(refusal.hwnd, IDOK);
            EXPECT_EQ(setup.process.WaitForExit(kExitMs), 3u) << N(c.version);
            std::string which;
            EXPECT_TRUE(NoComponentDeployed(&which)) << N(c.version) << ": " << which << " copied";
        } else {
            HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
            CancelAtTerms(setup, terms);
            EXPECT_TRUE(FileExists(Join(SystemFolder(), ferrolin::kLibraryFile))) << N(c.version) << ": not deployed";
        }
    }
    EXPECT_TRUE(RecordValues().empty());
}

// Without Excel the version check cannot run: a clear message, and nothing is copied.
// An Excel busy for good (turning every call away) fails the version check after setup
// waited a minute for it, with the same message; so does an Excel that does not answer,
// which setup ends, and the message says so.
TEST_F(Install, ExcelNotAvailable) {
    const std::string notAvailable =
        "Microsoft Excel could not be started, so Ferrolin 1.1 cannot be installed.\r"
        "Ferrolin 1.1 works with Excel 2000 for Windows or later versions.\r";
    // OK on the message ends setup with code 5 before anything is copied; the stand-in's
    // Excel is then closed and its knobs reset for the next case.
    const auto EndsBeforeCopying = [this](SetupRun& setup, const uidriver::MessageBoxInfo& message) {
        uidriver::PressButton(message.hwnd, IDOK);
        EXPECT_EQ(setup.process.WaitForExit(kExitMs), 5u);
        std::string which;
        EXPECT_TRUE(NoComponentDeployed(&which)) << which << " copied";
        CloseExcelWindows();
        ResetStandIn(library_, log_);
    };
    {
        excel_standin::SetKnob(excel_standin::kKnobBusyMs, DWORD{0xFFFFFFFF});
        excel_standin::SetKnob(excel_standin::kKnobIdleSeconds, DWORD{120});  // calls turned away are no activity
        const ULONGLONG start = GetTickCount64();
        SetupRun setup = StartSetup(DistFolder());
        const uidriver::MessageBoxInfo message = WaitMessage(setup, L"Orvicta", 90000);
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_EQ(N(message.text).substr(0, notAvailable.size()), notAvailable) << N(message.text);
        EXPECT_GE(waited, 55000u) << "setup did not wait for the busy Excel";
        EndsBeforeCopying(setup, message);
    }
    // Excel that never answers again: frozen once it has made its application object, before
    // its answer to the creation (every thread of it stopped), or in the first call made on
    // it (a dialog nobody sees). Setup ends that Excel and says so within 70 s.
    for (const wchar_t* frozenIn : {L"Application.Create", L"Application.Version"}) {
        SCOPED_TRACE(N(frozenIn));
        const bool inCreation = std::wstring(frozenIn) == L"Application.Create";
        const size_t earlier = FreezeStandInIn(frozenIn, inCreation ? 5000u : 600000u);
        SetupRun setup = StartSetup(DistFolder());
        DWORD frozen = 0;
        WaitUntil([&] {
            const std::vector<standin_test::Event> events = standin_test::Events(log_);
            for (size_t i = earlier; i < events.size(); ++i)
                if (events[i].text == L"Create Application") frozen = events[i].pid;
            return frozen != 0;
        }, kPageMs);
        ASSERT_NE(frozen, 0u) << "no Excel made; log:" << Log();
        const ULONGLONG start = GetTickCount64();
        if (inCreation) testing_support::SetThreadsRunning(frozen, false);
        const uidriver::MessageBoxInfo message = WaitMessage(setup, L"Orvicta", 90000);
        EXPECT_LE(GetTickCount64() - start, 70000u) << "the message came late";
        ExpectNoExcelLeft(earlier);
        EXPECT_EQ(N(message.text), notAvailable + "Microsoft Excel is not responding.");
        EndsBeforeCopying(setup, message);
    }
    ASSERT_EQ(ExitCodeOf(StandInProgram(), L"/UnregServer"), 0);
    SetupRun setup = StartSetup(DistFolder());
    const uidriver::MessageBoxInfo message = WaitMessage(setup, L"Orvicta");
    EXPECT_EQ(N(message.text).substr(0, notAvailable.size()), notAvailable) << N(message.text);
    EXPECT_GT(message.text.size(), notAvailable.size()) << "no reason given";
    EXPECT_EQ(message.icon, uidriver::IconKind::Warning);
    uidriver::PressButton(message.hwnd, IDOK);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 5u);
    std::string which;
    EXPECT_TRUE(NoComponentDeployed(&which)) << which << " copied";
    EXPECT_TRUE(RegisterStandIn());
}

// The start-up deployment copies and registers exactly the components that are missing;
// a component already there is neither copied nor registered, whatever it holds.
TEST_F(Install, ComponentsDeployedOnlyWhenMissing) {
    const struct {
        const char* name;
        std::vector<const wchar_t*> missing;
    } cases[] = {
        {"all present", {}},
        {"only FM20.DLL missing", {L"FM20.dll"}},
        {"the two controls missing", {L"3A.ocx", L"3B.ocx"}},
#ifdef _WIN64
        {"only the 32-bit library missing", {L"IFR_v11_x86.dll"}},
#endif
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WaitForRegistrarsToEnd()) << c.name << ": a registrar of the case before still runs";
        ClearFixtureRegistrations();
        ClearLibraryRegistration();
        for (const DeployedFile& file : DeployedFiles()) {
            const std::wstring path = InstalledPath(file);
            RemoveFile(path);
            bool missing = false;
            for (const wchar_t* m : c.missing) missing = missing || Is(file, m);
            if (!missing) {
                WriteFileBytes(path, "placed");
            }
        }
        size_t fixturesMissing = 0;
        bool library32Missing = false;
        for (const DeployedFile& file : DeployedFiles())
            for (const wchar_t* m : c.missing) {
                fixturesMissing += Is(file, m) && !IsLibrary(file);
                library32Missing = library32Missing || (Is(file, m) && Is(file, ferrolin::kLibrary32Source));
            }
        HWND terms = nullptr;
        SetupRun setup = StartToTerms(DistFolder(), &terms);
        const auto registrations = WaitForRegistrations(fixturesMissing, 10000);
        CancelAtTerms(setup, terms);
        Sleep(500);
        const bool library32 = WaitForServer(KEY_WOW64_32KEY, library32Missing ? 15000 : 0);
        EXPECT_EQ(FixtureRegistrations().size(), fixturesMissing) << c.name;
        for (const DeployedFile& file : DeployedFiles()) {
            const std::wstring path = InstalledPath(file);
            bool missing = false;
            for (const wchar_t* m : c.missing) missing = missing || Is(file, m);
            const std::string expected = missing ? ReadFileBytes(Join(DistFolder(), file.source)) : "placed";
            EXPECT_EQ(ReadFileBytes(path), expected) << c.name << ": " << N(file.source);
            if (missing && !IsLibrary(file)) {
                EXPECT_EQ(RegistrationsOf(registrations, file.installed), 1u) << c.name << ": " << N(file.source);
            }
            if (Is(file, ferrolin::kLibrary32Source)) {
                EXPECT_EQ(library32, missing) << c.name << ": the 32-bit library registered";
            }
        }
    }
}

// A component that cannot be copied: rows 1, 4 and 7 end setup after their message, rows
// 3 and 6 go on and still hand the (missing) file to the registrar.
TEST_F(Install, ComponentCopyFailures) {
    const struct {
        const wchar_t* source;
        const wchar_t* message;
        bool ends;
        std::vector<const wchar_t*> deployedBefore;
        bool noProgram = false;  // there, but no program: the 64-bit setup cannot tell its folder
    } cases[] = {
        {ferrolin::kVb6esFile, L"An unexpected error has occurred when trying to copy the VB6ES.DLL file.", true, {}},
        {ferrolin::kComdlgSource, L"An unexpected error has occurred when trying to copy the comdlg32.ocx file.", false,
         {L"VB6ES.dll"}},
        {ferrolin::kFm20Source, L"An unexpected error has occurred when trying to copy the FM20.DLL file.", true,
         {L"VB6ES.dll", L"3A.ocx"}},
        {ferrolin::kMscomctlSource, L"An unexpected error has occurred when trying to copy the MSCOMCTL.OCX file.", false,
         {L"VB6ES.dll", L"3A.ocx", L"FM20.dll"}},
        {ferrolin::kLibraryFile, L"An unexpected error has occurred when trying to copy the DLL.", true,
         {L"VB6ES.dll", L"3A.ocx", L"FM20.dll", L"3B.ocx"}},
#ifdef _WIN64
        {L"IFR_v11_x86.dll", L"An unexpected error has occurred when trying to copy the DLL.", true,
         {L"VB6ES.dll", L"3A.ocx", L"FM20.dll", L"3B.ocx", L"IFR_v11.dll"}},
        {ferrolin::kFm20Source, L"An unexpected error has occurred when trying to copy the FM20.DLL file.", true,
         {L"VB6ES.dll", L"3A.ocx"}, true},
#endif
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WaitForRegistrarsToEnd()) << N(c.source) << ": a registrar of the case before still runs";
        for (const DeployedFile& file : DeployedFiles()) RemoveFile(InstalledPath(file));
        RemoveTree(Join(scratch_, L"dist"));
        const std::wstring dist = DistWithout({c.source});
        if (c.noProgram) {
            ASSERT_TRUE(WriteFileBytes(Join(dist, c.source), "MZ but no program"))
                << N(c.source) << ": error " << GetLastError();
        }
        SetupRun setup = StartSetup(dist);
        AnswerMessage(setup, L"Orvicta", N(c.message), uidriver::IconKind::Error);
        if (c.ends) {
            EXPECT_EQ(setup.process.WaitForExit(kExitMs), 6u) << N(c.source);
            for (const DeployedFile& file : DeployedFiles()) {
                bool before = false;
                for (const wchar_t* b : c.deployedBefore) before = before || Is(file, b);
                EXPECT_EQ(FileExists(InstalledPath(file)), before)
                    << N(c.source) << ": " << N(file.source);
            }
        } else {
            HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
            CancelAtTerms(setup, terms);
            for (const DeployedFile& file : DeployedFiles())
                EXPECT_EQ(FileExists(InstalledPath(file)), lstrcmpiW(file.source, c.source) != 0)
                    << N(c.source) << ": " << N(file.installed);
        }
    }
}

// The add-in files beside setup: without "fr.xla" the destination page's Next ends setup
// with its message and writes no record; without "fr.chm" setup reports it and goes on.
TEST_F(Install, AddinFileMissing) {
    PlaceAllComponents();
    {
        const std::wstring dist = DistWithout({ferrolin::kSourceWorkbook});
        HWND destination = nullptr;
        SetupRun setup = StartToDestination(dist, &destination);
        uidriver::PostClick(ControlOf(destination, ctl::Next));
        AnswerMessage(setup, L"Orvicta", kAddinNotCopied, uidriver::IconKind::Error);
        EXPECT_EQ(setup.process.WaitForExit(kExitMs), 7u);
        EXPECT_TRUE(RecordValues().empty()) << "record written without the workbook";
        EXPECT_FALSE(FileExists(HelpFile(library_))) << "help copied after the workbook failed";
    }
    RemoveTree(Join(scratch_, L"dist"));
    {
        const std::wstring dist = DistWithout({ferrolin::kSourceHelp});
        HWND destination = nullptr;
        SetupRun setup = StartToDestination(dist, &destination);
        uidriver::PostClick(ControlOf(destination, ctl::Next));
        AnswerMessage(setup, L"Orvicta",
                      "An unexpected error has occurred when trying to copy the Help for Ferrolin 1.1 add-in.",
                      uidriver::IconKind::Error);
        Finish(setup);
        EXPECT_TRUE(FileExists(Workbook(library_)));
        EXPECT_TRUE(RecordValues() == FullRecord(Upper(library_))) << Describe(RecordValues());
    }
    // A record that cannot be reset (it holds a key of its own) stops setup after the copy,
    // with the earlier record as it was.
    {
        CloseExcelWindows();  // the one the road before left open
        ClearRecord();
        WriteRecord(Join(scratch_, L"EARLIER"), true);
        ASSERT_TRUE(testing_support::WriteRaw(HKEY_CURRENT_USER, std::wstring(ferrolin::kRecordKey) + L"\\Held", L"",
                                              REG_SZ, Sz(L"")));
        const auto before = RecordValues();
        HWND destination = nullptr;
        SetupRun setup = StartToDestination(DistFolder(), &destination);
        uidriver::PostClick(ControlOf(destination, ctl::Next));
        AnswerMessage(setup, L"Orvicta", "Can't register information in SO", uidriver::IconKind::Warning);
        EXPECT_EQ(setup.process.WaitForExit(kExitMs), 9u) << "exit code of a record not reset";
        EXPECT_TRUE(RecordValues() == before) << Describe(RecordValues());
        testing_support::DeleteKeyTree(HKEY_CURRENT_USER, ferrolin::kRecordKey);
    }
}

// The earlier workbook in the recorded folder held open (as a running Excel holds an
// installed add-in): Next says so and stays; once released, Next copies and goes on.
TEST_F(Install, HeldOpenWorkbookBlocksNextUntilReleased) {
    PlaceAllComponents();
    const std::wstring earlier = Join(scratch_, L"EARLIER");
    CreateDirectoryW(earlier.c_str(), nullptr);
    WriteRecord(earlier, false);  // no workbook yet: the ordinary road

    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    ferrolin::unique_handle held = ferrolin::adopt_file(CreateFileW(
        Workbook(earlier).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held);
    uidriver::PostClick(ControlOf(destination, ctl::Next));
    AnswerMessage(setup, L"Orvicta", kWorkbookOpen, uidriver::IconKind::Information);
    EXPECT_TRUE(StaysTrue([&] { return IsWindow(destination); }, 300)) << "the destination page was left";
    EXPECT_TRUE(uidriver::IsVisible(ControlOf(destination, ctl::lblCopy)));
    EXPECT_FALSE(FileExists(Workbook(library_))) << "copied while blocked";
    EXPECT_EQ(RecordValues()[L"Dir"].bytes, Sz(earlier)) << "record touched while blocked";
    held.reset();

    uidriver::PostClick(ControlOf(destination, ctl::Next));
    Finish(setup);
    EXPECT_FALSE(FileExists(Workbook(earlier))) << "earlier workbook not deleted";
    ExpectInstalledInto(library_);
}

// Browse: the picker starts at the first fixed drive; Ok puts the opened folder into the
// destination box in upper case and the installation goes there; Cancel leaves the box.
TEST_F(Install, BrowseOkAndCancel) {
    // Every component there but comdlg32.ocx, whose registration fails.
    PlaceAllComponents();
    std::wstring comdlg;
    for (const DeployedFile& file : DeployedFiles())
        if (Is(file, L"3A.ocx")) RemoveFile(comdlg = InstalledPath(file));
    testing_support::WriteRaw(HKEY_CURRENT_USER, L"Software\\FerrolinTests\\Registrations", L"Fail", REG_SZ,
                              Sz(L"comdlg32.ocx"));
    const std::wstring chosen = Join(scratch_, L"Chosen Place");
    CreateDirectoryW(chosen.c_str(), nullptr);

    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    HWND box = ControlOf(destination, ctl::txtPathdefault);

    // Cancel after browsing.
    uidriver::PostClick(ControlOf(destination, ctl::Browse));
    HWND picker = WaitPage(setup, ferrolin::kCaptionPicker);
    EXPECT_EQ(N(uidriver::Text(ControlOf(picker, ctl::lblPath))), "C:\\");
    picker::OpenPath(picker, chosen);
    EXPECT_EQ(N(uidriver::Text(ControlOf(picker, ctl::lblPath))), N(chosen));
    uidriver::Click(ControlOf(picker, ctl::PickerCancel));
    uidriver::WaitForNoWindow({ferrolin::kCaptionPicker, nullptr, setup.id()}, 5000);
    EXPECT_EQ(N(uidriver::Text(box)), N(library_)) << "Cancel changed the box";

    // Ok.
    uidriver::PostClick(ControlOf(destination, ctl::Browse));
    picker = WaitPage(setup, ferrolin::kCaptionPicker);
    picker::OpenPath(picker, chosen);
    uidriver::Click(ControlOf(picker, ctl::PickerOk));
    uidriver::WaitForNoWindow({ferrolin::kCaptionPicker, nullptr, setup.id()}, 5000);
    EXPECT_EQ(N(uidriver::Text(box)), N(Upper(chosen)));

    uidriver::PostClick(ControlOf(destination, ctl::Next));
    // Said after End, before Excel takes the add-in, and in the exit code of the installation.
    Finish(setup, 13, [&] {
        const uidriver::MessageBoxInfo failed = WaitMessage(setup, L"Orvicta");
        EXPECT_EQ(Lower(failed.text), Lower(L"Not register the file Regsvr32.exe " + comdlg));
        EXPECT_EQ(failed.icon, uidriver::IconKind::Error);
        uidriver::PressButton(failed.hwnd, IDOK);
    });
    ExpectInstalledInto(chosen);
    EXPECT_FALSE(FileExists(Workbook(library_)));
}

// New folder in the picker: an empty name says "Name is Empty.." and creates nothing; a
// name creates the folder under the opened one; an existing name ends setup.
TEST_F(Install, PickerNewFolder) {
    PlaceAllComponents();
    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    uidriver::PostClick(ControlOf(destination, ctl::Browse));
    HWND picker = WaitPage(setup, ferrolin::kCaptionPicker);
    picker::OpenPath(picker, scratch_);

    const struct {
        const wchar_t* name;
        bool cancel;
    } empties[] = {{L"", false}, {L"ignored", true}};
    for (const auto& c : empties) {
        uidriver::PostClick(ControlOf(picker, ctl::NewFolder));
        HWND input = WaitPage(setup, ferrolin::kCaptionNewFolder);
        uidriver::TypeText(ControlOf(input, 1102), c.name);
        uidriver::PostClick(ControlOf(input, c.cancel ? IDCANCEL : IDOK));
        AnswerMessage(setup, L"Orvicta", "Name is Empty..", uidriver::IconKind::Warning);
    }
    EXPECT_FALSE(FolderExists(Join(scratch_, L"ignored")));

    uidriver::PostClick(ControlOf(picker, ctl::NewFolder));
    HWND input = WaitPage(setup, ferrolin::kCaptionNewFolder);
    uidriver::TypeText(ControlOf(input, 1102), L"Made Here");
    uidriver::PostClick(ControlOf(input, IDOK));
    uidriver::WaitForNoWindow({ferrolin::kCaptionNewFolder, nullptr, setup.id()}, 5000);
    EXPECT_TRUE(WaitUntil([&] { return FolderExists(Join(scratch_, L"Made Here")); }, 5000));
    EXPECT_EQ(N(uidriver::Text(ControlOf(picker, ctl::lblPath))), N(scratch_)) << "the opened folder changed";

    uidriver::PostClick(ControlOf(picker, ctl::NewFolder));
    input = WaitPage(setup, ferrolin::kCaptionNewFolder);
    uidriver::TypeText(ControlOf(input, 1102), L"Made Here");
    uidriver::PostClick(ControlOf(input, IDOK));
    const uidriver::MessageBoxInfo exists = WaitMessage(setup, L"Orvicta");
    EXPECT_EQ(exists.icon, uidriver::IconKind::Error);
    EXPECT_FALSE(exists.text.empty());
    uidriver::PressButton(exists.hwnd, IDOK);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 8u);
}

// A typed destination that does not exist: the default folder is created instead, and the
// copy into the typed folder fails with the workbook message, which ends setup.
TEST_F(Install, TypedFolderMissing) {
    PlaceAllComponents();
    // Excel's library folder does not exist: the default is C:\Ferrolin.
    RemoveTree(library_);
    const std::wstring fallback = std::wstring(ferrolin::kDefaultFolderDrive) + ferrolin::kProductName;
    RemoveTree(fallback);
    const std::wstring typed = Join(scratch_, L"NOWHERE\\DEEPER");

    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    EXPECT_EQ(N(uidriver::Text(ControlOf(destination, ctl::txtPathdefault))), N(fallback));
    uidriver::TypeText(ControlOf(destination, ctl::txtPathdefault), L"  " + typed + L" ");
    uidriver::PostClick(ControlOf(destination, ctl::Next));
    AnswerMessage(setup, L"Orvicta", kAddinNotCopied, uidriver::IconKind::Error);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 7u);
    EXPECT_TRUE(FolderExists(fallback)) << "default folder not created";
    EXPECT_FALSE(FolderExists(Join(scratch_, L"NOWHERE")));
    EXPECT_TRUE(RecordValues().empty());
    RemoveTree(fallback);
}

// The default folder cannot be made (a file already has its name): the system's description
// under "Ferrolin" with the critical icon, and setup goes on to the copy, which fails.
TEST_F(Install, DefaultFolderCannotBeCreated) {
    PlaceAllComponents();
    RemoveTree(library_);
    const std::wstring fallback = std::wstring(ferrolin::kDefaultFolderDrive) + ferrolin::kProductName;
    RemoveTree(fallback);
    DeleteFileW(fallback.c_str());
    testing_support::WriteFileBytes(fallback, "a file where the folder would go");

    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    uidriver::PostClick(ControlOf(destination, ctl::Next));

    wchar_t described[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ALREADY_EXISTS, 0,
                   described, 512, nullptr);
    std::wstring expected = described;
    while (!expected.empty() && (expected.back() == L'\n' || expected.back() == L'\r')) expected.pop_back();
    AnswerMessage(setup, L"Ferrolin", N(expected), uidriver::IconKind::Error);
    AnswerMessage(setup, L"Orvicta", kAddinNotCopied, uidriver::IconKind::Error);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 7u);
    EXPECT_EQ(ReadFileBytes(fallback), "a file where the folder would go") << "the file in the folder's place changed";
    EXPECT_TRUE(RecordValues().empty());
    DeleteFileW(fallback.c_str());
}

// Back from the destination page to a fresh terms page, then Next again: the add-in is
// taken out of Excel a second time, and the fresh destination page shows the default again.
TEST_F(Install, BackThenNext) {
    PlaceAllComponents();
    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    // The destination page's close box does nothing: its Abort is disabled.
    uidriver::Close(destination);
    EXPECT_TRUE(StaysTrue([&] { return uidriver::IsVisible(destination); }, 300))
        << "the close box left the destination page";
    uidriver::TypeText(ControlOf(destination, ctl::txtPathdefault), L"C:\\ELSEWHERE");
    uidriver::PostClick(ControlOf(destination, ctl::Back));
    uidriver::WaitForNoWindow({ferrolin::kCaptionDestination, nullptr, setup.id()}, 5000);

    HWND terms = WaitPage(setup, ferrolin::kCaptionTerms);
    EXPECT_FALSE(uidriver::IsChecked(ControlOf(terms, ctl::chkOk)));
    EXPECT_FALSE(uidriver::IsEnabled(ControlOf(terms, ctl::Next)));
    EXPECT_TRUE(uidriver::IsEnabled(ControlOf(terms, ctl::Abort)));
    AgreeAndNext(terms);
    destination = WaitPage(setup, ferrolin::kCaptionDestination);
    EXPECT_EQ(N(uidriver::Text(ControlOf(destination, ctl::txtPathdefault))), N(library_));
    uidriver::PostClick(ControlOf(destination, ctl::Next));
    Finish(setup);

    size_t takenOut = 0;
    for (const std::wstring& line : LogLines(log_))
        if (line.find(L"AddIns(\"Ferrolin 1.1\")") != std::wstring::npos &&
            line.find(L"Installed=False") == std::wstring::npos && line.find(L"Error") != std::wstring::npos)
            ++takenOut;
    EXPECT_EQ(takenOut, 2u) << "log:" << Log();
    EXPECT_TRUE(RecordValues() == FullRecord(Upper(library_))) << Describe(RecordValues());
}

// The terms page's agreement box, Abort and close box: No stays, Yes ends; the close box
// asks as Abort does while Abort is enabled, and does nothing while it is disabled.
TEST_F(Install, AgreementAndCancel) {
    PlaceAllComponents();
    // Cancel while the user's Excel is open ends setup before it changed anything.
    OpenUsersExcel();
    {
        SetupRun early = StartSetup(DistFolder());
        AnswerCloseExcel(early, IDCANCEL);
        EXPECT_EQ(early.process.WaitForExit(kExitMs), 2u) << "exit code of Cancel with Excel open";
        for (const std::wstring& name : Uninstallers())
            EXPECT_FALSE(FileExists(Join(SystemFolder(), name))) << N(name) << " copied";
        EXPECT_TRUE(RecordValues().empty()) << Describe(RecordValues());
        EXPECT_EQ(ExcelWindows().size(), 1u) << "setup touched the user's Excel";
    }
    CloseExcelWindows();

    HWND terms = nullptr;
    SetupRun setup = StartToTerms(DistFolder(), &terms);
    HWND agree = ControlOf(terms, ctl::chkOk);
    for (int i = 0; i < 4; ++i) {
        uidriver::Click(agree);
        const bool checked = i % 2 == 0;
        EXPECT_EQ(uidriver::IsEnabled(ControlOf(terms, ctl::Next)), checked) << "click " << i;
        EXPECT_EQ(uidriver::IsEnabled(ControlOf(terms, ctl::Abort)), !checked) << "click " << i;
    }

    for (bool closeBox : {false, true}) {
        if (closeBox)
            uidriver::Close(terms);
        else
            uidriver::PostClick(ControlOf(terms, ctl::Abort));
        const uidriver::MessageBoxInfo confirm = WaitMessage(setup, L"Orvicta");
        EXPECT_EQ(N(confirm.text), "Are you sure that you want to cancel the installation?");
        EXPECT_EQ(confirm.icon, uidriver::IconKind::Question);
        EXPECT_EQ(confirm.button_ids, (std::vector<int>{IDYES, IDNO}));
        uidriver::PressButton(confirm.hwnd, IDNO);
        EXPECT_TRUE(StaysTrue([&] { return setup.process.running(); }, 300))
            << (closeBox ? "close box" : "Abort") << " No ended setup";
        EXPECT_TRUE(uidriver::IsVisible(terms));
    }

    uidriver::Click(agree);
    uidriver::Close(terms);
    EXPECT_TRUE(StaysTrue([&] { return !uidriver::FindTopLevel({L"Orvicta", L"#32770", setup.id()}); }, 500))
        << "close box asked while Abort is disabled";
    EXPECT_TRUE(uidriver::IsVisible(terms));
    uidriver::Click(agree);
    CancelAtTerms(setup, terms);
    EXPECT_TRUE(RecordValues().empty());
}

// The links: the web picture opens the maker's address through the shell; the mail
// pictures open a mail to the support address through Excel; without a mail program
// "Can't send mail." is shown.
TEST_F(Install, Links) {
    PlaceAllComponents();
    const std::wstring urls = Join(scratch_, L"urls.log");
    ASSERT_EQ(ExitCodeOf(UrlRecorderProgram(), L"/Register \"" + urls + L"\""), 0);
    HWND terms = nullptr;
    SetupRun setup = StartToTerms(DistFolder(), &terms);

    const std::wstring mail = std::wstring(L"mailto:") + ferrolin::kSupportMail;
    const struct {
        int picture;
        std::wstring url;
    } cases[] = {
        {ctl::pLink1, ferrolin::kMakerWebAddress},
        {ctl::pLink2, mail},
        {ctl::pLink3, mail},
    };
    size_t expectedLines = 0;
    for (const auto& c : cases) {
        ClickPicture(ControlOf(terms, c.picture));
        ++expectedLines;
        std::vector<std::wstring> lines;
        WaitUntil(
            [&] {
                lines = LogLines(urls);
                return lines.size() >= expectedLines;
            },
            15000);
        ASSERT_EQ(lines.size(), expectedLines) << "picture " << c.picture;
        EXPECT_EQ(N(lines.back()), N(c.url)) << "picture " << c.picture;
        EXPECT_FALSE(uidriver::FindTopLevel({ferrolin::kMessageTitle, L"#32770", setup.id()}))
            << "picture " << c.picture << " showed a message";
    }

    ASSERT_EQ(ExitCodeOf(UrlRecorderProgram(), L"/Remove"), 0);
    ClickPicture(ControlOf(terms, ctl::pLink2));
    AnswerMessage(setup, L"Orvicta", "Can't send mail.", uidriver::IconKind::Warning);
    ExitCodeOf(UrlRecorderProgram(), L"/Unregister");
    CancelAtTerms(setup, terms);
}

// A full installation over an earlier record, walked with the keyboard alone: each page
// opens with the focus on its first control, Tab and Shift+Tab follow the layout over the
// enabled controls, Space checks the box and presses a button, Enter presses the focused
// button, Escape asks to cancel on the terms page. The reset removes every value of the
// record (APP_EXIST included), while a sibling key under "Software\Vandrel11" survives.
TEST_F(Install, ResetKeepsSiblingKeyWalkedByKeyboard) {
    PlaceAllComponents();
    const std::wstring earlier = Join(scratch_, L"EARLIER");
    WriteRecord(earlier, true);  // the folder holds no workbook: the ordinary road
    const std::wstring sibling = std::wstring(ferrolin::kRecordParentKey) + L"\\Other";
    ASSERT_TRUE(testing_support::WriteRaw(HKEY_CURRENT_USER, sibling, L"Kept", REG_SZ, Sz(L"yes")));

    HWND terms = nullptr;
    SetupRun setup = StartToTerms(DistFolder(), &terms);
    EXPECT_TRUE(WaitFocus(terms, ControlOf(terms, ctl::Text1))) << "terms page: focus not on the conditions";

    // Escape while Abort is enabled asks to cancel; No stays.
    PressKey(VK_ESCAPE);
    uidriver::MessageBoxInfo confirm = WaitMessage(setup, L"Orvicta");
    EXPECT_EQ(N(confirm.text), "Are you sure that you want to cancel the installation?");
    PressKey(VK_TAB);  // from Yes to No
    PressKey(VK_RETURN);
    uidriver::WaitForNoWindow({L"Orvicta", L"#32770", setup.id()}, 5000);
    ASSERT_TRUE(IsWindow(terms)) << "No ended setup";

    EXPECT_TRUE(WaitFocus(terms, ControlOf(terms, ctl::Text1))) << "the focus is not back on the conditions";
    PressKeyUntilFocus(terms, VK_TAB, ControlOf(terms, ctl::chkOk));
    PressKey(VK_SPACE);
    WaitUntil([&] { return uidriver::IsChecked(ControlOf(terms, ctl::chkOk)); }, 5000);
    EXPECT_TRUE(uidriver::IsEnabled(ControlOf(terms, ctl::Next))) << "Space did not check the box";
    PressKey(VK_ESCAPE);  // Abort is disabled now: nothing happens
    // Back and Abort are disabled: Tab goes from the box to Next and round to the
    // conditions; Shift+Tab the other way.
    PressKeyUntilFocus(terms, VK_TAB, ControlOf(terms, ctl::Next));
    PressKeyUntilFocus(terms, VK_TAB, ControlOf(terms, ctl::Text1));
    PressKeyUntilFocus(terms, VK_TAB, ControlOf(terms, ctl::Next), true);
    PressKeyUntilFocus(terms, VK_TAB, ControlOf(terms, ctl::chkOk), true);
    PressKeyUntilFocus(terms, VK_TAB, ControlOf(terms, ctl::Next));
    EXPECT_FALSE(uidriver::FindTopLevel({L"Orvicta", L"#32770", setup.id()})) << "Escape asked with Abort disabled";
    PressKey(VK_RETURN);

    HWND destination = WaitPage(setup, ferrolin::kCaptionDestination);
    EXPECT_TRUE(WaitFocus(destination, ControlOf(destination, ctl::txtPathdefault))) << "destination: focus";
    PressKeyUntilFocus(destination, VK_TAB, ControlOf(destination, ctl::Browse));
    // Abort is disabled: from Browse, Tab goes to Back, then Next.
    PressKeyUntilFocus(destination, VK_TAB, ControlOf(destination, ctl::Back));
    PressKeyUntilFocus(destination, VK_TAB, ControlOf(destination, ctl::Next));
    PressKey(VK_RETURN);

    HWND addin = WaitPage(setup, ferrolin::kCaptionAddin);
    EXPECT_TRUE(WaitFocus(addin, ControlOf(addin, ctl::Next))) << "add-in page: focus not on End";
    PressKey(VK_SPACE);
    const uidriver::MessageBoxInfo done = WaitMessage(setup, L"Ferrolin");
    EXPECT_EQ(N(done.text), "The Installation was finished.");
    PressKey(VK_RETURN);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 0u);
    EXPECT_TRUE(RecordValues() == FullRecord(Upper(library_))) << Describe(RecordValues());
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CURRENT_USER, sibling));
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, sibling);
}

// The folder picker by keyboard: it opens with the focus on the drive list; F4 opens the
// list and Escape closes the list, not the picker; Down and Enter open a folder, as a
// double-click does; Escape is Cancel.
TEST_F(Install, PickerWalkedByKeyboard) {
    PlaceAllComponents();
    HWND destination = nullptr;
    SetupRun setup = StartToDestination(DistFolder(), &destination);
    PressKeyUntilFocus(destination, VK_TAB, ControlOf(destination, ctl::Browse));
    PressKey(VK_RETURN);
    HWND picker = WaitPage(setup, ferrolin::kCaptionPicker);
    HWND drives = ControlOf(picker, ctl::Drive1);
    EXPECT_TRUE(WaitFocus(picker, drives)) << "picker: focus not on the drive list";
    const auto dropped = [&] { return SendMessageW(drives, CB_GETDROPPEDSTATE, 0, 0) != 0; };
    PressKey(VK_F4);
    WaitUntil(dropped, 5000);
    EXPECT_TRUE(dropped()) << "F4 did not open the drive list";
    PressKey(VK_ESCAPE);  // closes the list, not the picker
    WaitUntil([&] { return !dropped(); }, 5000);
    ASSERT_TRUE(StaysTrue([&] { return IsWindowVisible(picker) != FALSE; }, 200))
        << "Escape in the open drive list closed the picker";
    EXPECT_FALSE(dropped()) << "Escape did not close the drive list";
    PressKeyUntilFocus(picker, VK_TAB, ControlOf(picker, ctl::Dir1));
    HWND folders = ControlOf(picker, ctl::Dir1);
    const std::wstring opened = uidriver::Text(ControlOf(picker, ctl::lblPath));
    const LRESULT current = SendMessageW(folders, LB_GETCURSEL, 0, 0);
    PressKey(VK_DOWN);
    WaitUntil([&] { return SendMessageW(folders, LB_GETCURSEL, 0, 0) != current; }, 5000);
    const LRESULT selected = SendMessageW(folders, LB_GETCURSEL, 0, 0);
    ASSERT_NE(selected, current) << "Down did not move in the folder list";
    wchar_t item[MAX_PATH] = {};
    ASSERT_LT(SendMessageW(folders, LB_GETTEXTLEN, selected, 0), MAX_PATH);
    SendMessageW(folders, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(item));
    const std::wstring inside = Join(opened, picker::Trimmed(item));
    PressKey(VK_RETURN);
    WaitUntil([&] { return uidriver::Text(ControlOf(picker, ctl::lblPath)) == inside; }, 5000);
    EXPECT_EQ(N(uidriver::Text(ControlOf(picker, ctl::lblPath))), N(inside)) << "Enter did not open the folder";
    PressKey(VK_ESCAPE);
    uidriver::WaitForNoWindow({ferrolin::kCaptionPicker, nullptr, setup.id()}, 5000);
    EXPECT_EQ(N(uidriver::Text(ControlOf(destination, ctl::txtPathdefault))), N(library_)) << "Escape is Cancel";
    uidriver::PostClick(ControlOf(destination, ctl::Back));
    CancelAtTerms(setup, WaitPage(setup, ferrolin::kCaptionTerms));
}

// Texts outside the ANSI code page (a Polish, Greek and Japanese folder on a Western
// Windows) are kept whole: Excel's library folder of such a name is proposed, the add-in
// goes there, Dir holds it exactly, the library reads it back and round-trips such a text,
// the reinstall road finds the folder, and UFR11 deletes both files from it.
TEST_F(Install, TextsOutsideTheAnsiCodePage) {
    const std::wstring name = L"\x0141\x00F3" L"d\x017A \x0391\x03B8\x03AE\x03BD\x03B1 \x6771\x4EAC";
    const std::wstring library = Join(scratch_, name);
    ASSERT_TRUE(CreateDirectoryW(library.c_str(), nullptr));
    ResetStandIn(library, log_);

    SetupRun setup = StartSetup(DistFolder());
    AgreeAndNext(WaitPage(setup, ferrolin::kCaptionTerms));
    HWND destination = WaitPage(setup, ferrolin::kCaptionDestination);
    EXPECT_EQ(uidriver::Text(ControlOf(destination, ctl::txtPathdefault)) == library, true)
        << "the destination box does not show Excel's library folder";
    uidriver::PostClick(ControlOf(destination, ctl::Next));
    Finish(setup);

    const std::wstring folder = Upper(library);
    ExpectInstalledInto(library);
    ExpectExcelLeftWithAddin(folder);

    // The add-in's calls: InstallPath, and a text of such characters written and read back
    // as a value and found again as a key name (the script checks the key through the
    // library; its name is read here with the system's own call. Wine's VBScript cannot walk
    // the typed array EnumRegistryKeys returns).
    const std::wstring scratchKey = L"Software\\FerrolinTests\\Texts";
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, scratchKey);
    const std::wstring script =
        RecordClient(folder).substr(0, RecordClient(folder).rfind(L"WScript.Quit 0")) +
        L"k = \"" + scratchKey + L"\"\r\n"
        L"o.CreateRegistryKey &H80000001, k & \"\\" + name + L"\"\r\n"
        L"o.SetRegistryValue &H80000001, k, \"v\", 1, \"" + name + L"\"\r\n"
        L"If Err.Number <> 0 Then WScript.Quit 20\r\n"
        L"If o.GetRegistryValue(&H80000001, k, \"v\", 1) <> \"" + name + L"\" Then WScript.Quit 21\r\n"
        L"If o.CheckRegistryKey(&H80000001, k & \"\\" + name + L"\") <> True Then WScript.Quit 22\r\n"
        L"WScript.Quit 0\r\n";
    EXPECT_EQ(RunScript(SystemFolder(), Join(scratch_, L"client.vbs"), script), 0)
        << "script client: 10-14 the record, 20 write, 21 read back, 22 key not found";
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CURRENT_USER, scratchKey + L"\\" + name))
        << "the key of that name is not there";
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, scratchKey);

    // The reinstall road into the recorded folder (Excel has let go of the workbook).
    ASSERT_TRUE(WriteFileBytes(HelpFile(library), ""));
    SetupRun again = StartSetup(DistFolder());
    AgreeAndNext(WaitPage(again, ferrolin::kCaptionTerms));
    Finish(again);
    EXPECT_FALSE(uidriver::FindTopLevel({ferrolin::kCaptionDestination, nullptr, 0})) << "destination page shown";
    EXPECT_EQ(ReadFileBytes(HelpFile(library)), ReadFileBytes(Join(DistFolder(), ferrolin::kSourceHelp)))
        << "the reinstall did not copy into the recorded folder";

    // UFR11 from the system folder while the Excel that setup left holds the add-in open:
    // after its ten seconds it asks for Excel to be closed. Cancel ends having changed
    // nothing; Retry, once Excel is closed, removes both files and the add-in from the list.
    for (const int button : {IDCANCEL, IDRETRY}) {
        SCOPED_TRACE(button == IDCANCEL ? "Cancel" : "Retry");
        uidriver::Process ufr11 = uidriver::Start(Join(SystemFolder(), L"UFR11.exe"));
        const HWND box = uidriver::WaitForMessageBox(L"Ferrolin", ufr11.id(), 40000);
        ASSERT_TRUE(box) << "UFR11 did not ask for Excel to be closed";
        ExpectCloseExcelAsked(
            uidriver::ReadMessageBox(box),
            "Microsoft Excel is open. Please close it before Ferrolin 1.1 is removed: Excel holds the add-in open "
            "while it runs and writes its list of add-ins back when it closes, so an Excel left open would put "
            "Ferrolin 1.1 back on the list.\r"
            "Close every Excel window, then click Retry. Cancel ends the removal without changing anything.");
        if (button == IDRETRY) CloseExcelWindows();
        uidriver::PressButton(box, button);
        EXPECT_EQ(ufr11.WaitForExit(90000), button == IDCANCEL ? 2u : 0u);
        EXPECT_EQ(FileExists(Workbook(library)), button == IDCANCEL) << "the workbook after UFR11";
        EXPECT_EQ(FileExists(HelpFile(library)), button == IDCANCEL) << "the help file after UFR11";
        EXPECT_EQ(Listed(Workbook(folder)), button == IDCANCEL) << "the add-in in Excel's list after UFR11";
    }
}

// UFR10 takes version 1.0's add-in out of Excel's list and deletes its files; version 1.1's,
// listed beside it, stays listed and in place. An Excel of UFR10's that stops answering is
// ended, and the files go all the same.
TEST_F(Install, Ufr10RemovesOnlyVersion10) {
    // Both installed in Excel's list, as Excel keeps it (Wine's VBScript keeps references
    // to the temporaries of a script that lists them, so that Excel never ends).
    const std::wstring options = excel_standin::ExcelKey(excel_standin::kOptionsSubkey);
    for (const wchar_t* stem : {L"Ferrolin 1.0", L"Ferrolin 1.1"}) {
        CopyOrFail(Join(DistFolder(), ferrolin::kSourceWorkbook), Join(library_, stem + std::wstring(L".xla")));
        CopyOrFail(Join(DistFolder(), ferrolin::kSourceHelp), Join(library_, stem + std::wstring(L".chm")));
        const std::wstring open = L"/R \"" + Join(library_, stem + std::wstring(L".xla")) + L"\"";
        testing_support::WriteRaw(HKEY_CURRENT_USER, options, stem[11] == L'0' ? L"OPEN" : L"OPEN1", REG_SZ,
                                  Sz(open));
    }
    testing_support::WriteRaw(HKEY_CURRENT_USER, L"Software\\Vandrel\\Groupdate", L"Dir", REG_SZ,
                              Sz(library_));

    EXPECT_EQ(ExitCodeOf(Join(DistFolder(), L"UFR10.exe"), L"", 90000), 0);
    for (const wchar_t* file : {L"Ferrolin 1.0.xla", L"Ferrolin 1.0.chm", L"Ferrolin 1.1.xla", L"Ferrolin 1.1.chm"})
        EXPECT_EQ(FileExists(Join(library_, file)), file[11] == L'1') << N(file);
    EXPECT_FALSE(Listed(Join(library_, L"Ferrolin 1.0.xla"))) << "version 1.0 stays in Excel's list" << Log();
    EXPECT_TRUE(Listed(Join(library_, L"Ferrolin 1.1.xla"))) << "version 1.1 left Excel's list" << Log();

    // Once more, with UFR10's Excel frozen when asked to quit: UFR10 ends that Excel, deletes
    // the files all the same and says how to take the add-in off Excel's list.
    for (const wchar_t* file : {L"Ferrolin 1.0.xla", L"Ferrolin 1.0.chm"})
        CopyOrFail(Join(DistFolder(), ferrolin::kSourceHelp), Join(library_, file));
    const size_t earlier = FreezeStandInIn(L"Application.Quit");
    SetupRun ufr10{uidriver::Start(Join(DistFolder(), L"UFR10.exe"))};
    const uidriver::MessageBoxInfo frozen = WaitMessage(ufr10, L"Ferrolin", 90000);
    EXPECT_EQ(N(frozen.text),
              "Microsoft Excel did not answer or did not close when asked, so Ferrolin 1.0 may still be in its "
              "list of add-ins.\r"
              "If Excel asks for Ferrolin 1.0 when it starts, open its Add-ins dialog (File > Options > Add-ins > "
              "Go...), untick Ferrolin 1.0 and let Excel delete it from the list.");
    uidriver::PressButton(frozen.hwnd, IDOK);
    EXPECT_EQ(ufr10.process.WaitForExit(kExitMs), 4u) << "exit code of UFR10 whose Excel did not end";
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Vandrel");
    for (const wchar_t* file : {L"Ferrolin 1.0.xla", L"Ferrolin 1.0.chm"})
        EXPECT_FALSE(FileExists(Join(library_, file))) << N(file);
    ExpectNoExcelLeft(earlier);
}

#if !defined(_WIN64) && defined(FERROLIN_STANDIN_64)
// The 32-bit setup on 64-bit Windows meets a 64-bit Excel: it cannot install a library that
// Excel loads, so it says which setup to run and ends before anything is copied.
TEST_F(Install, ThirtyTwoBitSetupRefusesSixtyFourBitExcel) {
    const std::wstring excel64 = testing_support::WindowsPath(FERROLIN_STANDIN_64);
    ASSERT_EQ(ExitCodeOf(excel64, L"/RegServer"), 0);
    SetupRun setup = StartSetup(DistFolder());
    const uidriver::MessageBoxInfo refusal = WaitMessage(setup, L"Orvicta");
    EXPECT_EQ(N(refusal.text),
              "The Microsoft Excel on this computer is the 64-bit version, and this setup installs Ferrolin 1.1 "
              "for 32-bit Excel only.\r"
              "Please run the 64-bit setup of Ferrolin 1.1 instead (setup.exe from Ferrolin-1.1-x64.zip).");
    EXPECT_EQ(refusal.icon, uidriver::IconKind::Warning);
    EXPECT_EQ(refusal.button_ids, std::vector<int>{IDOK});
    uidriver::PressButton(refusal.hwnd, IDOK);
    EXPECT_EQ(setup.process.WaitForExit(kExitMs), 4u);
    std::string which;
    EXPECT_TRUE(NoComponentDeployed(&which)) << which << " copied";
    EXPECT_TRUE(LogLines(log_).empty()) << "Excel was started:" << Log();
    EXPECT_EQ(ExitCodeOf(excel64, L"/UnregServer"), 0);
    EXPECT_TRUE(RegisterStandIn());
}
#endif

}  // namespace
