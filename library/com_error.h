// The COM edge of the library: a VB error raised inside a member leaves the member as
// HRESULT 0x800A0000 + number with an IErrorInfo carrying the description, and a
// failure coming back from a member called through the object's own interface turns
// into the same VB error again. No C++ exception ever crosses the interface.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "vb_error.h"

namespace ferrolin::library {

// Sets the error object for the client and gives the HRESULT the member returns.
HRESULT ReportVbError(const VbError& error) noexcept;

// Raises the VB error behind a failed member call (number from the HRESULT,
// description from the pending error object); does nothing on success.
void CheckMember(HRESULT hr);

// Runs a member's body: S_OK when it returns, the VB error when it raises one. Out of
// memory becomes error 7, any other failure error 5.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (...) {
        return ReportVbError(VbError::Caught(VbError::InvalidCall()));
    }
}

}  // namespace ferrolin::library
