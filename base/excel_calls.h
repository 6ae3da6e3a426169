// Calls into Excel's automation server, as setup and the uninstallers make them: Excel's
// identities, the user's Excel told from the programs' own hidden ones, a creation that
// cannot hang the caller, calls that are made again while Excel turns them away and given
// up when it stops answering, and the processes of the programs' own Excels, which never
// outlive them. Results are HRESULTs: the code here throws nothing and
// allocates through no C++ runtime, so that the uninstallers stay small programs.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "handles.h"

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

// The rule for every call into an Excel: a call Excel turns away (busy: starting,
// recalculating, showing a dialog) is made again every kBusyPauseMs until it is taken or
// kBusyRetryMs have passed, and then fails as Excel answered it; a call (a creation too)
// that Excel does not answer within kAnswerMs is cancelled, and that Excel given up and
// ended, kCancelledCallMs later at most. An Excel asked to quit gets kEndMs to end.
inline constexpr DWORD kBusyRetryMs = 60000;
inline constexpr DWORD kBusyPauseMs = 100;
// How long Excel may take to answer a call, or to offer its class after its start.
inline constexpr DWORD kAnswerMs = 60000;
// How long a call cancelled for want of an answer may go on waiting before the Excel it
// waits on is ended: Windows ends the wait at the cancel, Wine's COM waits on until the
// server answers, and an ended server breaks the call under both.
inline constexpr DWORD kCancelledCallMs = 5000;
// How long an Excel told to quit may take to end once its last reference is released.
inline constexpr DWORD kEndMs = 60000;
// How long the Excels a program started may take to end once it ends itself.
inline constexpr DWORD kLeftOverMs = 5000;

// True while a user's Excel shows a window (the programs' own automation instances are
// hidden).
bool UsersExcelOpen();

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

// GetIDsOfNames (and, below, Invoke) made again while Excel turns them away (busy) for up
// to a minute, and cancelled when Excel does not answer for kAnswerMs: that Excel is then
// given up and ended, and the call fails with RPC_E_CALL_CANCELED. Every call that waits
// for an answer, a release included, is watched so.
HRESULT DispIdOf(IDispatch* object, const wchar_t* name, DISPID* id);

// A member of an object: by its pinned dispatch identifier, or by name (looked up first).
struct Member {
    Member(DISPID id) : id(id), name(nullptr) {}
    Member(const wchar_t* name) : id(DISPID_UNKNOWN), name(name) {}
    DISPID id;
    const wchar_t* name;
};
inline constexpr WORD kCallOrGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// object.member(arguments) under the rule above, throwing nothing: a call or property get
// (kCallOrGet), or a property put whose value is the one argument. `reversed` holds the
// arguments last to first; the result goes into `result` and Excel's description of a
// failure into `exception`, each where given. E_POINTER for a null object.
HRESULT CallMember(IDispatch* object, Member member, WORD flags, VARIANTARG* reversed = nullptr, UINT count = 0,
                   VARIANT* result = nullptr, EXCEPINFO* exception = nullptr);
// object.member(argument) as a call or property get whose result is an object; empty when
// the call fails or gives no object.
com_ptr<IDispatch> MemberObject(IDispatch* object, Member member, VARIANTARG* argument = nullptr);

// While a user's Excel is open, asks the user (ask(): true for Retry) to close it. True once
// none is open, false when the user gave up.
template <class Ask>
bool UntilUsersExcelClosed(Ask ask) {
    while (UsersExcelOpen())
        if (!ask()) return false;
    return true;
}

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
