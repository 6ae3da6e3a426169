// Calls into Excel's automation server, as setup and the uninstallers make them: Excel's
// identities, the user's Excel told from the programs' own hidden ones, a creation that
// cannot hang the caller, calls that are made again while Excel turns them away and given
// up when it stops answering, and the processes of the programs' own Excels, which never
// outlive them. Results are HRESULTs: the code here throws nothing and
// allocates through no C++ runtime, so that the uninstallers stay small programs.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace ferrolin {

inline constexpr CLSID kClsidExcelApplication = {
    0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr CLSID kClsidExcelGlobal = {
    0x00020812, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace excel_calls {

inline constexpr LCID kLocale = 1033;  // English (United States)

// Pinned dispatch identifiers of Excel's object library.
inline constexpr DISPID kDispIdAdd = 0xB5;         // AddIns.Add (and the other collections' Add)
inline constexpr DISPID kDispIdInstalled = 0x226;  // AddIn.Installed

// How long Excel may take to answer a call, or to offer its class after its start.
inline constexpr DWORD kAnswerMs = 60000;
// How long a call cancelled for want of an answer may go on waiting before the Excel it
// waits on is ended: Windows ends the wait at the cancel, Wine's COM waits on until the
// server answers, and an ended server breaks the call under both.
inline constexpr DWORD kCancelledCallMs = 5000;
// How long the Excels a program started may take to end once it ends itself.
inline constexpr DWORD kLeftOverMs = 5000;

// True while a user's Excel shows a window (the programs' own automation instances are
// hidden).
bool UsersExcelOpen();

// Waits until every handle is signalled (none given: for the time) or ms have passed, with
// the caller's windows painted: sent and paint messages only, no input, so that no click
// runs a handler inside the one that waits. The array is reordered as handles are
// signalled. True when every handle was signalled.
bool WaitPainted(HANDLE* handles, DWORD count, DWORD ms);

// The program a server's command line starts, as its first character and length: a quoted
// path, else a path running to the ".exe" that a blank or the end follows (Office
// registers Excel unquoted, under Program Files), else the first word.
void ServerProgramSpan(const wchar_t* commandLine, size_t* start, size_t* length);

// The object of a class as IDispatch. Excel's own classes (kClsidExcelApplication,
// kClsidExcelGlobal) are made by a local server only, started and waited for kAnswerMs at
// most (RPC_E_CALL_CANCELED after that); another class by an in-process server on the
// calling thread where it has one. The process of the Excel started for it goes into
// *process (0 when it cannot be told): from then on this program ends it when it stops
// answering, and when the program ends. A creation given up ends its Excel at once where
// that is the one Excel that came up meanwhile.
// The calling thread must be in a single-threaded apartment.
HRESULT Create(const CLSID& clsid, IDispatch** object, DWORD* process = nullptr);

// GetIDsOfNames and Invoke, made again while Excel turns them away (busy) for up to a
// minute, and cancelled when Excel does not answer for kAnswerMs: that Excel is then given
// up and ended, and the call fails with RPC_E_CALL_CANCELED. Every call that waits for an
// answer, a release included, is watched so.
HRESULT DispIdOf(IDispatch* object, const wchar_t* name, DISPID* id);
HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* exception);

// Waits, windows painted, up to ms for the Excel that Create started in that process to
// end (its last reference released after Quit), and ends it when it has not. True only
// when it ended of itself, never given up: then it wrote what it writes at its end (its
// list of add-ins). True also for process 0, of which nothing is known.
bool AwaitEnd(DWORD process, DWORD ms);

// The program file of the Excel that Create started in that process (its EXCEL.EXE), into
// path; false when it is not known.
bool ProgramOf(DWORD process, wchar_t* path, DWORD size);

// For the program's end: creations still under way are waited for, then every Excel that
// Create started and that still runs gets kLeftOverMs to end and is ended after that.
void EndStarted();

}  // namespace excel_calls
}  // namespace ferrolin
