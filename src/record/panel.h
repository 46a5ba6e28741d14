// The panel seam: everything the core does to the program's windows, as a table of
// functions. The Windows program fills it with calls that reach the control panel on
// the user-interface thread, in the order they were made, without ever making a worker
// wait for that thread; tests fill it with a recorder. Any entry may be left empty.
//
// Texts: messages are UTF-8; what comes from or goes to the tower's fields (prices,
// the temperature box) is code page 1250, as it travels on the line.
#pragma once

#include <cstdint>
#include <string>

#include "record/messages.h"

namespace vorda {

struct PanelRect {
    int left;
    int top;
    int right;
    int bottom;
    bool operator==(const PanelRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// The timers of the control panel.
enum PanelTimer : int {
    kAnswerTimer = 3,  // answer time-out, armed by the sender per command
    kPollTimer = 4,    // 5-second poll while connected
    kBlinkTimer = 6,   // 330 ms blink tick, for the panel's whole life
};

struct Panel {
    void* context = nullptr;

    // Status field 556.
    void (*setStatus)(void* context, Text status) = nullptr;
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
    // A message box owned by the main window with an OK button and the exclamation icon.
    void (*showMessage)(void* context, const std::string& utf8, Text caption) = nullptr;
    // Marks a rectangle of the panel (client pixels) for repainting.
    void (*invalidate)(void* context, PanelRect rect, bool erase) = nullptr;
    // Periodic timers of the panel, by id; setting a running timer restarts it.
    void (*setTimer)(void* context, int id, uint32_t periodMs) = nullptr;
    void (*killTimer)(void* context, int id) = nullptr;
    // The system's wait cursor.
    void (*showWaitCursor)(void* context) = nullptr;

    // The panel's boxes as the operator left them; safe to call from any thread.
    std::string (*priceBoxText)(void* context, int row) = nullptr;
    bool (*blinkBoxChecked)(void* context, int row) = nullptr;
    std::string (*controlFilePath)(void* context) = nullptr;  // UTF-8
    std::string (*temperatureText)(void* context) = nullptr;
};

}  // namespace vorda
