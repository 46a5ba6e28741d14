#include "win32/settings_dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <string>

#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

std::wstring itemText(HWND dialog, int id) {
    wchar_t buffer[512];
    const UINT n = GetDlgItemTextW(dialog, id, buffer, 512);
    return std::wstring(buffer, n);
}

std::wstring loadString(HINSTANCE instance, UINT id) {
    const wchar_t* p = nullptr;
    const int n = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 ? std::wstring(p, static_cast<size_t>(n)) : std::wstring();
}

int selection(HWND dialog, int id) {
    const LRESULT s = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    return s == CB_ERR ? -1 : static_cast<int>(s);
}

// Fills a list from the string table, each entry with its value; the entry equal to
// `current` is selected.
template <typename T>
void fillList(HINSTANCE instance, HWND dialog, int id, UINT firstString, const T* values, int count,
              uint32_t current) {
    for (int i = 0; i < count; ++i) {
        const LRESULT at = SendDlgItemMessageW(
            dialog, id, CB_ADDSTRING, 0,
            reinterpret_cast<LPARAM>(loadString(instance, firstString + i).c_str()));
        SendDlgItemMessageW(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(at), values[i]);
        if (values[i] == current) {
            SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        }
    }
}

// The position in `values` of the value the selected entry of a list carries; -1 when
// nothing is selected.
template <typename T>
int selectedValueIndex(HWND dialog, int id, const T* values, int count) {
    const int at = selection(dialog, id);
    if (at < 0) {
        return -1;
    }
    const auto value =
        static_cast<uint32_t>(SendDlgItemMessageW(dialog, id, CB_GETITEMDATA, at, 0));
    int index = -1;
    for (int i = 0; i < count; ++i) {
        index = values[i] == value ? i : index;
    }
    return index;
}

}  // namespace

// ---- Transmission settings ----

void TransmissionDialog::show(HINSTANCE instance, HWND owner) {
    instance_ = instance;
    showModal(instance, IDD_TRANSMISSION, owner);
    controller_.reapplyPortSettings();
}

void TransmissionDialog::onInitDialog() {
    const Settings s = controller_.settings();
    portListIndex_ = 0;
    // The saved port is always listed and selected, "COM7 (brak)" when it is not present,
    // so that "Ok" never changes the port by itself.
    std::vector<int> ports = controller_.presentPorts();
    const bool savedPresent = std::count(ports.begin(), ports.end(), s.portNumber) > 0;
    if (!savedPresent && s.portNumber >= 1) {
        ports.insert(std::lower_bound(ports.begin(), ports.end(), s.portNumber), s.portNumber);
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        std::wstring name = fromUtf8(messageText(Text::Com)) + std::to_wstring(ports[i]);
        if (ports[i] == s.portNumber) {
            portListIndex_ = static_cast<uint16_t>(i);
            name += savedPresent ? L"" : L" (brak)";
        }
        SendDlgItemMessageW(dialog_, IDC_PORT_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(name.c_str()));
    }
    if (ports.empty()) {
        SendDlgItemMessageW(dialog_, IDC_PORT_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(L"No Comm"));
    }
    SendDlgItemMessageW(dialog_, IDC_PORT_LIST, CB_SETCURSEL, portListIndex_, 0);
    EnableWindow(GetDlgItem(dialog_, IDC_PORT_LIST), controller_.link().connected() ? FALSE : TRUE);

    fillList(instance_, dialog_, IDC_SPEED_LIST, IDS_BAUD_FIRST, kOfferedBaudRates, 13,
             s.serial.baudRate);
    for (int bits = 5; bits <= 8; ++bits) {
        SendDlgItemMessageW(dialog_, IDC_DATA_BITS_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(std::to_wstring(bits).c_str()));
    }
    if (s.serial.dataBits >= 5 && s.serial.dataBits <= 8) {
        SendDlgItemMessageW(dialog_, IDC_DATA_BITS_LIST, CB_SETCURSEL, s.serial.dataBits - 5, 0);
    }
    fillList(instance_, dialog_, IDC_PARITY_LIST, IDS_PARITY_FIRST, kParityValues, 5,
             s.serial.parity);
    fillList(instance_, dialog_, IDC_STOP_BITS_LIST, IDS_STOPBITS_FIRST, kStopBitValues, 3,
             s.serial.stopBits);
    CheckDlgButton(dialog_, IDC_LOG_TO_FILE, s.logToFile ? BST_CHECKED : BST_UNCHECKED);
}

