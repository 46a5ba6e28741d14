#include "dialogs/settings_dialogs.h"

#include <commdlg.h>

#include <string>

#include "app/control_panel.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/wide.h"
#include "record/dialog_actions.h"
#include "resources/resource.h"

namespace vorda::win {

namespace {

const wchar_t kRecordProperty[] = L"VordaRecord";

// The dialog keeps the application record for its lifetime; without it, it does nothing.
AppRecord* recordOf(HWND dialog) {
    return static_cast<AppRecord*>(GetPropW(dialog, kRecordProperty));
}

void keepRecord(HWND dialog, LPARAM record) {
    SetPropW(dialog, kRecordProperty, reinterpret_cast<HANDLE>(record));
}

std::wstring itemText(HWND dialog, int id) {
    wchar_t buffer[512];
    const UINT n = GetDlgItemTextW(dialog, id, buffer, 512);
    return std::wstring(buffer, n);
}

std::wstring loadString(UINT id) {
    const wchar_t* p = nullptr;
    const int n = LoadStringW(shell().appInstance, id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 ? std::wstring(p, static_cast<size_t>(n)) : std::wstring();
}

int selection(HWND dialog, int id) {
    const LRESULT s = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    return s == CB_ERR ? -1 : static_cast<int>(s);
}

// The messages every settings dialog handles alike: the record kept as a property at
// initialisation (and `init` run only when there is one), "Anuluj" closing, the property
// removed at the end. `button` handles the dialog's other buttons; it runs only with a
// record and returns true for an id it took.
using DialogInit = void (*)(HWND dialog);
using DialogButton = bool (*)(HWND dialog, int id);

INT_PTR settingsDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                              DialogInit init, DialogButton button) {
    switch (message) {
        case WM_INITDIALOG:
            keepRecord(dialog, lParam);
            if (recordOf(dialog) != nullptr) {
                init(dialog);
            }
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDCANCEL) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            if (recordOf(dialog) != nullptr && button(dialog, id)) {
                return TRUE;
            }
            if (id == IDOK) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DESTROY:
            RemovePropW(dialog, kRecordProperty);
            return FALSE;
        default:
            return FALSE;
    }
}

// Fills a list from the string table, each entry with its value; the entry equal to
// `current` is selected.
template <typename T>
void fillList(HWND dialog, int id, UINT firstString, const T* values, int count, uint32_t current) {
    for (int i = 0; i < count; ++i) {
        const LRESULT at =
            SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(loadString(firstString + i).c_str()));
        SendDlgItemMessageW(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(at), values[i]);
        if (values[i] == current) {
            SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        }
    }
}

// ---- Transmission settings ----

void initTransmission(HWND dialog) {
    Core& core = programCore();
    AppRecord& r = *core.record;
    r.portListIndex = 0;
    const std::vector<int> ports = presentPorts(core);
    for (size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] == r.portNumber) {
            r.portListIndex = static_cast<uint16_t>(i);
        }
        const std::wstring name = fromUtf8(messageText(Text::Com)) + std::to_wstring(ports[i]);
        SendDlgItemMessageW(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(name.c_str()));
    }
    if (ports.empty()) {
        SendDlgItemMessageW(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(L"No Comm"));
    }
    SendDlgItemMessageW(dialog, IDC_PORT_LIST, CB_SETCURSEL, r.portListIndex, 0);
    EnableWindow(GetDlgItem(dialog, IDC_PORT_LIST), r.connected ? FALSE : TRUE);

    fillList(dialog, IDC_SPEED_LIST, IDS_BAUD_FIRST, kOfferedBaudRates, 13, r.baudRate);
    for (int bits = 5; bits <= 8; ++bits) {
        SendDlgItemMessageW(dialog, IDC_DATA_BITS_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(std::to_wstring(bits).c_str()));
    }
    if (r.dataBits >= 5 && r.dataBits <= 8) {
        SendDlgItemMessageW(dialog, IDC_DATA_BITS_LIST, CB_SETCURSEL, r.dataBits - 5, 0);
    }
    fillList(dialog, IDC_PARITY_LIST, IDS_PARITY_FIRST, kParityValues, 5, r.parity);
    fillList(dialog, IDC_STOP_BITS_LIST, IDS_STOPBITS_FIRST, kStopBitValues, 3, r.stopBits);
    CheckDlgButton(dialog, IDC_LOG_TO_FILE, r.logToFile ? BST_CHECKED : BST_UNCHECKED);
}

