// The program's windows created in this process, driven as an operator would: what the
// panel and the menu show, the price board's pixels, the scrolling view, the keys, the
// price history, the settings dialogs; the tower simulator on COM1 where a tower is
// needed, through the Win32 serial driver and the link's threads.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <fstream>
#include <map>
#include <tuple>
#include <vector>

#include "support.h"
#include "win32/orders_dialog.h"

namespace vorda::test {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255), kDark = RGB(20, 20, 20), kGrey = RGB(180, 180, 180);

// Answers the next message box with the caption with OK, keeping its text in `text`.
std::future<bool> onMessageBox(const std::wstring& caption, std::wstring* text) {
    return onDialog(caption, [text](HWND box) {
        *text = windowText(GetDlgItem(box, 0xFFFF));
        pressButton(box, IDOK);
    });
}

// A list view's cells of `item` in `columns`, "|" between them; of item -1 their headings.
std::wstring cells(HWND list, int item, std::initializer_list<int> columns) {
    std::wstring out;
    for (int column : columns) {
        wchar_t buffer[64] = L"";
        LVCOLUMNW c = {};
        LVITEMW i = {};
        c.mask = LVCF_TEXT;
        i.iSubItem = column;
        c.pszText = i.pszText = buffer;
        c.cchTextMax = i.cchTextMax = 64;
        item < 0 ? SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&c))
                 : SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&i));
        out += (column == *columns.begin() ? L"" : L"|") + std::wstring(buffer);
    }
    return out;
}

// The boxes reach the tower; the link's states reach the menu and the status from the
// link's thread; "Połącz" reads the tower back into the emptied boxes. The link heals: the
// simulator ends (its pseudo-terminal goes with it) and starts again on the same COM1; the
// status field tells, and a command queued meanwhile reaches it.
TEST_F(ProgramWindow, PricesSentConnectReadsThemBackTheLinkHealsAndARowShownOtherwiseIsListed) {
    auto sim = std::make_unique<TowerSimProcess>();
    ASSERT_TRUE(sim->start());
    type(IDC_PRICE1, L"5,49");  // as Poles type it
    type(IDC_PRICE2, L"6.09");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_CHECKED);
    click(IDC_BLINK1 + 1);
    click(IDC_SEND_PRICES);
    // The link closes by itself; its thread shows the status.
    ASSERT_TRUE(pumpUntil([&] { return !connected() && menuStates() == "101"; }, 8000));
    EXPECT_EQ(sim->received().substr(0, 16), "21C5.49 22M6.09 ");

    type(IDC_PRICE2, L"");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_UNCHECKED);
    menu(IDM_CONNECT);
    EXPECT_TRUE(pumpUntil(
        [&] {
            return !controller().mailbox().anyPending() &&
                   controller().link().slotInFlight() == 0 && text(IDC_LIGHT_LEVEL) == L"120";
        },
        8000));
    EXPECT_EQ(text(IDC_PRICE2), L"6.09");
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_BLINK1 + 1), BST_CHECKED);

    sim.reset();
    ASSERT_TRUE(pumpUntil([&] { return text(IDC_STATUS) == L"BRAK PORTU COM1"; }, 3000));
    click(IDC_BACKLIGHT_ON);
    sim = std::make_unique<TowerSimProcess>();
    ASSERT_TRUE(sim->start("--stuck-segment 2:1:e"));  // "6.09" shows as "5.09"
    EXPECT_TRUE(pumpUntil([&] { return text(IDC_STATUS) == L"PO\u0141\u0104CZONY"; }));
    EXPECT_TRUE(pumpUntil([&] { return sim->received().find("20Z1 ") != std::string::npos; }));
    menu(IDM_DISCONNECT);

    // "Wyślij" against a tower that shows a row otherwise: the message box, and "Historia cen"
    // listing the last send first, quickly, over a 20 MB backup that fills it up to 1000 lines.
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_UNCHECKED);
    click(IDC_BLINK1 + 1);
    type(IDC_PRICE1, L"5.49");
    type(IDC_PRICE2, L"6.09");
    std::wstring message;
    auto box = onMessageBox(L"Vorda Cen", &message);
    click(IDC_SEND_PRICES);
    EXPECT_TRUE(answered(box));
    EXPECT_EQ(message,
              L"Vorda pokazuje inne ceny ni\u017c wys\u0142ane:\n"
              L"Cena 2: wys\u0142ano 6.09, Vorda pokazuje 5.09");
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));

    std::string older;
    while (older.size() < 20000000) {
        older += "01.01.2025;08:00:00;1;AAA;4.99;nie;POTWIERDZONO\r\n";
    }
    std::ofstream((directory_ + L"\\HistoriaCen_1.csv").c_str(), std::ios::binary) << older;
    std::vector<std::wstring> listed;  // the count, "Cena", "Wysłano", "Wynik" and "Źródło"
    auto shown = onDialog(L"Historia cen", [&](HWND d) {
        HWND list = GetDlgItem(d, IDC_HISTORY_LIST);
        listed.push_back(std::to_wstring(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
        for (int item : {-1, 0, 3, 999}) {
            listed.push_back(cells(list, item, {2, 4, 6, 7}));
        }
        pressButton(d, IDCANCEL);
    });
    const auto opened = std::chrono::steady_clock::now();
    menu(IDM_PRICE_HISTORY);
    EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::milliseconds(1000));
    EXPECT_TRUE(shown.get());
    EXPECT_EQ(listed, (std::vector<std::wstring>{
                          L"1000", L"Cena|Wys\u0142ano|Wynik|\u0179r\u00f3d\u0142o",
                          L"5||POTWIERDZONO|PANEL", L"2|6.09|NIEZGODNE: 5.09|PANEL",
                          L"1|4.99|POTWIERDZONO|"}));  // a line written before "Źródło"
}

