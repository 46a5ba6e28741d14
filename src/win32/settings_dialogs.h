// The settings dialogs: "Ustawienia transmisji" (101), "Ustawienia mocy świecenia" (102)
// and "Ustawienia programu" (104), each opened modally by its menu command.
#pragma once

#include <windows.h>

#include "controller/controller.h"
#include "win32/control_panel.h"
#include "win32/dialog.h"

namespace vorda::win {

// "Transmisja": the present ports, the speed and the log switch; after the dialog the
// port settings are re-applied to an open port, whichever button closed it.
class TransmissionDialog : public Dialog<TransmissionDialog> {
  public:
    explicit TransmissionDialog(Controller& controller) : controller_(controller) {}
    void show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<TransmissionDialog>;
    void onInitDialog();
    INT_PTR onCommand(int id);
    void onOk();

    Controller& controller_;
    HINSTANCE instance_ = nullptr;
    uint16_t portListIndex_ = 0;  // the entry of the current port in the port list
};

// "Światło": the twelve light settings and the automatic backlight; OK stores them,
// "Wyślij" also sends the price controller's four.
class LightDialog : public Dialog<LightDialog> {
  public:
    explicit LightDialog(Controller& controller) : controller_(controller) {}
    void show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<LightDialog>;
    void onInitDialog();
    INT_PTR onCommand(int id);
    LightFields readFields() const;

    Controller& controller_;
};

// "Ustawienia programu": the rows' descriptions and colours, and hiding on minimise.
// OK stores them and shows them on the panel.
class ProgramSettingsDialog : public Dialog<ProgramSettingsDialog> {
  public:
    // `customColours` are the colour chooser's custom colours, kept by the caller.
    ProgramSettingsDialog(Controller& controller, ControlPanel* panel,
                          COLORREF (&customColours)[16])
        : controller_(controller), panel_(panel), customColours_(customColours) {}
    void show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<ProgramSettingsDialog>;
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog();
    INT_PTR onCommand(int id);
    INT_PTR onColourButton(HWND button);
    BOOL onDrawItem(const DRAWITEMSTRUCT& item);
    void onOk();
    void chooseColour(int row);
    void makeSwatchBrushes();
    void deleteSwatchBrushes();

    Controller& controller_;
    ControlPanel* panel_;
    COLORREF (&customColours_)[16];
    COLORREF working_[kSettingsRows] = {};
    HBRUSH brushes_[kSettingsRows] = {};
};

}  // namespace vorda::win
