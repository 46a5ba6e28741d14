// The control panel (template "DYSTRDLG") and its price board.
#pragma once

#include <windows.h>

#include "record/core.h"

namespace vorda::win {

INT_PTR CALLBACK controlPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the description labels 561 to 565 from priceLabelText, in the view font.
void applyLabels(Core& core);

// Paints the price board of the panel into `dc` (panel client pixels).
void paintPriceBoard(Core& core, HDC dc);

}  // namespace vorda::win
