// The settings dialogs of the program created in this process: what their controls show
// and what reaches the controller (which checks the values themselves natively).
#include "support.h"

namespace vorda::test {
namespace {

// The present ports (COM1 only, the others are masked in the prefix) and the speed of the
// settings, none selected when the list does not offer it; "Ok" keeps it then or stores the
// one chosen, and the log box; while connected the port list is locked and the port is set
// up again after the dialog.
TEST_F(ProgramWindow, TransmissionDialog) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    program_.reset();
    Settings settings;
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
    EXPECT_EQ(transmission(-1, true), L"1 COM1  1");  // no speed selected: kept
    EXPECT_EQ(saved().serial.baudRate, 115200u);
    EXPECT_TRUE(saved().logToFile && saved().portNumber == 1);
    menu(IDM_CONNECT);
    configureCalls = 0;
    EXPECT_EQ(transmission(10, false), L"1 COM1  0");  // 10: "56k"
    EXPECT_EQ(configureCalls, 1);
    EXPECT_EQ(saved().serial.baudRate, 56000u);
    menu(IDM_DISCONNECT);
    EXPECT_EQ(transmission(-1, false), L"1 COM1 56k 1");
}

// "Ok" stores the fields and sends nothing; "Wyślij" sends the price controller's four
// (the last four fields) and the automatic backlight.
TEST_F(ProgramWindow, LightDialogStoresWithOkAndSendsWithSend) {
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
}

// The colour chooser opens on white, and "Anuluj" keeps the row's colour; "Ok" stores
// the descriptions (cut at 15 characters) and hiding on minimise, from which the tray
// icon brings the window back.
TEST_F(ProgramWindow, ProgramSettingsColoursDescriptionsAndHidingOnMinimise) {
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
}

}  // namespace
}  // namespace vorda::test
