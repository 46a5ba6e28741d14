#include "app/about_tray.h"

#include <shellapi.h>

#include "app/main_window.h"
#include "app/program.h"
#include "app/wide.h"
#include "resources/resource.h"

namespace vorda::win {

namespace {

BOOL trayIcon(HWND mainWindow, DWORD action) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = mainWindow;
    data.uID = 0;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = static_cast<HICON>(
        LoadImageW(shell().appInstance, MAKEINTRESOURCEW(IDI_TOWER), IMAGE_ICON, 16, 16, 0));
    lstrcpynW(data.szTip, fromUtf8(messageText(Text::Title)).c_str(), 32);
    const BOOL result = Shell_NotifyIconW(action, &data);
    if (data.hIcon != nullptr) {
        DestroyIcon(data.hIcon);
    }
    return result;
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            Core& core = programCore();
            SetDlgItemTextW(dialog, IDC_VERSION_TEXT, fromUtf8(core.versionText).c_str());
            std::string version;
            {
                std::lock_guard<std::mutex> lock(core.versionMutex);
                version = core.priceControllerVersion;
            }
            SetDlgItemTextW(dialog, IDC_CONTROLLER_VERSION, fromCp1250(version).c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            return FALSE;  // Esc and the close box do nothing
        default:
            return FALSE;
    }
}

}  // namespace

bool addTrayIcon(HWND mainWindow) {
    return trayIcon(mainWindow, NIM_ADD) != 0;
}
bool deleteTrayIcon(HWND mainWindow) {
    return trayIcon(mainWindow, NIM_DELETE) != 0;
}

void showAboutBox(HWND owner) {
    DialogBoxParamW(shell().appInstance, MAKEINTRESOURCEW(IDD_ABOUT), owner, aboutProc, 0);
}

}  // namespace vorda::win
