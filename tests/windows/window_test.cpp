// The program's windows created in this process, driven as an operator would: menus,
// buttons and edits; what the panel shows, the menu states, the price board's pixels and
// the scrolling view; the tower simulator on COM1 where a tower is needed.
#include "window_fixture.h"

namespace vorda::test {
namespace {

TEST_F(ProgramWindow, StartsDisconnectedWithItsLabelsAndMenuStates) {
    EXPECT_EQ(text(IDC_STATUS), L"ROZ\u0141\u0104CZONY");
    EXPECT_EQ(text(IDC_START_STOP), L"Start");
    const wchar_t* labels[5] = {L"AAA", L"BBB", L"CCC", L"DDD", L"EEE"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(text(IDC_LABEL1 + i), labels[i]);
    }
    EXPECT_EQ(menuStates(), "101");
    EXPECT_EQ(GetWindowLongPtrW(main, 0), reinterpret_cast<LONG_PTR>(programCore().record.get()));
    EXPECT_NE(GetFileAttributesW((directory_ + L"\\VordaCen.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);
    // The labels in their colours on the grey board.
    EXPECT_EQ(pixel(230, 120), kGrey);
    EXPECT_EQ(pixel(440, 110), RGB(0, 0, 0));
    const COLORREF colours[5] = {RGB(0, 255, 0), RGB(255, 255, 0), RGB(255, 0, 0),
                                 RGB(255, 255, 255), RGB(0, 0, 255)};
    UpdateWindow(panel);
    HDC dc = GetDC(panel);
    for (int i = 0; i < 5; ++i) {
        RECT r;
        GetWindowRect(GetDlgItem(panel, IDC_LABEL1 + i), &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        int inColour = 0;
        int onGrey = 0;
        for (int y = r.top; y < r.bottom; y += 2) {
            for (int x = r.left; x < r.right; x += 2) {
                const COLORREF c = GetPixel(dc, x, y);
                inColour += c == colours[i] ? 1 : 0;
                onGrey += c == kGrey ? 1 : 0;
            }
        }
        EXPECT_GT(inColour, 20) << "label " << i + 1;
        EXPECT_GT(onGrey, inColour) << "label " << i + 1;
    }
    ReleaseDC(panel, dc);
}

TEST_F(ProgramWindow, AMissingPortIsReportedWithItsNumberAndChangesNothing) {
    programCore().record->portNumber = 9;
    MessageBoxAnswerer answer(L"B\u0142\u0105d");
    menu(IDM_CONNECT);
    pump(50);
    EXPECT_TRUE(answer.answered());
    EXPECT_EQ(answer.text(), L"B\u0142\u0105d otwarcia COM9");
    EXPECT_EQ(menuStates(), "101");
    EXPECT_EQ(text(IDC_STATUS), L"ROZ\u0141\u0104CZONY");
}

TEST_F(ProgramWindow, PricesSentWhileDisconnectedOpenTheLinkAndItClosesAgain) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    type(IDC_PRICE1, L"5.49");
    type(IDC_PRICE2, L"6.09");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_CHECKED);
    click(IDC_BLINK1 + 1);
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_CHECKED);
    click(IDC_SEND_PRICES);
    EXPECT_TRUE(connected());
    EXPECT_EQ(menuStates(), "011");
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    pump(50);
    EXPECT_EQ(menuStates(), "101");
    EXPECT_EQ(text(IDC_STATUS), L"ROZ\u0141\u0104CZONY");
    std::vector<std::string> prices;
    for (const auto& l : sim.lines("rx")) {
        if (l.text[1] != '0') {
            prices.push_back(l.text);
        }
    }
    EXPECT_EQ(prices, (std::vector<std::string>{"21C5.49", "22M6.09", "23C", "24C", "25C"}));
    EXPECT_EQ(sim.lines("rx").back().text, "20E");

    // "Połącz" reads the tower back into the emptied boxes.
    type(IDC_PRICE1, L"");
    type(IDC_PRICE2, L"");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_UNCHECKED);
    menu(IDM_CONNECT);
    ASSERT_TRUE(pumpUntil([&] { return programCore().record->readBackRequested == 0; }, 8000));
    ASSERT_TRUE(pumpUntil([&] { return !text(IDC_LIGHT_LEVEL).empty(); }, 3000));
    EXPECT_EQ(text(IDC_PRICE1), L"5.49");
    EXPECT_EQ(text(IDC_PRICE2), L"6.09");
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_BLINK1 + 1), BST_CHECKED);
    EXPECT_EQ(text(IDC_LIGHT_LEVEL), L"120");
    EXPECT_EQ(text(IDC_STATUS), L"PO\u0141\u0104CZONY");
    EXPECT_EQ(menuStates(), "011");
    menu(IDM_DISCONNECT);
    EXPECT_EQ(menuStates(), "101");
}

