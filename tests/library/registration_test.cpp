// Registration with the system's regsvr32 and the registered type library, read back
// the way a client compiled against it sees it. Each test registers the DLL beside it
// and unregisters it again before it ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library_harness.h"
#include "names.h"
#include "test_support.h"

using namespace library_harness;
using ferrolin::com_ptr;
using ferrolin::unique_bstr;
using testing_support::Narrow;

namespace {

#ifdef _WIN64
const wchar_t kPlatform[] = L"win64";
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
const wchar_t kPlatform[] = L"win32";
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

// The identity that clients compiled against the library and their registrations hold.
const wchar_t kClassKey[] = L"CLSID\\{DCCC35A0-B477-4287-94AA-99FC390A593A}";
const wchar_t kLibraryId[] = L"{3B6EB83F-979E-44B1-B1B2-B6FFFF01EABD}";
const wchar_t kInterfaceId[] = L"{3C3F42FE-BE82-4D80-AD3A-132FBC0302D2}";

// A text value under HKEY_CLASSES_ROOT, or "<missing>".
std::wstring ClassesText(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t data[2048] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = towupper(c);
    return text;
}

struct Entry {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
};

std::vector<Entry> ExpectedEntries() {
    const std::wstring clsid = kClassKey, libid = kLibraryId;
    return {
        {clsid + L"\\InprocServer32", nullptr, LibraryPath()},
        {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid + L"\\ProgID", nullptr, L"IFR_v11.CLibrary"},
        {clsid + L"\\TypeLib", nullptr, libid},
        {L"IFR_v11.CLibrary\\Clsid", nullptr, clsid.substr(6)},
        {L"Interface\\" + std::wstring(kInterfaceId) + L"\\TypeLib", nullptr, libid},
        {L"TypeLib\\" + libid + L"\\1.0\\409\\" + kPlatform, nullptr, LibraryPath()},
    };
}

}  // namespace

TEST(Registration, Regsvr32EntersAndRemovesTheServer) {
    ferrolin::com_apartment apartment;
    const std::vector<Entry> entries = ExpectedEntries();
    for (const Entry& e : entries)
        ASSERT_EQ(ClassesText(e.key, e.name), L"<missing>") << Narrow(e.key) << " is registered before the test";

    {
        Registration registration;
        ASSERT_EQ(registration.exitCode(), 0) << "regsvr32 " << Narrow(LibraryPath());
        // Paths and GUIDs compare without regard to case, as the registry's readers do.
        for (const Entry& e : entries)
            EXPECT_EQ(Upper(ClassesText(e.key, e.name)), Upper(e.value))
                << Narrow(e.key) << " " << (e.name ? Narrow(e.name) : "(default)");

        CLSID clsid = {};
        ASSERT_EQ(CLSIDFromProgID(ferrolin::kLibraryProgId, &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CLibrary));
        com_ptr<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()), S_OK);
        DispatchResult path = CallByName(object.get(), L"lpHkey_app", {});
        ASSERT_EQ(path.hr, S_OK);
        ASSERT_EQ(path.value.vt(), VT_BSTR);
        EXPECT_EQ(Text(V_BSTR(path.value.get())), L"Software\\Vandrel11\\Groupdate\\");
        object.reset();
        CoFreeUnusedLibraries();

        EXPECT_EQ(Regsvr32(false), 0) << "registering again";
        EXPECT_EQ(Upper(ClassesText(entries[0].key)), Upper(LibraryPath())) << "after registering twice";
    }

    for (const Entry& e : entries)
        EXPECT_EQ(ClassesText(e.key, e.name), L"<missing>") << Narrow(e.key) << " left after regsvr32 /u";
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + std::wstring(kLibraryId)));
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CLASSES_ROOT, L"CLSID")) << "only the class's own keys go";

    CLSID clsid = {};
    EXPECT_NE(CLSIDFromProgID(ferrolin::kLibraryProgId, &clsid), S_OK) << "ProgID still known";
    com_ptr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_CLibrary, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()),
              REGDB_E_CLASSNOTREG);
}

