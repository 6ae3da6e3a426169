// The library file itself: what it imports and exports, its version resource, and the
// class factory and unload answers of its entry points; and what every shipped program
// file shares: system imports only, no link time stamp, a version resource.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "library_harness.h"
#include "pe_file.h"
#include "test_support.h"

using namespace library_harness;
using ferrolin::com_ptr;
using testing_support::ImportedLibraries;
using testing_support::Narrow;
using testing_support::PeFile;

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::wstring VersionText(const std::vector<BYTE>& info, const std::wstring& name, bool* present) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904B0\\" + name;
    *present = VerQueryValueW(info.data(), path.c_str(), &value, &length) != FALSE;
    if (!*present || !value || length == 0) return {};
    return std::wstring(static_cast<const wchar_t*>(value), wcsnlen(static_cast<const wchar_t*>(value), length));
}


}  // namespace

// Setup runs from a folder anyone may have filled. What a program imports is loaded before
// its first instruction, so each import must be one the loader takes from the system folder
// only (a known DLL, or comctl32 through the manifest's side-by-side assembly), whatever
// lies beside it. Nor does any file carry a link time stamp: two builds of one commit
// give the same bytes.
TEST(ShippedFiles, SystemImportsNoTimeStampAndVersion) {
    const std::set<std::string> known = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll",
                                         "oleaut32.dll", "shell32.dll", "msvcrt.dll", "comctl32.dll"};
    const struct {
        std::wstring path;
        const wchar_t* description;
        const wchar_t* internal;
        const wchar_t* original;
    } files[] = {
        {testing_support::WindowsPath(SETUP_EXE), L"Ferrolin 1.1 Setup", L"setup", L"setup.exe"},
        {testing_support::WindowsPath(UFR11_EXE), L"Ferrolin 1.1 Uninstall", L"UFR11", L"UFR11.exe"},
        {testing_support::WindowsPath(UFR10_EXE), L"Ferrolin 1.0 Uninstall", L"UFR10", L"UFR10.exe"},
        {LibraryPath(), nullptr, nullptr, nullptr},
    };
    for (const auto& file : files) {
        const std::string name = Narrow(file.path);
        PeFile pe(file.path);
        ASSERT_TRUE(pe.valid()) << name << " is no PE file";
        EXPECT_EQ(pe.timeStamp(), 0u) << name << " carries a link time stamp";
        for (const std::string& library : ImportedLibraries(pe))
            EXPECT_TRUE(known.count(library)) << name << " imports " << library << ", which may be taken from its folder";
        if (!file.description) continue;

        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.path.c_str(), &handle);
        ASSERT_GT(size, 0u) << name << " has no version resource";
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(file.path.c_str(), 0, size, info.data()));
        const struct {
            const wchar_t* name;
            const wchar_t* value;
        } texts[] = {
            {L"CompanyName", L"Orvicta"},     {L"ProductName", L"Ferrolin 1.1"},  {L"FileVersion", L"1.1"},
            {L"ProductVersion", L"1.1"},      {L"FileDescription", file.description},
            {L"InternalName", file.internal}, {L"OriginalFilename", file.original},
        };
        for (const auto& t : texts) {
            bool present = false;
            EXPECT_EQ(VersionText(info, t.name, &present), t.value) << name << ": " << Narrow(t.name);
            EXPECT_TRUE(present) << name << ": " << Narrow(t.name) << " missing";
        }
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u) << name;
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u) << name;
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP)) << name;
    }
}

