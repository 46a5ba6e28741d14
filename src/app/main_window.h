// The program's one top-level window and its start-up.
#pragma once

#include <windows.h>

namespace vorda::win {

extern const wchar_t kMainWindowClass[];

// Process-wide handles of the shell.
struct Shell {
    HINSTANCE appInstance = nullptr;
    HACCEL acceleratorTable = nullptr;
    HWND mainWindow = nullptr;
    HWND panelWindow = nullptr;
};
Shell& shell();

// Loads the message texts of the string table into the core.
void loadMessageTexts(HINSTANCE instance);

// Registers "TTYWndClass"; false on failure.
bool registerMainWindowClass(HINSTANCE instance);

// Creates the main window; nullptr on failure.
HWND createMainWindow(HINSTANCE instance, int showMode);

// The whole run: start-up, message loop, exit code.
int runProgram(HINSTANCE instance, HINSTANCE previous, int showMode);

}  // namespace vorda::win
