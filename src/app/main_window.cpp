#include "app/main_window.h"

#include <windowsx.h>

#include "app/about_tray.h"
#include "app/program.h"
#include "app/wide.h"
#include "dialogs/settings_dialogs.h"
#include "link/link_ops.h"
#include "record/lifecycle.h"
#include "record/view.h"
#include "resources/resource.h"

namespace vorda::win {

const wchar_t kMainWindowClass[] = L"TTYWndClass";

namespace {

constexpr int kMainX = 10;
constexpr int kMainY = 10;
constexpr int kMainWidth = 650;
constexpr int kMainHeight = 577;
constexpr int kPanelWidth = 2000;
constexpr int kPanelHeight = 1000;

std::wstring text(Text id) {
    return fromUtf8(messageText(id));
}

AppRecord* recordOf(HWND window) {
    return reinterpret_cast<AppRecord*>(GetWindowLongPtrW(window, 0));
}

void setViewFont(HWND window, const FontDescription& f) {
    Shell& s = shell();
    if (s.viewFont != nullptr) {
        DeleteObject(s.viewFont);
    }
    s.viewFont = CreateFontW(f.height, f.width, f.escapement, f.orientation, f.weight,
                             static_cast<DWORD>(f.italic), static_cast<DWORD>(f.underline),
                             static_cast<DWORD>(f.strikeOut), static_cast<DWORD>(f.charSet),
                             static_cast<DWORD>(f.outPrecision),
                             static_cast<DWORD>(f.clipPrecision), static_cast<DWORD>(f.quality),
                             static_cast<DWORD>(f.pitchAndFamily), fromUtf8(f.faceName).c_str());
    RECT r;
    GetWindowRect(window, &r);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

void updateScrollBars(HWND window, const AppRecord& r) {
    SetScrollPos(window, SB_VERT, r.vOffset, FALSE);
    SetScrollRange(window, SB_VERT, 0, r.vScrollMax, TRUE);
    SetScrollPos(window, SB_HORZ, r.hOffset, FALSE);
    SetScrollRange(window, SB_HORZ, 0, r.hScrollMax, TRUE);
}

BOOL onCreate(HWND window, LPCREATESTRUCT) {
    addTrayIcon(window);
    wchar_t directory[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, directory);
    Core& core = programCore();
    core.startDirectory = toUtf8(directory);
    core.serial = platformSerialDriver();
    programPanel().mainWindow = window;
    shell().mainWindow = window;
    if (createApplicationRecord(core, window) != 1) {
        return FALSE;
    }
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(core.record.get()));
    setViewFont(window, core.record->viewFont);
    return TRUE;
}

void onDestroy(HWND window) {
    destroyApplicationRecord(programCore());
    SetWindowLongPtrW(window, 0, 0);
    if (shell().viewFont != nullptr) {
        DeleteObject(shell().viewFont);
        shell().viewFont = nullptr;
    }
    deleteTrayIcon(window);
    PostQuitMessage(0);
}

void onSize(HWND window, UINT state, int width, int height) {
    AppRecord* r = recordOf(window);
    if (r != nullptr) {
        const ViewShift shift = viewSizing(*r, width, height);
        if (shift.dx != 0 || shift.dy != 0) {
            ScrollWindow(window, shift.dx, shift.dy, nullptr, nullptr);
        }
        updateScrollBars(window, *r);
        InvalidateRect(window, nullptr, TRUE);
        if (state == SIZE_MINIMIZED && r->hideOnMinimise) {
            ShowWindow(window, SW_HIDE);
        }
    }
}

void onPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    AppRecord* r = recordOf(window);
    if (r != nullptr && shell().panelWindow != nullptr) {
        SetWindowPos(shell().panelWindow, HWND_TOP, -r->hOffset, -r->vOffset, kPanelWidth,
                     kPanelHeight, SWP_NOACTIVATE);
    }
    HBRUSH grey = CreateSolidBrush(RGB(180, 180, 180));
    FillRect(dc, &ps.rcPaint, grey);
    DeleteObject(grey);
    EndPaint(window, &ps);
}

ScrollCode scrollCodeOf(UINT code) {
    switch (code) {
        case SB_LINEUP:
            return ScrollCode::LineBack;
        case SB_LINEDOWN:
            return ScrollCode::LineForward;
        case SB_PAGEUP:
            return ScrollCode::PageBack;
        case SB_PAGEDOWN:
            return ScrollCode::PageForward;
        case SB_THUMBPOSITION:
            return ScrollCode::ThumbPosition;
        case SB_TOP:
            return ScrollCode::Start;
        case SB_BOTTOM:
            return ScrollCode::End;
        default:
            return ScrollCode::Other;
    }
}

void onScroll(HWND window, bool vertical, UINT code, int position) {
    AppRecord* r = recordOf(window);
    if (r == nullptr) {
        return;
    }
    const int amount = viewScroll(*r, vertical, scrollCodeOf(code), position & 0xFFFF);
    if (amount != 0) {
        ScrollWindow(window, vertical ? 0 : -amount, vertical ? -amount : 0, nullptr, nullptr);
    }
    SetScrollPos(window, vertical ? SB_VERT : SB_HORZ, vertical ? r->vOffset : r->hOffset, TRUE);
}

void onClose(HWND window) {
    const int answer = MessageBoxW(window, text(Text::ConfirmClose).c_str(),
                                   text(Text::Title).c_str(), MB_OKCANCEL | MB_ICONQUESTION);
    if (answer == IDOK) {
        DestroyWindow(window);
    }
}

void onCommand(HWND window, int id, HWND, UINT) {
    Core& core = programCore();
    switch (id) {
        case IDM_CONNECT:
            connectLink(core);
            break;
        case IDM_TEST:
            enterTestMode(core);
            break;
        case IDM_DISCONNECT:
            disconnectLink(core);
            break;
        case IDM_EXIT:
            PostMessageW(window, WM_CLOSE, 0, 0);
            break;
        case IDM_TRANSMISSION:
            showTransmissionDialog(window);
            break;
        case IDM_LIGHT:
            showLightDialog(window);
            break;
        case IDM_PROGRAM_SETTINGS:
            showProgramSettingsDialog(window);
            break;
        case IDM_READ_BACK:
            readFromTower(core);
            break;
        case IDM_ABOUT:
            showAboutBox(window);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return onCreate(window, reinterpret_cast<LPCREATESTRUCT>(lParam)) ? 0 : -1;
            HANDLE_MSG(window, WM_DESTROY, onDestroy);
            HANDLE_MSG(window, WM_SIZE, onSize);
            HANDLE_MSG(window, WM_PAINT, onPaint);
            HANDLE_MSG(window, WM_CLOSE, onClose);
            HANDLE_MSG(window, WM_COMMAND, onCommand);
        case WM_VSCROLL:
        case WM_HSCROLL:
            onScroll(window, message == WM_VSCROLL, LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_CHAR:
            return 0;
        case kTrayMessage:
            if (lParam == WM_LBUTTONDOWN || lParam == WM_RBUTTONDOWN) {
                ShowWindow(window, SW_SHOWNORMAL);
                SetForegroundWindow(window);
            }
            return 0;
        case kPanelCallsMessage:
            applyPanelCalls(programPanel());
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

}  // namespace vorda::win
