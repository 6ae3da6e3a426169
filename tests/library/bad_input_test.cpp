// Random arguments of random types for every member, by name through IDispatch as a
// script passes them and through the vtable for the VARIANT parameters, with a fixed
// seed. Whatever comes in, a call ends normally or with an error a VB client reads as
// a VB error number; the process never crashes.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "library_harness.h"
#include "names.h"
#include "test_support.h"

using namespace library_harness;
using ferrolin::com_ptr;
using ferrolin::unique_bstr;
using ferrolin::unique_variant;

namespace {

constexpr long HKCU = ferrolin::kHkeyCurrentUser;
constexpr unsigned kSeed = 20240611;
constexpr int kCallsByName = 10000;
constexpr int kCallsByVtable = 2000;

using Arg = ArgKind;

// Makes random arguments. Texts that name keys stay inside the scratch key, roots of
// writing members are HKEY_CURRENT_USER or no key at all, and names handed to the shell
// name nothing that exists, so a run changes nothing outside the test's own keys.
class Generator {
public:
    Generator(std::mt19937& random, IDispatch* object, std::wstring scratch)
        : random_(random), object_(object), scratch_(std::move(scratch)) {}

    unique_variant Make(Arg arg) {
        switch (arg) {
        case Arg::RootRead: return Pick(30) ? AnyValue(false) : LongVariant(Root(true));
        case Arg::RootWrite: return Pick(20) ? Unconvertible() : LongVariant(Root(false));
        case Arg::Key: return Pick(70) ? MaybeByRef(TextVariant(KeyText())) : AnyValue(false);
        case Arg::KeyCreate: return Pick(80) ? MaybeByRef(TextVariant(KeyText())) : Unconvertible();
        case Arg::Value: return Pick(60) ? MaybeByRef(TextVariant(Pick(50) ? L"v" : RandomText())) : AnyValue(true);
        case Arg::Kind: return Pick(60) ? ShortVariant(static_cast<short>(Below(6))) : AnyValue(true);
        case Arg::Variant: return AnyValue(true);
        case Arg::Text: return Pick(50) ? MaybeByRef(TextVariant(RandomText())) : AnyValue(true);
        case Arg::Link:
            if (Pick(30)) return Unconvertible();
            return MaybeByRef(TextVariant(Pick(50) ? L"" : L"Z:\\no-such-folder-ferrolin\\nothing.xls"));
        }
        return unique_variant();
    }

private:
    bool Pick(int percent) { return Below(100) < static_cast<unsigned>(percent); }
    unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(random_); }

    long Root(bool predefinedToo) {
        const long invalid = static_cast<long>(0x7FFF0000 + Below(0xFFFF));
        switch (Below(predefinedToo ? 5 : 3)) {
        case 0: return HKCU;
        case 1: return Pick(50) ? 0 : -1;
        case 2: return invalid;
        default: return static_cast<long>(0x80000000 + Below(7));  // the predefined roots
        }
    }

    std::wstring KeyText() {
        switch (Below(4)) {
        case 0: return scratch_;
        case 1: return scratch_ + L"\\k" + std::to_wstring(Below(5));
        case 2: return scratch_ + L"\\" + RandomText();
        default: return scratch_ + L"\\k" + std::to_wstring(Below(3)) + L"\\k" + std::to_wstring(Below(3));
        }
    }

    std::wstring RandomText() {
        static const wchar_t alphabet[] = L"abcXYZ019 \\._-\x00E9\x03A9\x6F22\xD800";
        const unsigned length = Pick(5) ? 1000 + Below(3000) : Below(12);
        std::wstring text;
        for (unsigned i = 0; i < length; ++i) {
            if (Pick(3)) text.push_back(L'\0');
            else text.push_back(alphabet[Below(static_cast<unsigned>(wcslen(alphabet)))]);
        }
        return text;
    }

    // Values no text or number can be made of.
    unique_variant Unconvertible() {
        switch (Below(4)) {
        case 0: { unique_variant v; V_VT(v.get()) = VT_NULL; return v; }
        case 1: return Array(VT_VARIANT, 1);
        case 2: { unique_variant v; V_VT(v.get()) = VT_DISPATCH; V_DISPATCH(v.get()) = nullptr; return v; }
        default: return Array(VT_BSTR, 2);
        }
    }

