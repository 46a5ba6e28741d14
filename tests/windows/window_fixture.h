// The program's windows created in this process for the Windows-side tests, with helpers
// that play the operator: a message pump, buttons, menus, edits, message boxes and
// modal dialogs answered from another thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/program.h"
#include "app/wide.h"
#include "program_driver.h"
#include "protocol/mailbox.h"
#include "resources/resource.h"
#include "tower_sim_launcher.h"

namespace vorda::test {

using win::programCore;
using win::shell;

// Answers the next message box of this process with the given caption: records its text
// and presses `button`.
class MessageBoxAnswerer {
  public:
    MessageBoxAnswerer(const std::wstring& caption, int button = IDOK) {
        thread_ = std::thread([this, caption, button] {
            for (int i = 0; i < 500 && !stop_; ++i) {
                for (HWND box : topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                    if (IsWindowVisible(box) && windowText(box) == caption) {
                        for (HWND child : childWindows(box, L"Static")) {
                            if (!windowText(child).empty()) {
                                text_ = windowText(child);
                            }
                        }
                        pressButton(box, button);
                        answered_ = true;
                        return;
                    }
                }
                Sleep(10);
            }
        });
    }
    ~MessageBoxAnswerer() {
        stop_ = true;
        thread_.join();
    }
    bool answered() const { return answered_; }
    const std::wstring& text() const { return text_; }

  private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> answered_{false};
    std::wstring text_;
};

class ProgramWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = makeTempDirectory(L"vorda-window");
        wchar_t previous[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, previous);
        previousDirectory_ = previous;
        SetCurrentDirectoryW(directory_.c_str());
        static bool registered = false;
        HINSTANCE instance = GetModuleHandleW(nullptr);
        main = win::createProgramWindows(instance, registered ? instance : nullptr, SW_SHOW);
        registered = true;
        ASSERT_NE(main, nullptr);
        panel = shell().panelWindow;
        ASSERT_NE(panel, nullptr);
        pump(100);
    }
    void TearDown() override {
        if (IsWindow(main)) {
            DestroyWindow(main);
        }
        pump(50);
        SetCurrentDirectoryW(previousDirectory_.c_str());
    }

    // Handles this thread's messages as the program's loop does, for `ms`.
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
        const DWORD start = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message != WM_QUIT) {
                    win::handleMessage(msg);
                }
            }
            if (done()) {
                return true;
            }
            if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) {
                return false;
            }
            Sleep(2);
        }
    }
    std::wstring text(int id) {
        wchar_t buffer[256];
        const UINT n = GetDlgItemTextW(panel, id, buffer, 256);
        return std::wstring(buffer, n);
    }
    void type(int id, const std::wstring& t) { SetDlgItemTextW(panel, id, t.c_str()); }
    void click(int id) {
        SendMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(panel, id)));
    }
    void menu(int id) { SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    bool enabled(int id) {
        return (GetMenuState(GetMenu(main), id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
    }
    std::string menuStates() {
        return std::string(enabled(IDM_CONNECT) ? "1" : "0") +
               (enabled(IDM_DISCONNECT) ? "1" : "0") + (enabled(IDM_TEST) ? "1" : "0");
    }
    COLORREF pixel(int x, int y) {
        UpdateWindow(panel);
        HDC dc = GetDC(panel);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(panel, dc);
        return c;
    }
    bool connected() { return programCore().record->connected != 0; }

    HWND main = nullptr;
    HWND panel = nullptr;
    std::wstring directory_;
    std::wstring previousDirectory_;
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kDark = RGB(20, 20, 20);
constexpr COLORREF kGrey = RGB(180, 180, 180);

// Centre of segment `bit` of digit d in row r (rectangles of the first digit, shifted).
inline POINT segmentCentre(int r, int d, int bit) {
    static const RECT segments[8] = {
        {455, 162, 475, 167}, {450, 142, 455, 162}, {455, 137, 475, 142}, {450, 117, 455, 137},
        {455, 112, 475, 117}, {475, 117, 480, 137}, {475, 142, 480, 162}, {485, 162, 490, 167}};
    const RECT& s = segments[bit];
    return POINT{(s.left + s.right) / 2 + 55 * d, (s.top + s.bottom) / 2 + 81 * r};
}

// Acts on the next visible dialog of this process with the given caption, from another
// thread, while the program's thread runs the dialog's modal loop.
class DialogDriver {
  public:
    DialogDriver(const std::wstring& caption, std::function<void(HWND)> act) {
        thread_ = std::thread([this, caption, act] {
            for (int i = 0; i < 1000 && !stop_; ++i) {
                for (HWND d : topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                    if (IsWindowVisible(d) && windowText(d) == caption) {
                        act(d);
                        done_ = true;
                        return;
                    }
                }
                Sleep(10);
            }
        });
    }
    ~DialogDriver() {
        stop_ = true;
        thread_.join();
    }
    bool done() const { return done_; }

  private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
};

}  // namespace vorda::test
