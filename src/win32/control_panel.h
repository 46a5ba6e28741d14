// The control panel (template "DYSTRDLG"), a child of the main window: the price boxes,
// the backlight and control-file buttons, the status fields, and the price board it
// paints.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "controller/controller.h"
#include "win32/dialog.h"
#include "win32/dpi.h"
#include "win32/win32_display.h"

namespace vorda::win {

class ControlPanel : public Dialog<ControlPanel> {
  public:
    // What the panel works with; `labelFont` is the view font of the description labels.
    struct Parts {
        HINSTANCE instance;
        Controller& controller;
        Win32Display& display;
        HFONT labelFont;
        const char* buildDate;  // for the version text of the About box
    };
    explicit ControlPanel(const Parts& parts) : parts_(parts) {}
    ControlPanel(const ControlPanel&) = delete;
    ControlPanel& operator=(const ControlPanel&) = delete;

    // Creates the panel in `owner`; nullptr on failure.
    HWND create(HWND owner);

    // Shows the descriptions and colours of the settings on the labels 561 to 565 again.
    void refreshLabels();

    // The panel at `dpi` (the main window moved to another monitor): the template's font at
    // that DPI, the controls laid out for it as the dialog manager would (by the ratio of
    // its dialog base units to those at creation), the labels in `labelFont`, the board
    // placed and repainted alike.
    void setDpi(UINT dpi, HFONT labelFont);
    // Where the board's design pixels land on the panel.
    const PanelScale& scale() const { return scale_; }

  private:
    friend class Dialog<ControlPanel>;
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL onInitDialog();
    INT_PTR onColourStatic(HDC dc, HWND control);
    void onPaint();
    void onCommand(int id, int notification);
    void onDestroy();

    void applyLabels();
    void keepLabelsOnTheGreyHalf();
    void chooseControlFile();
    void paintPriceBoard(HDC dc);
    void loadBulb();

    Parts parts_;
    HBRUSH greyBrush_ = nullptr;
    HBRUSH windowBrush_ = nullptr;
    HICON bulb_ = nullptr;  // the backlight mark of the board
    int bulbSize_ = 0;
    PanelScale scale_;
    // At creation: the DPI, the scale, the template's font, its base units and each
    // control's place.
    UINT createdDpi_ = kDesignDpi;
    PanelScale createdScale_;
    LOGFONTW templateFont_ = {};
    SIZE createdUnits_ = {1, 1};
    std::vector<std::pair<HWND, RECT>> createdLayout_;
    HFONT scaledFont_ = nullptr;  // the template's font at another DPI
};

}  // namespace vorda::win
