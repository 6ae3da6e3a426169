// Forms are laid out in twips (1440 to the inch), as VB designs them, and placed in pixels
// at the DPI of their window.
#pragma once

#include <windows.h>

#include "handles.h"
#include "optional_export.h"

namespace ferrolin {

constexpr int kTwipsPerInch = 1440;

inline int TwipsToPixels(int twips, UINT dpi) noexcept {
    return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}
inline int PixelsToTwips(int pixels, UINT dpi) noexcept {
    return MulDiv(pixels, kTwipsPerInch, static_cast<int>(dpi));
}
// A font's height in pixels for its size in points (72 to the inch).
inline int PointsToPixels(int points, UINT dpi) noexcept { return MulDiv(points, static_cast<int>(dpi), 72); }

// The DPI of the screen as the system reports it to this program.
inline UINT SystemDpi() noexcept {
    const window_dc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The DPI of one window: its monitor's from Windows 10 1607 on, the system's before.
inline UINT WindowDpi(HWND window) noexcept {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (const auto getDpiForWindow = OptionalExport<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow")) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    return SystemDpi();
}

}  // namespace ferrolin
