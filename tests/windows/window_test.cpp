// The program's windows created in this process, driven as an operator would: menus,
// buttons and edits; what the panel shows, the menu states, the price board's pixels and
// the scrolling view; the tower simulator on COM1 where a tower is needed.
#include <fstream>
#include <tuple>

#include "window_fixture.h"

namespace vorda::test {
namespace {

const wchar_t kDisconnected[] = L"ROZ\u0141\u0104CZONY";

TEST_F(ProgramWindow, StartsDisconnectedWithItsLabelsAndMenuStates) {
    EXPECT_EQ(text(IDC_STATUS), kDisconnected);
    EXPECT_EQ(text(IDC_START_STOP), L"Start");
    EXPECT_EQ(menuStates(), "101");
    EXPECT_FALSE(fileBytes(directory_ + L"\\VordaCen.ini").empty());
    // The labels in their colours on the grey board, no backlight icons.
    EXPECT_EQ(pixel(230, 120), kGrey);
    EXPECT_EQ(pixel(240, 150), kGrey);
    EXPECT_EQ(pixel(440, 110), RGB(0, 0, 0));
    const wchar_t* labels[5] = {L"AAA", L"BBB", L"CCC", L"DDD", L"EEE"};
    HDC dc = GetDC(panel);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(text(IDC_LABEL1 + i), labels[i]);
        RECT r;
        GetWindowRect(GetDlgItem(panel, IDC_LABEL1 + i), &r);
        MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        int inColour = 0;
        int onGrey = 0;
        for (int y = r.top; y < r.bottom; y += 2) {
            for (int x = r.left; x < r.right; x += 2) {
                inColour += GetPixel(dc, x, y) == kLabelColours[i] ? 1 : 0;
                onGrey += GetPixel(dc, x, y) == kGrey ? 1 : 0;
            }
        }
        EXPECT_GT(inColour, 20) << "label " << i + 1;
        EXPECT_GT(onGrey, inColour) << "label " << i + 1;
    }
    ReleaseDC(panel, dc);
}

// COM9 is masked in the test prefix: it opens no serial port.
TEST_F(ProgramWindow, APortThatCannotBeOpenedIsReportedWithItsNumberAndChangesNothing) {
    Settings settings;
    settings.portNumber = 9;
    ASSERT_NO_FATAL_FAILURE(restartWith(settings));
    auto reported = answerBox(kError);
    menu(IDM_CONNECT);
    EXPECT_EQ(reported.get(), L"B\u0142\u0105d otwarcia COM9");
    EXPECT_FALSE(connected());
    EXPECT_EQ(menuStates(), "101");
    EXPECT_EQ(text(IDC_STATUS), kDisconnected);
}

TEST_F(ProgramWindow, PricesSentWhileDisconnectedOpenTheLinkAndItClosesAgain) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    type(IDC_PRICE1, L"5.49");
    type(IDC_PRICE2, L"6.09");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_CHECKED);
    click(IDC_BLINK1 + 1);
    click(IDC_SEND_PRICES);
    EXPECT_TRUE(connected());
    EXPECT_EQ(menuStates(), "011");
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    pump(50);
    EXPECT_EQ(menuStates(), "101");
    EXPECT_EQ(text(IDC_STATUS), kDisconnected);
    EXPECT_EQ(sim.received(false),
              (std::vector<std::string>{"21C5.49", "22M6.09", "23C", "24C", "25C", "20E"}));

    // "Połącz" reads the tower back into the emptied boxes.
    type(IDC_PRICE1, L"");
    type(IDC_PRICE2, L"");
    CheckDlgButton(panel, IDC_BLINK1 + 1, BST_UNCHECKED);
    menu(IDM_CONNECT);
    ASSERT_TRUE(pumpUntilIdle());
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
    EXPECT_TRUE(pumpUntil([&] { return text(IDC_STATUS) == L"B\u0141\u0104D TRANSMISJI"; }));
}

TEST_F(ProgramWindow, ScrollingASmallWindowMovesThePanelByTheOffsets) {
    auto panelTop = [&] {
        RECT p;
        GetWindowRect(panel, &p);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&p), 2);
        return p.top;
    };
    SetWindowPos(main, nullptr, 0, 0, 650, 450, SWP_NOMOVE | SWP_NOZORDER);
    pump(30);
    RECT client;
    GetClientRect(main, &client);
    const int vMax = 512 - client.bottom;
    int low = -1;
    int high = -1;
    GetScrollRange(main, SB_VERT, &low, &high);
    EXPECT_EQ(high, vMax);
    SendMessageW(main, WM_VSCROLL, SB_BOTTOM, 0);
    pump(30);
    EXPECT_EQ(panelTop(), -vMax);
    SendMessageW(main, WM_VSCROLL, SB_LINEUP, 0);
    pump(30);
    EXPECT_EQ(panelTop(), -vMax + 1);
    EXPECT_EQ(GetScrollPos(main, SB_VERT), vMax - 1);
    // Enlarging the window brings the panel back.
    SetWindowPos(main, nullptr, 0, 0, 700, 650, SWP_NOMOVE | SWP_NOZORDER);
    pump(30);
    EXPECT_EQ(panelTop(), 0);
    EXPECT_EQ(GetScrollPos(main, SB_VERT), 0);
}

