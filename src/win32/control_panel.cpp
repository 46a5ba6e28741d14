#include "win32/control_panel.h"

#include <commdlg.h>

#include <algorithm>

#include "engine/price_board.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

constexpr COLORREF kGrey = RGB(180, 180, 180);
constexpr COLORREF kDark = RGB(20, 20, 20);
constexpr COLORREF kLit = RGB(255, 255, 255);

// Segment rectangles of the first row and digit, by bit of the segment code (design pixels).
constexpr RECT kSegments[8] = {
    {455, 162, 475, 167},  // bottom bar
    {450, 142, 455, 162},  // lower left
    {455, 137, 475, 142},  // middle bar
    {450, 117, 455, 137},  // upper left
    {455, 112, 475, 117},  // top bar
    {475, 117, 480, 137},  // upper right
    {475, 142, 480, 162},  // lower right
    {485, 162, 490, 167},  // decimal point
};

void fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

}  // namespace

HWND ControlPanel::create(HWND owner) {
    return createModeless(parts_.instance, L"DYSTRDLG", owner);
}

INT_PTR ControlPanel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog();
        case WM_CTLCOLORSTATIC:
            return onColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_PAINT:
            onPaint();
            return TRUE;
        case WM_DESTROY:
            onDestroy();
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL ControlPanel::onInitDialog() {
    createdDpi_ = windowDpi(dialog_);
    createdScale_ = scale_ = PanelScale::of(dialog_);
    parts_.display.setPanelScale(scale_);
    loadBulb();
    parts_.display.setPanelWindow(dialog_);
    for (int id : {IDC_PRICE1, IDC_PRICE2, IDC_PRICE3, IDC_PRICE4, IDC_PRICE5}) {
        SendDlgItemMessageW(dialog_, id, EM_LIMITTEXT, kOrderPriceMax, 0);
    }
    parts_.controller.startPanel(parts_.buildDate);
    keepLabelsOnTheGreyHalf();
    applyLabels();
    greyBrush_ = CreateSolidBrush(kGrey);
    windowBrush_ = GetSysColorBrush(COLOR_WINDOW);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog_, WM_GETFONT, 0, 0));
    GetObjectW(font, sizeof(templateFont_), &templateFont_);
    createdUnits_ = dialogBaseUnits(dialog_, font);
    for (HWND c = GetWindow(dialog_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
        createdLayout_.emplace_back(c, r);
    }
    return TRUE;
}

// Loaded once for each size: the board is painted at every price shown, and Wine 8 keeps
// about 100 bytes for good at each LoadImage of an icon, even destroyed.
void ControlPanel::loadBulb() {
    const int size = scale_.x(256) - scale_.x(224);
    if (bulb_ != nullptr && size == bulbSize_) {
        return;
    }
    if (bulb_ != nullptr) {
        DestroyIcon(bulb_);
    }
    bulb_ = static_cast<HICON>(
        LoadImageW(parts_.instance, MAKEINTRESOURCEW(IDI_BULB), IMAGE_ICON, size, size, 0));
    bulbSize_ = size;
}

void ControlPanel::setDpi(UINT dpi, HFONT labelFont) {
    parts_.labelFont = labelFont;
    if (dialog_ == nullptr) {
        return;
    }
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog_, WM_GETFONT, 0, 0));
    HFONT scaledFont = nullptr;
    if (dpi != createdDpi_) {
        LOGFONTW f = templateFont_;
        f.lfHeight = MulDiv(f.lfHeight, static_cast<int>(dpi), static_cast<int>(createdDpi_));
        font = scaledFont = CreateFontIndirectW(&f);
    }
    const SIZE units = dialogBaseUnits(dialog_, font);
    auto x = [&](LONG v) { return MulDiv(v, units.cx, createdUnits_.cx); };
    auto y = [&](LONG v) { return MulDiv(v, units.cy, createdUnits_.cy); };
    for (const auto& [control, r] : createdLayout_) {
        SetWindowPos(control, nullptr, x(r.left), y(r.top), x(r.right) - x(r.left),
                     y(r.bottom) - y(r.top), SWP_NOZORDER | SWP_NOACTIVATE);
        const int id = GetDlgCtrlID(control);
        if (id < IDC_LABEL1 || id >= IDC_LABEL1 + kPriceRows) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    if (scaledFont_ != nullptr) {
        DeleteObject(scaledFont_);
    }
    scaledFont_ = scaledFont;
    scale_ = createdScale_.relaidOut(createdUnits_, units);
    parts_.display.setPanelScale(scale_);
    loadBulb();
    keepLabelsOnTheGreyHalf();
    applyLabels();
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ControlPanel::onDestroy() {
    DeleteObject(greyBrush_);
    greyBrush_ = nullptr;
    if (scaledFont_ != nullptr) {
        DeleteObject(scaledFont_);
        scaledFont_ = nullptr;
    }
    if (bulb_ != nullptr) {
        DestroyIcon(bulb_);
        bulb_ = nullptr;
    }
}

INT_PTR ControlPanel::onColourStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id >= IDC_LABEL1 && id < IDC_LABEL1 + kPriceRows) {
        SetBkColor(dc, kGrey);
        SetTextColor(dc, parts_.controller.settings().labelColour[id - IDC_LABEL1]);
        return reinterpret_cast<INT_PTR>(greyBrush_);
    }
    if (id == IDC_LIGHT_LEVEL) {
        return reinterpret_cast<INT_PTR>(windowBrush_);
    }
    return 0;
}

