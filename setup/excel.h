// The setup program's dialogue with Excel through its automation interface: taking the
// add-in out of Excel before its files are replaced, adding and installing it at the end,
// proposing the default destination folder, and opening a mail to the maker.
#pragma once

#include <string>

#include "excel_calls.h"
#include "form.h"

namespace ferrolin {

// Excel's program identifier (its class identifiers: excel_calls.h).
inline constexpr wchar_t kExcelProgId[] = L"Excel.application";

// Once no Excel of the user's is open, takes the add-in "Ferrolin 1.1" out of Excel's
// installed add-ins on a hidden Excel of setup's and has that Excel quit; unloads the terms
// page and shows the next page modally; returns only after the next page was closed. Every
// Excel step's failure is skipped.
void prcRemoveFromExcel(Form& nextPage);

// Once no Excel of the user's is open and the registrars have ended (or been ended), adds
// the installed add-in workbook (the install record's folder, the title, ".xla") to
// Excel's add-in list and installs it, on a hidden Excel of setup's that then quits; waits
// for that Excel's end (it writes its list then) and checks that the list holds it (else
// says how to finish and ends with its own code); once no Excel of the user's is open
// again, has the desktop's shell open that Excel's program for the user, maximised, with
// the user's rights; shows the final message and ends the program. A failure up to the
// installation is not handled here: it stops the program with its message.
[[noreturn]] void prcAddToExcel(const std::wstring& title);

// Excel's add-in library folder (trimmed) when it exists, otherwise "C:\Ferrolin". The
// folder is asked of Excel once per run (through its global object, unless the version
// check's Excel gave it already). Failures pass to the caller.
std::wstring GetDefaultFolder();

// Opens a new mail message to the address by following a "mailto:" hyperlink in a
// scratch Excel workbook; "Can't send mail." when any step fails.
void prcSendMail(const std::wstring& address);

}  // namespace ferrolin