TEST_F(ProgramWindow, ASilentTowerShowsATransmissionError) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start({"--silent"}));
    menu(IDM_CONNECT);
    EXPECT_TRUE(pumpUntil([&] { return text(IDC_STATUS) == L"B\u0141\u0104D TRANSMISJI"; }, 5000));
}

TEST_F(ProgramWindow, TestModeShowsPricesOnTheBoardAndRefusesTheBacklight) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    menu(IDM_TEST);
    EXPECT_EQ(text(IDC_STATUS), L"TRYB TESTU");
    EXPECT_EQ(menuStates(), "110");
    type(IDC_PRICE1, L"4.59");
    type(IDC_PRICE3, L"1");
    CheckDlgButton(panel, IDC_BLINK1 + 2, BST_CHECKED);
    click(IDC_BLINK1 + 2);
    CheckDlgButton(panel, IDC_BLINK1 + 2, BST_CHECKED);
    click(IDC_SEND_PRICES);
    ASSERT_TRUE(pumpUntil([] { return programCore().board.priceSegments[0][2] == 0x7D; }));
    pump(50);
    // 4 with its point, 5, 9 in row 1: the top bar of the 4 is dark, of the 5 lit.
    EXPECT_EQ(pixel(segmentCentre(0, 0, 4).x, segmentCentre(0, 0, 4).y), kDark);
    EXPECT_EQ(pixel(segmentCentre(0, 0, 2).x, segmentCentre(0, 0, 2).y), kWhite);
    EXPECT_EQ(pixel(segmentCentre(0, 0, 7).x, segmentCentre(0, 0, 7).y), kWhite);
    EXPECT_EQ(pixel(segmentCentre(0, 1, 4).x, segmentCentre(0, 1, 4).y), kWhite);
    EXPECT_EQ(pixel(segmentCentre(0, 2, 1).x, segmentCentre(0, 2, 1).y), kDark);
    // Row 3 blinks: its lit segment alternates with dark every 330 ms.
    const POINT one = segmentCentre(2, 0, 5);
    bool sawLit = false;
    bool sawDark = false;
    pumpUntil(
        [&] {
            const COLORREF c = pixel(one.x, one.y);
            sawLit = sawLit || c == kWhite;
            sawDark = sawDark || c == kDark;
            return sawLit && sawDark;
        },
        2000);
    EXPECT_TRUE(sawLit);
    EXPECT_TRUE(sawDark);

    MessageBoxAnswerer answer(L"B\u0142\u0105d");
    click(IDC_BACKLIGHT_ON);
    pump(20);
    EXPECT_EQ(answer.text(), L"Wy\u0142\u0105cz tryb testu !   ");
    EXPECT_TRUE(sim.transcript().empty());
}

TEST_F(ProgramWindow, BacklightIconsAppearAndArePaintedOver) {
    EXPECT_EQ(pixel(240, 160), kGrey);
    programCore().record->backlightOn = 1;
    InvalidateRect(panel, nullptr, FALSE);
    pump(30);
    EXPECT_NE(pixel(240, 150), kGrey);
    programCore().record->backlightOn = 0;
    InvalidateRect(panel, nullptr, FALSE);
    pump(30);
    EXPECT_EQ(pixel(240, 150), kGrey);
}

TEST_F(ProgramWindow, ScrollingASmallWindowMovesThePanelByTheOffsets) {
    RECT window;
    GetWindowRect(main, &window);
    RECT client;
    GetClientRect(main, &client);
    const int frameHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(main, nullptr, 0, 0, window.right - window.left, 400 + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER);
    pump(30);
    GetClientRect(main, &client);
    const int vMax = 512 - client.bottom;
    EXPECT_EQ(programCore().record->vScrollMax, vMax);
    SendMessageW(main, WM_VSCROLL, SB_BOTTOM, 0);
    pump(30);
    RECT p;
    GetWindowRect(panel, &p);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&p), 2);
    EXPECT_EQ(p.top, -vMax);
    SendMessageW(main, WM_VSCROLL, SB_LINEUP, 0);
    pump(30);
    GetWindowRect(panel, &p);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&p), 2);
    EXPECT_EQ(p.top, -vMax + 1);
    // Enlarging the window brings the panel back.
    SetWindowPos(main, nullptr, 0, 0, 700, 650, SWP_NOMOVE | SWP_NOZORDER);
    pump(30);
    GetWindowRect(panel, &p);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&p), 2);
    EXPECT_EQ(p.top, 0);
    EXPECT_EQ(programCore().record->vOffset, 0);
}