TEST(LibraryFile, ImportsOnlySystemLibraries) {
    PeFile pe(LibraryPath());
    ASSERT_TRUE(pe.valid()) << "IFR_v11.dll beside the test is no PE file";
#ifdef _WIN64
    EXPECT_EQ(pe.machine(), IMAGE_FILE_MACHINE_AMD64);
#else
    EXPECT_EQ(pe.machine(), IMAGE_FILE_MACHINE_I386);
#endif
    EXPECT_TRUE(pe.characteristics() & IMAGE_FILE_DLL);
    EXPECT_TRUE(pe.dllCharacteristics() & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "ASLR";
    EXPECT_TRUE(pe.dllCharacteristics() & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "DEP";

    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "advapi32.dll", "ole32.dll",
                                          "oleaut32.dll", "shell32.dll", "msvcrt.dll"};
    const IMAGE_DATA_DIRECTORY& imports = pe.directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(imports.VirtualAddress, 0u);
    std::set<std::string> seen;
    for (size_t offset = pe.Offset(imports.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* d = pe.At<IMAGE_IMPORT_DESCRIPTOR>(offset);
        ASSERT_NE(d, nullptr) << "import directory runs off the file";
        if (d->Name == 0) break;
        const std::string name = Lower(pe.StringAt(d->Name));
        seen.insert(name);
        EXPECT_TRUE(system.count(name)) << "imports " << name << ", which is no system library";
    }
    for (const char* needed : {"kernel32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll"})
        EXPECT_TRUE(seen.count(needed)) << "does not import " << needed;
    EXPECT_EQ(pe.directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).VirtualAddress, 0u) << "no delay-loaded imports";
}

TEST(LibraryFile, ExportsTheFourSelfRegistrationEntryPointsByPlainName) {
    PeFile pe(LibraryPath());
    ASSERT_TRUE(pe.valid());
    const IMAGE_DATA_DIRECTORY& exports = pe.directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    const auto* dir = pe.At<IMAGE_EXPORT_DIRECTORY>(pe.Offset(exports.VirtualAddress));
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> names;
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
        const DWORD* rva = pe.At<DWORD>(pe.Offset(dir->AddressOfNames) + i * sizeof(DWORD));
        ASSERT_NE(rva, nullptr);
        names.push_back(pe.StringAt(*rva));
    }
    const std::vector<std::string> expected = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(dir->NumberOfFunctions, 4u) << "no exports by ordinal only";

    LoadedLibrary dll;
    ASSERT_TRUE(dll);
    for (const std::string& name : expected)
        EXPECT_NE(GetProcAddress(dll.module(), name.c_str()), nullptr) << name;
}

TEST(LibraryFile, VersionResourceMarksTheFileSelfRegistering) {
    const std::wstring path = LibraryPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } cases[] = {
        {L"FileVersion", L"1.00.0001"},      {L"ProductVersion", L"1.00.0001"},
        {L"InternalName", L"IFR_v11"},       {L"OriginalFilename", L"IFR_v11.dll"},
        {L"ProductName", L"IFR_v01"},        {L"OLESelfRegister", L""},
    };
    for (const auto& c : cases) {
        bool present = false;
        EXPECT_EQ(VersionText(info, c.name, &present), c.value) << Narrow(c.name);
        EXPECT_TRUE(present) << Narrow(c.name) << " missing";
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST(LibraryFile, ClassFactoryAndUnloadFollowObjectsAndLocks) {
    ferrolin::com_apartment apartment;
    LoadedLibrary dll;
    ASSERT_TRUE(dll);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(dll.module(), "DllGetClassObject")));
    ASSERT_NE(get, nullptr);

    com_ptr<IClassFactory> factory;
    EXPECT_EQ(get(IID__CLibrary, IID_IClassFactory, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE)
        << "another CLSID";
    EXPECT_EQ(get(CLSID_CLibrary, IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(get(CLSID_CLibrary, IID_IClassFactory, factory.put_void()), S_OK);

    com_ptr<IUnknown> object;
    com_ptr<IUnknown> outer = com_ptr<IUnknown>::copy(factory.get());
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, object.put_void()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.put_void()), E_NOINTERFACE);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "no object, no lock";

    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "an object is alive";
    const struct {
        const char* what;
        IID iid;
        bool supported;
    } interfaces[] = {
        {"IDispatch", IID_IDispatch, true},
        {"_CLibrary", IID__CLibrary, true},
        {"ISupportErrorInfo", IID_ISupportErrorInfo, true},
        {"IPersist", IID_IPersist, false},
        {"IClassFactory", IID_IClassFactory, false},
    };
    for (const auto& i : interfaces) {
        com_ptr<IUnknown> other;
        EXPECT_EQ(object->QueryInterface(i.iid, other.put_void()) == S_OK, i.supported) << i.what;
    }
    com_ptr<ISupportErrorInfo> support;
    ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__CLibrary), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPersist), S_FALSE);
    support.reset();
    object.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "last object released";

    factory->LockServer(TRUE);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "server locked";
    factory->LockServer(FALSE);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "lock released";
}
