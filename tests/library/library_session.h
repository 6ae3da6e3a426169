// One apartment, the library loaded into the test program and an object made from it, with
// the calls the table-driven tests make on it.
#pragma once

#include <gtest/gtest.h>

#include "library_harness.h"

namespace library_harness {

struct Session {
    ferrolin::com_apartment apartment;
    LoadedLibrary dll;
    ferrolin::com_ptr<_CLibrary> lib = dll.Create();

    ferrolin::com_ptr<IDispatch> disp() const {
        ferrolin::com_ptr<IDispatch> d;
        lib.query(d);
        return d;
    }
    bool Bool(HRESULT (STDMETHODCALLTYPE _CLibrary::*member)(VARIANT_BOOL*)) {
        VARIANT_BOOL b = 0x1234;
        EXPECT_EQ((lib.get()->*member)(&b), S_OK);
        EXPECT_TRUE(b == VARIANT_TRUE || b == VARIANT_FALSE) << "automation Boolean";
        return b == VARIANT_TRUE;
    }
    std::wstring Text(HRESULT (STDMETHODCALLTYPE _CLibrary::*member)(BSTR*)) {
        ferrolin::unique_bstr b;
        EXPECT_EQ((lib.get()->*member)(b.put()), S_OK);
        return library_harness::Text(b);
    }
    HRESULT ByRef(HRESULT (STDMETHODCALLTYPE _CLibrary::*member)(BSTR*), const std::wstring& text) {
        ferrolin::unique_bstr b = Bstr(text);
        BSTR ref = b.get();
        const HRESULT hr = (lib.get()->*member)(&ref);
        EXPECT_EQ(ref, b.get()) << "by-reference text changed";
        return hr;
    }
};

}  // namespace library_harness
