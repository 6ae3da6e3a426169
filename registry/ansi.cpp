#include "ansi.h"

#include <windows.h>

namespace ferrolin {

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const char* bytes, size_t count) {
    if (count == 0) return {};
    const int length = static_cast<int>(count);
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    std::wstring out(static_cast<size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) MultiByteToWideChar(CP_ACP, 0, bytes, length, &out[0], needed);
    return out;
}

}  // namespace ferrolin