// The registered type library as a client loads it: the library, its interface as a
// dispatch type and the interface's vtable side. Each case registers the DLL afresh.
class TypeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(registration_.exitCode(), 0);
        ASSERT_EQ(LoadRegTypeLib(LIBID_IFR_v11, 1, 0, 0x409, library_.put()), S_OK);
        ASSERT_EQ(library_->GetTypeInfoOfGuid(IID__CLibrary, dispatch_.put()), S_OK);
        HREFTYPE vtableRef = 0;
        ASSERT_EQ(dispatch_->GetRefTypeOfImplType(-1, &vtableRef), S_OK);
        ASSERT_EQ(dispatch_->GetRefTypeInfo(vtableRef, vtable_.put()), S_OK);
    }

    ferrolin::com_apartment apartment_;
    Registration registration_;
    com_ptr<ITypeLib> library_;
    com_ptr<ITypeInfo> dispatch_;
    com_ptr<ITypeInfo> vtable_;
};

// The library and its class: the identity a client binds to, creatable, not an application
// object, _CLibrary as its default; registered as the DLL itself, so that a client's
// LoadRegTypeLib finds the embedded library.
TEST_F(TypeLibrary, PublishesTheIdentityAndTheClass) {
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&libAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(libAttr->guid, LIBID_IFR_v11));
    EXPECT_EQ(libAttr->lcid, 0x409u);
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    EXPECT_EQ(libAttr->syskind, kSysKind);
    library_->ReleaseTLibAttr(libAttr);
    unique_bstr libName;
    library_->GetDocumentation(-1, libName.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(Text(libName), L"IFR_v11");
    EXPECT_EQ(library_->GetTypeInfoCount(), 2u) << "the interface and the class, nothing else";

    com_ptr<ITypeInfo> coclass;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(CLSID_CLibrary, coclass.put()), S_OK);
    TYPEATTR* classAttr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&classAttr), S_OK);
    EXPECT_EQ(classAttr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(classAttr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_FALSE(classAttr->wTypeFlags & TYPEFLAG_FAPPOBJECT);
    EXPECT_EQ(classAttr->cImplTypes, 1);
    coclass->ReleaseTypeAttr(classAttr);
    unique_bstr className;
    coclass->GetDocumentation(MEMBERID_NIL, className.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(Text(className), L"CLibrary");
    INT implFlags = 0;
    coclass->GetImplTypeFlags(0, &implFlags);
    EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);

    unique_bstr path;
    ASSERT_EQ(QueryPathOfRegTypeLib(LIBID_IFR_v11, 1, 0, 0x409, path.put()), S_OK);
    EXPECT_EQ(Upper(Text(path)), Upper(LibraryPath()));
}

// The interface: dual, hidden, not extensible, automation types only.
TEST_F(TypeLibrary, InterfaceIsDualHiddenAndAutomationOnly) {
    TYPEATTR* dispAttr = nullptr;
    ASSERT_EQ(dispatch_->GetTypeAttr(&dispAttr), S_OK);
    EXPECT_EQ(dispAttr->typekind, TKIND_DISPATCH);
    const struct {
        const char* what;
        WORD flag;
        bool set;
    } flags[] = {
        {"dual", TYPEFLAG_FDUAL, true},
        {"hidden", TYPEFLAG_FHIDDEN, true},
        {"nonextensible", TYPEFLAG_FNONEXTENSIBLE, true},
        {"dispatchable", TYPEFLAG_FDISPATCHABLE, true},
        {"creatable", TYPEFLAG_FCANCREATE, false},
        {"restricted", TYPEFLAG_FRESTRICTED, false},
    };
    for (const auto& f : flags)
        EXPECT_EQ((dispAttr->wTypeFlags & f.flag) != 0, f.set) << "interface flag " << f.what;
    dispatch_->ReleaseTypeAttr(dispAttr);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(vtable_->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) << "automation types only";
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL) << "dual";
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID__CLibrary));
    vtable_->ReleaseTypeAttr(attr);
}

