#include "win32/dpi.h"

#include <algorithm>

namespace vorda::win {

UINT windowDpi(HWND window) {
    // Looked up at run time: the program also runs on Windows 7 and 8.
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window)) {
            return dpi;
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

SIZE dialogBaseUnits(HWND window, HFONT font) {
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    SIZE letters = {};
    GetTextMetricsW(dc, &metrics);
    GetTextExtentPoint32W(dc, kLetters, 52, &letters);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return SIZE{std::max<LONG>(1, (letters.cx / 26 + 1) / 2), std::max<LONG>(1, metrics.tmHeight)};
}

PanelScale PanelScale::of(HWND dialog) {
    RECT r{0, 0, 400, 800};
    if (!MapDialogRect(dialog, &r) || r.right <= 0 || r.bottom <= 0) {
        return PanelScale{};
    }
    return PanelScale{r.right, r.bottom};
}

}  // namespace vorda::win
