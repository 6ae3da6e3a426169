#include "prcExcel.h"

#include "excel_calls.h"
#include "handles.h"
#include "names.h"
#include "uninstaller.h"

namespace ferrolin::prcExcel {

namespace {

using excel_calls::kCallOrGet;
using excel_calls::MemberObject;

HRESULT PutFalse(IDispatch* object, excel_calls::Member member) {
    VARIANTARG value;
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = VARIANT_FALSE;
    return excel_calls::CallMember(object, member, DISPATCH_PROPERTYPUT, &value, 1);
}

// Excel's own description of a failure is not shown: the step is skipped.
HRESULT Call(IDispatch* object, const wchar_t* name) { return excel_calls::CallMember(object, name, kCallOrGet); }

}  // namespace

bool prcWaitForExcelClosed(HWND owner) {
    wchar_t text[1025];
    wsprintfW(text, kMsgCloseExcelToRemove, kFileStem, kFileStem);
    return excel_calls::UntilUsersExcelClosed(
        [&] { return Message(owner, text, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY; });
}

bool RemoveFromExcel(const wchar_t* title) {
    com_ptr<IDispatch> excel;
    DWORD process = 0;
    // An Excel that cannot be started leaves nothing to do; one that started but never
    // answered its creation (ended since) leaves the list as it was.
    if (const HRESULT created = excel_calls::Create(kClsidExcelApplication, excel.put(), &process); FAILED(created))
        return created != RPC_E_CALL_CANCELED;
    {
        Call(MemberObject(excel.get(), L"Workbooks").get(), L"Add");
        unique_variant name;
        V_VT(name.get()) = VT_BSTR;
        V_BSTR(name.get()) = SysAllocString(title);
        if (V_BSTR(name.get()))
            PutFalse(MemberObject(MemberObject(excel.get(), L"AddIns").get(), DISPID{DISPID_VALUE}, name.get()).get(),
                     excel_calls::kDispIdInstalled);
        PutFalse(excel.get(), L"DisplayAlerts");
        Call(MemberObject(excel.get(), L"ActiveWorkbook").get(), L"Close");
        Call(excel.get(), L"Quit");
    }
    // Excel ends once its last reference is gone; one that stopped answering, or does not
    // end, is ended.
    excel.reset();
    return excel_calls::AwaitEnd(process, excel_calls::kEndMs);
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
