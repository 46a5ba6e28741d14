#include "win32/main_window.h"

#include <algorithm>

#include "win32/about_tray.h"
#include "win32/central_dialog.h"
#include "win32/command_line.h"
#include "win32/history_dialog.h"
#include "win32/orders_dialog.h"
#include "win32/resources/resource.h"
#include "win32/session.h"
#include "win32/settings_dialogs.h"
#include "win32/wide.h"

namespace vorda::win {

const wchar_t kMainWindowClass[] = L"TTYWndClass";

namespace {

constexpr int kMainX = 10;
constexpr int kMainY = 10;
constexpr int kMainWidth = 650;
constexpr int kMainHeight = 577;
constexpr int kPanelWidth = 2000;
constexpr int kPanelHeight = 1000;
constexpr UINT_PTR kTrayTimer = 1;
constexpr UINT kTrayRetryMs = 2000;
constexpr int kTrayAttempts = 5;

std::wstring text(Text id) {
    return fromUtf8(messageText(id));
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

}  // namespace

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

MainWindow::MainWindow(HINSTANCE instance, Win32Display& display, const Platform& platform)
    : instance_(instance), display_(display), platform_(platform) {}

bool MainWindow::registerClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = 0;
    wc.lpfnWndProc = windowProc;
    wc.cbClsExtra = 0;
    // Slot 0 holds the MainWindow object's pointer: pointer-sized on a 64-bit build.
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TOWER));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOWFRAME + 1));
    wc.lpszMenuName = MAKEINTRESOURCEW(IDM_MAIN);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassW(&wc) != 0;
}