// The settings file written in the start directory, and a log (their lines end in CR LF, as
// on Linux). The board fills the five grey frames right of the price boxes, without backlight
// marks, the labels in their colours on its grey half: at the starting DPI (dpi_test.sh: 144
// and 192, with a screenshot), after a move to a quarter more DPI and back; fonts grow alike.
TEST_F(ProgramWindow, StartsWithTheLabelsInTheirColoursOnTheBoardInItsFramesAtEveryDpi) {
    const std::string ini = fileBytes(directory_ + L"\\VordaCen.ini");
    EXPECT_EQ(ini.substr(0, 9), "1\r\n19200\r");
    controller().logs().setEnabled(true);
    controller().logs().appendLight("87");
    EXPECT_EQ(fileBytes(directory_ + L"\\VordaSw.trm").substr(17), "  87\r\n");
    auto inPanel = [&](HWND w) {
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    auto fontHeight = [](HWND w) {
        LOGFONTW f = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof(f), &f);
        return f.lfHeight;
    };
    const UINT started = win::windowDpi(main);
    const LONG priceFont = fontHeight(GetDlgItem(panel, IDC_PRICE1));
    for (UINT dpi : {started, started * 5 / 4, started}) {
        RECT moved{0, 0, MulDiv(650, dpi, 96), MulDiv(577, dpi, 96)};
        SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&moved));
        pump(50);
        std::vector<RECT> f;  // the frames, top to bottom
        for (HWND c = GetWindow(panel, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            const LONG style = GetWindowLongW(c, GWL_STYLE) & (SS_TYPEMASK | WS_VISIBLE);
            f.push_back(inPanel(c));
            f.resize(f.size() - (style == (SS_GRAYFRAME | WS_VISIBLE) ? 0 : 1));
        }
        ASSERT_EQ(f.size(), 5u) << dpi;
        const int in = 3 * static_cast<int>(dpi) / 96;  // inside the frames' rounding
        const COLORREF black = RGB(0, 0, 0);
        std::string seen = std::to_string(  // the board's edges against the frames' union
            inPanel(GetDlgItem(panel, IDC_BLINK1)).right < f[0].left &&
            pixel(f[0].left + in, f[0].top - 2) != kGrey &&
            pixel(f[0].left + in, f[0].top + in) == kGrey &&
            pixel(f[4].right - in, f[4].bottom + 1) != black &&
            pixel(f[4].right - in, f[4].bottom - in) == black);
        // Per row: grey inside on the left, black on the right, neither outside, no backlight
        // mark; the label's text, above the grey half, its font, its colour on grey.
        for (int row = 0; row < 5; ++row) {
            const RECT& r = f[row];
            const int m = (r.top + r.bottom) / 2;
            const RECT l = inPanel(GetDlgItem(panel, IDC_LABEL1 + row));
            std::map<COLORREF, int> colours;  // every third pixel of the label
            const int width = l.right - l.left;
            for (int at = 0; at < width * (l.bottom - l.top); at += 3) {
                ++colours[pixel(l.left + at % width, l.top + at / width)];
            }
            seen += ' ';
            for (bool holds :
                 {pixel(r.left + in, m) == kGrey, pixel(r.right - in, m) == black,
                  pixel(r.left - 2, m) != kGrey, pixel(r.right + 1, m) != black,
                  pixel((r.left + l.left) / 2, l.bottom - 3) == kGrey,
                  text(IDC_LABEL1 + row) == std::wstring(3, L'A' + row),
                  l.left > r.left && l.top > r.top && l.bottom < r.bottom &&
                      pixel(l.right - 1, l.bottom) == kGrey,
                  fontHeight(GetDlgItem(panel, IDC_LABEL1 + row)) == MulDiv(55, dpi, 96),
                  colours[kLabelColours[row]] > 20 &&
                      colours[kGrey] > colours[kLabelColours[row]]}) {
                seen += holds ? '1' : '0';
            }
        }
        EXPECT_EQ(seen, "1 111111111 111111111 111111111 111111111 111111111") << dpi;
        EXPECT_EQ(fontHeight(GetDlgItem(panel, IDC_PRICE1)), MulDiv(priceFont, dpi, started));
    }
    int width = 0;  // the price history's first column, as wide as its text at any DPI
    auto history = onDialog(L"Historia cen", [&](HWND d) {
        width =
            static_cast<int>(SendDlgItemMessageW(d, IDC_HISTORY_LIST, LVM_GETCOLUMNWIDTH, 0, 0));
        pressButton(d, IDCANCEL);
    });
    menu(IDM_PRICE_HISTORY);
    EXPECT_TRUE(history.get());
    EXPECT_EQ(width, MulDiv(72, started, 96));
    const std::string shot = VORDA_SCREENSHOT;
    EXPECT_TRUE(started == 96 || saveScreenshot(shot.substr(0, shot.size() - 4) + "-" +
                                                std::to_string(started) + ".bmp"));
}

