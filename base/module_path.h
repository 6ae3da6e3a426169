// The full path of a loaded module's file (nullptr: the running program), however long.
#pragma once

#include <windows.h>

#include <string>

namespace ferrolin {

// The empty text when the system cannot tell.
inline std::wstring ModuleFileName(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace ferrolin
