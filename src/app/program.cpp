#include "app/program.h"

#include <memory>

#include "app/control_panel.h"
#include "app/main_window.h"
#include "resources/resource.h"
#include "vorda_version.h"

namespace vorda::win {

namespace {

std::unique_ptr<Core> core;
std::unique_ptr<Win32Panel> panel;

}  // namespace

Core& programCore() {
    if (core == nullptr) {
        core = std::make_unique<Core>();
    }
    return *core;
}

Win32Panel& programPanel() {
    if (panel == nullptr) {
        panel = std::make_unique<Win32Panel>();
    }
    return *panel;
}

const char* programBuildDate() {
    return VORDA_BUILD_DATE;
}

HWND createProgramWindows(HINSTANCE instance, HINSTANCE previous, int showMode) {
    if (previous == nullptr && !registerMainWindowClass(instance)) {
        return nullptr;
    }
    // A fresh core and panel for this run (tests start the program more than once).
    core = std::make_unique<Core>();
    panel = std::make_unique<Win32Panel>();
    installWin32Panel(*core, *panel);

    Shell& s = shell();
    s.acceleratorTable = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
    s.appInstance = instance;
    s.panelWindow = nullptr;
    loadMessageTexts(instance);

    HWND window = createMainWindow(instance, showMode);
    if (window == nullptr) {
        return nullptr;
    }
    CreateDialogParamW(instance, L"DYSTRDLG", window, controlPanelProc, 0);

    RECT client;
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (s.panelWindow != nullptr) {
        ShowWindow(s.panelWindow, SW_SHOW);
    }
    ShowWindow(window, showMode);
    UpdateWindow(window);
    return window;
}

void handleMessage(MSG& msg) {
    Shell& s = shell();
    if (s.mainWindow != nullptr && TranslateAcceleratorW(s.mainWindow, s.acceleratorTable, &msg)) {
        return;
    }
    if (s.panelWindow != nullptr && IsDialogMessageW(s.panelWindow, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int runProgram(HINSTANCE instance, HINSTANCE previous, int showMode) {
    if (createProgramWindows(instance, previous, showMode) == nullptr) {
        return 0;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        handleMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace vorda::win
