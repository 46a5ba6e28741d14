// The tray icon and the About box.
#pragma once

#include <windows.h>

#include "controller/controller.h"
#include "win32/dialog.h"

namespace vorda::win {

// Adds the icon, or updates it when it is there already; false when neither works.
bool addTrayIcon(HINSTANCE instance, HWND mainWindow);
bool deleteTrayIcon(HINSTANCE instance, HWND mainWindow);

// "Program": the window title with the build date and the price controller's version.
class AboutBox : public Dialog<AboutBox> {
  public:
    explicit AboutBox(const Controller& controller) : controller_(controller) {}
    void show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<AboutBox>;
    void onInitDialog();
    INT_PTR onCommand(int id);

    const Controller& controller_;
};

}  // namespace vorda::win
