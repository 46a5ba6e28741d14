// The tray icon and the About box.
#pragma once

#include <windows.h>

#include <string>

#include "controller/controller.h"
#include "win32/dialog.h"

namespace vorda::win {

// Adds the icon, or updates it when it is there already; false when neither works.
bool addTrayIcon(HINSTANCE instance, HWND mainWindow);
bool deleteTrayIcon(HINSTANCE instance, HWND mainWindow);
// Sets the icon's tip ("Vorda Cen – zmiana cen 07.12 06:00"), cut to 127 characters.
void setTrayTip(HINSTANCE instance, HWND mainWindow, const std::wstring& tip);

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