TEST_F(ProgramWindow, StartAndStopAControlFileInTestMode) {
    const std::wstring file = directory_ + L"\\loop.txt";
    FILE* f = _wfopen(file.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fputs("21C1.23\r\n{S50}\r\n{G}\r\n", f);
    std::fclose(f);
    type(IDC_CONTROL_FILE, file);
    MessageBoxAnswerer refused(L"B\u0142\u0105d");
    click(IDC_START_STOP);
    pump(20);
    EXPECT_EQ(refused.text(),
              L"Roz\u0142\u0105czony !\nSkrypt wymaga sta\u0142ego "
              L"po\u0142\u0105czenia\n'Akcja->Po\u0142\u0105cz'");
    menu(IDM_TEST);
    click(IDC_START_STOP);
    EXPECT_EQ(text(IDC_START_STOP), L"Stop");
    EXPECT_EQ(text(IDC_STATUS), L"TRYB TESTU SKRYPTU");
    EXPECT_TRUE(pumpUntil([] { return programCore().board.priceSegments[0][2] == 0x75; }));
    click(IDC_START_STOP);
    EXPECT_EQ(text(IDC_START_STOP), L"Start");
    EXPECT_EQ(text(IDC_STATUS), L"TRYB TESTU");
}

TEST_F(ProgramWindow, EnterAndEscInThePanelDoNothing) {
    type(IDC_PRICE1, L"7");
    SendMessageW(panel, WM_COMMAND, IDOK, 0);
    SendMessageW(panel, WM_COMMAND, IDCANCEL, 0);
    pump(20);
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_EQ(text(IDC_PRICE1), L"7");
    EXPECT_FALSE(connected());
}

TEST_F(ProgramWindow, ShiftPageUpConnectsEvenWhileThePanelHasTheFocus) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    SetFocus(GetDlgItem(panel, IDC_PRICE1));
    MSG msg = {};
    msg.hwnd = GetDlgItem(panel, IDC_PRICE1);
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_PRIOR;
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    win::handleMessage(msg);
    EXPECT_TRUE(connected());
    msg.wParam = VK_NEXT;
    win::handleMessage(msg);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_FALSE(connected());
}

TEST_F(ProgramWindow, MinimisingHidesTheWindowWhenAskedAndTheTrayBringsItBack) {
    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_TRUE(IsWindowVisible(main));
    ShowWindow(main, SW_RESTORE);
    programCore().record->hideOnMinimise = 1;
    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageW(main, win::kTrayMessage, 0, WM_LBUTTONDOWN);
    pump(30);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(IsIconic(main));
}

TEST_F(ProgramWindow, TheAboutBoxShowsTheVersionsAndClosesOnlyWithOk) {
    std::wstring version;
    std::wstring controller = L"?";
    std::thread closer([&] {
        for (int i = 0; i < 300; ++i) {
            for (HWND box : topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                if (IsWindowVisible(box) && windowText(box) == L"Vorda Cen") {
                    version = windowText(GetDlgItem(box, IDC_VERSION_TEXT));
                    controller = windowText(GetDlgItem(box, IDC_CONTROLLER_VERSION));
                    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);  // ignored
                    Sleep(100);
                    if (IsWindowVisible(box)) {
                        pressButton(box, IDOK);
                    }
                    return;
                }
            }
            Sleep(10);
        }
    });
    menu(IDM_ABOUT);
    closer.join();
    EXPECT_EQ(version.substr(0, 24), L"Vorda Cen :  ver.1.2.53.");
    EXPECT_EQ(version.size(), 30u);
    EXPECT_EQ(controller, L"");
}

TEST_F(ProgramWindow, AScreenshotOfTheProgramInTestModeIsKept) {
    menu(IDM_TEST);
    type(IDC_PRICE1, L"5.49");
    type(IDC_PRICE2, L"6.09");
    type(IDC_PRICE3, L"4.99");
    type(IDC_PRICE4, L"3.15");
    type(IDC_PRICE5, L"-.--");
    click(IDC_SEND_PRICES);
    ASSERT_TRUE(pumpUntil([] { return !slotPending(programCore(), kSlotEnd); }));
    programCore().record->backlightOn = 1;
    InvalidateRect(panel, nullptr, FALSE);
    pump(100);
    RECT r;
    GetWindowRect(main, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
    header.bfSize = header.bfOffBits + size;
    const std::wstring path = windowsPathOf(VORDA_SCREENSHOT);
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(&header, sizeof(header), 1, f);
    std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, f);
    std::fwrite(bits, 1, size, f);
    std::fclose(f);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(pixel(segmentCentre(0, 0, 4).x, segmentCentre(0, 0, 4).y), kWhite);  // the 5
}

}  // namespace
}  // namespace vorda::test