HWND MainWindow::create() {
    const DWORD style =
        WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    return CreateWindowExW(0, kMainWindowClass, text(Text::Title).c_str(), style, kMainX, kMainY,
                           kMainWidth, kMainHeight, nullptr, nullptr, instance_, this);
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(created->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, 0));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const LRESULT result = self->handleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, 0, 0);
        self->window_ = nullptr;
    }
    return result;
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return onCreate() ? 0 : -1;
        case WM_DESTROY:
            onDestroy();
            return 0;
        case WM_SIZE:
            onSize(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
                   static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_PAINT:
            onPaint();
            return 0;
        case WM_CLOSE:
            onClose();
            return 0;
        case WM_DPICHANGED:
            onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam));
            return 0;
        case WM_VSCROLL:
        case WM_HSCROLL:
            onScroll(message == WM_VSCROLL, LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                rememberFocus();
            }
            return DefWindowProcW(window_, message, wParam, lParam);
        case WM_SETFOCUS:
            restoreFocus();
            return 0;
        case WM_KILLFOCUS:
        case WM_CHAR:
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                onEndSession();
            }
            return 0;
        case WM_TIMER:
            if (wParam == kTrayTimer) {
                showTrayIcon();
            }
            return 0;
        case kTrayMessage:
            onTray(lParam);
            return 0;
        case kDisplayCallsMessage:
            display_.applyQueued();
            display_.deliverResults();
            return 0;
        case kMessageBoxMessage:
            display_.showQueuedBox();
            return 0;
        case kModalLoopsClosedMessage:
            if (controller_) {
                controller_->operatorFree();  // an order due meanwhile goes now
            }
            return 0;
        case WM_TIMECHANGE:
            if (controller_) {
                controller_->clockChanged();
            }
            return 0;
        case WM_COPYDATA:
            return onCopyData(reinterpret_cast<HWND>(wParam),
                              reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        default:
            if (message == taskbarCreated_) {
                trayAttempts_ = 0;
                showTrayIcon();
                return 0;
            }
            if (message == instanceMessage()) {
                return onInstanceMessage(wParam);
            }
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

bool MainWindow::onCreate() {
    showTrayIcon();
    // "/ceny" and a second start reach the program also when it runs elevated.
    ChangeWindowMessageFilterEx(window_, instanceMessage(), MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(window_, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    display_.setMainWindow(window_);
    ModalLoop::setWindow(window_);
    display_.setTrayTipHandler([this](const std::wstring& tip) {
        trayTip_ = tip;
        if (trayIconShown_) {
            setTrayTip(instance_, window_, tip);
        }
    });
    display_.setOrdersChangedHandler([] {
        if (HWND list = OrdersDialog::open()) {
            PostMessageW(list, kOrdersChangedMessage, 0, 0);
        }
    });
    controller_.emplace(platform_);
    dpi_ = windowDpi(window_);
    fitSize();
    setViewFont();
    return true;
}

SIZE MainWindow::sizeAtDpi() const {
    SIZE size{scaledForDpi(kMainWidth, dpi_), scaledForDpi(kMainHeight, dpi_)};
    if (panel_ != nullptr && panel_->window() != nullptr) {
        size.cx = std::max<LONG>(size.cx, panel_->scale().x(kMainWidth));
        size.cy = std::max<LONG>(size.cy, panel_->scale().y(kMainHeight));
    }
    return size;
}

void MainWindow::fitSize() {
    RECT r;
    GetWindowRect(window_, &r);
    const SIZE size = sizeAtDpi();
    if (r.right - r.left != size.cx || r.bottom - r.top != size.cy) {
        SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    setViewFont();
    const SIZE size = sizeAtDpi();
    SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                 std::max<LONG>(suggested.right - suggested.left, size.cx),
                 std::max<LONG>(suggested.bottom - suggested.top, size.cy),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::onDestroy() {
    ModalLoop::setWindow(nullptr);
    controller_.reset();
    display_.applyQueued();  // an order under way ends with the controller: its result goes
    display_.deliverResults();
    if (viewFont_ != nullptr) {
        DeleteObject(viewFont_);
        viewFont_ = nullptr;
    }
    KillTimer(window_, kTrayTimer);
    deleteTrayIcon(instance_, window_);
    PostQuitMessage(0);
}

void MainWindow::showTrayIcon() {
    KillTimer(window_, kTrayTimer);
    trayIconShown_ = addTrayIcon(instance_, window_);
    if (!trayIconShown_ && ++trayAttempts_ < kTrayAttempts) {
        SetTimer(window_, kTrayTimer, kTrayRetryMs, nullptr);
    }
    if (trayIconShown_ && !trayTip_.empty()) {
        setTrayTip(instance_, window_, trayTip_);  // an icon added again keeps its tip
    }
}

void MainWindow::rememberFocus() {
    HWND panel = panel_ != nullptr ? panel_->window() : nullptr;
    HWND focus = GetFocus();
    if (panel != nullptr && focus != nullptr && IsChild(panel, focus)) {
        focus_ = focus;
    }
}

void MainWindow::restoreFocus() {
    HWND panel = panel_ != nullptr ? panel_->window() : nullptr;
    if (panel == nullptr) {
        return;
    }
    SetFocus(focus_ != nullptr && IsChild(panel, focus_) ? focus_ : GetDlgItem(panel, IDC_PRICE1));
}

// The same end as a confirmed close (the controller goes: a price check under way is
// recorded, the port closed, the settings kept); then the process ends at once, since
// Windows may end it from here on and a dialog's loop below may still use what is gone.
void MainWindow::onEndSession() {
    endProgram();
    ExitProcess(0);
}

// Nothing asks the operator anything more: a box still waiting is dropped, a price check
// or an order under way is recorded and ended without one.
void MainWindow::endProgram() {
    display_.close();
    if (controller_) {
        controller_->programEnding();
    }
    DestroyWindow(window_);
}

LRESULT MainWindow::onInstanceMessage(WPARAM request) {
    if (request == kInstanceShow) {
        comeToTheFront();
    }
    return kInstanceAnswer;
}

void MainWindow::comeToTheFront() {
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
}

// The view font at the window's DPI, handed to the panel before the old one goes.
void MainWindow::setViewFont() {
    const HFONT old = viewFont_;
    const ViewFont& f = font_;
    viewFont_ = CreateFontW(scaledForDpi(f.height, dpi_), f.width, f.escapement, f.orientation,
                            f.weight, static_cast<DWORD>(f.italic), static_cast<DWORD>(f.underline),
                            static_cast<DWORD>(f.strikeOut), static_cast<DWORD>(f.charSet),
                            static_cast<DWORD>(f.outPrecision), static_cast<DWORD>(f.clipPrecision),
                            static_cast<DWORD>(f.quality), static_cast<DWORD>(f.pitchAndFamily),
                            f.faceName);
    if (panel_ != nullptr) {
        panel_->setDpi(dpi_, viewFont_);
    }
    if (old != nullptr) {
        DeleteObject(old);
    }
    RECT r;
    GetWindowRect(window_, &r);
    SendMessageW(window_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

void MainWindow::updateScrollBars() {
    SetScrollPos(window_, SB_VERT, view_.vOffset, FALSE);
    SetScrollRange(window_, SB_VERT, 0, view_.vScrollMax, TRUE);
    SetScrollPos(window_, SB_HORZ, view_.hOffset, FALSE);
    SetScrollRange(window_, SB_HORZ, 0, view_.hScrollMax, TRUE);
}

void MainWindow::onSize(UINT state, int width, int height) {
    if (!controller_) {
        return;
    }
    if (panel_ != nullptr) {
        view_.columns = panel_->scale().x(kViewColumns);
        view_.rows = panel_->scale().y(kViewRows);
    }
    const ViewShift shift = viewSizing(view_, width, height);
    if (shift.dx != 0 || shift.dy != 0) {
        ScrollWindow(window_, shift.dx, shift.dy, nullptr, nullptr);
    }
    updateScrollBars();
    InvalidateRect(window_, nullptr, TRUE);
    // Hidden only while the tray icon is there to bring it back.
    if (state == SIZE_MINIMIZED && controller_->settings().hideOnMinimise && trayIconShown_) {
        ShowWindow(window_, SW_HIDE);
    }
}

void MainWindow::onPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (controller_ && panel_ != nullptr && panel_->window() != nullptr) {
        SetWindowPos(panel_->window(), HWND_TOP, -view_.hOffset, -view_.vOffset,
                     scaledForDpi(kPanelWidth, dpi_), scaledForDpi(kPanelHeight, dpi_),
                     SWP_NOACTIVATE);
    }
    HBRUSH grey = CreateSolidBrush(RGB(180, 180, 180));
    FillRect(dc, &ps.rcPaint, grey);
    DeleteObject(grey);
    EndPaint(window_, &ps);
}

void MainWindow::onScroll(bool vertical, UINT code, int position) {
    if (!controller_) {
        return;
    }
    const int amount = viewScroll(view_, vertical, scrollCodeOf(code), position & 0xFFFF);
    if (amount != 0) {
        ScrollWindow(window_, vertical ? 0 : -amount, vertical ? -amount : 0, nullptr, nullptr);
    }
    SetScrollPos(window_, vertical ? SB_VERT : SB_HORZ, vertical ? view_.vOffset : view_.hOffset,
                 TRUE);
}

void MainWindow::onClose() {
    if (ModalLoop::open()) {
        return;  // a box or dialog of the program waits for the operator: it comes first
    }
    const int answer =
        display_.runBox(text(Text::ConfirmClose), text(Text::Title), MB_OKCANCEL | MB_ICONQUESTION);
    if (answer == IDOK) {
        endProgram();
    }
}

void MainWindow::onTray(LPARAM event) {
    if (event == WM_LBUTTONDOWN || event == WM_RBUTTONDOWN) {
        comeToTheFront();
    }
}

LRESULT MainWindow::onCopyData(HWND caller, const COPYDATASTRUCT* data) {
    if (!controller_ || data == nullptr || data->dwData != kPriceOrderTag) {
        return FALSE;
    }
    // The result may come from any thread, also this one from inside this call: this
    // thread sends it from its queue.
    const HWND window = window_;
    Win32Display& display = display_;
    auto done = [&display, window, caller](OrderExit code, const std::string& lines) {
        display.queueResult(
            [window, caller, code, lines] { sendOrderResult(caller, window, code, lines); });
    };
    PriceOrder order;
    std::string at, error;
    if (!readPriceOrder(*data, &order, &at, &error)) {
        done(OrderExit::BadArguments, error);
    } else if (!at.empty()) {
        // Planned: kept for its time (also while the operator is asked something).
        int64_t due = 0;
        int offset = 0;
        std::string idOrWhy = "/od " + at;
        const bool taken = controller_->localOrderTime(at, &due, &offset) &&
                           controller_->addOrder(order, due, offset, OrderSource::Script, &idOrWhy);
        done(taken ? OrderExit::Confirmed : OrderExit::BadArguments, idOrWhy);
    } else if (ModalLoop::open()) {
        // Not started inside a box's or a dialog's loop: the operator is asked something.
        done(OrderExit::Refused, kOrderOperatorBusy);
    } else {
        controller_->sendOrderedPrices(order, done);
    }
    return TRUE;
}

void MainWindow::onCommand(int id) {
    if (!controller_) {
        return;
    }
    Controller& c = *controller_;
    switch (id) {
        case IDM_CONNECT:
            c.connect();
            break;
        case IDM_TEST:
            c.enterTestMode();
            break;
        case IDM_DISCONNECT:
            c.disconnect();
            break;
        case IDM_PRICE_HISTORY:
            PriceHistoryDialog(c).show(instance_, window_);
            break;
        case IDM_ORDERS:
            OrdersDialog(c).show(instance_, window_);
            break;
        case IDM_EXIT:
            PostMessageW(window_, WM_CLOSE, 0, 0);
            break;
        case IDM_TRANSMISSION:
            TransmissionDialog(c).show(instance_, window_);
            break;
        case IDM_LIGHT:
            LightDialog(c).show(instance_, window_);
            break;
        case IDM_PROGRAM_SETTINGS:
            ProgramSettingsDialog(c, panel_, customColours_).show(instance_, window_);
            break;
        case IDM_CENTRAL:
            CentralDialog(c).show(instance_, window_);
            break;
        case IDM_READ_BACK:
            c.readFromTower();
            break;
        case IDM_ABOUT:
            AboutBox(c).show(instance_, window_);
            break;
        default:
            break;
    }
}

}  // namespace vorda::win
