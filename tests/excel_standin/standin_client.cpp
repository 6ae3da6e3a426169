#include "standin_client.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "call_params.h"
#include "excel_standin.h"
#include "test_support.h"

namespace standin_test {

CallArgs&& CallArgs::text(const std::wstring& value) && {
    ferrolin::unique_variant v;
    V_VT(v.get()) = VT_BSTR;
    V_BSTR(v.get()) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    items_.push_back(std::move(v));
    return std::move(*this);
}

CallArgs&& CallArgs::boolean(bool value) && {
    ferrolin::unique_variant v;
    V_VT(v.get()) = VT_BOOL;
    V_BOOL(v.get()) = value ? VARIANT_TRUE : VARIANT_FALSE;
    items_.push_back(std::move(v));
    return std::move(*this);
}

CallArgs&& CallArgs::number(long value) && {
    ferrolin::unique_variant v;
    V_VT(v.get()) = VT_I4;
    V_I4(v.get()) = value;
    items_.push_back(std::move(v));
    return std::move(*this);
}

CallArgs&& CallArgs::object(IDispatch* value) && {
    ferrolin::unique_variant v;
    V_VT(v.get()) = VT_DISPATCH;
    V_DISPATCH(v.get()) = value;
    if (value) value->AddRef();
    items_.push_back(std::move(v));
    return std::move(*this);
}

CallArgs&& CallArgs::missing() && {
    ferrolin::unique_variant v;
    V_VT(v.get()) = VT_ERROR;
    V_ERROR(v.get()) = DISP_E_PARAMNOTFOUND;
    items_.push_back(std::move(v));
    return std::move(*this);
}

std::wstring Outcome::text() const {
    ferrolin::unique_variant converted;
    if (FAILED(VariantChangeType(converted.put(), const_cast<VARIANT*>(value.get()), 0, VT_BSTR))) return L"<?>";
    return V_BSTR(converted.get()) ? V_BSTR(converted.get()) : L"";
}

long Outcome::number_value() const {
    ferrolin::unique_variant converted;
    if (FAILED(VariantChangeType(converted.put(), const_cast<VARIANT*>(value.get()), 0, VT_I4))) return -99999;
    return V_I4(converted.get());
}

bool Outcome::boolean() const { return value.vt() == VT_BOOL && V_BOOL(value.get()) != VARIANT_FALSE; }

ferrolin::com_ptr<IDispatch> Outcome::object() const {
    if (value.vt() != VT_DISPATCH) return nullptr;
    return ferrolin::com_ptr<IDispatch>::copy(V_DISPATCH(value.get()));
}

std::string Outcome::describe() const {
    char code[16];
    snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    std::string text = std::string("hr ") + code;
    if (hr == DISP_E_EXCEPTION)
        text += " error " + std::to_string(number) + " \"" + testing_support::Narrow(description) + "\"";
    return text;
}

Outcome Invoke(IDispatch* target, DISPID id, WORD flags, CallArgs args) {
    Outcome outcome;
    if (!target) {
        outcome.hr = E_POINTER;
        return outcome;
    }
    auto& items = args.items();
    std::vector<VARIANT> reversed;
    for (auto it = items.rbegin(); it != items.rend(); ++it) reversed.push_back(*it->get());
    ferrolin::CallParams params(reversed.data(), static_cast<UINT>(reversed.size()), flags);
    ferrolin::unique_excepinfo info;
    UINT argError = 0;
    outcome.hr = target->Invoke(id, IID_NULL, 1033, flags, params.get(), outcome.value.put(), info.get(), &argError);
    if (outcome.hr == DISP_E_EXCEPTION) {
        outcome.number = info->scode ? info->scode & 0xFFFF : info->wCode;
        outcome.description = info->bstrDescription ? info->bstrDescription : L"";
    }
    return outcome;
}

Outcome Invoke(IDispatch* target, const wchar_t* name, WORD flags, CallArgs args) {
    if (!target) return Invoke(target, DISPID_UNKNOWN, flags, std::move(args));
    std::wstring copy = name;
    LPOLESTR names[] = {&copy[0]};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, 1033, &id);
    if (FAILED(hr)) {
        Outcome outcome;
        outcome.hr = hr;
        return outcome;
    }
    return Invoke(target, id, flags, std::move(args));
}

