// The tray icon and the About box.
#pragma once

#include <windows.h>

namespace vorda::win {

bool addTrayIcon(HWND mainWindow);
bool deleteTrayIcon(HWND mainWindow);
void showAboutBox(HWND owner);

}  // namespace vorda::win
