#include "vb_text.h"

#include <windows.h>

namespace ferrolin {

std::wstring TrimBlanks(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

std::wstring ToUpper(const std::wstring& text) {
    std::wstring out = text;
    if (!out.empty())
        CharUpperBuffW(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

}  // namespace ferrolin
