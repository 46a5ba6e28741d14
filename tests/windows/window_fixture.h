// The program's windows created in this process for the Windows-side tests, with helpers
// that play the operator: a message pump, buttons, menus, edits, and dialogs and message
// boxes answered from another thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "support.h"
#include "win32/program.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::test {

// Acts on the next visible dialog of this process with the given caption, from another
// thread, while this thread runs the dialog's modal loop. The future gives the dialog's
// message, or kNoDialog when none came within ten seconds.
const std::wstring kNoDialog = L"(no dialog)";
inline std::future<std::wstring> onDialog(const std::wstring& caption,
                                          std::function<void(HWND)> act) {
    return std::async(std::launch::async, [caption, act] {
        HWND d = nullptr;
        if (!waitUntil([&] { return (d = findDialog(GetCurrentProcessId(), caption)); }, 10000)) {
            return kNoDialog;
        }
        const std::wstring message = messageOf(d);
        act(d);
        return message;
    });
}
// Presses `button` on the next message box with the caption.
inline std::future<std::wstring> answerBox(const std::wstring& caption, int button = IDOK) {
    return onDialog(caption, [button](HWND box) { pressButton(box, button); });
}

// The real Win32 driver, its configurations counted.
inline std::atomic<int> configureCalls{0};
inline SerialDriver countingSerialDriver() {
    SerialDriver d = platformSerialDriver();
    d.configure = [](SerialPort* port, const SerialSettings& settings) {
        ++configureCalls;
        return platformSerialDriver().configure(port, settings);
    };
    return d;
}

class ProgramWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = makeTempDirectory(L"vorda-window");
        wchar_t previous[MAX_PATH];
        previousDirectory_.assign(previous, GetCurrentDirectoryW(MAX_PATH, previous));
        SetCurrentDirectoryW(directory_.c_str());
        ASSERT_NO_FATAL_FAILURE(start());
    }
    void TearDown() override {
        stop();
        SetCurrentDirectoryW(previousDirectory_.c_str());
    }

    // Creates the program's windows; they read the settings file of the directory.
    void start() {
        static bool registered = false;
        HINSTANCE instance = GetModuleHandleW(nullptr);
        program_ = std::make_unique<win::Program>(instance, countingSerialDriver());
        ASSERT_TRUE(program_->createWindows(registered ? instance : nullptr, SW_SHOW));
        registered = true;
        main = program_->mainWindow();
        panel = program_->panelWindow();
        ASSERT_NE(panel, nullptr);
        pump(100);
    }
    void stop() {
        program_.reset();
        pump(50);
    }
    // Ends the program, saves `settings` as its settings file and starts it again.
    void restartWith(const Settings& settings) {
        stop();
        ASSERT_TRUE(saveSettingsFile(win::toUtf8(directory_), settings));
        ASSERT_NO_FATAL_FAILURE(start());
    }
    // What the settings file holds.
    Settings saved() {
        Settings settings;
        EXPECT_TRUE(loadSettingsFile(win::toUtf8(directory_), settings));
        return settings;
    }

    // Handles this thread's messages as the program's loop does until `done` holds.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
        return waitUntil(
            [&] {
                for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
                    if (msg.message != WM_QUIT) {
                        program_ ? program_->handleMessage(msg) : (void)DispatchMessageW(&msg);
                    }
                }
                return done();
            },
            timeoutMs, 2);
    }
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    // Until every command queued has been answered.
    bool pumpUntilIdle() {
        return pumpUntil(
            [this] {
                return !controller().mailbox().anyPending() &&
                       controller().link().slotInFlight() == 0;
            },
            8000);
    }

    Controller& controller() { return program_->controller(); }
    bool connected() { return controller().link().connected(); }
    std::wstring text(int id) { return windowText(GetDlgItem(panel, id)); }
    void type(int id, const std::wstring& t) { SetDlgItemTextW(panel, id, t.c_str()); }
    void click(int id) {
        SendMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(panel, id)));
    }
    void menu(int id) { SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // "101": "Połącz", "Rozłącz", "Test" enabled (1) or greyed (0).
    std::string menuStates() {
        std::string states;
        for (int id : {IDM_CONNECT, IDM_DISCONNECT, IDM_TEST}) {
            const UINT state = GetMenuState(GetMenu(main), id, MF_BYCOMMAND);
            states += (state & (MF_GRAYED | MF_DISABLED)) == 0 ? '1' : '0';
        }
        return states;
    }
    COLORREF pixel(int x, int y) {
        UpdateWindow(panel);
        HDC dc = GetDC(panel);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(panel, dc);
        return c;
    }
    COLORREF pixel(POINT p) { return pixel(p.x, p.y); }

    std::unique_ptr<win::Program> program_;
    HWND main = nullptr;
    HWND panel = nullptr;
    std::wstring directory_;
    std::wstring previousDirectory_;
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kDark = RGB(20, 20, 20);
constexpr COLORREF kGrey = RGB(180, 180, 180);
// The rows' default colours.
constexpr COLORREF kLabelColours[5] = {RGB(0, 255, 0), RGB(255, 255, 0), RGB(255, 0, 0),
                                       RGB(255, 255, 255), RGB(0, 0, 255)};
const wchar_t kError[] = L"B\u0142\u0105d";

// Centre of segment `bit` of digit d in row r (rectangles of the first digit, shifted).
inline POINT segmentCentre(int r, int d, int bit) {
    static const RECT segments[8] = {
        {455, 162, 475, 167}, {450, 142, 455, 162}, {455, 137, 475, 142}, {450, 117, 455, 137},
        {455, 112, 475, 117}, {475, 117, 480, 137}, {475, 142, 480, 162}, {485, 162, 490, 167}};
    const RECT& s = segments[bit];
    return POINT{(s.left + s.right) / 2 + 55 * d, (s.top + s.bottom) / 2 + 81 * r};
}

}  // namespace vorda::test
