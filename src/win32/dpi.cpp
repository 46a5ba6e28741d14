#include "win32/dpi.h"

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

PanelScale PanelScale::of(HWND dialog) {
    RECT r{0, 0, 400, 800};
    if (!MapDialogRect(dialog, &r) || r.right <= 0 || r.bottom <= 0) {
        return PanelScale{};
    }
    return PanelScale{r.right, r.bottom};
}

}  // namespace vorda::win
