// The IUnknown of a COM object that lives as long as the program (a class factory, a
// message filter): it answers for IUnknown and its one interface, and its references are
// not counted, since nothing ever frees it.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace ferrolin {

template <class Interface>
class uncounted_com_object : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *out = static_cast<Interface*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

}  // namespace ferrolin
