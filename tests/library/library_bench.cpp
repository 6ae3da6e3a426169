// GetRegistryValue called late bound, by DISPID through IDispatch::Invoke as a script
// calls it, against the raw registry sequence it wraps (open, query, close).
// Prints microseconds a call for both and their ratio; the target is at most 1.3.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "library_harness.h"
#include "names.h"
#include "test_support.h"

using namespace library_harness;

namespace {

constexpr int kCalls = 5000;
constexpr int kRounds = 5;

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1e6 / frequency.QuadPart;
}

}  // namespace

int main() {
    ferrolin::com_apartment apartment;
    testing_support::ScratchKey scratch(L"library-bench");
    const std::string key = testing_support::Narrow(scratch.path());
    testing_support::WriteRaw(HKEY_CURRENT_USER, scratch.path(), L"Dir", REG_SZ,
                              std::vector<BYTE>{'C', ':', '\\', 'F', 'E', 'R', 'R', 'O', 'L', 'I', 'N', 0});

    LoadedLibrary dll;
    ferrolin::com_ptr<_CLibrary> lib = dll.Create();
    ferrolin::com_ptr<IDispatch> d;
    if (!lib || FAILED(lib.query(d))) {
        fprintf(stderr, "IFR_v11.dll beside the benchmark could not be loaded\n");
        return 1;
    }
    const DISPID id = DispIdOf(d.get(), L"GetRegistryValue");
    // Arguments last to first, as IDispatch takes them.
    ferrolin::unique_variant args[4] = {ShortVariant(1), TextVariant(L"Dir"), TextVariant(scratch.path()),
                                        LongVariant(ferrolin::kHkeyCurrentUser)};
    VARIANT raw[4];
    for (int i = 0; i < 4; ++i) raw[i] = *args[i].get();
    DISPPARAMS params = {raw, nullptr, 4, 0};

    auto lateBound = [&] {
        ferrolin::unique_variant result;
        d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(), nullptr, nullptr);
    };
    ferrolin::unique_bstr keyName = Bstr(scratch.path());
    ferrolin::unique_bstr valueName = Bstr(L"Dir");
    auto earlyBound = [&] {
        ferrolin::unique_variant result;
        lib->GetRegistryValue(ferrolin::kHkeyCurrentUser, keyName.get(), valueName.get(), 1, nullptr, result.put());
    };
    auto rawSequence = [&] {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
        char buffer[1024];
        DWORD size = sizeof buffer;
        RegQueryValueExA(k, "Dir", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(k);
    };

    // Best of several rounds of each, alternating, after a warm-up.
    double best[3] = {1e30, 1e30, 1e30};
    for (int round = 0; round <= kRounds; ++round) {
        for (int which = 0; which < 3; ++which) {
            LARGE_INTEGER from, to;
            QueryPerformanceCounter(&from);
            for (int i = 0; i < kCalls; ++i) which == 0 ? lateBound() : which == 1 ? rawSequence() : earlyBound();
            QueryPerformanceCounter(&to);
            if (round > 0) best[which] = std::min(best[which], Microseconds(from, to) / kCalls);
        }
    }
    printf("GetRegistryValue through IDispatch::Invoke: %8.2f us a call\n", best[0]);
    printf("RegOpenKeyExA + RegQueryValueExA + RegCloseKey: %8.2f us a call\n", best[1]);
    printf("GetRegistryValue through the vtable:        %8.2f us a call\n", best[2]);
    printf("ratio %.2f (target at most 1.30)\n", best[0] / best[1]);
    return 0;
}
