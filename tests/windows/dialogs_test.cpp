// The settings dialogs of the program created in this process, with the tower
// simulator on COM1: what they list, store, save and send.
#include "window_fixture.h"

namespace vorda::test {
namespace {

using win::programCore;

// Line n (1-based) of the settings file in the start directory.
std::string settingsLine(const std::wstring& directory, int n) {
    FILE* f = _wfopen((directory + L"\\VordaCen.ini").c_str(), L"rb");
    std::string text;
    if (f != nullptr) {
        char buffer[4096];
        const size_t got = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, got);
        std::fclose(f);
    }
    size_t start = 0;
    for (int i = 1; i < n; ++i) {
        start = text.find("\r\n", start) + 2;
    }
    return text.substr(start, text.find("\r\n", start) - start);
}

std::vector<std::wstring> listEntries(HWND dialog, int id) {
    std::vector<std::wstring> out;
    const LRESULT count = SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[64] = L"";
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

std::wstring selectedEntry(HWND dialog, int id) {
    const LRESULT s = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (s == CB_ERR) {
        return L"";
    }
    wchar_t text[64] = L"";
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(s),
                        reinterpret_cast<LPARAM>(text));
    return text;
}

const wchar_t kTransmission[] = L"Ustawienia transmisji";
const wchar_t kLight[] = L"Ustawienia mocy \u015bwiecenia";
const wchar_t kProgram[] = L"Ustawienia programu";

std::atomic<int> configureCalls{0};
bool (*realConfigure)(SerialPort*, const SerialSettings&) = nullptr;
bool countingConfigure(SerialPort* port, const SerialSettings& settings) {
    configureCalls++;
    return realConfigure(port, settings);
}

TEST_F(ProgramWindow, TransmissionDialogListsThePresentPortsAndStoresTheSpeed) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    programCore().record->baudRate = 14400;
    std::vector<std::wstring> ports;
    std::wstring speed;
    bool portListEnabled = false;
    DialogDriver driver(kTransmission, [&](HWND d) {
        ports = listEntries(d, IDC_PORT_LIST);
        speed = selectedEntry(d, IDC_SPEED_LIST);
        portListEnabled = IsWindowEnabled(GetDlgItem(d, IDC_PORT_LIST)) != 0;
        SendDlgItemMessageW(d, IDC_SPEED_LIST, CB_SETCURSEL, 10, 0);  // "56k"
        pressButton(d, IDOK);
    });
    menu(IDM_TRANSMISSION);
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(ports, std::vector<std::wstring>{L"COM1"});
    EXPECT_EQ(speed, L"14.4k");
    EXPECT_TRUE(portListEnabled);
    EXPECT_EQ(programCore().record->baudRate, 56000u);
    EXPECT_EQ(settingsLine(directory_, 2), "56000");
    EXPECT_EQ(programCore().record->portNumber, 1);
}

TEST_F(ProgramWindow, TransmissionDialogWhileConnectedLocksThePortAndReappliesOnCancel) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    menu(IDM_CONNECT);
    ASSERT_TRUE(connected());
    realConfigure = programCore().serial.configure;
    programCore().serial.configure = countingConfigure;
    configureCalls = 0;
    bool portListEnabled = true;
    std::wstring port;
    DialogDriver driver(kTransmission, [&](HWND d) {
        portListEnabled = IsWindowEnabled(GetDlgItem(d, IDC_PORT_LIST)) != 0;
        port = selectedEntry(d, IDC_PORT_LIST);
        pressButton(d, IDCANCEL);
    });
    menu(IDM_TRANSMISSION);
    ASSERT_TRUE(driver.done());
    EXPECT_FALSE(portListEnabled);
    EXPECT_EQ(port, L"COM1");
    EXPECT_EQ(configureCalls, 1);
    menu(IDM_DISCONNECT);
}

TEST_F(ProgramWindow, ASpeedTheListDoesNotOfferKeepsItsValue) {
    programCore().record->baudRate = 115200;
    DialogDriver driver(kTransmission, [&](HWND d) { pressButton(d, IDOK); });
    menu(IDM_TRANSMISSION);
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(programCore().record->baudRate, 115200u);
    EXPECT_EQ(settingsLine(directory_, 2), "115200");
}

TEST_F(ProgramWindow, UntickingTheLogBoxStopsTheTransmissionLog) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    programCore().record->logToFile = 1;
    programCore().loggingSwitch = 1;
    menu(IDM_CONNECT);
    ASSERT_TRUE(pumpUntil([] { return programCore().record->readBackRequested == 0; }, 8000));
    const std::wstring log = directory_ + L"\\VordaC.trm";
    EXPECT_NE(GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES);
    DialogDriver driver(kTransmission, [&](HWND d) {
        CheckDlgButton(d, IDC_LOG_TO_FILE, BST_UNCHECKED);
        pressButton(d, IDOK);
    });
    menu(IDM_TRANSMISSION);
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(settingsLine(directory_, 6), "0");
    pump(100);
    WIN32_FILE_ATTRIBUTE_DATA before;
    GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &before);
    menu(IDM_READ_BACK);
    ASSERT_TRUE(pumpUntil([] { return programCore().record->readBackRequested == 0; }, 8000));
    WIN32_FILE_ATTRIBUTE_DATA after;
    GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &after);
    EXPECT_EQ(after.nFileSizeLow, before.nFileSizeLow);
    menu(IDM_DISCONNECT);
}

