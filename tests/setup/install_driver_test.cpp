// The installation driver's own logic that needs no windows: the leading-number
// conversion of Excel's version text, which Excel a setup of each bitness can serve, and
// where setup's libraries may come from.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

#include <windows.h>

#include "bitness.h"
#include "install.h"
#include "module_path.h"
#include "program.h"
#include "test_support.h"
#include "vb_text.h"

using testing_support::Narrow;

TEST(InstallDriver, LeadingNumberOfTheVersionText) {
    const struct {
        const wchar_t* text;
        double number;
        bool refused;  // below 9: Excel 97 or earlier
    } cases[] = {
        {L"8.0", 8, true},
        {L"9.0", 9, false},
        {L"11.0", 11, false},
        {L"12.0", 12, false},
        {L"16.0", 16, false},
        {L"8.5", 8.5, true},
        {L"  9", 9, false},
        {L"9a", 9, false},
        {L"10.0.1", 10, false},
        {L".5", 0.5, true},
        {L"", 0, true},
        {L"Excel 16", 0, true},
        {L"-12", 0, true},
        {L"1\x0663.0", 1, true},  // an Arabic-Indic three is no digit of a version text
    };
    for (const auto& c : cases) {
        const double number = ferrolin::LeadingNumber(c.text);
        EXPECT_DOUBLE_EQ(number, c.number) << "\"" << Narrow(c.text) << "\"";
        EXPECT_EQ(number < 9, c.refused) << "\"" << Narrow(c.text) << "\"";
    }
}

TEST(InstallDriver, ExcelBitnessDecidesTheRefusal) {
    using ferrolin::Bitness;
    // Only a 32-bit setup on 64-bit Windows meets an Excel it cannot serve: a 64-bit one.
    const struct {
        bool setup64, windows64;
        Bitness excel;
        bool refused;
    } decisions[] = {
        {false, false, Bitness::Bits32, false}, {false, false, Bitness::Unknown, false},
        {false, true, Bitness::Bits32, false},  {false, true, Bitness::Bits64, true},
        {false, true, Bitness::Unknown, false},  // no server registered: the version check says so
        {true, true, Bitness::Bits32, false},   {true, true, Bitness::Bits64, false},
        {true, true, Bitness::Unknown, false},
    };
    for (const auto& d : decisions)
        EXPECT_EQ(ferrolin::RefusesExcel(d.setup64, d.windows64, d.excel), d.refused)
            << "setup " << (d.setup64 ? 64 : 32) << ", Windows " << (d.windows64 ? 64 : 32) << ", Excel "
            << static_cast<int>(d.excel);

    // The server's program as COM keeps it, with and without quotes and switches.
    const struct {
        const wchar_t* command;
        const wchar_t* program;
    } servers[] = {
        {L"\"C:\\Program Files\\Microsoft Office\\Root\\Office16\\EXCEL.EXE\" /automation",
         L"C:\\Program Files\\Microsoft Office\\Root\\Office16\\EXCEL.EXE"},
        {L"\"C:\\Office\\EXCEL.EXE\"", L"C:\\Office\\EXCEL.EXE"},
        {L"C:\\Program Files\\Microsoft Office\\Office15\\EXCEL.EXE /automation",
         L"C:\\Program Files\\Microsoft Office\\Office15\\EXCEL.EXE"},
        {L"C:\\PROGRA~1\\MICROS~1\\OFFICE11\\excel.exe", L"C:\\PROGRA~1\\MICROS~1\\OFFICE11\\excel.exe"},
        {L"  C:\\x.exe.bak\\EXCEL.EXE -Embedding", L"C:\\x.exe.bak\\EXCEL.EXE"},
        {L"C:\\Office\\excelserver /automation", L"C:\\Office\\excelserver"},
        {L"", L""},
    };
    for (const auto& s : servers)
        EXPECT_EQ(Narrow(ferrolin::ServerProgram(s.command)), Narrow(s.program)) << Narrow(s.command);

    // The bitness read from the program file itself.
    const std::wstring self = ferrolin::ModuleFileName(nullptr);
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring system32 = std::wstring(windows) + L"\\system32\\cmd.exe";
    const std::wstring wow64 = std::wstring(windows) + L"\\syswow64\\cmd.exe";
    const struct {
        std::wstring path;
        Bitness bitness;
    } programs[] = {
        {self, sizeof(void*) == 8 ? Bitness::Bits64 : Bitness::Bits32},
        {system32, Bitness::Bits64},  // read as it is, also by a 32-bit program
        {wow64, Bitness::Bits32},
        {std::wstring(windows) + L"\\win.ini", Bitness::Unknown},
        {std::wstring(windows) + L"\\no such program.exe", Bitness::Unknown},
    };
    for (const auto& p : programs)
        EXPECT_EQ(static_cast<int>(ferrolin::ProgramBitness(p.path)), static_cast<int>(p.bitness)) << Narrow(p.path);
}

// A DLL that lies beside setup or in the current folder is loaded neither by setup nor by
// the system libraries it uses, once setup has taken its first step; a system library is.
TEST(InstallDriver, LibrariesComeOnlyFromTheSystemFolder) {
    wchar_t own[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring folder(own, length);
    folder.erase(folder.find_last_of(L'\\'));
    const std::wstring planted = folder + L"\\ferrolin_planted.dll";
    const std::wstring source = testing_support::WindowsPath(PLANTED_DLL);
    ASSERT_TRUE(CopyFileW(source.c_str(), planted.c_str(), FALSE)) << Narrow(source);
    const auto removed = ferrolin::on_scope_exit([&] { DeleteFileW(planted.c_str()); });

    // The control: without the first step the loader searches the program's folder.
    const auto load = [](const wchar_t* name) { return ferrolin::unique_hmodule(LoadLibraryW(name)); };
    ASSERT_TRUE(load(L"ferrolin_planted.dll"))
        << "the loader does not search the program's folder here: the check would prove nothing";
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));

    ferrolin::LoadLibrariesFromSystemFolderOnly();
    EXPECT_FALSE(load(L"ferrolin_planted.dll")) << "a DLL beside the program was loaded";
    EXPECT_TRUE(load(L"version.dll")) << "a system library no longer loads";
}
