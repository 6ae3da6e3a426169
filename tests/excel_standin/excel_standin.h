// The Excel stand-in: a test-only out-of-process automation server that plays Microsoft
// Excel for the installer's tests. It never ships. This comment is the one place that
// documents what clients may rely on and every test knob.
//
// Programs (built in this folder)
//   excel_standin.exe /RegServer     registers the server (see Registration), exit code 0
//   excel_standin.exe /RegServer /ClickToRun
//                                    ... as Office's Click-to-Run registers Excel: the
//                                    LocalServer32 lines unquoted, "<exe path> /automation",
//                                    and beside them InprocServer32 entries for the .NET
//                                    interop assembly (mscoree.dll, Assembly, Class,
//                                    RuntimeVersion v2.0.50727); run from a copy at a path
//                                    with blanks, as Office's EXCEL.EXE
//   excel_standin.exe /UnregServer   removes that registration, exit code 0
//   excel_standin.exe -Embedding     server mode, as COM starts it (any other command line
//                                    runs the server too)
//   url_recorder.exe /Register LOG   becomes the "mailto", "http" and "https" URL handler;
//                                    every URL it is started with is appended to LOG
//   url_recorder.exe /Remove         no handler at all for those protocols ("no mail program")
//   url_recorder.exe /Unregister     undoes /Register or /Remove, restoring the previous handler
//
// Registration
//   Written under HKCU\Software\Classes. Wine 8 does not merge HKCU\Software\Classes into
//   HKEY_CLASSES_ROOT (neither for the registry API nor for COM), so when the keys do not show
//   through HKEY_CLASSES_ROOT afterwards they are written under HKLM\Software\Classes too.
//   CLSID {00024500-0000-0000-C000-000000000046} (Excel application), LocalServer32 = the
//   exe's full path, ProgID "Excel.Application.16", VersionIndependentProgID
//   "Excel.Application"; ProgIDs "Excel.Application" (with CurVer "Excel.Application.16") and
//   "Excel.Application.16"; CLSID {00020812-0000-0000-C000-000000000046} (Excel global
//   object), LocalServer32 the same exe. url_recorder writes
//   <protocol>\shell\open\command = "\"url_recorder.exe\" /Log \"LOG\" \"%1\"" plus the value
//   "URL Protocol"; where it must override HKLM it keeps the previous command under
//   HKCU\Software\FerrolinTests\UrlRecorder and puts it back on /Unregister.
//
// Instances
//   Both class factories are registered with REGCLS_SINGLEUSE, and after the first creation
//   of either class both are revoked: every creation starts a process of its own, as Excel
//   gives every automation client its own instance. An instance ends
//   - when it is invisible and its last client reference is released ("Released"),
//   - when it is invisible and no client call arrived for IdleSeconds ("Idle"),
//   - after Quit (which hides it and closes its workbooks) at its last client release, as Excel
//     stays until then ("Quit"); a client that never releases meets the idle rule ("Idle"),
//   - when its visible window is closed (WM_CLOSE) ("Closed").
//   A visible instance whose clients are all gone stays, like Excel under the user's control.
//   The class objects are always revoked before the instance starts to end.
//
// Objects and members (IDispatch only; names case-insensitive; no type information)
//   Clients call through IDispatch: GetIDsOfNames by name, Invoke with DISPATCH_METHOD and/or
//   DISPATCH_PROPERTYGET (both together as VB does), DISPATCH_PROPERTYPUT for assignments.
//   Arguments are positional; the only named argument understood is DISPID_PROPERTYPUT.
//   Arguments given to a property that takes none go to the default member of its result, as
//   ITypeInfo::Invoke passes them on for Excel: Workbooks("Book1") may arrive as the property
//   Workbooks called with "Book1", Hyperlinks(1) as Hyperlinks called with 1 (VBScript, VB).
//   A method called with too many arguments fails with DISP_E_BADPARAMCOUNT and does nothing.
//   Pinned dispatch ids: 0xB5 Add (AddIns, Workbooks, Sheets, Hyperlinks), 0x226 Installed,
//   0 the default member (Item of the collections, Value of Range, Application of Global, Name
//   of the other objects).
//   Every object has Application and Parent.
//   Application  Name (default), Version, Workbooks, AddIns, Visible get/put, WindowState
//                get/put, DisplayAlerts get/put, ActiveWorkbook (Nothing when none), ActiveSheet,
//                Sheets, Worksheets, LibraryPath, UserLibraryPath, Hwnd (the main window, for
//                tests), Quit
//   Global       Application
//   Workbooks    Count, Item(name or 1-based index), Add -> "Book1", "Book2", ...
//                Add-in workbooks are found by name but not counted (as in Excel).
//   Workbook     Name, FullName, Path, Saved get/put, Sheets, Worksheets, ActiveSheet,
//                Close([SaveChanges]) (nothing is ever saved)
//   Sheets       Count, Item(name or index), Add -> new worksheet, made active
//   Worksheet    Name, Range(cell), Hyperlinks
//   Range        Value get/put (default), Address
//   Hyperlinks   Count, Item(1-based index), Add(Anchor, Address[, SubAddress]); Anchor is any
//                object whose Address property names the cell (a Range, usually a proxy)
//   Hyperlink    Name, Address, SubAddress, Follow([NewWindow, AddHistory, ...]): opens Address
//                with ShellExecuteW "open"; fails when the shell cannot open it
//   AddIns       Count, Item(title, case-insensitive, or 1-based index), Add(filename[, copy]):
//                lists the file (title = file name without extension); fails (1004) when no
//                workbook is open or the file does not exist; an already listed path returns
//                the listed add-in
//   AddIn        Name (file name), FullName, Path, Title, Installed get/put
//                Installed := True opens the add-in workbook under its file name and holds the
//                file open with share mode FILE_SHARE_READ only (no delete sharing), as Excel
//                does; False closes it. Assigning the state the add-in already has does
//                nothing: an add-in listed as installed whose workbook is not loaded (every
//                one, in an instance started through automation) stays unloaded.
//   Errors are DISP_E_EXCEPTION with EXCEPINFO: scode 0x800A0000 + number, the number's
//   description and source "Microsoft Excel": 9 "Subscript out of range" for unknown items,
//   1004 for failing members ("Add method of AddIns class failed", "Unable to set the
//   Installed property of the AddIn class", "Cannot open the specified file."), 449
//   "Argument not optional", 13 "Type mismatch". Calls on an object whose workbook was closed
//   fail with 0x80010108 (RPC_E_DISCONNECTED).
//   Workbook.Close and Quit with DisplayAlerts True and unsaved changes (a sheet added, a cell
//   set, a hyperlink added) log the prompt Excel would show and go on as "Don't Save".
//   WindowState set while the window is hidden is kept and applied when Visible := True.
//
// Add-in list persistence (as Excel keeps it), HKCU\Software\Microsoft\Office\<major>.0\Excel,
// <major> being the leading number of the Version knob
//   Options         OPEN, OPEN1, OPEN2, ... = /R "full path" (REG_SZ), the installed add-ins
//   Add-in Manager  a value named by the full path, empty REG_SZ, for each listed add-in that
//                   is not installed
//   Read when an instance starts; an instance started through automation (every one) loads
//   no add-in: installed ones are listed as installed, their workbooks stay closed. Written
//   when the instance ends (Released, Idle, Quit, Closed), as Excel writes it on exit, not at
//   each change: read the list through automation while the instance runs, or after it ended.
//
// Test knobs, HKCU\Software\FerrolinTests\ExcelStandIn, read when an instance starts
//   Version               REG_SZ     Application.Version; default "16.0"
//   LibraryPath           REG_SZ     Application.LibraryPath; default Office's own library,
//                                    <CSIDL_PROGRAM_FILES>\Microsoft Office\root\Office16\LIBRARY
//                                    (Click-to-Run), which /RegServer makes as Office's
//                                    installer does. Application.UserLibraryPath is always
//                                    <CSIDL_APPDATA>\Microsoft\AddIns\ (closing backslash
//                                    included, as Excel gives it; never created here)
//   FailMember            REG_SZ     members that fail with DISP_E_EXCEPTION (1004), separated
//                                    by ";": "Class.Member" ("AddIns.Add", "Workbooks.Add") or a
//                                    bare member name ("Installed") for every class; default
//                                    members count as Item/Value/Name
//   SlowMember            REG_SZ     members (as FailMember) that answer only after SlowMs, as
//                                    a hung Excel: the instance does nothing else meanwhile;
//                                    "Application.Create": the creation, after its log line
//   SlowMs                REG_DWORD  default 0
//   InstallOpensWorkbook  REG_DWORD  default 1; 0: Installed := True marks the add-in
//                                    installed without opening its workbook
//   IdleSeconds           REG_DWORD  default 60
//   BusyMs                REG_DWORD  default 0; for this many milliseconds after it starts
//                                    the instance is busy, as Excel is while it starts,
//                                    recalculates or shows a dialog: its message filter
//                                    rejects every incoming call on its objects (IDispatch;
//                                    SERVERCALL_REJECTED, the caller gets RPC_E_CALL_REJECTED;
//                                    the creation itself goes through). 0xFFFFFFFF: busy for good
//   Log                   REG_DWORD  1: append one line per event to LogFile
//   LogFile               REG_SZ     the log file (UTF-8, CRLF lines, shared by all instances)
//
// Log lines: "<pid> <event>", <pid> decimal. Events:
//   Start <rights>                            the instance started (through automation), with
//                                             its process's rights: elevated or limited
//   Start user <rights> by <program>          started with no command line, as the user or the
//                                             shell opens Excel, by that program (file name,
//                                             lower case): it loads its installed add-ins,
//                                             adds Book1 and shows its window as the starter
//                                             asked (maximised, minimised or normal); it
//                                             offers no class
//   Create Application | Create Global        a class factory created an object
//   <Class>.<Member>                          a property read or a method call without arguments
//   <Class>.<Member>(<arg>, <arg>)            ... with arguments
//   <Class>.<Member>=<value>                  a property assignment
//   <Class>(<args>)  <Class>=<value>          the default member (dispatch id 0)
//   <Class>.<Member>(<args>)                  also a property whose arguments went on to the
//                                             default member of its result
//   ... -> Error <number>                     suffix of a call that failed (number as above,
//                                             or the HRESULT in hex for other failures)
//   Prompt "<text>"                           the question Excel would have asked (before
//                                             the line of the call that asked it)
//   End Released | End Idle | End Quit | End Closed
//   End no window: <error> | End not registered: <Class> <HRESULT>
//                                             a start that could not offer its classes
//   Arguments: texts in double quotes, True/False, numbers, Empty, Missing (omitted), <Class> for
//   objects of the stand-in and <Object> for others. Example of one instance:
//     412 Start elevated
//     412 Create Application
//     412 Workbooks.Add
//     412 AddIns("Ferrolin 1.1") -> Error 9
//     412 Application.DisplayAlerts=False
//     412 Application.ActiveWorkbook
//     412 Workbook.Close
//     412 Application.Quit
//     412 End Quit
//   (Application.Workbooks, Application.AddIns and the like are logged as reads too.)
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "handles.h"
#include "module_path.h"

