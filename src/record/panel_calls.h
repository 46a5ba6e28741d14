// Calls through the panel seam; an entry the panel leaves empty does nothing.
#pragma once

#include <string>

#include "record/core.h"

namespace vorda {

void panelSetStatus(Core& core, Text status);
void panelSetLightLevel(Core& core, const std::string& text);
void panelSetPriceText(Core& core, int row, const std::string& cp1250);
void panelSetBlinkBox(Core& core, int row, bool checked);
void panelSetStartStop(Core& core, bool running);
void panelSetMenuStates(Core& core, bool connect, bool disconnect, bool test);
void panelShowMessage(Core& core, const std::string& utf8, Text caption);
void panelInvalidate(Core& core, PanelRect rect, bool erase);
void panelSetTimer(Core& core, int id, uint32_t periodMs);
void panelKillTimer(Core& core, int id);
void panelShowWaitCursor(Core& core);
std::string panelPriceBoxText(Core& core, int row);
bool panelBlinkBoxChecked(Core& core, int row);
std::string panelControlFilePath(Core& core);
std::string panelTemperatureText(Core& core);

}  // namespace vorda
