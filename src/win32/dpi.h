// Dots per inch. The program declares itself per-monitor DPI aware in its manifest, so
// Windows no longer stretches its windows as a bitmap: they are sized, their fonts made and
// the price board painted for the DPI of the monitor they are on. What is laid out in fixed
// pixels (the main window's size, the view font, the price board and the engine's
// rectangles of it) is laid out for 96 DPI and scaled here.
#pragma once

#include <windows.h>

#include "engine/price_board.h"

namespace vorda::win {

constexpr UINT kDesignDpi = 96;

// The DPI of the monitor the window is on (Windows 10 1607 and later), else the system's.
UINT windowDpi(HWND window);

// `pixels` at 96 DPI, at `dpi`.
inline int scaledForDpi(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

// The dialog base units of `font` as the dialog manager measures them: the average width
// of the letters A to Z and a to z, and the font's height.
SIZE dialogBaseUnits(HWND window, HFONT font);

// Where the price board's pixels land on the control panel. The board is drawn in the
// pixels of the panel at 96 DPI, where the dialog units of its template font ("MS Sans
// Serif" 8, base units 6 x 13) are 1.5 x 1.625 pixels. On the panel as it is, each
// coordinate is scaled by the ratio of the panel's dialog units to those, so the board
// stays inside its frames and level with the price boxes at any DPI and with whatever font
// the system draws the template with; at 96 DPI every pixel stays where it was designed.
struct PanelScale {
    // 400 x 800 dialog units in pixels: 600 x 1300 in the design.
    int width = kDesignWidth;
    int height = kDesignHeight;

    static constexpr int kDesignWidth = 600;
    static constexpr int kDesignHeight = 1300;

    // Measured on the dialog with MapDialogRect.
    static PanelScale of(HWND dialog);
    // The same panel laid out again for a font of base units `to` instead of `from`.
    PanelScale relaidOut(SIZE from, SIZE to) const {
        return {MulDiv(width, to.cx, from.cx), MulDiv(height, to.cy, from.cy)};
    }

    int x(int designX) const { return MulDiv(designX, width, kDesignWidth); }
    int y(int designY) const { return MulDiv(designY, height, kDesignHeight); }
    // Each corner is mapped on its own, so rectangles that meet in the design meet here.
    RECT rect(int left, int top, int right, int bottom) const {
        return RECT{x(left), y(top), x(right), y(bottom)};
    }
    RECT rect(const PanelRect& r) const { return rect(r.left, r.top, r.right, r.bottom); }
};

}  // namespace vorda::win