void okTransmission(HWND dialog) {
    TransmissionChoice c;
    c.portIndex = selection(dialog, IDC_PORT_LIST);
    if (c.portIndex >= 0) {
        wchar_t text[64] = L"";
        SendDlgItemMessageW(dialog, IDC_PORT_LIST, CB_GETLBTEXT, static_cast<WPARAM>(c.portIndex),
                            reinterpret_cast<LPARAM>(text));
        c.portText = toUtf8(text);
    }
    // Each list's selected entry carries its value; nothing selected keeps the record's.
    const int speed = selection(dialog, IDC_SPEED_LIST);
    if (speed >= 0) {
        const auto value = static_cast<uint32_t>(
            SendDlgItemMessageW(dialog, IDC_SPEED_LIST, CB_GETITEMDATA, speed, 0));
        for (int i = 0; i < 13; ++i) {
            c.baudIndex = kOfferedBaudRates[i] == value ? i : c.baudIndex;
        }
    }
    c.dataBitsIndex = selection(dialog, IDC_DATA_BITS_LIST);
    const int parity = selection(dialog, IDC_PARITY_LIST);
    if (parity >= 0) {
        const auto value = SendDlgItemMessageW(dialog, IDC_PARITY_LIST, CB_GETITEMDATA, parity, 0);
        for (int i = 0; i < 5; ++i) {
            c.parityIndex = kParityValues[i] == value ? i : c.parityIndex;
        }
    }
    const int stop = selection(dialog, IDC_STOP_BITS_LIST);
    if (stop >= 0) {
        const auto value = SendDlgItemMessageW(dialog, IDC_STOP_BITS_LIST, CB_GETITEMDATA, stop, 0);
        for (int i = 0; i < 3; ++i) {
            c.stopBitsIndex = kStopBitValues[i] == value ? i : c.stopBitsIndex;
        }
    }
    c.logToFile = IsDlgButtonChecked(dialog, IDC_LOG_TO_FILE) == BST_CHECKED;
    applyTransmissionSettings(programCore(), c);
}

bool transmissionButton(HWND dialog, int id) {
    if (id != IDOK) {
        return false;
    }
    okTransmission(dialog);
    EndDialog(dialog, 1);
    return true;
}

INT_PTR CALLBACK transmissionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return settingsDialogMessage(dialog, message, wParam, lParam, initTransmission,
                                 transmissionButton);
}

// ---- Light settings ----

LightFields readLightFields(HWND dialog) {
    LightFields f;
    for (int i = 0; i < 12; ++i) {
        f.fields[i] = toUtf8(itemText(dialog, IDC_LIGHT_FIRST + i));
    }
    f.autoBacklight = IsDlgButtonChecked(dialog, IDC_AUTO_BACKLIGHT) == BST_CHECKED;
    return f;
}

void initLight(HWND dialog) {
    Core& core = programCore();
    const LightLevels& l = core.light;
    const int32_t values[12] = {l.display1LowLightLevel,  l.display1LowLevelBrightness,
                                l.display1HighLightLevel, l.display1HighLevelBrightness,
                                l.display2LowLightLevel,  l.display2LowLevelBrightness,
                                l.display2HighLightLevel, l.display2HighLevelBrightness,
                                l.lowLightLevel,          l.lowLevelBrightness,
                                l.highLightLevel,         l.highLevelBrightness};
    for (int i = 0; i < 12; ++i) {
        SetDlgItemTextW(dialog, IDC_LIGHT_FIRST + i,
                        std::to_wstring(static_cast<uint32_t>(values[i])).c_str());
    }
    CheckDlgButton(dialog, IDC_AUTO_BACKLIGHT,
                   core.record->autoBacklight ? BST_CHECKED : BST_UNCHECKED);
}

bool lightButton(HWND dialog, int id) {
    if (id == IDOK) {
        applyLightSettings(programCore(), readLightFields(dialog));
    } else if (id == IDC_LIGHT_SEND) {
        sendLightSettings(programCore(), readLightFields(dialog));
    } else {
        return false;
    }
    EndDialog(dialog, 1);
    return true;
}

INT_PTR CALLBACK lightProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return settingsDialogMessage(dialog, message, wParam, lParam, initLight, lightButton);
}

// ---- Program settings ----

struct ProgramSettingsState {
    COLORREF working[kPriceRows] = {};
    HBRUSH brushes[kPriceRows] = {};
};
ProgramSettingsState programState;
// The colour chooser's custom colours, white at start, kept for the run.
COLORREF customColours[16] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                              0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                              0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};

