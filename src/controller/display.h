// The two seams of the control panel, each a table of functions; any entry may be left
// empty.
// - The display: everything the operator is told. Only the controller calls it (through
//   Display), from any thread. The Windows program fills it with calls that reach the
//   control panel on the user-interface thread, in the order they were made, without ever
//   making a worker wait for that thread; tests fill it with a recorder.
// - The panel's input: the boxes the operator types into, read by the controller (through
//   PanelInput, from any thread) and handed on as values.
//
// Texts: messages are UTF-8; what comes from or goes to the tower's fields (prices,
// the temperature box) is code page 1250, as it travels on the line.
#pragma once

#include <cstdint>
#include <string>

#include "engine/price_board.h"
#include "settings/messages.h"

namespace vorda {

struct DisplaySeam {
    void* context = nullptr;

    // Status field 556.
    void (*setStatus)(void* context, Text status) = nullptr;
    // Status field 556 with a text made here (a message and a number, UTF-8).
    void (*setStatusText)(void* context, const std::string& utf8) = nullptr;
    // Light-level field 558.
    void (*setLightLevel)(void* context, const std::string& text) = nullptr;
    // Price edit of row 0 to 4 (1020, 1023 to 1026).
    void (*setPriceText)(void* context, int row, const std::string& cp1250) = nullptr;
    // "Mrugaj" box of row 0 to 4 (1074 to 1078).
    void (*setBlinkBox)(void* context, int row, bool checked) = nullptr;
    // Button 1070: "Stop" while a control file runs, else "Start".
    void (*setStartStop)(void* context, bool running) = nullptr;
    // "Połącz", "Rozłącz" and "Test": enabled or greyed.
    void (*setMenuStates)(void* context, bool connect, bool disconnect, bool test) = nullptr;
    // A message box owned by the main window with an OK button and the exclamation icon
    // (on Windows the warning icon: MB_ICONWARNING is MB_ICONEXCLAMATION).
    void (*showMessage)(void* context, const std::string& utf8, Text caption) = nullptr;
    // Marks a rectangle of the panel (client pixels) for repainting.
    void (*invalidate)(void* context, PanelRect rect, bool erase) = nullptr;
    // The system's wait cursor.
    void (*showWaitCursor)(void* context) = nullptr;
    // The tray icon's tip: "Vorda Cen", or the next planned price change (UTF-8).
    void (*setTrayTip)(void* context, const std::string& utf8) = nullptr;
    // The orders changed (taken in, carried out, cancelled): an open list shows them again.
    void (*ordersChanged)(void* context) = nullptr;
};

// The panel's boxes as the operator left them; safe to call from any thread.
struct PanelSeam {
    void* context = nullptr;
    std::string (*priceBoxText)(void* context, int row) = nullptr;
    bool (*blinkBoxChecked)(void* context, int row) = nullptr;
    std::string (*controlFilePath)(void* context) = nullptr;  // UTF-8
    std::string (*temperatureText)(void* context) = nullptr;
    // Whether a box or dialog of the program waits for the operator now.
    bool (*operatorBusy)(void* context) = nullptr;
};

// The seam with every call checked: an empty entry does nothing (or reads as empty).
class Display {
  public:
    DisplaySeam seam;

    void setStatus(Text status) const {
        if (seam.setStatus)
            seam.setStatus(seam.context, status);
    }
    // A status message followed by a number ("BRAK PORTU COM1"); a display without the
    // entry for texts shows the message alone.
    void setStatus(Text status, int number) const {
        if (seam.setStatusText)
            seam.setStatusText(seam.context, messageText(status) + std::to_string(number));
        else
            setStatus(status);
    }
    void setLightLevel(const std::string& text) const {
        if (seam.setLightLevel)
            seam.setLightLevel(seam.context, text);
    }
    void setPriceText(int row, const std::string& cp1250) const {
        if (seam.setPriceText)
            seam.setPriceText(seam.context, row, cp1250);
    }
    void setBlinkBox(int row, bool checked) const {
        if (seam.setBlinkBox)
            seam.setBlinkBox(seam.context, row, checked);
    }
    void setStartStop(bool running) const {
        if (seam.setStartStop)
            seam.setStartStop(seam.context, running);
    }
    void setMenuStates(bool connect, bool disconnect, bool test) const {
        if (seam.setMenuStates)
            seam.setMenuStates(seam.context, connect, disconnect, test);
    }
    void showMessage(const std::string& utf8, Text caption) const {
        if (seam.showMessage)
            seam.showMessage(seam.context, utf8, caption);
    }
    void invalidate(PanelRect rect, bool erase) const {
        if (seam.invalidate)
            seam.invalidate(seam.context, rect, erase);
    }
    void showWaitCursor() const {
        if (seam.showWaitCursor)
            seam.showWaitCursor(seam.context);
    }
    void setTrayTip(const std::string& utf8) const {
        if (seam.setTrayTip)
            seam.setTrayTip(seam.context, utf8);
    }
    void ordersChanged() const {
        if (seam.ordersChanged)
            seam.ordersChanged(seam.context);
    }
};

// The panel's input with every call checked: an empty entry reads as empty.
class PanelInput {
  public:
    PanelSeam seam;

    std::string priceBoxText(int row) const {
        return seam.priceBoxText ? seam.priceBoxText(seam.context, row) : std::string();
    }
    bool blinkBoxChecked(int row) const {
        return seam.blinkBoxChecked && seam.blinkBoxChecked(seam.context, row);
    }
    std::string controlFilePath() const {
        return seam.controlFilePath ? seam.controlFilePath(seam.context) : std::string();
    }
    std::string temperatureText() const {
        return seam.temperatureText ? seam.temperatureText(seam.context) : std::string();
    }
    bool operatorBusy() const { return seam.operatorBusy && seam.operatorBusy(seam.context); }
};

}  // namespace vorda
