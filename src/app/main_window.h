// The program's one top-level window.
#pragma once

#include <windows.h>

namespace vorda::win {

extern const wchar_t kMainWindowClass[];

// The tray icon's messages to the main window.
constexpr UINT kTrayMessage = 0x8064;

// Process-wide handles of the shell.
struct Shell {
    HINSTANCE appInstance = nullptr;
    HACCEL acceleratorTable = nullptr;
    HWND mainWindow = nullptr;
    HWND panelWindow = nullptr;
    HFONT viewFont = nullptr;
};
Shell& shell();

// Loads the message texts of the string table into the core.
void loadMessageTexts(HINSTANCE instance);

// Registers "TTYWndClass"; false on failure.
bool registerMainWindowClass(HINSTANCE instance);

// Creates the main window; nullptr on failure.
HWND createMainWindow(HINSTANCE instance, int showMode);

}  // namespace vorda::win