TEST_F(ProgramWindow, StartAndStopAControlFileInTestMode) {
    const std::wstring file = directory_ + L"\\loop.txt";
    std::ofstream(file.c_str(), std::ios::binary) << "21C1.23\r\n{S50}\r\n{G}\r\n";
    type(IDC_CONTROL_FILE, file);
    auto refused = answerBox(kError);
    click(IDC_START_STOP);
    EXPECT_EQ(refused.get(),
              L"Roz\u0142\u0105czony !\nSkrypt wymaga sta\u0142ego "
              L"po\u0142\u0105czenia\n'Akcja->Po\u0142\u0105cz'");
    menu(IDM_TEST);
    click(IDC_START_STOP);
    EXPECT_EQ(text(IDC_START_STOP), L"Stop");
    EXPECT_EQ(text(IDC_STATUS), L"TRYB TESTU SKRYPTU");
    EXPECT_TRUE(pumpUntil([&] { return controller().board().segment(0, 2) == 0x75; }));
    click(IDC_START_STOP);
    EXPECT_EQ(text(IDC_START_STOP), L"Start");
    EXPECT_EQ(text(IDC_STATUS), L"TRYB TESTU");
}

// The accelerators come before the panel's dialog navigation; Enter and Esc in the
// panel do nothing.
TEST_F(ProgramWindow, ShiftPageUpConnectsWhileThePanelHasTheFocusAndEnterAndEscDoNothing) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    type(IDC_PRICE1, L"7");
    SendMessageW(panel, WM_COMMAND, IDOK, 0);
    SendMessageW(panel, WM_COMMAND, IDCANCEL, 0);
    pump(20);
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_EQ(text(IDC_PRICE1), L"7");
    EXPECT_FALSE(connected());

    HWND edit = GetDlgItem(panel, IDC_PRICE1);
    SetFocus(edit);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    for (WPARAM key : {VK_PRIOR, VK_NEXT}) {
        MSG msg = {edit, WM_KEYDOWN, key, 0, 0, {0, 0}};
        program_->handleMessage(msg);
        EXPECT_EQ(connected(), key == VK_PRIOR);
    }
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(ProgramWindow, TheAboutBoxShowsTheVersionsAndClosesOnlyWithOk) {
    std::wstring version;
    std::wstring priceController = L"?";
    bool openAfterEsc = false;
    auto driver = onDialog(L"Vorda Cen", [&](HWND box) {
        version = windowText(GetDlgItem(box, IDC_VERSION_TEXT));
        priceController = windowText(GetDlgItem(box, IDC_CONTROLLER_VERSION));
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        Sleep(100);
        openAfterEsc = IsWindowVisible(box) != 0;
        pressButton(box, IDOK);
    });
    menu(IDM_ABOUT);
    ASSERT_NE(driver.get(), kNoDialog);
    EXPECT_TRUE(openAfterEsc);
    EXPECT_EQ(version.substr(0, 24), L"Vorda Cen :  ver.1.2.53.");
    EXPECT_EQ(version.size(), 30u);
    EXPECT_EQ(priceController, L"");
}

// The prices on the board, the backlight icons and a screenshot of it all; a blinking
// row; the backlight refused.
TEST_F(ProgramWindow, TestModeShowsPricesOnTheBoardAndRefusesTheBacklight) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    menu(IDM_TEST);
    EXPECT_EQ(text(IDC_STATUS), L"TRYB TESTU");
    EXPECT_EQ(menuStates(), "110");
    const wchar_t* prices[5] = {L"5.49", L"6.09", L"4.99", L"3.15", L"-.--"};
    for (int row = 0; row < 5; ++row) {
        type(row == 0 ? IDC_PRICE1 : IDC_PRICE2 + row - 1, prices[row]);
    }
    click(IDC_SEND_PRICES);
    ASSERT_TRUE(pumpUntil([&] { return !controller().mailbox().pending(kSlotEnd); }));
    controller().board().showBacklight(true);
    pump(100);
    // 5 with its point, 4, 9 in row 1: the top bar of the 5 is lit, of the 4 dark.
    const std::tuple<int, int, COLORREF> segments[] = {{0, 4, kWhite}, {0, 5, kDark},
                                                       {0, 7, kWhite}, {1, 4, kDark},
                                                       {1, 2, kWhite}, {2, 1, kDark}};
    for (const auto& [digit, bit, colour] : segments) {
        EXPECT_EQ(pixel(segmentCentre(0, digit, bit)), colour) << digit << " " << bit;
    }
    EXPECT_NE(pixel(240, 150), kGrey);

    // The main window as the screen shows it, kept as a 24-bit bitmap file.
    RECT r;
    GetWindowRect(main, &r);
    BITMAPINFOHEADER info = {
        sizeof(info), r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD size = ((static_cast<DWORD>(info.biWidth) * 3 + 3) & ~3u) * info.biHeight;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, r.left, r.top, SRCCOPY);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(info);
    const BITMAPFILEHEADER header = {0x4D42, offset + size, 0, 0, offset};
    std::ofstream out(windowsPathOf(VORDA_SCREENSHOT).c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(static_cast<const char*>(bits), size);
    EXPECT_TRUE(out.good());
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    controller().board().showBacklight(false);  // the icons are painted over
    pump(30);
    EXPECT_EQ(pixel(240, 150), kGrey);

    // Row 3 blinks: its lit segment alternates with dark every 330 ms.
    CheckDlgButton(panel, IDC_BLINK1 + 2, BST_CHECKED);
    click(IDC_BLINK1 + 2);
    click(IDC_SEND_PRICES);
    bool sawLit = false;
    bool sawDark = false;
    EXPECT_TRUE(pumpUntil(
        [&] {
            const COLORREF c = pixel(segmentCentre(2, 0, 2));
            sawLit = sawLit || c == kWhite;
            sawDark = sawDark || c == kDark;
            return sawLit && sawDark;
        },
        2000));
    auto refused = answerBox(kError);
    click(IDC_BACKLIGHT_ON);
    EXPECT_EQ(refused.get(), L"Wy\u0142\u0105cz tryb testu !   ");
    EXPECT_TRUE(sim.received().empty());
}

}  // namespace
}  // namespace vorda::test
