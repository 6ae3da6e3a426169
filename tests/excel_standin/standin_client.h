// A late-bound client of the stand-in for its tests: calls by name or dispatch id through
// IDispatch, the stand-in's processes, knobs and log.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "handles.h"

#include "test_support.h"

namespace standin_test {

// Positional arguments, first argument first.
class CallArgs {
public:
    CallArgs&& text(const std::wstring& value) &&;
    CallArgs&& boolean(bool value) &&;
    CallArgs&& number(long value) &&;
    CallArgs&& object(IDispatch* value) &&;
    CallArgs&& missing() &&;
    std::vector<ferrolin::unique_variant>& items() { return items_; }

private:
    std::vector<ferrolin::unique_variant> items_;
};

struct Outcome {
    HRESULT hr = E_FAIL;
    long number = 0;              // scode - 0x800A0000 of a DISP_E_EXCEPTION
    std::wstring description;     // of a DISP_E_EXCEPTION
    ferrolin::unique_variant value;

    bool ok() const { return SUCCEEDED(hr); }
    std::wstring text() const;
    long number_value() const;
    bool boolean() const;
    ferrolin::com_ptr<IDispatch> object() const;
    std::string describe() const;   // for failure messages
};

const WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;   // as VB calls

Outcome Invoke(IDispatch* target, DISPID id, WORD flags, CallArgs args = {});
Outcome Invoke(IDispatch* target, const wchar_t* name, WORD flags, CallArgs args = {});
inline Outcome Get(IDispatch* target, const wchar_t* name, CallArgs args = {}) {
    return Invoke(target, name, kGet, std::move(args));
}
Outcome Put(IDispatch* target, const wchar_t* name, CallArgs value);
Outcome PutId(IDispatch* target, DISPID id, CallArgs value);
// Get that must give an object; nullptr (with the outcome in `failure`) otherwise.
ferrolin::com_ptr<IDispatch> GetObject(IDispatch* target, const wchar_t* name, CallArgs args = {});

ferrolin::com_ptr<IDispatch> CreateByClsid(const CLSID& clsid, HRESULT* hr = nullptr);
ferrolin::com_ptr<IDispatch> CreateByProgId(const wchar_t* progId, HRESULT* hr = nullptr);

// The process behind an application object, through its main window.
DWORD ServerProcessId(IDispatch* application);
HWND ServerWindow(IDispatch* application);
// Whether the process ended within the time given.
bool WaitForExit(DWORD processId, DWORD milliseconds);
bool IsRunning(DWORD processId);

// Programs of this folder, beside the test program.
using testing_support::ProgramBeside;
using testing_support::ExitCodeOf;

// Sets the stand-in's knobs for the instances started in its lifetime; removes them after.
class Knobs : testing_support::NotCopied {
public:
    Knobs();
    ~Knobs();
    Knobs& text(const wchar_t* name, const std::wstring& value);
    Knobs& number(const wchar_t* name, DWORD value);
};

// Clears Excel's add-in list in the registry (the stand-in's 16.0 keys) before and after.
class CleanAddInList : testing_support::NotCopied {
public:
    CleanAddInList();
    ~CleanAddInList();
};

// The stand-in's log, a line "<process id> <event>" each, as (process, event) pairs in the
// order written.
struct Event {
    DWORD pid;
    std::wstring text;
};
std::vector<Event> Events(const std::wstring& log);
// The processes that logged their start, in the order they started.
std::vector<DWORD> Instances(const std::vector<Event>& events);
// The events of one process.
std::vector<std::wstring> LinesOf(const std::vector<Event>& events, DWORD pid);
// Whether `expected` occurs in `lines` in this order (other lines may lie between).
::testing::AssertionResult InOrder(const std::vector<std::wstring>& lines, const std::vector<std::wstring>& expected);

}  // namespace standin_test