// At start the focus is in price box 1; focus that leaves for another program's window comes
// back to the box that had it, where typed digits land, at most eight. The accelerators come
// before the panel's dialog navigation; Enter and Esc in the panel do nothing.
TEST_F(ProgramWindow, TheFocusComesBackShiftPageUpConnectsEnterAndEscDoNothingAndItScrolls) {
    EXPECT_EQ(GetFocus(), GetDlgItem(panel, IDC_PRICE1));
    SetFocus(GetDlgItem(panel, IDC_PRICE3));
    HWND other = CreateWindowExW(0, L"EDIT", L"", WS_VISIBLE, 0, 0, 99, 99, {}, {}, {}, {});
    SetForegroundWindow(other);
    EXPECT_TRUE(pumpUntil([&] { return GetFocus() == other; }, 1000));
    SetForegroundWindow(main);
    pump(50);
    for (char c : std::string("1234567890")) {
        INPUT key[2] = {{INPUT_KEYBOARD, {}}, {INPUT_KEYBOARD, {}}};
        key[0].ki.wVk = key[1].ki.wVk = static_cast<WORD>(c);
        key[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, key, sizeof(INPUT));
    }
    EXPECT_TRUE(pumpUntil([&] { return text(IDC_PRICE3) == L"12345678"; }, 3000));
    DestroyWindow(other);
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    SendMessageW(panel, WM_COMMAND, IDOK, 0);
    SendMessageW(panel, WM_COMMAND, IDCANCEL, 0);
    pump(20);
    EXPECT_TRUE(IsWindowVisible(panel) && !connected());
    HWND edit = GetDlgItem(panel, IDC_PRICE1);
    SetFocus(edit);
    BYTE keys[256] = {};
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    for (WPARAM key : {VK_PRIOR, VK_NEXT}) {
        MSG msg = {edit, WM_KEYDOWN, key, 0, 0, {0, 0}};
        program_->handleMessage(msg);
        EXPECT_EQ(connected(), key == VK_PRIOR);
    }
    // Scrolling a small window moves the panel by the offsets.
    auto panelTop = [&] {
        pump(30);
        RECT p;
        GetWindowRect(panel, &p);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&p), 2);
        return p.top;
    };
    SetWindowPos(main, nullptr, 0, 0, 650, 450, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(main, &client);
    const int vMax = 512 - client.bottom;
    SendMessageW(main, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(panelTop(), -vMax);
    SendMessageW(main, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(panelTop(), -vMax + 1);
    EXPECT_EQ(GetScrollPos(main, SB_VERT), vMax - 1);
    SetWindowPos(main, nullptr, 0, 0, 700, 650, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(panelTop(), 0);
}

// The prices on the board, the backlight marks and a screenshot of it all; a blinking row; a
// control file with a Polish name (the name reaches the controller and opens; its price reaches
// the board). History lines wait while a spreadsheet holds the file (no write sharing), told in
// a box; the panel's timer writes them in order once it is released.
TEST_F(ProgramWindow, TestModeShowsPricesOnTheBoardAndRunsAControlFile) {
    menu(IDM_TEST);
    const wchar_t* prices[5] = {L"5.49", L"6.09", L"4.99", L"3.15", L"-.--"};
    for (int row = 0; row < 5; ++row) {
        type(row == 0 ? IDC_PRICE1 : IDC_PRICE2 + row - 1, prices[row]);
    }
    HANDLE held =
        CreateFileW((directory_ + L"\\HistoriaCen.csv").c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    std::wstring historyMessage;  // the operator is told once that the history waits
    auto historyBox = onMessageBox(L"B\u0142\u0105d", &historyMessage);
    click(IDC_SEND_PRICES);
    EXPECT_TRUE(answered(historyBox));
    EXPECT_EQ(historyMessage.find(L"Nie mo\u017cna zapisa\u0107 historii cen (HistoriaCen.csv)"),
              0u);
    ASSERT_TRUE(pumpUntil([&] { return !controller().mailbox().pending(kSlotEnd); }));
    controller().board().showBacklight(true);
    pump(100);
    // Centres of segments of row 1: the 5's top bar, upper right bar and point; the 4's top
    // and middle bars; the 9's lower left bar.
    const std::tuple<int, int, COLORREF> segments[] = {{465, 114, kWhite}, {477, 127, kDark},
                                                       {487, 164, kWhite}, {520, 114, kDark},
                                                       {520, 139, kWhite}, {562, 152, kDark}};
    for (const auto& [x, y, colour] : segments) {
        EXPECT_EQ(pixel(x, y), colour) << x << " " << y;
    }
    EXPECT_NE(pixel(240, 150), kGrey);

    EXPECT_TRUE(saveScreenshot(VORDA_SCREENSHOT));
    controller().board().showBacklight(false);  // the marks are painted over
    EXPECT_EQ(pixel(240, 150), kGrey);

    // Row 3 blinks: its middle bar alternates between lit and dark.
    CheckDlgButton(panel, IDC_BLINK1 + 2, BST_CHECKED);
    click(IDC_BLINK1 + 2);
    click(IDC_SEND_PRICES);
    CloseHandle(held);
    int seen = 0;  // 1: lit, 2: dark, 3: both
    EXPECT_TRUE(pumpUntil(
        [&] {
            const COLORREF c = pixel(465, 139 + 2 * 81);
            return (seen |= (c == kWhite ? 1 : 0) | (c == kDark ? 2 : 0)) == 3;
        },
        2000));

    const std::wstring file = directory_ + L"\\p\u0119tla.txt";
    std::ofstream(file.c_str(), std::ios::binary) << "21C1.23\r\n{S50}\r\n{G}\r\n";
    type(IDC_CONTROL_FILE, file);
    click(IDC_START_STOP);
    EXPECT_EQ(text(IDC_START_STOP), L"Stop");
    EXPECT_TRUE(pumpUntil([&] { return controller().board().segment(0, 2) == 0x75; }));
    click(IDC_START_STOP);
    EXPECT_EQ(text(IDC_START_STOP) + text(IDC_STATUS), L"StartTRYB TESTU");

    ASSERT_TRUE(pumpUntil([&] { return history().size() == 10; }, 20000));
    EXPECT_EQ(history()[4] + " " + history()[7], "5|-.--|nie|TRYB TESTU 3|4.99|tak|TRYB TESTU");
    held = CreateFileW((directory_ + L"\\HistoriaCen.csv").c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    click(IDC_SEND_PRICES);
    program_.reset();  // at the end what waits goes to a dated file
    CloseHandle(held);
    WIN32_FIND_DATAW found = {};
    FindClose(FindFirstFileW((directory_ + L"\\HistoriaCen-*.csv").c_str(), &found));
    const std::string side = fileBytes(directory_ + L"\\" + found.cFileName);
    EXPECT_NE(side.find(";5;EEE;'-.--;nie;TRYB TESTU;PANEL\r\n"), std::string::npos);
}

// "Zlecenia cen": "Nowe…" starts from the panel's boxes, refuses a price of
// more than eight characters and stays; "Ok" lists the order, "Anuluj" cancels it; an order
// taken in elsewhere shows once the open list is told.
// The colour chooser opens on white, and "Anuluj" keeps the row's colour; "Ok" stores
// the descriptions (cut at 15 characters) and hiding on minimise, from which the tray
// icon brings the window back.
TEST_F(ProgramWindow, OrdersProgramLightAndTransmissionDialogsHidingOnMinimiseAndAbout) {
    type(IDC_PRICE2, L"6,19");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_CHECKED);
    click(IDC_BLINK1 + 1);
    std::vector<std::wstring> seen;
    auto orders = onDialog(L"Zlecenia cen", [&](HWND d) {
        HWND list = GetDlgItem(d, IDC_ORDERS_LIST);
        auto row = [&] {  // the count, the first row's cells, whether "Anuluj" is enabled
            return std::to_wstring(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) + L"|" +
                   cells(list, 0, {0, 1, 2, 3, 4, 5}) + L"|" +
                   std::to_wstring(IsWindowEnabled(GetDlgItem(d, IDC_ORDER_CANCEL)));
        };
        auto fresh = onDialog(L"Nowe zlecenie", [&](HWND n) {
            seen.push_back(windowText(GetDlgItem(n, IDC_NEW_LABEL1)) + L" " +
                           windowText(GetDlgItem(n, IDC_NEW_PRICE1 + 1)) + L" " +
                           std::to_wstring(IsDlgButtonChecked(n, IDC_NEW_BLINK1 + 1)));
            SetDlgItemTextW(n, IDC_NEW_PRICE1, L"1.2345678901");
            auto refused = onDialog(L"B\u0142\u0105d", [&](HWND box) {
                seen.push_back(windowText(GetDlgItem(box, 0xFFFF)));
                pressButton(box, IDOK);
            });
            pressButton(n, IDOK);
            seen.push_back(std::to_wstring(refused.get() && (Sleep(100), IsWindowVisible(n))));
            SetDlgItemTextW(n, IDC_NEW_PRICE1, L"5,49");
            for (int r : {2, 3, 4}) {
                CheckDlgButton(n, IDC_NEW_CHANGE1 + r, BST_UNCHECKED);
            }
            const SYSTEMTIME at = {2099, 12, 0, 7, 6, 0, 0, 0};
            SendDlgItemMessageW(n, IDC_NEW_TIME, DTM_SETSYSTEMTIME, GDT_VALID,
                                reinterpret_cast<LPARAM>(&at));
            SetDlgItemTextW(n, IDC_NEW_DESCRIPTION, L"Zmiana poranna");
            pressButton(n, IDOK);
        });
        pressButton(d, IDC_ORDER_NEW);
        seen.push_back(std::to_wstring(fresh.get() && waitUntil([&] { return row()[0] == '1'; })));
        LVITEMW select = {};
        select.stateMask = select.state = LVIS_SELECTED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
        seen.push_back(row());
        pressButton(d, IDC_ORDER_CANCEL);
        waitUntil([&] { return row().find(L"ANULOWANE") != std::wstring::npos; });
        seen.push_back(row());
        PriceOrder dark;
        dark.named[4] = true;
        std::string id;
        controller().addOrder(dark, 4102444800, 0, OrderSource::Script, &id);  // 2100-01-01
        waitUntil([&] { return row()[0] == '2'; });
        seen.push_back(row());
        pressButton(d, IDCANCEL);
    });
    menu(IDM_ORDERS);
    EXPECT_TRUE(orders.get() && win::OrdersDialog::open() == nullptr);
    EXPECT_EQ(seen, (std::vector<std::wstring>{
                        L"AAA 6,19 1",
                        L"Cena 1: cena mo\u017ce mie\u0107 najwy\u017cej 8 znak\u00f3w", L"1", L"1",
                        L"1|07.12.2099 06:00|1=5.49 2=6.19*|PANEL|OCZEKUJE|panel-20991207-0600|"
                        L"Zmiana poranna|1",
                        L"1|07.12.2099 06:00|1=5.49 2=6.19*|PANEL|ANULOWANE|panel-20991207-0600|"
                        L"Zmiana poranna|0",
                        L"2|01.01.2100 00:00|5=|SKRYPT|OCZEKUJE|skrypt-21000101-0000||0"}));
    const wchar_t kProgram[] = L"Ustawienia programu";
    std::wstring rgb;
    auto cancel = onDialog(kProgram, [&](HWND d) {
        PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_SWATCH1 + 4, BN_CLICKED), 0);  // row 3: red
        HWND chooser = nullptr;
        waitUntil([&] { return (chooser = findWindow(GetCurrentProcessId(), L"#32770", L"", d)); });
        Sleep(50);
        for (int c = 0; c < 3; ++c) {
            rgb += windowText(GetDlgItem(chooser, 706 + c)) + L" ";
        }
        SetDlgItemTextW(chooser, 706, L"0");
        pressButton(chooser, IDOK);
        Sleep(100);
        pressButton(d, IDCANCEL);
    });
    menu(IDM_PROGRAM_SETTINGS);
    ASSERT_TRUE(cancel.get());
    EXPECT_EQ(rgb, L"255 255 255 ");
    EXPECT_EQ(saved().labelColour[2], 0x0000FFu);

    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_TRUE(IsWindowVisible(main));
    ShowWindow(main, SW_RESTORE);
    COLORREF swatches[5] = {};
    auto ok = onDialog(kProgram, [&](HWND d) {
        Sleep(100);
        for (int i = 0; i < 5; ++i) {
            HDC dc = GetDC(GetDlgItem(d, IDC_SWATCH1 + 2 * i));
            swatches[i] = GetPixel(dc, 8, 8);
            ReleaseDC(GetDlgItem(d, IDC_SWATCH1 + 2 * i), dc);
        }
        SetDlgItemTextW(d, IDC_DESCRIPTION1, L"Benzyna 95 Super Plus");
        CheckDlgButton(d, IDC_HIDE_ON_MINIMISE, BST_CHECKED);
        pressButton(d, IDOK);
    });
    menu(IDM_PROGRAM_SETTINGS);
    ASSERT_TRUE(ok.get());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(swatches[i], kLabelColours[i]) << "row " << i + 1;
    }
    EXPECT_EQ(text(IDC_LABEL1), L"Benzyna 95 Supe");
    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageW(main, win::kTrayMessage, 0, WM_LBUTTONDOWN);
    pump(30);
    EXPECT_TRUE(IsWindowVisible(main) && !IsIconic(main));

    // Explorer restarted: its new taskbar has no icon until the program adds it again.
    NOTIFYICONDATAW icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = main;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &icon));
    SendMessageW(main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon));
    // About: the program's version and the price controller's (none read); Esc does not close it.
    std::wstring versions;
    auto about = onDialog(L"Vorda Cen", [&](HWND box) {
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        Sleep(100);
        versions = windowText(GetDlgItem(box, IDC_VERSION_TEXT)) + L"|" +
                   windowText(GetDlgItem(box, IDC_CONTROLLER_VERSION)) + L"|" +
                   std::to_wstring(IsWindowVisible(box));
        pressButton(box, IDOK);
    });
    menu(IDM_ABOUT);
    ASSERT_TRUE(about.get());
    EXPECT_EQ(versions.substr(0, 24) + L"YYMMDD" + versions.substr(30),
              L"Vorda Cen :  ver." VORDA_VERSION L".YYMMDD||1");

    // Light: "Ok" stores the fields and sends nothing; "Wyślij" sends the price controller's four
    // (the last four fields) and the automatic backlight. Transmission: the present ports (COM1
    // only, the others are masked in the prefix) and the saved port, listed and selected also when
    // it is absent; the speed of the settings, none selected when the list does not offer it. "Ok"
    // keeps them then or stores the ones chosen, and the log box; while connected the port list is
    // locked and the port is set up again after the dialog.
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    const wchar_t kLight[] = L"Ustawienia mocy \u015bwiecenia";
    for (int button : {IDOK, IDC_LIGHT_SEND}) {
        auto driver = onDialog(kLight, [&](HWND d) {
            for (int i = 0; i < 12; ++i) {
                SetDlgItemInt(d, IDC_LIGHT_FIRST + i, 7 + i, FALSE);
            }
            CheckDlgButton(d, IDC_AUTO_BACKLIGHT, BST_CHECKED);
            pressButton(d, button);
        });
        menu(IDM_LIGHT);
        ASSERT_TRUE(driver.get());
        ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
        pump(300);
        EXPECT_EQ(saved().light.display1LowLightLevel, 7);
        EXPECT_EQ(sim.received(), button == IDOK ? "" : "20l15 20o16 20L17 20O18 20A1 20E ");
    }
    program_.reset();
    Settings settings;
    settings.portNumber = 7;            // an adapter that is unplugged
    settings.serial.baudRate = 115200;  // not in the list
    ASSERT_TRUE(saveSettingsFile(win::toUtf8(directory_), settings));
    ASSERT_NO_FATAL_FAILURE(start());
    // "<port list entries> <port> <speed> <port list enabled>"; then the speed entry and
    // the log box are chosen, and "Ok" pressed.
    auto transmission = [&](int speedEntry, bool log) {
        std::wstring seen;
        auto driver = onDialog(L"Ustawienia transmisji", [&](HWND d) {
            seen = std::to_wstring(SendDlgItemMessageW(d, IDC_PORT_LIST, CB_GETCOUNT, 0, 0)) +
                   L" " + windowText(GetDlgItem(d, IDC_PORT_LIST)) + L" " +
                   windowText(GetDlgItem(d, IDC_SPEED_LIST)) + L" " +
                   std::to_wstring(IsWindowEnabled(GetDlgItem(d, IDC_PORT_LIST)));
            SendDlgItemMessageW(d, IDC_SPEED_LIST, CB_SETCURSEL, speedEntry, 0);
            CheckDlgButton(d, IDC_LOG_TO_FILE, log ? BST_CHECKED : BST_UNCHECKED);
            pressButton(d, IDOK);
        });
        menu(IDM_TRANSMISSION);
        EXPECT_TRUE(driver.get());
        return seen;
    };
    EXPECT_EQ(transmission(-1, true), L"2 COM7 (brak)  1");  // no speed selected: kept
    EXPECT_EQ(saved().serial.baudRate, 115200u);
    EXPECT_TRUE(saved().logToFile && saved().portNumber == 7);
    controller().applyTransmissionSettings({"COM1", 0, -1, -1, -1, -1, true});
    menu(IDM_CONNECT);
    configureCalls = 0;
    EXPECT_EQ(transmission(10, false), L"1 COM1  0");  // 10: "56k"
    EXPECT_EQ(configureCalls, 1);
    EXPECT_EQ(saved().serial.baudRate, 56000u);
    menu(IDM_DISCONNECT);
    EXPECT_EQ(transmission(-1, false), L"1 COM1 56k 1");
}

}  // namespace
}  // namespace vorda::test
