// The program's one core and its windows.
#pragma once

#include <windows.h>

#include "app/win32_panel.h"
#include "record/core.h"

namespace vorda::win {

// The core of the running program (made anew by createProgramWindows).
Core& programCore();
Win32Panel& programPanel();

// Start-up without the message loop: class, texts, accelerators, main window, control
// panel, first size, shown. The main window, or nullptr when start-up failed.
HWND createProgramWindows(HINSTANCE instance, HINSTANCE previous, int showMode);

// One message through the accelerators, the panel's dialog navigation, or dispatched.
void handleMessage(MSG& msg);

// The whole run: start-up, message loop, exit code.
int runProgram(HINSTANCE instance, HINSTANCE previous, int showMode);

// The date this program was built, in the compiler's __DATE__ form ("Feb 12 2015"): the
// build's version header, which the version resource also reads.
const char* programBuildDate();

}  // namespace vorda::win
