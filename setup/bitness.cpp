#include "bitness.h"

#include <windows.h>

#include "excel_calls.h"
#include "handles.h"
#include "names.h"
#include "program.h"

namespace ferrolin {

namespace {

constexpr wchar_t kExcelServerKey[] = L"CLSID\\{00024500-0000-0000-C000-000000000046}\\LocalServer32";

// Reads through the file-system redirection of WoW64, so that a 32-bit setup sees the
// file the server path names, not its 32-bit namesake.
class RedirectionOff {
public:
    RedirectionOff() noexcept { off_ = Wow64DisableWow64FsRedirection(&old_) != FALSE; }
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;
    ~RedirectionOff() { if (off_) Wow64RevertWow64FsRedirection(old_); }

private:
    void* old_ = nullptr;
    bool off_ = false;
};

bool ReadAt(HANDLE file, LONG offset, void* data, DWORD size) {
    DWORD got = 0;
    return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(file, data, size, &got, nullptr) && got == size;
}

}  // namespace

std::wstring ClassesText(const std::wstring& key, REGSAM view) {
    const unique_hkey opened = open_key(HKEY_CLASSES_ROOT, key.c_str(), KEY_QUERY_VALUE | view);
    if (!opened) return L"";
    DWORD size = 0;
    if (RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return L"";
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, &text[0], &size) != ERROR_SUCCESS)
        return L"";
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

Bitness ProgramBitness(const std::wstring& path) {
    RedirectionOff redirection;
    unique_handle file = adopt_file(CreateFileW(path.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    if (!file) return Bitness::Unknown;
    IMAGE_DOS_HEADER dos{};
    if (!ReadAt(file.get(), 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return Bitness::Unknown;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!ReadAt(file.get(), dos.e_lfanew, &signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(file.get(), dos.e_lfanew + static_cast<LONG>(sizeof signature), &header, sizeof header))
        return Bitness::Unknown;
    switch (header.Machine) {
    case IMAGE_FILE_MACHINE_I386: return Bitness::Bits32;
    case IMAGE_FILE_MACHINE_AMD64:
    case 0xAA64:  // IMAGE_FILE_MACHINE_ARM64
        return Bitness::Bits64;
    default: return Bitness::Unknown;
    }
}

std::wstring ServerProgram(const std::wstring& commandLine) {
    size_t start = 0, length = 0;
    excel_calls::ServerProgramSpan(commandLine.c_str(), &start, &length);
    return commandLine.substr(start, length);
}

std::wstring ExcelServerPath() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const std::wstring command = ClassesText(kExcelServerKey, view);
        if (!command.empty()) return ServerProgram(command);
    }
    return L"";
}

Bitness ExcelServerBitness() {
    const std::wstring program = ExcelServerPath();
    return program.empty() ? Bitness::Unknown : ProgramBitness(program);
}

bool WindowsIs64Bit() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool RefusesExcel(bool setupIs64Bit, bool windowsIs64Bit, Bitness excel) {
    return !setupIs64Bit && windowsIs64Bit && excel == Bitness::Bits64;
}

void prcCheckExcelBitness() {
    if (!RefusesExcel(sizeof(void*) == 8, WindowsIs64Bit(), ExcelServerBitness())) return;
    MsgBox(kMsgExcelIs64Bit, MB_OK | MB_ICONEXCLAMATION, kMessageTitle);
    EndProgram(SetupEnd::ExcelIs64Bit);
}

}  // namespace ferrolin
