// The automation helper against an automation object every Windows has, the script
// dictionary: creation by program identifier and class, members by name and by dispatch
// identifier, positional arguments in source order, property get and put, and the errors
// a VB program sees.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "automation.h"
#include "handles.h"
#include "test_support.h"
#include "vb_variant.h"

using testing_support::ErrorOf;
using namespace ferrolin;
using namespace ferrolin::automation;

namespace {

class Automation : public ::testing::Test {
protected:
    com_apartment apartment_;
};

std::wstring Text(const unique_variant& value) { return VariantToText(*value.get()); }

}  // namespace

TEST_F(Automation, CallsByNameAndByDispatchIdentifier) {
    Object dictionary = CreateObject(L"Scripting.Dictionary");
    ASSERT_TRUE(dictionary);
    // Positional arguments arrive in source order: Add(key, item).
    Call(dictionary, L"Add", {L"Ferrolin 1.1", L"C:\\FERROLIN"});
    Call(dictionary, L"Add", {L"count", 42});
    EXPECT_EQ(VariantToLong(*Get(dictionary, L"Count").get()), 2);
    // The default member through dispatch identifier 0, and the same member by name.
    EXPECT_EQ(Text(Get(dictionary, kDispIdDefault, {L"Ferrolin 1.1"})), L"C:\\FERROLIN");
    EXPECT_EQ(Text(Get(dictionary, L"Item", {L"count"})), L"42");
    // A property put with an argument: Item(key) = value.
    Invoke(dictionary, DispIdOf(dictionary, L"Item"), DISPATCH_PROPERTYPUT, {L"count", 7});
    EXPECT_EQ(VariantToLong(*Get(dictionary, L"item", {L"count"}).get()), 7) << "names are case-insensitive";
    // A plain property put: CompareMode on an emptied dictionary.
    Call(dictionary, L"RemoveAll");
    Put(dictionary, L"CompareMode", 1);
    EXPECT_EQ(VariantToLong(*Get(dictionary, L"CompareMode").get()), 1);
    Call(dictionary, L"Add", {L"Key", true});
    EXPECT_EQ(V_VT(Get(dictionary, L"Item", {L"KEY"}).get()), VT_BOOL) << "text compare after the put";
    EXPECT_EQ(V_BOOL(Get(dictionary, L"Item", {L"KEY"}).get()), VARIANT_TRUE);
}

TEST_F(Automation, ObjectsAsArgumentsAndResults) {
    Object outer = CreateObject(L"Scripting.Dictionary");
    Object inner = CreateObject(L"Scripting.Dictionary");
    Call(inner, L"Add", {L"a", L"b"});
    Call(outer, L"Add", {L"inner", inner});
    Object back = GetObj(outer, L"Item", {L"inner"});
    EXPECT_EQ(Text(Get(back, kDispIdDefault, {L"a"})), L"b");
    EXPECT_EQ(ErrorOf([&] { GetObj(outer, L"Count"); }), 13) << "a number is no object";
    Call(outer, L"Add", {L"nothing", Object()});
    EXPECT_EQ(ErrorOf([&] { GetObj(outer, L"Item", {L"nothing"}); }), 91) << "Nothing";
}

TEST_F(Automation, ErrorsAsVbSeesThem) {
    Object dictionary = CreateObject(L"Scripting.Dictionary");
    Call(dictionary, L"Add", {L"k", 1});
    const struct {
        const char* name;
        std::function<void()> call;
        long number;
    } cases[] = {
        {"unknown program identifier", [] { CreateObject(L"Ferrolin.NoSuchClass"); }, 429},
        {"unregistered class", [] { CreateObject(CLSID{0x0badf00d, 0x1, 0x2, {0, 1, 2, 3, 4, 5, 6, 7}}); }, 429},
        {"unknown member", [&] { Call(dictionary, L"Follow"); }, 438},
        {"member of Nothing", [] { Call(Object(), L"Quit"); }, 91},
        {"put on Nothing", [] { Put(Object(), L"Visible", true); }, 91},
        {"duplicate key", [&] { Call(dictionary, L"Add", {L"k", 2}); }, 457},
    };
    for (const auto& c : cases) {
        long number = 0;
        std::wstring description;
        try {
            c.call();
        } catch (const VbError& error) {
            number = error.number();
            description = error.description();
        }
        EXPECT_EQ(number, c.number) << c.name;
        EXPECT_FALSE(description.empty()) << c.name;
    }
}

TEST_F(Automation, ErrorFromExceptionInfo) {
    // Excel raises its errors as DISP_E_EXCEPTION with an EXCEPINFO.
    ferrolin::unique_excepinfo excel;
    excel->scode = static_cast<SCODE>(0x800A03EC);
    excel->bstrDescription = SysAllocString(L"Add method of AddIns class failed");
    VbError error = ErrorFromHresult(DISP_E_EXCEPTION, &excel);
    EXPECT_EQ(error.number(), 1004);
    EXPECT_EQ(error.description(), L"Add method of AddIns class failed");

    ferrolin::unique_excepinfo coded;
    coded->wCode = 9;
    coded->bstrDescription = SysAllocString(L"Subscript out of range");
    EXPECT_EQ(ErrorFromHresult(DISP_E_EXCEPTION, &coded).number(), 9);

    ferrolin::unique_excepinfo bare;
    bare->scode = E_ACCESSDENIED;
    VbError fromSystem = ErrorFromHresult(DISP_E_EXCEPTION, &bare);
    EXPECT_EQ(fromSystem.number(), static_cast<long>(E_ACCESSDENIED));
    EXPECT_FALSE(fromSystem.description().empty()) << "no description from the system";

    VbError rpc = ErrorFromHresult(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(rpc.number(), static_cast<long>(0x800706BA));
    EXPECT_NE(rpc.description(), L"Automation error") << "the system's description was not found";
}
