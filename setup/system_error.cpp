#include "system_error.h"

#include "handles.h"

namespace ferrolin {

std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const unique_hlocal<wchar_t> owned(buffer);
    std::wstring text;
    if (length && buffer) text.assign(buffer, length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

VbError Win32Error(DWORD code) {
    std::wstring text = SystemMessage(code);
    if (text.empty()) text = L"System error " + std::to_wstring(code);
    return {static_cast<long>(code), text};
}

}  // namespace ferrolin
