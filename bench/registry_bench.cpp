// Per-call cost of the registry layer against the bare registry calls it wraps, and the
// per-key cost of enumerating large keys. Prints figures and ratios; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "names.h"
#include "registry_layer.h"
#include "vb_variant.h"

using namespace ferrolin;

namespace {

const wchar_t kBenchKey[] = L"Software\\FerrolinBench";

double Now() {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best of several rounds, in microseconds per call.
template <class F>
double PerCall(int calls, F&& f) {
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        const double start = Now();
        for (int i = 0; i < calls; ++i) f();
        best = std::min(best, (Now() - start) / calls * 1e6);
    }
    return best;
}

void RawRead() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\FerrolinBench", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char buffer[1024];
    DWORD size = sizeof buffer;
    RegQueryValueExA(key, "Value", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
}

double EnumPerKey(int count) {
    const std::wstring parent = std::wstring(kBenchKey) + L"\\Enum" + std::to_wstring(count);
    for (int i = 0; i < count; ++i) CreateRegistryKey(kHkeyCurrentUser, parent + L"\\key" + std::to_wstring(i));
    size_t seen = 0;
    const double perCall = PerCall(1, [&] { seen = EnumRegistryKeys(kHkeyCurrentUser, parent).size(); });
    if (seen != static_cast<size_t>(count)) std::printf("  (enumerated %zu of %d keys)\n", seen, count);
    return perCall / count;
}

}  // namespace

const wchar_t* const ferrolin::kCreateKeyFailureText = kErrCreateKeyLibrary;

int main() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kBenchKey);
    CreateRegistryKey(kHkeyCurrentUser, kBenchKey);
    SetRegistryValue(kHkeyCurrentUser, kBenchKey, L"Value", kKindText, *MakeText(L"C:\\FERROLIN").get());

    const int calls = 2000;
    PerCall(calls, RawRead);  // warm up
    const double raw = PerCall(calls, RawRead);
    const double layer = PerCall(calls, [] { GetRegistryValue(kHkeyCurrentUser, kBenchKey, L"Value", kKindText); });
    std::printf("GetRegistryValue: %.2f us per call, raw open/query/close %.2f us: %.2fx (target <= 1.3x)\n",
                layer, raw, layer / raw);

    const double small = EnumPerKey(1000);
    const double large = EnumPerKey(10000);
    std::printf("EnumRegistryKeys: %.3f us per key at 1,000 keys, %.3f us at 10,000: %.2fx (target <= 1.5x)\n",
                small, large, large / small);

    RegDeleteTreeW(HKEY_CURRENT_USER, kBenchKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kBenchKey);
    return 0;
}
