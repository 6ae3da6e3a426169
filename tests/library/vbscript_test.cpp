// A VBScript client run by the system's cscript: what the add-in does through
// CreateObject("IFR_v11.CLibrary"), with the error numbers a script sees. Wine's cscript
// hides unhandled script errors, so the script checks each step and reports through
// its exit code.
#include <gtest/gtest.h>

#include <string>

#include "library_harness.h"
#include "test_support.h"

using namespace library_harness;

namespace {

const char kScript[] =
    "On Error Resume Next\r\n"
    "Set lib = CreateObject(\"IFR_v11.CLibrary\")\r\n"
    "If Err.Number <> 0 Then WScript.Quit 10\r\n"
    "If lib.lCia <> \"\" Then WScript.Quit 11\r\n"
    "lib.lCia = \"Orvicta\"\r\n"
    "If lib.lCia <> \"Orvicta\" Then WScript.Quit 12\r\n"
    "If lib.App_Exist <> True Then WScript.Quit 13\r\n"
    "If lib.IsAddin_Installed <> False Then WScript.Quit 14\r\n"
    "lib.prcDir \"  C:\\FERROLIN  \"\r\n"
    "If Err.Number <> 0 Then WScript.Quit 15\r\n"
    "If lib.InstallPath <> \"C:\\FERROLIN\" Then WScript.Quit 16\r\n"
    "lib.prcSet_status_Addin \"True\"\r\n"
    "If lib.IsAddin_Installed <> True Then WScript.Quit 17\r\n"
    "If lib.Get_status_Addin <> \"84114117101\" Then WScript.Quit 18\r\n"
    "key = lib.lpHkey_app\r\n"
    "If key <> \"Software\\Vandrel11\\Groupdate\\\" Then WScript.Quit 19\r\n"
    "If lib.GetRegistryValue(&H80000001, key, \"Dir\", 1) <> \"C:\\FERROLIN\" Then WScript.Quit 20\r\n"
    "If lib.GetRegistryValueX(key, \"Missing\", 1, \"dflt\") <> \"dflt\" Then WScript.Quit 21\r\n"
    "If lib.GetRegistryValueX(key, \"Missing\", 4) <> \"\" Then WScript.Quit 22\r\n"
    "lib.SetRegistryValueX key, \"set_confg\", 3, \"01\"\r\n"
    "If Err.Number <> 0 Then WScript.Quit 23\r\n"
    "x = lib.GetRegistryValue(&H80000001, key, \"Dir\", 2)\r\n"
    "If Err.Number <> 1001 Then WScript.Quit 30\r\n"
    "If Err.Description <> \"Tipo de valor no compatible\" Then WScript.Quit 31\r\n"
    "Err.Clear\r\n"
    "lib.prcSet_Addin \"\"\r\n"
    "If Err.Number <> 9 Then WScript.Quit 32\r\n"
    "Err.Clear\r\n"
    "lib.prcDir \"   \"\r\n"
    "If Err.Number <> 9 Then WScript.Quit 33\r\n"
    "Err.Clear\r\n"
    "If lib.InstallPath <> \"C:\\FERROLIN\" Then WScript.Quit 34\r\n"
    "lib.prcDesinstalar_Addin\r\n"
    "If lib.App_Exist <> False Then WScript.Quit 35\r\n"
    "If lib.Delete_information_All <> True Then WScript.Quit 36\r\n"
    "If lib.CheckRegistryKey(&H80000001, \"Software\\Vandrel11\") Then WScript.Quit 37\r\n"
    "If Err.Number <> 0 Then WScript.Quit 38\r\n"
    "Set lib = Nothing\r\n"
    "WScript.Quit 0\r\n";

}  // namespace

TEST(VbScript, AnAddinStyleScriptReadsAndWritesTheRecord) {
    testing_support::CleanRecord clean;
    testing_support::TempDir folder(L"library-vbs");
    const std::wstring script = folder.file(L"addin.vbs");
    testing_support::WriteFileBytes(script, kScript);
    Registration registration;
    ASSERT_EQ(registration.exitCode(), 0);
    const int code = RunProgram(L"cscript.exe \"" + script + L"\"", 60000);
    EXPECT_EQ(code, 0) << "the script stopped at the step that quits with this code";
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, L"Software\\Vandrel11"));
}
