// The settings dialogs: "Ustawienia transmisji" (101), "Ustawienia mocy świecenia" (102)
// and "Ustawienia programu" (104), each opened modally by its menu command.
#pragma once

#include <windows.h>

namespace vorda::win {

// "Transmisja": the dialog, then the port settings re-applied to an open port.
void showTransmissionDialog(HWND owner);
void showLightDialog(HWND owner);
void showProgramSettingsDialog(HWND owner);

}  // namespace vorda::win
