// The demo's driver: walks the ordinary road of an installation through setup.exe's wizard
// as a user would, asks for a screenshot of every page and message box on the way, and
// writes a report of what was installed.
//
//   install_demo.exe /walk SHOTS REPORT   drive setup.exe from the distribution folder
//   install_demo.exe /report REPORT       only the report (after a run by hand)
//
// Screenshots are taken outside Wine by scripts/demo.sh: the driver writes the picture's
// name into SHOTS\request and waits until the script has removed the file. SHOTS\done
// tells the script that the walk is over. A GUI program, so that no console window shows.
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "controls.h"
#include "excel_standin.h"
#include "handles.h"
#include "install_e2e.h"
#include "names.h"
#include "test_support.h"
#include "uidriver.h"

using namespace install_e2e;
using testing_support::Utf8;
using testing_support::WaitUntil;
namespace ctl = ferrolin::ctl;

namespace {

std::wstring shots;

void WriteText(const std::wstring& path, const std::string& text) {
    testing_support::WriteFileBytes(path, text);
}

// Lets the window paint, then asks for a screenshot and waits until it was taken.
void Shot(const char* name) {
    Sleep(700);
    const std::wstring request = Join(shots, L"request");
    WriteText(request + L".tmp", name);
    MoveFileExW((request + L".tmp").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING);
    WaitUntil([&] { return !FileExists(request); }, 30000);
}

std::wstring FromUtf16(const std::vector<BYTE>& bytes) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

std::wstring StatusEncoding(const std::wstring& status) {
    std::wstring encoded;
    for (char c : Ansi(status)) encoded += std::to_wstring(static_cast<unsigned char>(c));
    return encoded;
}

// Runs the add-in's view of the record through the registered library, as the add-in would.
std::string ScriptClient() {
    const std::wstring script = Join(shots, L"client.vbs");
    const std::wstring answer = Join(shots, L"client.txt");
    WriteText(script,
              "On Error Resume Next\r\n"
              "Set o = CreateObject(\"IFR_v11.CLibrary\")\r\n"
              "If Err.Number <> 0 Then WScript.Quit 10\r\n"
              "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
              "Set f = fso.CreateTextFile(\"" + Ansi(answer) + "\", True)\r\n"
              "f.WriteLine \"InstallPath       = \" & o.InstallPath\r\n"
              "f.WriteLine \"IsAddin_Installed = \" & o.IsAddin_Installed\r\n"
              "f.WriteLine \"App_Exist         = \" & o.App_Exist\r\n"
              "f.Close\r\n"
              "WScript.Quit Err.Number\r\n");
    const int code = ExitCodeOf(Join(SystemFolder(), L"cscript.exe"), L"//nologo \"" + script + L"\"");
    std::string text = ReadFileBytes(answer);
    if (code != 0) text += "(the script client ended with " + std::to_string(code) + ")\n";
    return text;
}

std::string Report() {
    std::ostringstream out;
    const auto record = RecordValues();
    std::wstring folder;
    if (record.count(L"Dir")) folder = FromUtf16(record.at(L"Dir").bytes);
    folder.resize(wcsnlen(folder.c_str(), folder.size()));

    out << "Install record  HKEY_CURRENT_USER\\" << Utf8(ferrolin::kRecordKey) << "\n";
    if (record.empty()) out << "  (none)\n";
    for (const auto& [name, value] : record) {
        out << "  " << Utf8(name) << " = ";
        if (value.type == REG_SZ) {
            out << "\"" << Utf8(folder) << "\" (REG_SZ)\n";
        } else {
            const std::wstring text = FromUtf16(value.bytes);
            out << "\"" << Utf8(text) << "\" (REG_BINARY, UTF-16LE)";
            if (name == ferrolin::kValueStatus)
                out << (text == StatusEncoding(L"True") ? "  = the encoding of \"True\": add-in active"
                                                        : "  = not the encoding of \"True\"");
            out << "\n";
        }
    }

    out << "\nAdd-in files in " << Utf8(folder) << "\n";
    for (const wchar_t* ext : {ferrolin::kWorkbookExt, ferrolin::kHelpExt}) {
        const std::wstring path = Join(folder, std::wstring(ferrolin::kProductTitle) + ext);
        out << "  " << Utf8(path)
            << (FileExists(path) ? "  " + std::to_string(ReadFileBytes(path).size()) + " bytes" : "  MISSING") << "\n";
    }

    out << "\nSystem folder " << Utf8(SystemFolder()) << " (and the 32-bit one, " << Utf8(SystemWow64Folder())
        << ")\n";
    for (const DeployedFile& file : DeployedFiles()) {
        const std::wstring path = InstalledPath(file);
        out << "  " << Utf8(path) << (FileExists(path) ? "  from " + Utf8(file.source) : "  MISSING") << "\n";
    }
    for (const wchar_t* uninstaller : {ferrolin::kUninstaller10, ferrolin::kUninstaller11}) {
        const std::wstring name = std::wstring(uninstaller) + ferrolin::kProgramExt;
        out << "  " << Utf8(name) << (FileExists(Join(SystemFolder(), name)) ? "  from " + Utf8(name) : "  MISSING")
            << "\n";
    }

    out << "\nRegistrations by the system registrar\n";
    WaitUntil([] { return FixtureRegistrations().size() >= 4; }, 10000);
    for (const auto& [path, count] : FixtureRegistrations())
        out << "  " << Utf8(path) << "  registered " << count << " time(s)\n";
    const bool library = testing_support::KeyExists(HKEY_CLASSES_ROOT, ferrolin::kLibraryProgId);
    out << "  " << Utf8(ferrolin::kLibraryProgId) << (library ? "  registered" : "  NOT registered") << "\n";
    // An in-process library serves only an Excel of its own bitness.
    WaitUntil([] { return !LibraryServer(KEY_WOW64_32KEY).empty(); }, 10000);
    const struct {
        REGSAM view;
        const char* excel;
    } views[] = {{KEY_WOW64_64KEY, "64-bit Excel"}, {KEY_WOW64_32KEY, "32-bit Excel"}};
    for (const auto& v : views) {
        const std::wstring server = LibraryServer(v.view);
        out << "  for " << v.excel << ": "
            << (server.empty() ? std::string("NOT registered") : "the library " + Utf8(server)) << "\n";
    }

    out << "\nExcel (the stand-in)\n";
    const std::vector<HWND> windows = ExcelWindows();
    for (HWND window : windows)
        out << "  window: " << (IsWindowVisible(window) ? "visible" : "hidden") << ", "
            << (IsZoomed(window) ? "maximised" : IsIconic(window) ? "minimised" : "normal") << "\n";
    if (windows.empty()) out << "  not running\n";
    for (const std::wstring& addin : InstalledAddins()) out << "  installed add-in: " << Utf8(addin) << "\n";

    out << "\nThe library, as the add-in sees it (VBScript client of IFR_v11.CLibrary)\n";
    std::istringstream client(ScriptClient());
    for (std::string line; std::getline(client, line);) out << "  " << line << "\n";
    return out.str();
}

// The ordinary road, with a picture of every page and message box.
void Walk() {
    SetupRun setup = StartSetup(DistFolder());
    HWND terms = WaitPage(setup, ferrolin::kCaptionTerms, 60000);
    Shot("01-terms");
    uidriver::Click(ControlOf(terms, ctl::chkOk));
    Shot("02-terms-agreed");
    uidriver::PostClick(ControlOf(terms, ctl::Next));

    HWND destination = WaitPage(setup, ferrolin::kCaptionDestination);
    Shot("03-destination");
    uidriver::PostClick(ControlOf(destination, ctl::Browse));
    HWND picker = WaitPage(setup, ferrolin::kCaptionPicker);
    Shot("04-folder-picker");
    uidriver::Click(ControlOf(picker, ctl::PickerCancel));
    uidriver::WaitForNoWindow({ferrolin::kCaptionPicker, nullptr, setup.id()}, 5000);
    uidriver::PostClick(ControlOf(destination, ctl::Next));

    HWND addin = WaitPage(setup, ferrolin::kCaptionAddin);
    Shot("05-addin");
    uidriver::PostClick(ControlOf(addin, ctl::Next));
    const uidriver::MessageBoxInfo done = WaitMessage(setup, ferrolin::kProductName, 120000);
    Shot("06-finished");
    uidriver::PressButton(done.hwnd, IDOK);
    setup.process.WaitForExit(kExitMs);

    WaitUntil([] { return !ExcelWindows().empty(); }, 10000);
    Shot("07-excel");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    const ferrolin::unique_hlocal<wchar_t*> args(CommandLineToArgvW(GetCommandLineW(), &argc));
    wchar_t* const* argv = args.get();
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    int status = 0;
    if (mode == L"/walk" && argc == 4) {
        shots = argv[2];
        std::string report;
        try {
            Walk();
            report = Report();
        } catch (const std::exception& error) {
            report = std::string("The demo stopped: ") + error.what() + "\n";
            status = 1;
        }
        uidriver::EndScenario();
        CloseExcelWindows();
        WriteText(argv[3], report);
        WriteText(Join(shots, L"done"), std::to_string(status));
    } else if (mode == L"/report" && argc == 3) {
        const std::wstring report = argv[2];
        shots = report.substr(0, report.find_last_of(L'\\'));
        WriteText(argv[2], Report());
    } else {
        status = 2;
    }
    return status;
}