void ControlPanel::onPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog_, &ps);
    paintPriceBoard(dc);
    EndPaint(dialog_, &ps);
}

void ControlPanel::onCommand(int id, int notification) {
    Controller& c = parts_.controller;
    switch (id) {
        case IDC_SEND_PRICES:
            c.sendPrices();
            break;
        case IDC_BACKLIGHT_ON:
            c.switchBacklight(true);
            break;
        case IDC_BACKLIGHT_OFF:
            c.switchBacklight(false);
            break;
        case IDC_START_STOP:
            c.startOrStopControlFile();
            break;
        case IDC_CHOOSE_FILE:
            chooseControlFile();
            break;
        default:
            if (notification == EN_CHANGE || notification == BN_CLICKED) {
                parts_.display.boxChanged(id);
            }
            break;  // Enter (1) and Esc (2) do nothing
    }
}

void ControlPanel::chooseControlFile() {
    const std::wstring textFiles = fromUtf8(messageText(Text::FilterText));
    const std::wstring allFiles = fromUtf8(messageText(Text::FilterAll)) + L" (*.*)";
    std::wstring filter =
        textFiles + L'\0' + L"*.txt" + L'\0' + allFiles + L'\0' + L"*.*" + L'\0' + L'\0';
    wchar_t path[260] = L"";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = dialog_;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = 260;
    // The current directory stays the start directory, where the settings and logs are.
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    ofn.lpstrDefExt = L"*";
    ModalLoop loop;
    if (GetOpenFileNameW(&ofn)) {
        SetDlgItemTextW(dialog_, IDC_CONTROL_FILE, path);
    }
}

// The description labels stay on the grey half of the board, also where the dialog
// font is wider than the one the layout was drawn for (the digits start at design x 436).
void ControlPanel::keepLabelsOnTheGreyHalf() {
    const LONG digits = scale_.x(436);
    for (int i = 0; i < kPriceRows; ++i) {
        HWND label = GetDlgItem(dialog_, IDC_LABEL1 + i);
        RECT r;
        GetWindowRect(label, &r);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
        if (r.right > digits) {
            SetWindowPos(label, nullptr, 0, 0, std::max<LONG>(0, digits - r.left), r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

void ControlPanel::applyLabels() {
    const Settings settings = parts_.controller.settings();
    for (int i = 0; i < kPriceRows; ++i) {
        HWND label = GetDlgItem(dialog_, IDC_LABEL1 + i);
        SetWindowTextW(label, fromCp1250(settings.labelText[i]).c_str());
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(parts_.labelFont), TRUE);
    }
}

void ControlPanel::refreshLabels() {
    if (dialog_ == nullptr) {
        return;
    }
    applyLabels();
    InvalidateRect(dialog_, nullptr, TRUE);
}

// The board in design pixels (96 DPI), placed on the panel through its scale.
void ControlPanel::paintPriceBoard(HDC dc) {
    const PriceBoard& b = parts_.controller.board();
    const PanelScale& s = scale_;
    const bool backlight = b.backlightOn();
    fill(dc, s.rect(218, 98, 436, 505), kGrey);
    for (int r = 0; r < kPriceRows; ++r) {
        const int x = s.x(224), y = s.y(144 + 81 * r);
        if (backlight && bulb_ != nullptr) {
            DrawIconEx(dc, x, y, bulb_, bulbSize_, bulbSize_, 0, nullptr, DI_NORMAL);
        } else {
            fill(dc, RECT{x, y, x + bulbSize_, y + bulbSize_}, kGrey);
        }
    }
    fill(dc, s.rect(436, 98, 614, 505), RGB(0, 0, 0));
    HBRUSH lit = CreateSolidBrush(kLit);
    HBRUSH dark = CreateSolidBrush(kDark);
    const bool phase = b.blinkPhase();
    for (int r = 0; r < kPriceRows; ++r) {
        const bool blinkDark = b.blinking(r) && phase;
        for (int d = 0; d < 3; ++d) {
            const uint8_t code = b.segment(r, d);
            for (int bit = 0; bit < 8; ++bit) {
                const RECT& k = kSegments[bit];
                const RECT rect =
                    s.rect(k.left + 55 * d, k.top + 81 * r, k.right + 55 * d, k.bottom + 81 * r);
                const bool on = (code & (1 << bit)) != 0 && !blinkDark;
                FillRect(dc, &rect, on ? lit : dark);
            }
        }
    }
    DeleteObject(lit);
    DeleteObject(dark);
}

}  // namespace vorda::win
