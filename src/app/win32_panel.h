// The panel seam on Windows: every call of the core reaches the control panel on the
// user-interface thread, in the order the calls were made. A worker's call is queued and
// announced with a posted message, so no worker ever waits for the user-interface thread;
// a call made on that thread first applies whatever is still queued.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "record/core.h"

namespace vorda::win {

// Posted to the panel when calls are waiting.
constexpr UINT kPanelCallsMessage = WM_APP + 1;

struct Win32Panel {
    Core* core = nullptr;
    HWND mainWindow = nullptr;
    HWND panelWindow = nullptr;
    DWORD uiThread = 0;

    std::mutex queueMutex;
    std::deque<std::function<void()>> queue;

    // What the operator typed, kept current by the panel's notifications, so that any
    // thread can read it without asking the user-interface thread.
    std::mutex boxMutex;
    std::wstring prices[kPriceRows];
    bool blinks[kPriceRows] = {};
    std::wstring controlFile;
    std::wstring temperature;
};

// Fills the core's panel seam with calls on `panel` (one per process).
void installWin32Panel(Core& core, Win32Panel& panel);

// Applies the queued calls (on the user-interface thread).
void applyPanelCalls(Win32Panel& panel);

}  // namespace vorda::win