void deleteSwatchBrushes() {
    for (HBRUSH& b : programState.brushes) {
        if (b != nullptr) {
            DeleteObject(b);
            b = nullptr;
        }
    }
}

void makeSwatchBrushes() {
    deleteSwatchBrushes();
    for (int i = 0; i < kPriceRows; ++i) {
        programState.brushes[i] = CreateSolidBrush(programState.working[i]);
    }
}

int swatchRow(int id) {
    for (int i = 0; i < kPriceRows; ++i) {
        if (id == IDC_SWATCH1 + 2 * i) {
            return i;
        }
    }
    return -1;
}

void initProgramSettings(HWND dialog) {
    Core& core = programCore();
    {
        SpinGuard guard(core.locks.settingsLock);
        for (int i = 0; i < kPriceRows; ++i) {
            SetDlgItemTextW(dialog, IDC_DESCRIPTION1 + 2 * i,
                            fromCp1250(core.labels.priceLabelText[i]).c_str());
            programState.working[i] = core.labels.priceLabelColour[i];
        }
    }
    CheckDlgButton(dialog, IDC_HIDE_ON_MINIMISE,
                   core.record->hideOnMinimise ? BST_CHECKED : BST_UNCHECKED);
    makeSwatchBrushes();
}

void chooseColour(HWND dialog, int row) {
    CHOOSECOLORW cc = {};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = dialog;
    cc.rgbResult = 0xFFFFFF;  // the chooser opens on white, whatever the row's colour
    cc.lpCustColors = customColours;
    cc.Flags = CC_RGBINIT | CC_SHOWHELP;
    if (ChooseColorW(&cc)) {
        programState.working[row] = cc.rgbResult;
    }
    makeSwatchBrushes();
    InvalidateRect(dialog, nullptr, FALSE);
}

void okProgramSettings(HWND dialog) {
    Core& core = programCore();
    std::string texts[kPriceRows];
    uint32_t colours[kPriceRows];
    for (int i = 0; i < kPriceRows; ++i) {
        texts[i] = toCp1250(itemText(dialog, IDC_DESCRIPTION1 + 2 * i).substr(0, 15));
        colours[i] = programState.working[i];
    }
    applyProgramSettings(core, texts, colours,
                         IsDlgButtonChecked(dialog, IDC_HIDE_ON_MINIMISE) == BST_CHECKED);
    applyLabels(core);
    if (shell().panelWindow != nullptr) {
        InvalidateRect(shell().panelWindow, nullptr, TRUE);
    }
}

bool programSettingsButton(HWND dialog, int id) {
    if (swatchRow(id) >= 0) {
        chooseColour(dialog, swatchRow(id));
        return true;
    }
    if (id != IDOK) {
        return false;
    }
    okProgramSettings(dialog);
    EndDialog(dialog, 1);
    return true;
}

INT_PTR CALLBACK programSettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CTLCOLORBTN: {
            const int row = swatchRow(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            return row >= 0 ? reinterpret_cast<INT_PTR>(programState.brushes[row]) : 0;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const int row = swatchRow(static_cast<int>(item->CtlID));
            if (row < 0 || programState.brushes[row] == nullptr) {
                return FALSE;
            }
            FillRect(item->hDC, &item->rcItem, programState.brushes[row]);
            FrameRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            return TRUE;
        }
        case WM_DESTROY:
            deleteSwatchBrushes();  // "Anuluj" and "Ok" alike
            break;
        default:
            break;
    }
    return settingsDialogMessage(dialog, message, wParam, lParam, initProgramSettings,
                                 programSettingsButton);
}

}  // namespace

void showTransmissionDialog(HWND owner) {
    Core& core = programCore();
    DialogBoxParamW(shell().appInstance, MAKEINTRESOURCEW(IDD_TRANSMISSION), owner,
                    transmissionProc, reinterpret_cast<LPARAM>(core.record.get()));
    reapplyPortSettings(core);
}

void showLightDialog(HWND owner) {
    DialogBoxParamW(shell().appInstance, MAKEINTRESOURCEW(IDD_LIGHT), owner, lightProc,
                    reinterpret_cast<LPARAM>(programCore().record.get()));
}

void showProgramSettingsDialog(HWND owner) {
    DialogBoxParamW(shell().appInstance, MAKEINTRESOURCEW(IDD_PROGRAM_SETTINGS), owner,
                    programSettingsProc, reinterpret_cast<LPARAM>(programCore().record.get()));
}

}  // namespace vorda::win