// Every member in interface order: name, DISPID, kind and signature.
TEST_F(TypeLibrary, MembersInInterfaceOrder) {
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(vtable_->GetTypeAttr(&attr), S_OK);
    const WORD functionCount = attr->cFuncs;
    vtable_->ReleaseTypeAttr(attr);
    const std::vector<LibraryMember>& members = LibraryMembers();
    ASSERT_EQ(functionCount, members.size());

    struct Describe {
        static std::string Type(const TYPEDESC& t) {
            switch (t.vt) {
            case VT_PTR: return Type(*t.lptdesc) + "*";
            case VT_SAFEARRAY: return "SAFEARRAY(" + Type(*t.lptdesc) + ")";
            case VT_I4: return "long";
            case VT_I2: return "short";
            case VT_BSTR: return "BSTR";
            case VT_BOOL: return "VARIANT_BOOL";
            case VT_VARIANT: return "VARIANT";
            case VT_HRESULT: return "HRESULT";
            default: return "vt" + std::to_string(t.vt);
            }
        }
    };
    for (WORD i = 0; i < functionCount; ++i) {
        const LibraryMember& m = members[i];
        const std::string what = Narrow(m.name) + " (member " + std::to_string(i) + ")";
        FUNCDESC* f = nullptr;
        ASSERT_EQ(vtable_->GetFuncDesc(i, &f), S_OK) << what;
        unique_bstr name;
        vtable_->GetDocumentation(f->memid, name.put(), nullptr, nullptr, nullptr);
        EXPECT_EQ(Text(name), m.name) << what;
        EXPECT_EQ(f->memid, m.id) << what;
        EXPECT_EQ(f->invkind, m.kind) << what;
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL) << what;
        EXPECT_EQ(f->callconv, CC_STDCALL) << what;
        EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << what << ": vtable slot";
        EXPECT_EQ(Describe::Type(f->elemdescFunc.tdesc), "HRESULT") << what;
        const std::string sig = m.signature;
        EXPECT_EQ(f->cParamsOpt, sig.find("optional") == std::string::npos ? 0 : 1) << what;
        std::string signature = "(";
        for (SHORT p = 0; p < f->cParams; ++p) {
            const ELEMDESC& e = f->lprgelemdescParam[p];
            const USHORT pf = e.paramdesc.wParamFlags;
            if (p) signature += ", ";
            if (pf & PARAMFLAG_FIN) signature += "in ";
            if (pf & PARAMFLAG_FOUT) signature += "out ";
            if (pf & PARAMFLAG_FRETVAL) signature += "retval ";
            if (pf & PARAMFLAG_FOPT) signature += "optional ";
            if (pf & PARAMFLAG_FHASDEFAULT) signature += "default ";
            signature += Describe::Type(e.tdesc);
        }
        signature += ")";
        EXPECT_EQ(signature, m.signature) << what;
        vtable_->ReleaseFuncDesc(f);
    }
}

// Parameter names as a client sees them in its object browser and uses for named arguments.
TEST_F(TypeLibrary, ParameterNamesForNamedArguments) {
    const struct {
        const wchar_t* member;
        std::vector<std::wstring> names;
    } parameterNames[] = {
        {L"GetRegistryValue", {L"GetRegistryValue", L"hKey", L"KeyName", L"ValueName", L"KeyType", L"DefaultValue"}},
        {L"SetRegistryValue", {L"SetRegistryValue", L"hKey", L"KeyName", L"ValueName", L"KeyType", L"value"}},
        {L"prcLink", {L"prcLink", L"lpFile"}},
        {L"prcDir", {L"prcDir", L"lpVal"}},
        {L"prcSet_status_Addin", {L"prcSet_status_Addin", L"lpStatus"}},
        {L"GetRegistryValueX", {L"GetRegistryValueX", L"KeyName", L"ValueName", L"KeyType", L"DefaultValue"}},
        {L"StripTerminator", {L"StripTerminator", L"strString"}},
    };
    for (const auto& p : parameterNames) {
        MEMBERID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(p.member);
        ASSERT_EQ(dispatch_->GetIDsOfNames(&name, 1, &id), S_OK) << Narrow(p.member);
        BSTR names[8] = {};
        UINT count = 0;
        ASSERT_EQ(vtable_->GetNames(id, names, 8, &count), S_OK) << Narrow(p.member);
        std::vector<std::wstring> got;
        for (UINT i = 0; i < count; ++i) {
            const ferrolin::unique_bstr owned(names[i]);
            got.push_back(Text(names[i]));
        }
        // The result parameter's name is no part of the published signature.
        if (got.size() > p.names.size()) got.resize(p.names.size());
        EXPECT_EQ(got, p.names) << Narrow(p.member);
    }
}
