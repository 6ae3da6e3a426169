// A small client of IFR_v11.CLibrary for the tests, created by its ProgID as the add-in
// creates it.
//   library_client hammer WRITER ITERATIONS   writes and reads the record; exit 0 when
//                                            every call succeeded and every value read
//                                            is one some writer writes
//   library_client                           leaves "library_client.ran" beside itself
//                                            (a program started by prcLink)
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwctype>
#include <string>

#include "IFR_v11.h"
#include "handles.h"
#include "install_record.h"
#include "module_path.h"
#include "names.h"
#include "registry_layer.h"

// The record's encoding comes from the shared layer, linked as the library links it.
const wchar_t* const ferrolin::kCreateKeyFailureText = ferrolin::kErrCreateKeyLibrary;

using ferrolin::com_ptr;
using ferrolin::unique_bstr;

namespace {

constexpr int kWriters = 4;

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// "<prefix><writer><separator><iteration>" with writer < kWriters and iteration < limit.
bool WrittenBySomeWriter(const std::wstring& text, const std::wstring& prefix, wchar_t separator, long limit) {
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    size_t i = prefix.size();
    if (i >= text.size() || text[i] < L'0' || text[i] >= L'0' + kWriters) return false;
    ++i;
    if (i >= text.size() || text[i] != separator) return false;
    ++i;
    if (i >= text.size() || text.size() - i > 6) return false;
    for (size_t j = i; j < text.size(); ++j)
        if (!iswdigit(text[j])) return false;
    return std::stol(text.substr(i)) < limit;
}

int Fail(const char* step, long iteration, HRESULT hr, const std::wstring& seen = L"") {
    fprintf(stderr, "iteration %ld: %s failed (0x%08lX) %ls\n", iteration, step, static_cast<unsigned long>(hr),
            seen.c_str());
    return 3;
}

int Hammer(int writer, long iterations) {
    com_ptr<_CLibrary> lib;
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(ferrolin::kLibraryProgId, &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__CLibrary, lib.put_void());
    if (FAILED(hr)) return Fail("creating IFR_v11.CLibrary", -1, hr);

    const std::wstring encodedTrue = ferrolin::record::EncodeStatus(L"True");
    const std::wstring encodedFalse = ferrolin::record::EncodeStatus(L"False");
    unique_bstr key(SysAllocString(ferrolin::kRecordKey));
    unique_bstr config(SysAllocString(ferrolin::kValueConfig));
    for (long i = 0; i < iterations; ++i) {
        const std::wstring id = std::to_wstring(writer) + L"-" + std::to_wstring(i);
        unique_bstr folder(SysAllocString((L"C:\\W" + std::to_wstring(writer) + L"\\" + std::to_wstring(i)).c_str()));
        unique_bstr setting(SysAllocString((L"W" + id).c_str()));
        unique_bstr status(SysAllocString(i % 2 ? L"True" : L"False"));
        BSTR ref = folder.get();
        if (FAILED(hr = lib->prcDir(&ref))) return Fail("prcDir", i, hr);
        ref = setting.get();
        if (FAILED(hr = lib->prcSet_Addin(&ref))) return Fail("prcSet_Addin", i, hr);
        ref = status.get();
        if (FAILED(hr = lib->prcSet_status_Addin(&ref))) return Fail("prcSet_status_Addin", i, hr);

        unique_bstr path;
        if (FAILED(hr = lib->InstallPath(path.put()))) return Fail("InstallPath", i, hr);
        if (!WrittenBySomeWriter(Text(path.get()), L"C:\\W", L'\\', iterations))
            return Fail("InstallPath value", i, S_OK, Text(path.get()));
        unique_bstr stored;
        if (FAILED(hr = lib->Get_status_Addin(stored.put()))) return Fail("Get_status_Addin", i, hr);
        if (Text(stored.get()) != encodedTrue && Text(stored.get()) != encodedFalse)
            return Fail("Get_status_Addin value", i, S_OK, Text(stored.get()));
        VARIANT_BOOL flag = 0;
        if (FAILED(hr = lib->IsAddin_Installed(&flag))) return Fail("IsAddin_Installed", i, hr);
        if (FAILED(hr = lib->App_Exist(&flag)) || flag != VARIANT_TRUE) return Fail("App_Exist", i, hr);
        ferrolin::unique_variant value;
        if (FAILED(hr = lib->GetRegistryValueX(key.get(), config.get(), ferrolin::kKindBinary, nullptr, value.put())))
            return Fail("GetRegistryValueX", i, hr);
        std::wstring text;
        if (value.vt() == (VT_ARRAY | VT_UI1)) {
            SAFEARRAY* a = V_ARRAY(value.get());
            ferrolin::safearray_access access(a);
            const BYTE* bytes = access.data<BYTE>();
            for (ULONG b = 0; bytes && b + 1 < a->rgsabound[0].cElements; b += 2)
                text.push_back(static_cast<wchar_t>(bytes[b] | (bytes[b + 1] << 8)));
        }
        if (!WrittenBySomeWriter(text, L"W", L'-', iterations)) return Fail("set_confg value", i, S_OK, text);
    }
    return 0;
}

std::wstring OwnFolder() {
    const std::wstring self = ferrolin::ModuleFileName(nullptr);
    return self.substr(0, self.find_last_of(L'\\'));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 1) {
        const std::wstring marker = OwnFolder() + L"\\library_client.ran";
        const ferrolin::unique_handle file =
            ferrolin::adopt_file(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        return file ? 0 : 1;
    }
    if (argc == 4 && std::wstring(argv[1]) == L"hammer") {
        ferrolin::com_apartment apartment;
        return Hammer(_wtoi(argv[2]), _wtol(argv[3]));
    }
    fprintf(stderr, "usage: library_client [hammer WRITER ITERATIONS]\n");
    return 2;
}
