#include "record/panel_calls.h"

namespace vorda {

void panelSetStatus(Core& core, Text status) {
    if (core.panel.setStatus)
        core.panel.setStatus(core.panel.context, status);
}
void panelSetLightLevel(Core& core, const std::string& text) {
    if (core.panel.setLightLevel)
        core.panel.setLightLevel(core.panel.context, text);
}
void panelSetPriceText(Core& core, int row, const std::string& cp1250) {
    if (core.panel.setPriceText)
        core.panel.setPriceText(core.panel.context, row, cp1250);
}
void panelSetBlinkBox(Core& core, int row, bool checked) {
    if (core.panel.setBlinkBox)
        core.panel.setBlinkBox(core.panel.context, row, checked);
}
void panelSetStartStop(Core& core, bool running) {
    if (core.panel.setStartStop)
        core.panel.setStartStop(core.panel.context, running);
}
void panelSetMenuStates(Core& core, bool connect, bool disconnect, bool test) {
    if (core.panel.setMenuStates) {
        core.panel.setMenuStates(core.panel.context, connect, disconnect, test);
    }
}
void panelShowMessage(Core& core, const std::string& utf8, Text caption) {
    if (core.panel.showMessage)
        core.panel.showMessage(core.panel.context, utf8, caption);
}
void panelInvalidate(Core& core, PanelRect rect, bool erase) {
    if (core.panel.invalidate)
        core.panel.invalidate(core.panel.context, rect, erase);
}
void panelSetTimer(Core& core, int id, uint32_t periodMs) {
    if (core.panel.setTimer)
        core.panel.setTimer(core.panel.context, id, periodMs);
}
void panelKillTimer(Core& core, int id) {
    if (core.panel.killTimer)
        core.panel.killTimer(core.panel.context, id);
}
void panelShowWaitCursor(Core& core) {
    if (core.panel.showWaitCursor)
        core.panel.showWaitCursor(core.panel.context);
}
std::string panelPriceBoxText(Core& core, int row) {
    return core.panel.priceBoxText ? core.panel.priceBoxText(core.panel.context, row) : "";
}
bool panelBlinkBoxChecked(Core& core, int row) {
    return core.panel.blinkBoxChecked && core.panel.blinkBoxChecked(core.panel.context, row);
}
std::string panelControlFilePath(Core& core) {
    return core.panel.controlFilePath ? core.panel.controlFilePath(core.panel.context) : "";
}
std::string panelTemperatureText(Core& core) {
    return core.panel.temperatureText ? core.panel.temperatureText(core.panel.context) : "";
}

}  // namespace vorda
