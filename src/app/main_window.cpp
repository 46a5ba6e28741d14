#include "app/main_window.h"

#include <windowsx.h>

#include "app/wide.h"
#include "record/messages.h"
#include "resources/resource.h"

namespace vorda::win {

const wchar_t kMainWindowClass[] = L"TTYWndClass";

namespace {

constexpr int kMainX = 10;
constexpr int kMainY = 10;
constexpr int kMainWidth = 650;
constexpr int kMainHeight = 577;

std::wstring text(Text id) {
    return fromUtf8(messageText(id));
}

BOOL onCreate(HWND, LPCREATESTRUCT) {
    return TRUE;
}

void onDestroy(HWND) {
    PostQuitMessage(0);
}

void onClose(HWND window) {
    const int answer = MessageBoxW(window, text(Text::ConfirmClose).c_str(),
                                   text(Text::Title).c_str(), MB_OKCANCEL | MB_ICONQUESTION);
    if (answer == IDOK) {
        DestroyWindow(window);
    }
}

void onCommand(HWND window, int id, HWND, UINT) {
    switch (id) {
        case IDM_EXIT:
            PostMessageW(window, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        HANDLE_MSG(window, WM_CREATE, onCreate);
        HANDLE_MSG(window, WM_DESTROY, onDestroy);
        HANDLE_MSG(window, WM_CLOSE, onClose);
        HANDLE_MSG(window, WM_COMMAND, onCommand);
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_CHAR:
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

Shell& shell() {
    static Shell s;
    return s;
}

void loadMessageTexts(HINSTANCE instance) {
    for (Text id : kAllTexts) {
        const wchar_t* resource = nullptr;
        const int n =
            LoadStringW(instance, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&resource), 0);
        if (n > 0 && resource != nullptr) {
            setMessageText(id, toUtf8(std::wstring(resource, static_cast<size_t>(n))));
        }
    }
}

bool registerMainWindowClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = 0;
    wc.lpfnWndProc = mainWindowProc;
    wc.cbClsExtra = 0;
    // Slot 0 holds the application record's pointer: pointer-sized on a 64-bit build.
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TOWER));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOWFRAME + 1));
    wc.lpszMenuName = MAKEINTRESOURCEW(IDM_MAIN);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassW(&wc) != 0;
}

HWND createMainWindow(HINSTANCE instance, int) {
    const DWORD style =
        WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    HWND window =
        CreateWindowExW(0, kMainWindowClass, text(Text::Title).c_str(), style, kMainX, kMainY,
                        kMainWidth, kMainHeight, nullptr, nullptr, instance, nullptr);
    shell().mainWindow = window;
    return window;
}

int runProgram(HINSTANCE instance, HINSTANCE previous, int showMode) {
    if (previous == nullptr && !registerMainWindowClass(instance)) {
        return 0;
    }
    Shell& s = shell();
    s.acceleratorTable = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
    s.appInstance = instance;
    loadMessageTexts(instance);

    HWND window = createMainWindow(instance, showMode);
    if (window == nullptr) {
        return 0;
    }

    RECT client;
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    ShowWindow(window, showMode);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorW(s.mainWindow, s.acceleratorTable, &msg)) {
            continue;
        }
        if (s.panelWindow != nullptr && IsDialogMessageW(s.panelWindow, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace vorda::win
