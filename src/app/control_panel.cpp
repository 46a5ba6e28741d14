#include "app/control_panel.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>

#include "app/main_window.h"
#include "app/program.h"
#include "app/wide.h"
#include "protocol/panel_actions.h"
#include "record/lifecycle.h"
#include "resources/resource.h"
#include "script/runner.h"

namespace vorda::win {

namespace {

constexpr COLORREF kGrey = RGB(180, 180, 180);
constexpr COLORREF kDark = RGB(20, 20, 20);
constexpr COLORREF kLit = RGB(255, 255, 255);
constexpr int kPriceEdits[kPriceRows] = {IDC_PRICE1, IDC_PRICE2, IDC_PRICE3, IDC_PRICE4,
                                         IDC_PRICE5};

// Segment rectangles of the first row and digit, by bit of the segment code.
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

struct PanelBrushes {
    HBRUSH grey = nullptr;
    HBRUSH window = nullptr;
};
PanelBrushes brushes;

void fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

std::wstring itemText(HWND panel, int id) {
    wchar_t buffer[512];
    const UINT n = GetDlgItemTextW(panel, id, buffer, 512);
    return std::wstring(buffer, n);
}

void chooseControlFile(HWND panel) {
    const std::wstring textFiles = fromUtf8(messageText(Text::FilterText));
    const std::wstring allFiles = fromUtf8(messageText(Text::FilterAll)) + L" (*.*)";
    std::wstring filter =
        textFiles + L'\0' + L"*.txt" + L'\0' + allFiles + L'\0' + L"*.*" + L'\0' + L'\0';
    wchar_t path[260] = L"";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = panel;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = 260;
    // The current directory stays the start directory, where the settings and logs are.
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    ofn.lpstrDefExt = L"*";
    if (GetOpenFileNameW(&ofn)) {
        SetDlgItemTextW(panel, IDC_CONTROL_FILE, path);
    }
}

// Keeps the panel seam's copy of the operator's boxes current.
void boxChanged(HWND panel, int id) {
    Win32Panel& p = programPanel();
    std::lock_guard<std::mutex> lock(p.boxMutex);
    for (int row = 0; row < kPriceRows; ++row) {
        if (id == kPriceEdits[row]) {
            p.prices[row] = itemText(panel, id);
        } else if (id == IDC_BLINK1 + row) {
            p.blinks[row] = IsDlgButtonChecked(panel, id) == BST_CHECKED;
        }
    }
    if (id == IDC_CONTROL_FILE) {
        p.controlFile = itemText(panel, id);
    } else if (id == IDC_TEMPERATURE) {
        p.temperature = itemText(panel, id);
    }
}

// The description labels stay on the grey half of the board, also where the dialog
// font is wider than the one the layout was drawn for (the digits start at x 436).
void keepLabelsOnTheGreyHalf(HWND panel) {
    for (int i = 0; i < kPriceRows; ++i) {
        HWND label = GetDlgItem(panel, IDC_LABEL1 + i);
        RECT r;
        GetWindowRect(label, &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        if (r.right > 436) {
            SetWindowPos(label, nullptr, 0, 0, std::max<LONG>(0, 436 - r.left), r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

BOOL onInitDialog(HWND panel) {
    Core& core = programCore();
    if (core.record == nullptr) {
        return FALSE;
    }
    programPanel().panelWindow = panel;
    shell().panelWindow = panel;
    initialisePanel(core, programBuildDate());
    keepLabelsOnTheGreyHalf(panel);
    applyLabels(core);
    brushes.grey = CreateSolidBrush(kGrey);
    brushes.window = GetSysColorBrush(COLOR_WINDOW);
    return TRUE;
}

INT_PTR onColourStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    Core& core = programCore();
    if (id >= IDC_LABEL1 && id < IDC_LABEL1 + kPriceRows) {
        SetBkColor(dc, kGrey);
        SetTextColor(dc, core.labels.priceLabelColour[id - IDC_LABEL1]);
        return reinterpret_cast<INT_PTR>(brushes.grey);
    }
    if (id == IDC_LIGHT_LEVEL) {
        return reinterpret_cast<INT_PTR>(brushes.window);
    }
    return 0;
}

void onCommand(HWND panel, int id, int notification) {
    Core& core = programCore();
    switch (id) {
        case IDC_SEND_PRICES:
            sendPrices(core);
            break;
        case IDC_BACKLIGHT_ON:
            switchBacklight(core, true);
            break;
        case IDC_BACKLIGHT_OFF:
            switchBacklight(core, false);
            break;
        case IDC_START_STOP:
            startOrStopControlFile(core);
            break;
        case IDC_CHOOSE_FILE:
            chooseControlFile(panel);
            break;
        default:
            if (notification == EN_CHANGE || notification == BN_CLICKED) {
                boxChanged(panel, id);
            }
            break;  // Enter (1) and Esc (2) do nothing
    }
}

}  // namespace

void paintPriceBoard(Core& core, HDC dc) {
    const PriceBoard& b = core.board;
    const bool backlight = core.record != nullptr && core.record->backlightOn;
    fill(dc, RECT{218, 98, 436, 505}, kGrey);
    HICON bulb = static_cast<HICON>(
        LoadImageW(shell().appInstance, MAKEINTRESOURCEW(IDI_BULB), IMAGE_ICON, 32, 32, 0));
    for (int r = 0; r < kPriceRows; ++r) {
        if (backlight && bulb != nullptr) {
            DrawIconEx(dc, 224, 144 + 81 * r, bulb, 32, 32, 0, nullptr, DI_NORMAL);
        } else {
            fill(dc, RECT{224, 144 + 81 * r, 256, 176 + 81 * r}, kGrey);
        }
    }
    if (bulb != nullptr) {
        DestroyIcon(bulb);
    }
    fill(dc, RECT{436, 98, 614, 505}, RGB(0, 0, 0));
    HBRUSH lit = CreateSolidBrush(kLit);
    HBRUSH dark = CreateSolidBrush(kDark);
    const bool phase = b.blinkPhase != 0;
    for (int r = 0; r < kPriceRows; ++r) {
        const bool blinkDark = b.priceBlink[r] != 0 && phase;
        for (int d = 0; d < 3; ++d) {
            const uint8_t code = b.priceSegments[r][d];
            for (int bit = 0; bit < 8; ++bit) {
                RECT rect = kSegments[bit];
                OffsetRect(&rect, 55 * d, 81 * r);
                const bool on = (code & (1 << bit)) != 0 && !blinkDark;
                FillRect(dc, &rect, on ? lit : dark);
            }
        }
    }
    DeleteObject(lit);
    DeleteObject(dark);
}

void applyLabels(Core& core) {
    HWND panel = shell().panelWindow;
    if (panel == nullptr) {
        return;
    }
    SpinGuard guard(core.locks.settingsLock);
    for (int i = 0; i < kPriceRows; ++i) {
        HWND label = GetDlgItem(panel, IDC_LABEL1 + i);
        SetWindowTextW(label, fromCp1250(core.labels.priceLabelText[i]).c_str());
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(shell().viewFont), TRUE);
    }
}

INT_PTR CALLBACK controlPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog(panel);
        case WM_CTLCOLORSTATIC:
            return onColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(panel, &ps);
            paintPriceBoard(programCore(), dc);
            EndPaint(panel, &ps);
            return TRUE;
        }
        case WM_DESTROY:
            DeleteObject(brushes.grey);
            brushes.grey = nullptr;
            return 0;
        case WM_TIMER:
            onPanelTimer(programCore(), static_cast<int>(wParam));
            return TRUE;
        case WM_COMMAND:
            onCommand(panel, LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case kPanelCallsMessage:
            applyPanelCalls(programPanel());
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace vorda::win
