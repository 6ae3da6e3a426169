// The setup run state: what one run of the wizard has decided so far. Nothing of it
// survives the run.
#pragma once

#include <string>

namespace ferrolin {

// An earlier installation of this version is present: the terms page's Next reinstalls
// into the recorded folder.
inline bool blnReinstall = false;
// The destination folder of this run, trimmed and in upper case.
inline std::wstring strInstallPath;
// The earlier add-in workbook cannot be deleted: the destination page's Next stops.
inline bool blnExitInstall = false;
// The folder picker was confirmed with Ok at least once in this run; never cleared.
inline bool blnPathChosen = false;
// The default destination that prcFillDefaultPath put into the destination page. The page
// shows it again whenever it is created afresh in this run (after "<< Back").
inline std::wstring strDefaultPath;
// Excel's add-in library folder (Application.LibraryPath), asked of Excel once per run: by
// the version check's Excel, else by the first GetDefaultFolder. Each start of Excel costs
// the user seconds (add-ins load, Office checks its licence), and every Excel answers the
// same.
inline bool blnLibraryPathKnown = false;
inline std::wstring strLibraryPath;
// A component's registrar could not be started or reported a failure: setup's exit code
// says so after an installation.
inline bool blnRegistrationFailed = false;

}  // namespace ferrolin
