// The parameters of an IDispatch call as a VB client passes them: the positional arguments
// last to first, as DISPPARAMS holds them, and for a property put (or put by reference) its
// value named DISPID_PROPERTYPUT, as IDispatch::Invoke requires of a put.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace ferrolin {

class CallParams {
public:
    // `reversed` holds the arguments last to first; it is borrowed, not owned.
    CallParams(VARIANTARG* reversed, UINT count, WORD flags) noexcept
        : params_{count ? reversed : nullptr, nullptr, count, 0} {
        if (count && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) {
            params_.rgdispidNamedArgs = &putId_;
            params_.cNamedArgs = 1;
        }
    }
    CallParams(const CallParams&) = delete;
    CallParams& operator=(const CallParams&) = delete;

    DISPPARAMS* get() noexcept { return &params_; }

private:
    DISPID putId_ = DISPID_PROPERTYPUT;
    DISPPARAMS params_;
};

}  // namespace ferrolin
