// The display seam on Windows: every call of the controller and the engine reaches the
// control panel on the user-interface thread, in the order the calls were made. A
// worker's call is queued and announced with a posted message, so no worker ever waits
// for the user-interface thread; a call made on that thread first applies whatever is
// still queued. The operator's boxes are copied here as the panel reports their changes,
// so that any thread can read them.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "controller/display.h"
#include "protocol/segments.h"
#include "win32/dpi.h"

namespace vorda::win {

// Posted to the panel (or, before it exists, to the main window) when calls are waiting.
constexpr UINT kDisplayCallsMessage = WM_APP + 1;

class Win32Display {
  public:
    // The thread that makes the display is the user-interface thread.
    Win32Display();
    Win32Display(const Win32Display&) = delete;
    Win32Display& operator=(const Win32Display&) = delete;

    // The table of calls on this display, and of the panel's boxes it copies.
    DisplaySeam seam();
    PanelSeam panelSeam();

    void setMainWindow(HWND window) { mainWindow_ = window; }
    void setPanelWindow(HWND panel) { panelWindow_ = panel; }
    // How the engine's board rectangles (96-DPI design pixels) land on the panel; set and
    // used on the user-interface thread.
    void setPanelScale(const PanelScale& scale) { panelScale_ = scale; }

    // Applies the queued calls (on the user-interface thread).
    void applyQueued();

    // The panel's box `id` was changed by the operator: its copy is taken.
    void boxChanged(int id);

  private:
    // Runs a member with these arguments on the user-interface thread, in call order.
    template <typename... Params, typename... Args>
    static void post(void* context, void (Win32Display::*apply)(Params...), Args... args) {
        Win32Display* d = static_cast<Win32Display*>(context);
        d->dispatch([d, apply, args...] { (d->*apply)(args...); });
    }
    void dispatch(std::function<void()> call);
    void setText(int id, const std::wstring& text);

    // What the seam's calls do on the user-interface thread.
    void showStatus(Text status);
    void showStatusText(std::string utf8);
    void showLightLevel(std::string cp1250);
    void showPriceText(int row, std::string cp1250);
    void showBlinkBox(int row, bool checked);
    void showStartStop(bool running);
    void showMenuStates(bool connect, bool disconnect, bool test);
    void showMessage(std::string utf8, Text caption);
    void invalidate(PanelRect rect, bool erase);
    void setTimer(int id, uint32_t periodMs);
    void killTimer(int id);
    void showWaitCursor();

    DWORD uiThread_;
    std::atomic<HWND> mainWindow_{nullptr};
    std::atomic<HWND> panelWindow_{nullptr};
    PanelScale panelScale_;

    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_;

    std::mutex boxMutex_;
    std::wstring prices_[kPriceRows];
    bool blinks_[kPriceRows] = {};
    std::wstring controlFile_;
    std::wstring temperature_;
};

}  // namespace vorda::win