INT_PTR TransmissionDialog::onCommand(int id) {
    if (id == IDOK) {
        onOk();
    } else if (id != IDCANCEL) {
        return FALSE;
    }
    EndDialog(dialog_, 1);
    return TRUE;
}

void TransmissionDialog::onOk() {
    TransmissionChoice c;
    c.portIndex = selection(dialog_, IDC_PORT_LIST);
    if (c.portIndex >= 0) {
        wchar_t text[64] = L"";
        SendDlgItemMessageW(dialog_, IDC_PORT_LIST, CB_GETLBTEXT, static_cast<WPARAM>(c.portIndex),
                            reinterpret_cast<LPARAM>(text));
        c.portText = toUtf8(text);
    }
    // Each list's selected entry carries its value; nothing selected keeps the setting.
    c.baudIndex = selectedValueIndex(dialog_, IDC_SPEED_LIST, kOfferedBaudRates, 13);
    c.dataBitsIndex = selection(dialog_, IDC_DATA_BITS_LIST);
    c.parityIndex = selectedValueIndex(dialog_, IDC_PARITY_LIST, kParityValues, 5);
    c.stopBitsIndex = selectedValueIndex(dialog_, IDC_STOP_BITS_LIST, kStopBitValues, 3);
    c.logToFile = IsDlgButtonChecked(dialog_, IDC_LOG_TO_FILE) == BST_CHECKED;
    controller_.applyTransmissionSettings(c);
}

// ---- Light settings ----

void LightDialog::show(HINSTANCE instance, HWND owner) {
    showModal(instance, IDD_LIGHT, owner);
}

void LightDialog::onInitDialog() {
    const Settings s = controller_.settings();
    const LightLevels& l = s.light;
    const int32_t values[12] = {l.display1LowLightLevel,  l.display1LowLevelBrightness,
                                l.display1HighLightLevel, l.display1HighLevelBrightness,
                                l.display2LowLightLevel,  l.display2LowLevelBrightness,
                                l.display2HighLightLevel, l.display2HighLevelBrightness,
                                l.lowLightLevel,          l.lowLevelBrightness,
                                l.highLightLevel,         l.highLevelBrightness};
    for (int i = 0; i < 12; ++i) {
        SetDlgItemTextW(dialog_, IDC_LIGHT_FIRST + i,
                        std::to_wstring(static_cast<uint32_t>(values[i])).c_str());
    }
    CheckDlgButton(dialog_, IDC_AUTO_BACKLIGHT, s.autoBacklight ? BST_CHECKED : BST_UNCHECKED);
}

LightFields LightDialog::readFields() const {
    LightFields f;
    for (int i = 0; i < 12; ++i) {
        f.fields[i] = toUtf8(itemText(dialog_, IDC_LIGHT_FIRST + i));
    }
    f.autoBacklight = IsDlgButtonChecked(dialog_, IDC_AUTO_BACKLIGHT) == BST_CHECKED;
    return f;
}

INT_PTR LightDialog::onCommand(int id) {
    if (id == IDOK) {
        controller_.applyLightSettings(readFields());
    } else if (id == IDC_LIGHT_SEND) {
        controller_.sendLightSettings(readFields());
    } else if (id != IDCANCEL) {
        return FALSE;
    }
    EndDialog(dialog_, 1);
    return TRUE;
}

// ---- Program settings ----

