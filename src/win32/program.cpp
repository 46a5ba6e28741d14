#include "win32/program.h"

#include <commctrl.h>

#include "vorda_version.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

Platform platformOf(const SerialDriver& serial, Win32Display& display) {
    Platform p;
    p.serial = serial;
    p.display = display.seam();
    p.panel = display.panelSeam();
    p.folderWatch = platformFolderWatch();
    p.http = platformHttpClient();
    p.centralStore = platformCentralStore();
    p.clock = systemClock();
    p.startDirectory = toUtf8(probeDataFolder());
    return p;
}

}  // namespace

Program::Program(HINSTANCE instance, const SerialDriver& serial)
    : instance_(instance), main_(instance, display_, platformOf(serial, display_)) {}

Program::~Program() {
    if (main_.window() != nullptr) {
        DestroyWindow(main_.window());
    }
}

bool Program::createWindows(HINSTANCE previous, int showMode) {
    if (previous == nullptr && !MainWindow::registerClass(instance_)) {
        return false;
    }
    // Common Controls 6 (the manifest asks for them) for the standard controls.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    accelerators_ = LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDA_MAIN));
    loadMessageTexts(instance_);

    HWND window = main_.create();
    if (window == nullptr) {
        return false;
    }
    panel_.emplace(ControlPanel::Parts{instance_, *main_.controller(), display_, main_.viewFont(),
                                       VORDA_BUILD_DATE});
    main_.setPanel(&*panel_);
    panel_->create(window);
    main_.fitSize();

    RECT client;
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (panel_->window() != nullptr) {
        ShowWindow(panel_->window(), SW_SHOW);
    }
    ShowWindow(window, showMode);
    UpdateWindow(window);
    return true;
}

void Program::handleMessage(MSG& msg) {
    HWND main = main_.window();
    if (main != nullptr && TranslateAcceleratorW(main, accelerators_, &msg)) {
        return;
    }
    HWND panel = panelWindow();
    if (panel != nullptr && IsDialogMessageW(panel, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int Program::run(HINSTANCE previous, int showMode) {
    if (!instanceLock_.first()) {
        showRunningProgram();
        return 0;
    }
    // Started again by Windows after a restart for an update (not after a crash or hang).
    RegisterApplicationRestart(L"", RESTART_NO_CRASH | RESTART_NO_HANG);
    if (!createWindows(previous, showMode)) {
        return 0;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        handleMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace vorda::win
