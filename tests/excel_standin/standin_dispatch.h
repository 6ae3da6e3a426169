// The name-based IDispatch that every object of the stand-in answers with: a table of
// members per class, positional arguments, Excel-like errors through EXCEPINFO, and one log
// line per call.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "handles.h"

namespace excel_standin {

// A member's failure as Excel reports it: DISP_E_EXCEPTION with scode 0x800A0000 + number.
// A nonzero plain HRESULT is returned as it is instead (disconnected objects).
struct ExcelError {
    long number;
    std::wstring description;
    HRESULT plain = S_OK;
};

[[noreturn]] void ThrowSubscriptOutOfRange();
[[noreturn]] void ThrowTypeMismatch();
[[noreturn]] void ThrowMethodFailed(const wchar_t* member, const wchar_t* className);
[[noreturn]] void ThrowUnableTo(const wchar_t* getOrSet, const wchar_t* member, const wchar_t* className);

// Printable form of a value for the log: "text", True, 12, Empty, Missing, <Range>.
std::wstring DescribeValue(const VARIANT& v);

// An HRESULT as the log writes it: 0x8001010A.
std::wstring HresultCode(HRESULT hr);

// The arguments of one call, first argument first, by-reference ones dereferenced.
class Args {
public:
    Args() = default;
    Args(const DISPPARAMS& params, bool put);
    size_t count() const { return args_.size(); }
    // Present and not omitted (an omitted argument arrives as VT_ERROR DISP_E_PARAMNOTFOUND).
    bool has(size_t i) const;
    const VARIANT& at(size_t i) const { return *args_[i].get(); }
    std::wstring text(size_t i) const;
    bool boolean(size_t i) const;
    long number(size_t i) const;
    IDispatch* object(size_t i) const;   // not AddRef'd
    // The assigned value of a property put.
    const VARIANT& value() const { return *value_.get(); }
    bool valueBoolean() const;
    long valueNumber() const;
    std::wstring describe() const;       // "(a, b)" or "" without arguments

private:
    std::vector<ferrolin::unique_variant> args_;
    ferrolin::unique_variant value_;
};

enum MemberKind : unsigned { kGet = 1, kPut = 2, kMethod = 4 };

struct Member {
    const wchar_t* name;
    DISPID id;
    unsigned kinds;
    unsigned params;   // positional arguments it takes at most
};

class DispatchObject : public IDispatch {
public:
    DispatchObject(const wchar_t* className, const Member* members, size_t count, DISPID defaultId);
    virtual ~DispatchObject();
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    const wchar_t* className() const { return className_; }
    // The stand-in's own object behind a pointer, or nullptr for any other object.
    static DispatchObject* FromUnknown(IUnknown* unknown);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // The default member with arguments meant for it: VB's Workbooks("name") arrives as the
    // property Workbooks called with "name", as ITypeInfo::Invoke passes it on in Excel.
    void CallDefault(const Args& args, VARIANT* result);

protected:
    // Runs one member; throws ExcelError. `result` is VT_EMPTY on entry.
    virtual void Call(DISPID id, const Args& args, bool put, VARIANT* result) = 0;
    // False once the object's workbook was closed.
    virtual bool Alive() const { return true; }

private:
    LONG refs_ = 1;
    const wchar_t* className_;
    const Member* members_;
    size_t count_;
    DISPID defaultId_;
};

// Result helpers.
void ReturnText(VARIANT* result, const std::wstring& text);
void ReturnBool(VARIANT* result, bool value);
void ReturnLong(VARIANT* result, long value);
// Takes over the new object's reference (nullptr gives Nothing).
void ReturnObject(VARIANT* result, DispatchObject* object);

}  // namespace excel_standin
