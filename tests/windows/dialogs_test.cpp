// The settings dialogs of the program created in this process, with the tower
// simulator on COM1: what they list, store, save and send.
#include "window_fixture.h"

namespace vorda::test {
namespace {

std::wstring selectedEntry(HWND dialog, int id) {
    wchar_t text[64] = L"";
    const LRESULT at = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(at),
                        reinterpret_cast<LPARAM>(text));
    return text;
}

const wchar_t kLight[] = L"Ustawienia mocy \u015bwiecenia";
const wchar_t kProgram[] = L"Ustawienia programu";

// The present ports and the speed of the settings, "Ok" storing the speed chosen and a
// speed the list does not offer (none selected) kept; while connected the port list is
// locked and the settings are re-applied to the port after the dialog, also after
// "Anuluj"; unticking the log box stops the log.
TEST_F(ProgramWindow, TransmissionDialog) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    Settings settings;
    settings.serial.baudRate = 14400;
    settings.logToFile = true;
    ASSERT_NO_FATAL_FAILURE(restartWith(settings));
    struct Seen {
        LRESULT ports = 0;
        std::wstring port;
        std::wstring speed = L"?";
        bool portListEnabled = false;
    };
    auto transmission = [&](const std::function<void(HWND)>& act) {
        Seen seen;
        auto driver = onDialog(L"Ustawienia transmisji", [&](HWND d) {
            seen = {SendDlgItemMessageW(d, IDC_PORT_LIST, CB_GETCOUNT, 0, 0),
                    selectedEntry(d, IDC_PORT_LIST), selectedEntry(d, IDC_SPEED_LIST),
                    IsWindowEnabled(GetDlgItem(d, IDC_PORT_LIST)) != 0};
            act(d);
        });
        menu(IDM_TRANSMISSION);
        EXPECT_NE(driver.get(), kNoDialog);
        return seen;
    };
    Seen seen = transmission([](HWND d) {
        SendDlgItemMessageW(d, IDC_SPEED_LIST, CB_SETCURSEL, 10, 0);  // "56k"
        pressButton(d, IDOK);
    });
    EXPECT_EQ(seen.ports, 1);
    EXPECT_EQ(seen.port, L"COM1");
    EXPECT_EQ(seen.speed, L"14.4k");
    EXPECT_TRUE(seen.portListEnabled);
    EXPECT_EQ(saved().serial.baudRate, 56000u);
    EXPECT_EQ(saved().portNumber, 1);

    menu(IDM_CONNECT);
    ASSERT_TRUE(pumpUntilIdle());
    const std::wstring log = directory_ + L"\\VordaC.trm";
    EXPECT_FALSE(fileBytes(log).empty());
    configureCalls = 0;
    seen = transmission([](HWND d) { pressButton(d, IDCANCEL); });
    EXPECT_FALSE(seen.portListEnabled);
    EXPECT_EQ(seen.port, L"COM1");
    EXPECT_EQ(configureCalls, 1);
    transmission([](HWND d) {
        CheckDlgButton(d, IDC_LOG_TO_FILE, BST_UNCHECKED);
        pressButton(d, IDOK);
    });
    EXPECT_FALSE(saved().logToFile);
    pump(100);
    const size_t before = fileBytes(log).size();
    menu(IDM_READ_BACK);
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(fileBytes(log).size(), before);
    menu(IDM_DISCONNECT);

    settings.serial.baudRate = 115200;
    ASSERT_NO_FATAL_FAILURE(restartWith(settings));
    EXPECT_EQ(transmission([](HWND d) { pressButton(d, IDOK); }).speed, L"");
    EXPECT_EQ(saved().serial.baudRate, 115200u);
}

