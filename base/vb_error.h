// The one error type of the programs: a VB-style (number, description) pair. Inside the
// programs it travels as an exception; the library turns it into an HRESULT of
// FACILITY_CONTROL plus IErrorInfo at its COM edge.
#pragma once

#include <windows.h>

#include <exception>
#include <new>
#include <string>
#include <utility>

namespace ferrolin {

class VbError : public std::exception {
public:
    VbError(long number, std::wstring description)
        : number_(number), description_(std::move(description)) {}
    long number() const noexcept { return number_; }
    const std::wstring& description() const noexcept { return description_; }
    const char* what() const noexcept override { return "VB error"; }

    // The run-time errors a VB class raises for bad arguments.
    static VbError InvalidCall() { return {5, L"Invalid procedure call or argument"}; }
    static VbError Overflow() { return {6, L"Overflow"}; }
    static VbError OutOfMemory() { return {7, L"Out of memory"}; }
    static VbError SubscriptOutOfRange() { return {9, L"Subscript out of range"}; }
    static VbError TypeMismatch() { return {13, L"Type mismatch"}; }
    static VbError Internal() { return {51, L"Internal error"}; }
    static VbError ObjectNotSet() { return {91, L"Object variable or With block variable not set"}; }
    static VbError InvalidUseOfNull() { return {94, L"Invalid use of Null"}; }

    // A failed OLE Automation conversion, as VB reports it.
    static VbError FromConversion(HRESULT hr) {
        switch (hr) {
        case DISP_E_OVERFLOW: return Overflow();
        case E_OUTOFMEMORY: return OutOfMemory();
        case DISP_E_TYPEMISMATCH:
        case DISP_E_BADVARTYPE: return TypeMismatch();
        default: return InvalidCall();
        }
    }

    // The HRESULT a VB client reads back as Err.Number == number.
    HRESULT hresult() const noexcept {
        return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number_ & 0xFFFF);
    }

    // What a catch block caught, as a VB error: a VB error as it is, out of memory as
    // error 7, anything else as the fallback the caller's edge gives. Call it only inside
    // a catch block.
    static VbError Caught(VbError fallback) {
        try {
            throw;
        } catch (const VbError& error) {
            return error;
        } catch (const std::bad_alloc&) {
            return OutOfMemory();
        } catch (...) {
            return fallback;
        }
    }

private:
    long number_;
    std::wstring description_;
};

}  // namespace ferrolin
