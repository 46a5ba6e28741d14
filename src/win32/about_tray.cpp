#include "win32/about_tray.h"

#include <shellapi.h>

#include <iterator>

#include "win32/main_window.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

BOOL trayIcon(HINSTANCE instance, HWND mainWindow, DWORD action) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = mainWindow;
    data.uID = 0;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_TOWER), IMAGE_ICON, 16, 16, 0));
    lstrcpynW(data.szTip, fromUtf8(messageText(Text::Title)).c_str(), 32);
    const BOOL result = Shell_NotifyIconW(action, &data);
    if (data.hIcon != nullptr) {
        DestroyIcon(data.hIcon);
    }
    return result;
}

}  // namespace

bool addTrayIcon(HINSTANCE instance, HWND mainWindow) {
    // A taskbar that was not made again still shows the icon: it is then only updated.
    return trayIcon(instance, mainWindow, NIM_ADD) != 0 ||
           trayIcon(instance, mainWindow, NIM_MODIFY) != 0;
}
bool deleteTrayIcon(HINSTANCE instance, HWND mainWindow) {
    return trayIcon(instance, mainWindow, NIM_DELETE) != 0;
}

void setTrayTip(HINSTANCE, HWND mainWindow, const std::wstring& tip) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = mainWindow;
    data.uID = 0;
    data.uFlags = NIF_TIP;
    lstrcpynW(data.szTip, tip.c_str(), static_cast<int>(std::size(data.szTip)));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void AboutBox::show(HINSTANCE instance, HWND owner) {
    showModal(instance, IDD_ABOUT, owner);
}

void AboutBox::onInitDialog() {
    SetDlgItemTextW(dialog_, IDC_VERSION_TEXT, fromUtf8(controller_.versionText()).c_str());
    SetDlgItemTextW(dialog_, IDC_CONTROLLER_VERSION,
                    fromCp1250(controller_.priceControllerVersion()).c_str());
}

INT_PTR AboutBox::onCommand(int id) {
    if (id == IDOK) {
        EndDialog(dialog_, 1);
        return TRUE;
    }
    return FALSE;  // Esc and the close box do nothing
}

}  // namespace vorda::win
