// A VBScript client run by the system's cscript: what the add-in does through
// CreateObject("IFR_v11.CLibrary"), with the error numbers a script sees; and the VBA
// examples of docs/library.md, turned into VBScript and run the same way. Wine's cscript
// hides unhandled script errors, so the scripts check each step and report through
// their exit code.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

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
    "WScript.Quit 100000\r\n";  // kRanToTheEnd: Wine's cscript ends with 0 on a script it cannot run

// ---- The VBA examples of the library reference -------------------------------------------
//
// Each ```vba block of the reference becomes a VBScript of its own:
// - "Option Explicit" and the Sub ... End Sub lines go; "As <type>" goes from Dim and Const.
// - "New <library>.<class>" becomes CreateObject("<library>.<class>"); the names are noted
//   so the test can look them up in the type library, as the VBA editor would.
// - A line "Debug.Print <expression>  ' -> <text>" becomes a check: the script quits with
//   the line's number in the reference when the expression does not give that text.
//   Other Debug.Print and MsgBox lines just echo.
// - "Exit Sub" quits with its line number: an example that leaves early took its failure
//   road. A script that runs to its end quits with kRanToTheEnd; an unhandled error ends
//   it with 0 under Wine.

constexpr int kRanToTheEnd = 100000;
const std::string kCheckMarker = "' -> ";
const std::string kPrint = "Debug.Print ";

struct DocLine {
    int number;  // 1-based, in the reference
    std::string text;
};

struct VbaExample {
    int firstLine = 0;
    std::vector<DocLine> lines;
};

struct ConvertedExample {
    std::string script;
    int checks = 0;
    std::vector<std::string> typeNames;  // "<library>.<class>" of As and New
};

std::vector<VbaExample> VbaExamples(const std::string& doc) {
    std::vector<VbaExample> examples;
    bool inside = false;
    int number = 0;
    size_t start = 0;
    while (start < doc.size()) {
        size_t end = doc.find('\n', start);
        if (end == std::string::npos) end = doc.size();
        std::string line = doc.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        ++number;
        if (!inside && line == "```vba") {
            inside = true;
            examples.push_back({number + 1, {}});
        } else if (inside && line == "```") {
            inside = false;
        } else if (inside) {
            examples.back().lines.push_back({number, line});
        }
    }
    return examples;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

// Where `token` starts in `line` outside string literals and not inside a longer name,
// from `from` on; npos when nowhere.
size_t FindCode(const std::string& line, const std::string& token, size_t from = 0) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (!quoted && i >= from && line.compare(i, token.size(), token) == 0 &&
                 (i == 0 || !IsNameChar(line[i - 1])))
            return i;
    }
    return std::string::npos;
}

size_t NameEnd(const std::string& line, size_t at) {
    while (at < line.size() && IsNameChar(line[at])) ++at;
    return at;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

ConvertedExample ToVbScript(const VbaExample& example) {
    ConvertedExample out;
    for (const DocLine& doc : example.lines) {
        std::string line = doc.text;
        const std::string code = Trimmed(line);
        const std::string number = std::to_string(doc.number);
        if (code == "Option Explicit" || code == "End Sub" || StartsWith(code, "Sub ") ||
            StartsWith(code, "Public Sub ") || StartsWith(code, "Private Sub "))
            continue;
        if (StartsWith(code, "Dim ") || StartsWith(code, "Const ")) {
            for (size_t at = FindCode(line, "As ", 1); at != std::string::npos; at = FindCode(line, "As ", at)) {
                const size_t end = NameEnd(line, at + 3);
                const std::string type = line.substr(at + 3, end - at - 3);
                if (type.find('.') != std::string::npos) out.typeNames.push_back(type);
                line.erase(at - 1, end - at + 1);  // with the blank before it
                --at;
            }
        }
        for (size_t at = FindCode(line, "New "); at != std::string::npos; at = FindCode(line, "New ", at)) {
            const size_t end = NameEnd(line, at + 4);
            const std::string type = line.substr(at + 4, end - at - 4);
            out.typeNames.push_back(type);
            line.replace(at, end - at, "CreateObject(\"" + type + "\")");
        }
        for (size_t at = FindCode(line, "Exit Sub"); at != std::string::npos; at = FindCode(line, "Exit Sub", at))
            line.replace(at, 8, "WScript.Quit " + number);
        for (size_t at = FindCode(line, "MsgBox "); at != std::string::npos; at = FindCode(line, "MsgBox ", at))
            line.replace(at, 7, "WScript.Echo ");
        if (StartsWith(code, kPrint)) {
            const std::string indent(line.find(kPrint), ' ');
            const size_t print = indent.size() + kPrint.size();
            const size_t marker = FindCode(line, kCheckMarker);
            if (marker != std::string::npos) {
                const std::string expression = Trimmed(line.substr(print, marker - print));
                std::string expected;
                for (char c : Trimmed(line.substr(marker + kCheckMarker.size())))
                    expected += c == '"' ? std::string("\"\"") : std::string(1, c);
                line = indent + "If CStr(" + expression + ") <> \"" + expected + "\" Then WScript.Quit " + number;
                ++out.checks;
            } else {
                line = indent + "WScript.Echo " + line.substr(print);
            }
        }
        out.script += line + "\r\n";
    }
    out.script += "WScript.Quit " + std::to_string(kRanToTheEnd) + "\r\n";
    return out;
}

// True when `name` ("<library>.<class>") names a creatable class of the library's own
// type library, so that VBA with a reference to it compiles "Dim x As <name>" and "New <name>".
bool NamesCreatableClass(ITypeLib* library, const std::string& name) {
    const size_t dot = name.find('.');
    if (dot == std::string::npos) return false;
    ferrolin::unique_bstr libraryName;
    if (FAILED(library->GetDocumentation(-1, libraryName.put(), nullptr, nullptr, nullptr))) return false;
    if (testing_support::Narrow(Text(libraryName)) != name.substr(0, dot)) return false;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ferrolin::unique_bstr typeName;
        library->GetDocumentation(static_cast<INT>(i), typeName.put(), nullptr, nullptr, nullptr);
        if (testing_support::Narrow(Text(typeName)) != name.substr(dot + 1)) continue;
        ferrolin::com_ptr<ITypeInfo> info;
        TYPEATTR* attr = nullptr;
        if (FAILED(library->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&attr))) return false;
        const bool creatable = attr->typekind == TKIND_COCLASS && (attr->wTypeFlags & TYPEFLAG_FCANCREATE);
        info->ReleaseTypeAttr(attr);
        return creatable;
    }
    return false;
}

