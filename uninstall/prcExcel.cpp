#include "prcExcel.h"

#include "excel_calls.h"
#include "handles.h"
#include "names.h"
#include "uninstaller.h"

namespace ferrolin::prcExcel {

namespace {

using Object = com_ptr<IDispatch>;

// object.member(args) for one call kind; the result, when asked for, into `result`.
HRESULT CallMember(const Object& object, DISPID id, WORD flags, VARIANTARG* args, UINT count,
                   VARIANT* result = nullptr) {
    if (!object) return E_POINTER;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args, nullptr, count, 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    // Excel's own description of a failure is not shown: the step is skipped.
    unique_excepinfo exception;
    return excel_calls::Invoke(object.get(), id, flags, &params, result, exception.get());
}

HRESULT CallMember(const Object& object, const wchar_t* name, WORD flags, VARIANTARG* args, UINT count,
                   VARIANT* result = nullptr) {
    if (!object) return E_POINTER;
    DISPID id;
    const HRESULT hr = excel_calls::DispIdOf(object.get(), name, &id);
    return FAILED(hr) ? hr : CallMember(object, id, flags, args, count, result);
}

// object.name(args) whose result is an object.
template <class Member>
Object GetObj(const Object& object, Member member, VARIANTARG* args = nullptr, UINT count = 0) {
    unique_variant result;
    if (FAILED(CallMember(object, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, count, result.put())) ||
        result.vt() != VT_DISPATCH)
        return Object();
    return Object::copy(V_DISPATCH(result.get()));
}

template <class Member>
void Call(const Object& object, Member member) {
    unique_variant ignored;
    CallMember(object, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0, ignored.put());
}

template <class Member>
void PutFalse(const Object& object, Member member) {
    VARIANTARG value;
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = VARIANT_FALSE;
    CallMember(object, member, DISPATCH_PROPERTYPUT, &value, 1);
}

}  // namespace

bool prcWaitForExcelClosed(HWND owner) {
    while (excel_calls::UsersExcelOpen()) {
        wchar_t text[1024];
        wsprintfW(text, kMsgCloseExcelToRemove, kFileStem, kFileStem);
        if (Message(owner, text, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return false;
    }
    return true;
}

bool prcRemoveFromExcel(const wchar_t* title) {
    Object excel;
    DWORD process = 0;
    // An Excel that cannot be started leaves nothing to do; one that started but never
    // answered its creation (ended since) leaves the list as it was.
    if (const HRESULT created = excel_calls::Create(kClsidExcelApplication, excel.put(), &process); FAILED(created))
        return created != RPC_E_CALL_CANCELED;
    {
        Call(GetObj(excel, L"Workbooks"), L"Add");
        unique_variant name;
        V_VT(name.get()) = VT_BSTR;
        V_BSTR(name.get()) = SysAllocString(title);
        if (V_BSTR(name.get())) PutFalse(GetObj(GetObj(excel, L"AddIns"), DISPID{DISPID_VALUE}, name.get(), 1),
                                         excel_calls::kDispIdInstalled);
        PutFalse(excel, L"DisplayAlerts");
        Call(GetObj(excel, L"ActiveWorkbook"), L"Close");
        Call(excel, L"Quit");
    }
    // Excel ends once its last reference is gone; one that stopped answering, or does not
    // end, is ended.
    excel.reset();
    return excel_calls::AwaitEnd(process, excel_calls::kAnswerMs);
}

void prcForgetAddin(const wchar_t* workbook) {
    const unique_hkey office = open_key(HKEY_CURRENT_USER, kOfficeKey, KEY_ENUMERATE_SUB_KEYS);
    if (!office) return;
    for (DWORD index = 0;; ++index) {
        wchar_t key[128];
        DWORD length = 64;
        const LONG listed = RegEnumKeyExW(office.get(), index, key, &length, nullptr, nullptr, nullptr, nullptr);
        if (listed == ERROR_NO_MORE_ITEMS) return;
        if (listed != ERROR_SUCCESS) continue;
        lstrcatW(key, kExcelAddinManagerSubkey);
        if (const unique_hkey manager = open_key(office.get(), key, KEY_SET_VALUE))
            RegDeleteValueW(manager.get(), workbook);
    }
}

}  // namespace ferrolin::prcExcel