    unique_variant Array(VARTYPE vt, UINT dims) {
        SAFEARRAYBOUND bounds[2] = {{Below(4), static_cast<LONG>(Below(3))}, {2, 0}};
        unique_variant v;
        V_VT(v.get()) = VT_ARRAY | vt;
        V_ARRAY(v.get()) = SafeArrayCreate(vt, dims, bounds);
        if (vt == VT_UI1 && dims == 1 && bounds[0].cElements) {
            ferrolin::safearray_access access(V_ARRAY(v.get()));
            for (ULONG i = 0; i < bounds[0].cElements; ++i) access.data<BYTE>()[i] = static_cast<BYTE>(Below(256));
        }
        if (vt == VT_VARIANT && dims == 1 && bounds[0].cElements && Pick(50)) {
            // a variant holding an array of its own
            ferrolin::safearray_access access(V_ARRAY(v.get()));
            VARIANT* items = access.data<VARIANT>();
            V_VT(&items[0]) = VT_ARRAY | VT_UI1;
            V_ARRAY(&items[0]) = SafeArrayCreateVector(VT_UI1, 0, 3);
        }
        return v;
    }

    unique_variant MaybeByRef(unique_variant v) {
        if (!Pick(25)) return v;
        // The referenced value lives until the call's arguments go.
        held_.push_back(std::move(v));
        unique_variant ref;
        VARIANT* target = held_.back().get();
        if (V_VT(target) == VT_BSTR && Pick(50)) {
            V_VT(ref.get()) = VT_BSTR | VT_BYREF;
            V_BSTRREF(ref.get()) = &V_BSTR(target);
        } else {
            V_VT(ref.get()) = VT_VARIANT | VT_BYREF;
            V_VARIANTREF(ref.get()) = target;
        }
        return ref;
    }

    unique_variant AnyValue(bool anyNumber) {
        unique_variant v;
        VARIANT* p = v.get();
        switch (Below(17)) {
        case 0: break;  // Empty
        case 1: V_VT(p) = VT_NULL; break;
        case 2: V_VT(p) = VT_I2; V_I2(p) = anyNumber ? static_cast<SHORT>(Below(65536)) : 0; break;
        case 3: V_VT(p) = VT_I4; V_I4(p) = anyNumber ? static_cast<LONG>(random_()) : static_cast<LONG>(0x7FFF0001); break;
        case 4: V_VT(p) = VT_R8; V_R8(p) = Pick(50) ? 1e300 : (anyNumber ? (Below(20000) - 10000.0) / 7 : 0.0); break;
        case 5: V_VT(p) = VT_BOOL; V_BOOL(p) = Pick(50) ? VARIANT_TRUE : VARIANT_FALSE; break;
        case 6: return TextVariant(RandomText());
        case 7: V_VT(p) = VT_DATE; V_DATE(p) = anyNumber ? 45000.5 : 0.0; break;
        case 8: V_VT(p) = VT_CY; V_CY(p).int64 = anyNumber ? static_cast<LONGLONG>(random_()) * 10000 : 0; break;
        case 9: V_VT(p) = VT_UI1; V_UI1(p) = static_cast<BYTE>(anyNumber ? Below(256) : 0); break;
        case 10: V_VT(p) = VT_ERROR; V_ERROR(p) = Pick(50) ? DISP_E_PARAMNOTFOUND : E_FAIL; break;
        case 11:
            V_VT(p) = VT_DISPATCH;
            V_DISPATCH(p) = Pick(50) ? com_ptr<IDispatch>::copy(object_).detach() : nullptr;
            break;
        case 12: V_VT(p) = VT_UNKNOWN; V_UNKNOWN(p) = nullptr; break;
        case 13: return Array(VT_UI1, 1);
        case 14: return Array(VT_VARIANT, Pick(80) ? 1 : 2);
        case 15: return Array(VT_BSTR, 1);
        default: return MaybeByRef(TextVariant(RandomText()));
        }
        return Pick(15) ? MaybeByRef(std::move(v)) : std::move(v);
    }

    std::mt19937& random_;
    IDispatch* object_;
    std::wstring scratch_;

public:
    std::deque<unique_variant> held_;
};

bool IsVbError(HRESULT hr) {
    if (HRESULT_FACILITY(hr) != FACILITY_CONTROL || !FAILED(hr)) return false;
    switch (HRESULT_CODE(hr)) {
    case 5: case 6: case 7: case 9: case 13: case 91: case 94: case 1001: return true;
    default: return false;
    }
}

