// The display seam on Windows, and the one way onto the user-interface thread: every call
// of the controller reaches the control panel on that thread, in the order the calls were
// made. A worker's call (and whatever else is handed over, such as an order's result) is
// queued and announced with a message posted to the main window, so no worker ever waits
// for the user-interface thread; a display call made on that thread first applies
// whatever is still queued.
//
// Message boxes are queued on their own and shown from their own message, never inside
// another call, one at a time; once the program is closing, none is shown any more. Every
// modal loop of the program (a box, a dialog) is counted while it is open: what arrives
// through its loop can tell, and wait or be refused.
//
// The operator's boxes are copied here as the panel reports their changes, so that any
// thread can read them.
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

// Posted to the main window when calls are waiting, when a message box is, and when the
// last modal loop of the program closed.
constexpr UINT kDisplayCallsMessage = WM_APP + 1;
constexpr UINT kMessageBoxMessage = WM_APP + 2;
constexpr UINT kModalLoopsClosedMessage = WM_APP + 4;

// A modal loop of the program (a message box, a dialog, a common dialog), counted while it
// is open; the window told (setWindow) hears when the last one closed.
class ModalLoop {
  public:
    ModalLoop() { ++depth_; }
    ~ModalLoop() {
        if (--depth_ == 0 && window_ != nullptr) {
            PostMessageW(window_, kModalLoopsClosedMessage, 0, 0);
        }
    }
    static void setWindow(HWND window) { window_ = window; }
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;
    // Whether one is open now (on the user-interface thread: whether the message being
    // handled came through one).
    static bool open() { return depth_ > 0; }

  private:
    static inline std::atomic<int> depth_{0};
    static inline std::atomic<HWND> window_{nullptr};
};

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
    // Runs `call` on the user-interface thread after everything queued before it, from the
    // posted message (also when called there: the caller's call is over first).
    void queue(std::function<void()> call);
    // An order's result for its caller: delivered only from the posted message itself
    // (deliverResults()), never from inside another call, and counted as a modal loop
    // while it is being delivered.
    void queueResult(std::function<void()> deliver);
    void deliverResults();
    // Shows the next queued message box, unless one of the program's boxes is open or
    // the program is closing (on the user-interface thread, from its message).
    void showQueuedBox();
    // A message box of the program's own, run now and counted like every modal loop;
    // queued boxes wait until it is closed. Its MessageBoxW result.
    int runBox(const std::wstring& text, const std::wstring& caption, UINT type);
    // The program is closing: queued and later boxes are dropped.
    void close();
    // What the main window does with the tray's tip and with the orders' changes (on the
    // user-interface thread).
    void setTrayTipHandler(std::function<void(const std::wstring&)> handler) {
        trayTip_ = std::move(handler);
    }
    void setOrdersChangedHandler(std::function<void()> handler) {
        ordersChanged_ = std::move(handler);
    }

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
    void announce(UINT message);
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
    void showWaitCursor();
    void showTrayTip(std::string utf8);
    void showOrdersChanged();

    DWORD uiThread_;
    std::atomic<HWND> mainWindow_{nullptr};
    std::atomic<HWND> panelWindow_{nullptr};
    PanelScale panelScale_;

    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_;
    std::deque<std::function<void()>> results_;  // under queueMutex_
    struct Box {
        std::wstring text;
        std::wstring caption;
    };
    std::deque<Box> boxes_;  // under queueMutex_
    bool boxOpen_ = false;   // on the user-interface thread
    std::atomic<bool> closing_{false};
    std::function<void(const std::wstring&)> trayTip_;
    std::function<void()> ordersChanged_;

    std::mutex boxMutex_;
    std::wstring prices_[kPriceRows];
    bool blinks_[kPriceRows] = {};
    std::wstring controlFile_;
    std::wstring temperature_;
};

}  // namespace vorda::win
