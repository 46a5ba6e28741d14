// The program: the objects of one run (the instance mutex, the display, the main window
// with the controller, the control panel), its start-up and its message loop. The data
// folder is chosen when the program is made (the current directory then is its start
// directory).
#pragma once

#include <windows.h>

#include <optional>

#include "controller/controller.h"
#include "win32/control_panel.h"
#include "win32/main_window.h"
#include "win32/session.h"
#include "win32/win32_display.h"

namespace vorda::win {

class Program {
  public:
    // `serial` is the driver the link uses (the platform's, or a test's).
    explicit Program(HINSTANCE instance, const SerialDriver& serial = platformSerialDriver());
    // Destroys the windows that are left.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Start-up without the message loop: class (unless `previous` says it is registered),
    // accelerators, texts, main window, control panel, first size, shown. False when
    // start-up failed.
    bool createWindows(HINSTANCE previous, int showMode);

    // One message through the accelerators, the panel's dialog navigation, or dispatched.
    void handleMessage(MSG& msg);

    // The whole run: start-up, message loop, exit code. A second start in the session
    // brings the running program's window to the front instead and ends with 0.
    int run(HINSTANCE previous, int showMode);

    HWND mainWindow() const { return main_.window(); }
    HWND panelWindow() const { return panel_ ? panel_->window() : nullptr; }
    // The controller, while the main window exists.
    Controller& controller() { return *main_.controller(); }

  private:
    InstanceLock instanceLock_;
    const HINSTANCE instance_;
    HACCEL accelerators_ = nullptr;
    Win32Display display_;
    MainWindow main_;
    std::optional<ControlPanel> panel_;
};

}  // namespace vorda::win