namespace excel_standin {

inline constexpr wchar_t kApplicationClsid[] = L"{00024500-0000-0000-C000-000000000046}";
inline constexpr wchar_t kGlobalClsid[] = L"{00020812-0000-0000-C000-000000000046}";
inline constexpr wchar_t kProgId[] = L"Excel.Application";
inline constexpr wchar_t kVersionedProgId[] = L"Excel.Application.16";

inline constexpr CLSID kClsidApplication = {
    0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr CLSID kClsidGlobal = {
    0x00020812, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr wchar_t kMainWindowClass[] = L"XLMAIN";
inline constexpr wchar_t kExcelCaption[] = L"Microsoft Excel";

// Knobs
inline constexpr wchar_t kKnobKey[] = L"Software\\FerrolinTests\\ExcelStandIn";
inline constexpr wchar_t kKnobVersion[] = L"Version";
inline constexpr wchar_t kKnobLibraryPath[] = L"LibraryPath";
inline constexpr wchar_t kKnobFailMember[] = L"FailMember";
inline constexpr wchar_t kKnobInstallOpensWorkbook[] = L"InstallOpensWorkbook";
inline constexpr wchar_t kKnobIdleSeconds[] = L"IdleSeconds";
inline constexpr wchar_t kKnobBusyMs[] = L"BusyMs";
inline constexpr wchar_t kKnobSlowMember[] = L"SlowMember";
inline constexpr wchar_t kKnobSlowMs[] = L"SlowMs";
inline constexpr wchar_t kKnobLog[] = L"Log";
inline constexpr wchar_t kKnobLogFile[] = L"LogFile";
inline constexpr wchar_t kDefaultVersion[] = L"16.0";
inline constexpr DWORD kDefaultIdleSeconds = 60;

// Excel's own registry locations, under HKEY_CURRENT_USER
inline constexpr wchar_t kOfficeKey[] = L"Software\\Microsoft\\Office\\";   // + "16.0"
inline constexpr wchar_t kOptionsSubkey[] = L"\\Excel\\Options";
inline constexpr wchar_t kAddinManagerSubkey[] = L"\\Excel\\Add-in Manager";
// One of those keys of the stand-in's own version, as the tests read and write them.
inline std::wstring ExcelKey(const wchar_t* subkey) { return std::wstring(kOfficeKey) + kDefaultVersion + subkey; }

// url_recorder
inline constexpr wchar_t kUrlRecorderSavedKey[] = L"Software\\FerrolinTests\\UrlRecorder";

// Dispatch ids
inline constexpr DISPID kDispidDefault = 0;
inline constexpr DISPID kDispidAdd = 0xB5;
inline constexpr DISPID kDispidInstalled = 0x226;

// Excel constants
inline constexpr long xlMinimized = -4140;
inline constexpr long xlMaximized = -4137;
inline constexpr long xlNormal = -4143;

// The rights of a process as a start logs them.
inline const wchar_t* RightsOf(HANDLE process) {
    HANDLE raw = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool opened = OpenProcessToken(process, TOKEN_QUERY, &raw) != FALSE;
    const ferrolin::unique_handle token(raw);
    const bool read = opened && GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size);
    return !read ? L"unknown" : elevation.TokenIsElevated ? L"elevated" : L"limited";
}

// The rights of the desktop's shell, with which the programs it opens for setup run.
inline const wchar_t* ShellRights() {
    DWORD shell = 0;
    GetWindowThreadProcessId(GetShellWindow() ? GetShellWindow() : GetDesktopWindow(), &shell);
    const ferrolin::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shell));
    return process ? RightsOf(process.get()) : L"unknown";
}

// Writes a text value (REG_SZ), the key made when missing; false when the registry refuses.
inline bool WriteText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& data) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return false;
    const ferrolin::unique_hkey key(raw);
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Sets one of the knobs the tests turn (under kKnobKey); false when the registry refuses.
inline bool SetKnob(const wchar_t* name, const std::wstring& text) {
    return WriteText(HKEY_CURRENT_USER, kKnobKey, name, text);
}
inline bool SetKnob(const wchar_t* name, DWORD number) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKnobKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const ferrolin::unique_hkey key(raw);
    return RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number) ==
           ERROR_SUCCESS;
}

}  // namespace excel_standin
