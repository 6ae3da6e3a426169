#include "com_error.h"

#include "handles.h"
#include "names.h"

#include "IFR_v11.h"

namespace ferrolin::library {

HRESULT ReportVbError(const VbError& error) noexcept {
    com_ptr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(IID__CLibrary);
        create->SetSource(const_cast<LPOLESTR>(kLibraryProgId));
        create->SetDescription(const_cast<LPOLESTR>(error.description().c_str()));
        com_ptr<IErrorInfo> info;
        if (SUCCEEDED(create.query(info))) SetErrorInfo(0, info.get());
    }
    return error.hresult();
}

void CheckMember(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    long number = VbError::InvalidCall().number();
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) number = HRESULT_CODE(hr);
    else if (hr == E_OUTOFMEMORY) number = VbError::OutOfMemory().number();
    std::wstring description;
    com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        unique_bstr text;
        if (SUCCEEDED(info->GetDescription(text.put())) && text.get())
            description.assign(text.get(), text.length());
    }
    throw VbError(number, std::move(description));
}

}  // namespace ferrolin::library

#if defined(__MINGW32__) && !defined(__clang__)
// libstdc++'s default terminate handler names the type of an uncaught exception, and for
// that links its 45 KB C++ name demangler into the library. Nothing may escape the COM edge
// above; should anything reach terminate, the process ends as abort ends it, unnamed.
#include <cstdlib>
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
