// The program's one top-level window ("TTYWndClass"): the menu, the scrolling view that
// carries the control panel, the tray icon, and the controller, which lives from the
// window's creation to its destruction.
#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <vector>

#include "controller/controller.h"
#include "controller/view.h"
#include "win32/control_panel.h"
#include "win32/win32_display.h"

namespace vorda::win {

extern const wchar_t kMainWindowClass[];

// The tray icon's messages to the main window.
constexpr UINT kTrayMessage = 0x8064;

// Loads the message texts of the string table over the built-in ones.
void loadMessageTexts(HINSTANCE instance);

// The logical font of the view and of the price labels.
struct ViewFont {
    int height = 55;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 900;
    int italic = 0;
    int underline = 0;
    int strikeOut = 0;
    int charSet = 255;  // OEM
    int outPrecision = 0;
    int clipPrecision = 0;
    int quality = 0;
    int pitchAndFamily = 0x31;  // fixed pitch, modern family
    const wchar_t* faceName = L"Arial";
};

class MainWindow {
  public:
    // `platform` with the data folder as its start directory.
    MainWindow(HINSTANCE instance, Win32Display& display, const Platform& platform);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Registers the window class; false on failure.
    static bool registerClass(HINSTANCE instance);

    // Creates the window (and with it the controller); nullptr on failure.
    HWND create();

    HWND window() const { return window_; }
    // The controller, from the window's creation to its destruction.
    Controller* controller() { return controller_ ? &*controller_ : nullptr; }
    HFONT viewFont() const { return viewFont_; }
    // The control panel the view carries.
    void setPanel(ControlPanel* panel) { panel_ = panel; }
    // Sizes the window for its DPI and the panel it carries (650 x 577 at 96 DPI).
    void fitSize();

  private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool onCreate();
    void onDestroy();
    void onSize(UINT state, int width, int height);
    void onPaint();
    void onScroll(bool vertical, UINT code, int position);
    void onClose();
    // The window moved to a monitor of another DPI; `suggested` is its new place.
    void onDpiChanged(UINT dpi, const RECT& suggested);
    // 650 x 577 grown with the DPI and, where the panel's dialog units grew more, with them.
    SIZE sizeAtDpi() const;
    void onCommand(int id);
    void onTray(LPARAM event);
    // The tray icon added, or shown already; a failed attempt is repeated on a timer a few
    // times (the taskbar may not be there yet).
    void showTrayIcon();
    // The panel's focused control, kept while the window is inactive and given the focus
    // again when the window gets it (price box 1 the first time).
    void rememberFocus();
    void restoreFocus();
    // Windows is ending the session: the program ends at once, without asking.
    void onEndSession();
    void endProgram();
    // A second start or "/ceny" asking for the running program.
    LRESULT onInstanceMessage(WPARAM request);
    void comeToTheFront();
    // A command-line order from the window `caller`: TRUE when it is one and was taken.
    LRESULT onCopyData(HWND caller, const COPYDATASTRUCT* data);

    void setViewFont();
    void updateScrollBars();

    const HINSTANCE instance_;
    Win32Display& display_;
    Platform platform_;
    std::optional<Controller> controller_;
    HWND window_ = nullptr;
    ControlPanel* panel_ = nullptr;
    ScrollView view_;
    UINT dpi_ = kDesignDpi;
    ViewFont font_;  // its height in pixels at 96 DPI
    HFONT viewFont_ = nullptr;
    // Sent to every top-level window when the taskbar is made again (Explorer restarted).
    const UINT taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    bool trayIconShown_ = false;
    std::wstring trayTip_;  // the tip the controller asked for last
    int trayAttempts_ = 0;
    HWND focus_ = nullptr;
    // The colour chooser's custom colours, white at start, kept for the run.
    COLORREF customColours_[16] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                   0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                   0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
};

}  // namespace vorda::win
