// Calls into Excel's automation server, as setup and the uninstallers make them: Excel's
// identities, the user's Excel told from the programs' own hidden ones, a creation that
// cannot hang the caller, and calls that are made again while Excel turns them away and
// given up when it stops answering. Results are HRESULTs: the code here throws nothing and
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

// True while a user's Excel shows a window (the programs' own automation instances are
// hidden).
bool UsersExcelOpen();

// Waits until every handle is signalled (none given: for the time) or ms have passed, with
// the caller's windows painted: sent and paint messages only, no input, so that no click
// runs a handler inside the one that waits. The array is reordered as handles are
// signalled. True when every handle was signalled.
bool WaitPainted(HANDLE* handles, DWORD count, DWORD ms);

// The object of a class as IDispatch: an in-process server on the calling thread, else a
// local server started and waited for kAnswerMs at most (RPC_E_CALL_CANCELED after that).
// The calling thread must be in a single-threaded apartment.
HRESULT Create(const CLSID& clsid, IDispatch** object);

// GetIDsOfNames and Invoke, made again while Excel turns them away (busy) for up to a
// minute, and cancelled when Excel does not answer for kAnswerMs; from then on every call
// waiting on that Excel, its releases included, is cancelled at once, until the next
// creation.
HRESULT DispIdOf(IDispatch* object, const wchar_t* name, DISPID* id);
HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* exception);

}  // namespace excel_calls
}  // namespace ferrolin