// The key the early-binding example keeps its options in, removed before and after.
void RemoveOptionsKey() { testing_support::DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\Orvicta"); }

}  // namespace

TEST(VbScript, AnAddinStyleScriptReadsAndWritesTheRecord) {
    testing_support::CleanRecord clean;
    testing_support::TempDir folder(L"library-vbs");
    const std::wstring script = folder.file(L"addin.vbs");
    testing_support::WriteFileBytes(script, kScript);
    Registration registration;
    ASSERT_EQ(registration.exitCode(), 0);
    const int code =
        testing_support::ExitCodeOf(testing_support::SystemFolder() + L"\\cscript.exe", L"\"" + script + L"\"", 60000);
    EXPECT_EQ(code, kRanToTheEnd) << (code == 0 ? "the script did not run, or an unhandled error ended it"
                                                : "the script stopped at the step that quits with this code");
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, L"Software\\Vandrel11"));
}

TEST(VbScript, TheReferenceExamplesRunAsDocumented) {
    const std::string doc = testing_support::ReadFileBytes(testing_support::WindowsPath(LIBRARY_DOC));
    ASSERT_FALSE(doc.empty()) << "cannot read " << LIBRARY_DOC;
    const std::vector<VbaExample> examples = VbaExamples(doc);
    ASSERT_EQ(examples.size(), 2u) << "one example for late binding, one for early binding";

    ferrolin::com_apartment apartment;
    ferrolin::com_ptr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(LibraryPath().c_str(), REGKIND_NONE, library.put()), S_OK);

    // The record as setup leaves it after an installation into C:\FERROLIN.
    testing_support::CleanRecord clean;
    const std::wstring record = L"Software\\Vandrel11\\Groupdate";
    std::vector<BYTE> dir = testing_support::Utf16Bytes(L"C:\\FERROLIN");
    dir.insert(dir.end(), {0, 0});
    testing_support::WriteRaw(HKEY_CURRENT_USER, record, L"Dir", REG_SZ, dir);
    testing_support::WriteRaw(HKEY_CURRENT_USER, record, L"STATUS_APP", REG_BINARY,
                              testing_support::Utf16Bytes(L"84114117101"));
    testing_support::WriteRaw(HKEY_CURRENT_USER, record, L"APP_REFINST", REG_BINARY,
                              testing_support::Utf16Bytes(L"1"));
    RemoveOptionsKey();
    const auto options = ferrolin::on_scope_exit(RemoveOptionsKey);

    testing_support::TempDir folder(L"library-doc");
    Registration registration;
    ASSERT_EQ(registration.exitCode(), 0);
    int typeNames = 0;
    for (size_t i = 0; i < examples.size(); ++i) {
        const ConvertedExample converted = ToVbScript(examples[i]);
        SCOPED_TRACE("the example at line " + std::to_string(examples[i].firstLine) + " of docs/library.md:\n" +
                     converted.script);
        EXPECT_GT(converted.checks, 0) << "no line shows a result with ' ->";
        for (const std::string& name : converted.typeNames) {
            EXPECT_TRUE(NamesCreatableClass(library.get(), name)) << name << " is no class of the type library";
            ++typeNames;
        }
        const std::wstring script = folder.file(L"example" + std::to_wstring(i + 1) + L".vbs");
        testing_support::WriteFileBytes(script, converted.script);
        const int code =
        testing_support::ExitCodeOf(testing_support::SystemFolder() + L"\\cscript.exe", L"\"" + script + L"\"", 60000);
        EXPECT_EQ(code, kRanToTheEnd) << (code == 0 ? "an unhandled error ended the script"
                                                    : "the script stopped at this line of docs/library.md");
    }
    EXPECT_GT(typeNames, 0) << "no example binds early to a class of the type library";
}