TEST_F(ProgramWindow, LightDialogSendsTheValuesInOrderAndSavesThem) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    DialogDriver driver(kLight, [&](HWND d) {
        SetDlgItemTextW(d, 1081, L"10");
        SetDlgItemTextW(d, 1082, L"200");
        SetDlgItemTextW(d, 1083, L"100");
        SetDlgItemTextW(d, 1084, L"255");
        CheckDlgButton(d, IDC_AUTO_BACKLIGHT, BST_CHECKED);
        pressButton(d, IDC_LIGHT_SEND);
    });
    menu(IDM_LIGHT);
    ASSERT_TRUE(driver.done());
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    std::vector<std::string> sent;
    for (const auto& l : sim.lines("rx")) {
        if (l.text != "20S" && l.text != "20Z") {
            sent.push_back(l.text);
        }
    }
    EXPECT_EQ(sent,
              (std::vector<std::string>{"20l10", "20o200", "20L100", "20O255", "20A1", "20E"}));
    EXPECT_EQ(settingsLine(directory_, 17), "10");
    EXPECT_EQ(settingsLine(directory_, 18), "200");
    EXPECT_EQ(settingsLine(directory_, 19), "100");
    EXPECT_EQ(settingsLine(directory_, 20), "255");
    EXPECT_EQ(settingsLine(directory_, 21), "1");
}

TEST_F(ProgramWindow, ALightValueAbove255SendsThePreviousValueAndOkSendsNothing) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    DialogDriver ok(kLight, [&](HWND d) {
        SetDlgItemTextW(d, 1081, L"42");
        SetDlgItemTextW(d, 1073, L"7");
        pressButton(d, IDOK);
    });
    menu(IDM_LIGHT);
    ASSERT_TRUE(ok.done());
    pump(300);
    EXPECT_TRUE(sim.transcript().empty());
    EXPECT_EQ(settingsLine(directory_, 17), "42");
    EXPECT_EQ(settingsLine(directory_, 7), "7");

    DialogDriver send(kLight, [&](HWND d) {
        SetDlgItemTextW(d, 1081, L"300");
        SetDlgItemTextW(d, 1082, L"-5");
        pressButton(d, IDC_LIGHT_SEND);
    });
    menu(IDM_LIGHT);
    ASSERT_TRUE(send.done());
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    bool sawLow = false;
    bool sawZero = false;
    for (const auto& l : sim.lines("rx")) {
        sawLow = sawLow || l.text == "20l42";
        sawZero = sawZero || l.text == "20o0";
    }
    EXPECT_TRUE(sawLow);
    EXPECT_TRUE(sawZero);
}

TEST_F(ProgramWindow, LightDialogIsRefusedInTestMode) {
    menu(IDM_TEST);
    DialogDriver driver(kLight, [&](HWND d) { pressButton(d, IDC_LIGHT_SEND); });
    MessageBoxAnswerer answer(L"B\u0142\u0105d");
    menu(IDM_LIGHT);
    ASSERT_TRUE(driver.done());
    pump(50);
    EXPECT_EQ(answer.text(), L"Wy\u0142\u0105cz tryb testu !   ");
}

TEST_F(ProgramWindow, ProgramSettingsStoreDescriptionsOfFifteenCharactersAndHideOnMinimise) {
    COLORREF swatches[5] = {};
    DialogDriver driver(kProgram, [&](HWND d) {
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
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(swatches[0], RGB(0, 255, 0));
    EXPECT_EQ(swatches[1], RGB(255, 255, 0));
    EXPECT_EQ(swatches[2], RGB(255, 0, 0));
    EXPECT_EQ(swatches[3], RGB(255, 255, 255));
    EXPECT_EQ(swatches[4], RGB(0, 0, 255));
    EXPECT_EQ(text(IDC_LABEL1), L"Benzyna 95 Supe");
    EXPECT_EQ(settingsLine(directory_, 23), "Benzyna 95 Supe");
    EXPECT_EQ(settingsLine(directory_, 22), "1");
    ShowWindow(main, SW_MINIMIZE);
    pump(30);
    EXPECT_FALSE(IsWindowVisible(main));
}

TEST_F(ProgramWindow, TheColourChooserOpensOnWhiteAndCancelKeepsEverything) {
    std::wstring red;
    std::wstring green;
    std::wstring blue;
    DialogDriver driver(kProgram, [&](HWND d) {
        PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_SWATCH1 + 4, BN_CLICKED), 0);  // row 3: red
        for (int i = 0; i < 300; ++i) {
            for (HWND box : topLevelWindows(GetCurrentProcessId(), L"#32770")) {
                if (IsWindowVisible(box) && box != d && GetDlgItem(box, 706) != nullptr) {
                    Sleep(50);
                    red = windowText(GetDlgItem(box, 706));
                    green = windowText(GetDlgItem(box, 707));
                    blue = windowText(GetDlgItem(box, 708));
                    SetDlgItemTextW(box, 706, L"0");
                    SetDlgItemTextW(box, 707, L"0");
                    pressButton(box, IDOK);
                    Sleep(100);
                    pressButton(d, IDCANCEL);
                    return;
                }
            }
            Sleep(10);
        }
        pressButton(d, IDCANCEL);
    });
    menu(IDM_PROGRAM_SETTINGS);
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(red, L"255");
    EXPECT_EQ(green, L"255");
    EXPECT_EQ(blue, L"255");
    EXPECT_EQ(programCore().labels.priceLabelColour[2], 0x0000FFu);
    EXPECT_EQ(settingsLine(directory_, 28), "255");
}

}  // namespace
}  // namespace vorda::test
