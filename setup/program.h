// The program's first step and its own ends: where its libraries may come from, an
// immediate end whatever is nested, the message box every page uses, and the stop with a
// message that a VB program makes when an error reaches no handler.
#pragma once

#include <windows.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "vb_error.h"
#include "wait_painted.h"

namespace ferrolin {

// Setup runs from a distribution folder that anyone may have filled: from here on no DLL
// is taken from there (nor from the current folder), only from the system folder. The
// program's first step; what it imports is loaded before it and must be known DLLs.
void LoadLibrariesFromSystemFolderOnly();

// How setup ended, as its exit code: 0 only after "The Installation was finished.", so
// that a deployment tool or a script can tell an installation from every other ending.
// The numbers are listed in the users' guide; never renumber them.
enum class SetupEnd : UINT {
    Installed = 0,
    Cancelled = 1,            // Yes to the cancel question
    ExcelOpenCancelled = 2,   // Cancel while the user's Excel stays open
    ExcelTooOld = 3,
    ExcelIs64Bit = 4,         // the 32-bit setup and a 64-bit Excel
    ExcelNotAvailable = 5,
    ComponentNotCopied = 6,
    AddinNotCopied = 7,
    FolderNotCreated = 8,     // New folder in the picker
    RecordNotReset = 9,
    RuntimeError = 10,        // the "Run-time error" message
    AlreadyRunning = 11,      // another setup runs in this logon
    Unfinished = 12,          // the wizard's loop ended without an ending of its own
    RegistrationFailed = 13,  // installed, but a component's registration failed
    AddinNotListed = 14,      // installed, but Excel's list of add-ins was not seen to hold it
    OtherAccount = 15,        // No to installing for another account than the signed-in user's
};

// A second setup in the same Windows logon brings the first one's window to the front and
// ends at once, before it has done anything.
void EndIfAnotherSetupRuns();

// Ends the program at once with that exit code: open windows are discarded, nothing is
// undone.
[[noreturn]] void EndProgram(SetupEnd how);

// Waits until every handle is signalled (none given: for the time) or ms have passed, with
// setup's windows painted but no click taken.
inline bool WaitPainted(std::vector<HANDLE> handles, DWORD ms) {
    return WaitPainted(handles.data(), static_cast<DWORD>(handles.size()), ms);
}

// A message box owned by the program's active window; the answer is the button's ID.
int MsgBox(const std::wstring& text, UINT buttonsAndIcon, const wchar_t* title);

// The text of the stop message: "Run-time error '<n>':" CR CR description.
std::wstring RuntimeErrorText(const VbError& error);
// Shows the stop message (critical icon, OK, title "Orvicta") and ends the program.
[[noreturn]] void StopWithRuntimeError(const VbError& error);

// The error a step ended with, whatever it threw: its own VbError, "Out of memory" for a
// failed allocation, VB's "Internal error" for anything else. Called from a catch block.
VbError CaughtError();

// Runs an event procedure or the entry procedure: an error that leaves it unhandled stops
// the program with its message, as in a VB program. Nothing passes this edge: an exception
// would otherwise unwind through the system's window code, or end the program with abort().
template <class Procedure>
void RunProcedure(Procedure&& procedure) {
    try {
        std::forward<Procedure>(procedure)();
    } catch (...) {
        StopWithRuntimeError(CaughtError());
    }
}

// Steps that run with failures recorded (VB's On Error Resume Next): a failing step is
// skipped and its error kept as the pending one; a later step asks whether one is pending.
// Entering the mode (construction) and leaving it (Stop) forget any pending failure.
class FailuresRecorded {
public:
    FailuresRecorded() = default;
    FailuresRecorded(const FailuresRecorded&) = delete;
    FailuresRecorded& operator=(const FailuresRecorded&) = delete;

    template <class Step>
    void Run(Step&& step) {
        try {
            std::forward<Step>(step)();
        } catch (...) {
            pending_ = CaughtError();
            hasPending_ = true;
        }
    }
    bool Pending() const noexcept { return hasPending_; }
    const VbError& Error() const noexcept { return pending_; }
    void Stop() noexcept { hasPending_ = false; pending_ = VbError(0, L""); }

private:
    bool hasPending_ = false;
    VbError pending_{0, L""};
};

}  // namespace ferrolin