Outcome Put(IDispatch* target, const wchar_t* name, CallArgs value) {
    return Invoke(target, name, DISPATCH_PROPERTYPUT, std::move(value));
}

Outcome PutId(IDispatch* target, DISPID id, CallArgs value) {
    return Invoke(target, id, DISPATCH_PROPERTYPUT, std::move(value));
}

ferrolin::com_ptr<IDispatch> GetObject(IDispatch* target, const wchar_t* name, CallArgs args) {
    return Get(target, name, std::move(args)).object();
}

ferrolin::com_ptr<IDispatch> CreateByClsid(const CLSID& clsid, HRESULT* hr) {
    ferrolin::com_ptr<IDispatch> object;
    HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, object.put_void());
    if (hr) *hr = result;
    return object;
}

ferrolin::com_ptr<IDispatch> CreateByProgId(const wchar_t* progId, HRESULT* hr) {
    CLSID clsid = {};
    HRESULT result = CLSIDFromProgID(progId, &clsid);
    if (FAILED(result)) {
        if (hr) *hr = result;
        return nullptr;
    }
    return CreateByClsid(clsid, hr);
}

HWND ServerWindow(IDispatch* application) {
    Outcome hwnd = Get(application, L"Hwnd");
    if (!hwnd.ok()) return nullptr;
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd.number_value()));
}

DWORD ServerProcessId(IDispatch* application) {
    HWND window = ServerWindow(application);
    DWORD processId = 0;
    if (window) GetWindowThreadProcessId(window, &processId);
    return processId;
}

bool WaitForExit(DWORD processId, DWORD milliseconds) {
    const ferrolin::unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) return true;  // gone already
    return WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0;
}

bool IsRunning(DWORD processId) { return !WaitForExit(processId, 0); }

namespace {

void ClearAddInList() {
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::ExcelKey(excel_standin::kOptionsSubkey));
    testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::ExcelKey(excel_standin::kAddinManagerSubkey));
}
}  // namespace

Knobs::Knobs() { testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::kKnobKey); }
Knobs::~Knobs() { testing_support::DeleteKeyTree(HKEY_CURRENT_USER, excel_standin::kKnobKey); }

Knobs& Knobs::text(const wchar_t* name, const std::wstring& value) {
    excel_standin::SetKnob(name, value);
    return *this;
}

Knobs& Knobs::number(const wchar_t* name, DWORD value) {
    excel_standin::SetKnob(name, value);
    return *this;
}

CleanAddInList::CleanAddInList() { ClearAddInList(); }
CleanAddInList::~CleanAddInList() { ClearAddInList(); }

std::vector<Event> Events(const std::wstring& log) {
    std::vector<Event> events;
    for (const std::wstring& line : testing_support::LogLines(log)) {
        const size_t blank = line.find(L' ');
        if (blank == std::wstring::npos) continue;
        events.push_back({static_cast<DWORD>(std::stoul(line.substr(0, blank))), line.substr(blank + 1)});
    }
    return events;
}

std::vector<DWORD> Instances(const std::vector<Event>& events) {
    std::vector<DWORD> pids;
    for (const Event& e : events)
        if (e.text.rfind(L"Start ", 0) == 0) pids.push_back(e.pid);
    return pids;
}

std::vector<std::wstring> LinesOf(const std::vector<Event>& events, DWORD pid) {
    std::vector<std::wstring> lines;
    for (const Event& e : events)
        if (e.pid == pid) lines.push_back(e.text);
    return lines;
}

::testing::AssertionResult InOrder(const std::vector<std::wstring>& lines, const std::vector<std::wstring>& expected) {
    size_t at = 0;
    for (const std::wstring& want : expected) {
        while (at < lines.size() && lines[at] != want) ++at;
        if (at == lines.size())
            return ::testing::AssertionFailure()
                   << "missing, or out of order: " << testing_support::Narrow(want)
                   << "\nlog:" << testing_support::JoinLines(lines);
        ++at;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace standin_test