// What a VB client turns into a VB error number when the call itself is refused:
// 13 type mismatch, 6 overflow, 458 unsupported type, 449 argument not optional,
// 450 wrong number of arguments, 451 arguments for a property that takes none, 448 a
// property put without its value.
bool IsArgumentRefusal(HRESULT hr) {
    return hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_BADVARTYPE ||
           hr == DISP_E_PARAMNOTOPTIONAL || hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_NOTACOLLECTION ||
           hr == DISP_E_PARAMNOTFOUND;
}

}  // namespace

TEST(BadInput, RandomArgumentsGiveOnlyVbErrors) {
    testing_support::CleanRecord clean;
    testing_support::ScratchKey scratch(L"library-random");
    ferrolin::com_apartment apartment;
    LoadedLibrary dll;
    com_ptr<_CLibrary> lib = dll.Create();
    ASSERT_TRUE(lib);
    com_ptr<IDispatch> d;
    ASSERT_EQ(lib.query(d), S_OK);
    MessageBoxWatch watch;

    std::mt19937 random(kSeed);
    Generator generate(random, d.get(), scratch.path());
    std::map<std::string, int> outcomes;
    const auto& members = LibraryMembers();
    for (int call = 0; call < kCallsByName; ++call) {
        const LibraryMember& m = members[random() % members.size()];
        std::vector<unique_variant> args;
        size_t count = m.args.size() - (m.optional && random() % 2 ? m.optional : 0);
        if (random() % 50 == 0) count = random() % (m.args.size() + 2);  // a wrong number now and then
        for (size_t i = 0; i < count; ++i) args.push_back(generate.Make(i < m.args.size() ? m.args[i] : Arg::Variant));
        DispatchResult r = Invoke(d.get(), DispIdOf(d.get(), m.name), m.flags(), args);
        generate.held_.clear();

        std::string outcome;
        if (r.hr == S_OK) {
            outcome = "ok";
        } else if (r.hr == DISP_E_EXCEPTION) {
            outcome = "VB error " + std::to_string(HRESULT_CODE(r.exception->scode));
            EXPECT_TRUE(IsVbError(r.exception->scode))
                << "call " << call << " " << testing_support::Narrow(m.name) << ": raised 0x" << std::hex
                << r.exception->scode;
            EXPECT_NE(r.exception->bstrDescription, nullptr) << "call " << call << ": no description";
        } else {
            char text[16];
            snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(r.hr));
            outcome = text;
            EXPECT_TRUE(IsArgumentRefusal(r.hr))
                << "call " << call << " " << testing_support::Narrow(m.name) << ": returned " << text;
        }
        ++outcomes[outcome];
    }

    // The VARIANT parameters straight through the vtable, where nothing converts first.
    const unique_bstr key = Bstr(scratch.path());
    const unique_bstr value = Bstr(L"v");
    for (int call = 0; call < kCallsByVtable; ++call) {
        unique_variant v = generate.Make(Arg::Variant);
        const short kind = static_cast<short>(random() % 6);
        unique_variant result;
        HRESULT hr;
        switch (random() % 4) {
        case 0: hr = lib->SetRegistryValue(HKCU, key.get(), value.get(), kind, v.get()); break;
        case 1: hr = lib->SetRegistryValueX(key.get(), value.get(), kind, v.get()); break;
        case 2: hr = lib->GetRegistryValue(HKCU, Bstr(scratch.sub(L"none")).get(), value.get(), kind, v.get(),
                                           result.put()); break;
        default: hr = lib->GetRegistryValueX(key.get(), value.get(), kind, v.get(), result.put()); break;
        }
        generate.held_.clear();
        EXPECT_TRUE(hr == S_OK || IsVbError(hr)) << "vtable call " << call << ": 0x" << std::hex << hr;
        ++outcomes[hr == S_OK ? "vtable ok" : "vtable VB error " + std::to_string(HRESULT_CODE(hr))];
    }
    EXPECT_TRUE(watch.Stop().empty()) << "a message box appeared";

    for (const auto& o : outcomes) printf("%-22s %d\n", o.first.c_str(), o.second);
    EXPECT_GT(outcomes["ok"], kCallsByName / 10) << "too few calls got through to the members";

    // Clean up what the random keys left under the roots the run may reach.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT})
        RegDeleteTreeW(root, scratch.path().c_str());
}
