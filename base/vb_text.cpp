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

std::wstring ToLower(const std::wstring& text) {
    std::wstring out = text;
    if (!out.empty())
        CharLowerBuffW(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

double LeadingNumber(const std::wstring& text) {
    const auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    double number = 0;
    bool digits = false;
    for (; i < text.size() && digit(text[i]); ++i) {
        number = number * 10 + (text[i] - L'0');
        digits = true;
    }
    if (i < text.size() && text[i] == L'.') {
        double scale = 0.1;
        for (++i; i < text.size() && digit(text[i]); ++i) {
            number += (text[i] - L'0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    return digits ? number : 0;
}

}  // namespace ferrolin