namespace {

int swatchRow(int id) {
    for (int i = 0; i < kSettingsRows; ++i) {
        if (id == IDC_SWATCH1 + 2 * i) {
            return i;
        }
    }
    return -1;
}

}  // namespace

void ProgramSettingsDialog::show(HINSTANCE instance, HWND owner) {
    showModal(instance, IDD_PROGRAM_SETTINGS, owner);
}

INT_PTR ProgramSettingsDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog();
            return TRUE;
        case WM_COMMAND:
            return onCommand(LOWORD(wParam));
        case WM_CTLCOLORBTN:
            return onColourButton(reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            return onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        case WM_DESTROY:
            deleteSwatchBrushes();  // "Anuluj" and "Ok" alike
            return FALSE;
        default:
            return FALSE;
    }
}

void ProgramSettingsDialog::onInitDialog() {
    const Settings s = controller_.settings();
    for (int i = 0; i < kSettingsRows; ++i) {
        SetDlgItemTextW(dialog_, IDC_DESCRIPTION1 + 2 * i, fromCp1250(s.labelText[i]).c_str());
        working_[i] = s.labelColour[i];
    }
    CheckDlgButton(dialog_, IDC_HIDE_ON_MINIMISE, s.hideOnMinimise ? BST_CHECKED : BST_UNCHECKED);
    makeSwatchBrushes();
}

INT_PTR ProgramSettingsDialog::onCommand(int id) {
    if (swatchRow(id) >= 0) {
        chooseColour(swatchRow(id));
        return TRUE;
    }
    if (id == IDOK) {
        onOk();
    } else if (id != IDCANCEL) {
        return FALSE;
    }
    EndDialog(dialog_, 1);
    return TRUE;
}

INT_PTR ProgramSettingsDialog::onColourButton(HWND button) {
    const int row = swatchRow(GetDlgCtrlID(button));
    return row >= 0 ? reinterpret_cast<INT_PTR>(brushes_[row]) : 0;
}

BOOL ProgramSettingsDialog::onDrawItem(const DRAWITEMSTRUCT& item) {
    const int row = swatchRow(static_cast<int>(item.CtlID));
    if (row < 0 || brushes_[row] == nullptr) {
        return FALSE;
    }
    FillRect(item.hDC, &item.rcItem, brushes_[row]);
    FrameRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    return TRUE;
}

void ProgramSettingsDialog::deleteSwatchBrushes() {
    for (HBRUSH& b : brushes_) {
        if (b != nullptr) {
            DeleteObject(b);
            b = nullptr;
        }
    }
}

void ProgramSettingsDialog::makeSwatchBrushes() {
    deleteSwatchBrushes();
    for (int i = 0; i < kSettingsRows; ++i) {
        brushes_[i] = CreateSolidBrush(working_[i]);
    }
}

void ProgramSettingsDialog::chooseColour(int row) {
    CHOOSECOLORW cc = {};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = dialog_;
    cc.rgbResult = 0xFFFFFF;  // the chooser opens on white, whatever the row's colour
    cc.lpCustColors = customColours_;
    cc.Flags = CC_RGBINIT | CC_SHOWHELP;
    if (ChooseColorW(&cc)) {
        working_[row] = cc.rgbResult;
    }
    makeSwatchBrushes();
    InvalidateRect(dialog_, nullptr, FALSE);
}

void ProgramSettingsDialog::onOk() {
    std::string texts[kSettingsRows];
    uint32_t colours[kSettingsRows];
    for (int i = 0; i < kSettingsRows; ++i) {
        texts[i] = toCp1250(itemText(dialog_, IDC_DESCRIPTION1 + 2 * i).substr(0, 15));
        colours[i] = working_[i];
    }
    controller_.applyProgramSettings(
        texts, colours, IsDlgButtonChecked(dialog_, IDC_HIDE_ON_MINIMISE) == BST_CHECKED);
    if (panel_ != nullptr) {
        panel_->refreshLabels();
    }
}

}  // namespace vorda::win