// "Ok" stores the twelve values and sends nothing; "Wyślij" sends the price controller's
// four in order (a value above 255 keeps the previous one, anything not a number is 0),
// the automatic backlight and the end, and saves them.
TEST_F(ProgramWindow, LightDialogStoresWithOkAndSendsInOrderWithSend) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    auto ok = onDialog(kLight, [&](HWND d) {
        SetDlgItemTextW(d, IDC_LOW_LIGHT_LEVEL, L"42");
        SetDlgItemTextW(d, IDC_LIGHT_FIRST, L"7");
        pressButton(d, IDOK);
    });
    menu(IDM_LIGHT);
    ASSERT_NE(ok.get(), kNoDialog);
    pump(300);
    EXPECT_TRUE(sim.received().empty());
    EXPECT_EQ(saved().light.lowLightLevel, 42);
    EXPECT_EQ(saved().light.display1LowLightLevel, 7);

    auto send = onDialog(kLight, [&](HWND d) {
        const wchar_t* values[4] = {L"300", L"-5", L"100", L"255"};
        for (int i = 0; i < 4; ++i) {
            SetDlgItemTextW(d, IDC_LOW_LIGHT_LEVEL + i, values[i]);
        }
        CheckDlgButton(d, IDC_AUTO_BACKLIGHT, BST_CHECKED);
        pressButton(d, IDC_LIGHT_SEND);
    });
    menu(IDM_LIGHT);
    ASSERT_NE(send.get(), kNoDialog);
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    EXPECT_EQ(sim.received(false),
              (std::vector<std::string>{"20l42", "20o0", "20L100", "20O255", "20A1", "20E"}));
    const Settings s = saved();
    EXPECT_EQ((std::vector<int>{s.light.lowLightLevel, s.light.lowLevelBrightness,
                                s.light.highLightLevel, s.light.highLevelBrightness}),
              (std::vector<int>{42, 0, 100, 255}));
    EXPECT_TRUE(s.autoBacklight);
}

// The colour chooser opens on white, and "Anuluj" keeps the colour chosen from the
// settings; "Ok" stores the descriptions (15 characters) and hiding on minimise, from
// which the tray icon brings the window back.
TEST_F(ProgramWindow, ProgramSettingsColoursDescriptionsAndHidingOnMinimise) {
    std::wstring rgb[3];
    auto cancel = onDialog(kProgram, [&](HWND d) {
        PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_SWATCH1 + 4, BN_CLICKED), 0);  // row 3: red
        HWND chooser = nullptr;
        waitUntil(
            [&] {
                for (HWND box : topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                    chooser = box != d && GetDlgItem(box, 706) != nullptr ? box : chooser;
                }
                return chooser != nullptr && IsWindowVisible(chooser);
            },
            3000);
        Sleep(50);
        for (int c = 0; c < 3; ++c) {
            rgb[c] = windowText(GetDlgItem(chooser, 706 + c));
        }
        SetDlgItemTextW(chooser, 706, L"0");
        SetDlgItemTextW(chooser, 707, L"0");
        pressButton(chooser, IDOK);
        Sleep(100);
        pressButton(d, IDCANCEL);
    });
    menu(IDM_PROGRAM_SETTINGS);
    ASSERT_NE(cancel.get(), kNoDialog);
    for (const auto& value : rgb) {
        EXPECT_EQ(value, L"255");
    }
    EXPECT_EQ(saved().labelColour[2], 0x0000FFu);

    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_TRUE(IsWindowVisible(main));
    ShowWindow(main, SW_RESTORE);
    COLORREF swatches[5] = {};
    auto ok = onDialog(kProgram, [&](HWND d) {
        Sleep(100);
        for (int i = 0; i < 5; ++i) {
            HWND button = GetDlgItem(d, IDC_SWATCH1 + 2 * i);
            HDC dc = GetDC(button);
            swatches[i] = GetPixel(dc, 8, 8);
            ReleaseDC(button, dc);
        }
        SetDlgItemTextW(d, IDC_DESCRIPTION1, L"Benzyna 95 Super Plus");
        CheckDlgButton(d, IDC_HIDE_ON_MINIMISE, BST_CHECKED);
        pressButton(d, IDOK);
    });
    menu(IDM_PROGRAM_SETTINGS);
    ASSERT_NE(ok.get(), kNoDialog);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(swatches[i], kLabelColours[i]) << "row " << i + 1;
    }
    EXPECT_EQ(text(IDC_LABEL1), L"Benzyna 95 Supe");
    EXPECT_STREQ(saved().labelText[0], "Benzyna 95 Supe");
    EXPECT_TRUE(saved().hideOnMinimise);
    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageW(main, win::kTrayMessage, 0, WM_LBUTTONDOWN);
    pump(30);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(IsIconic(main));
}

}  // namespace
}  // namespace vorda::test
