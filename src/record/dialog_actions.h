// What the settings dialogs' buttons do with the record, the settings and the mailbox.
// The dialogs themselves (src/dialogs) only read and fill their controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/core.h"

namespace vorda {

// Transmission settings. The speeds the dialog offers, and the values of the parity
// and stop-bit lists in their order.
extern const uint32_t kOfferedBaudRates[13];
extern const uint8_t kParityValues[5];
extern const uint8_t kStopBitValues[3];

// Probes COM1 to COM255 as the dialog lists them: present when the port opens (and is a
// serial port) or is refused because it is in use; an opened port is held for 300 ms
// before it is closed again.
std::vector<int> presentPorts(Core& core);

struct TransmissionChoice {
    std::string portText;  // the selected entry of the port list, "COM3" or "No Comm"
    int portIndex = -1;    // -1: nothing selected
    int baudIndex = -1;    // positions in the lists; -1 keeps the record's value
    int dataBitsIndex = -1;
    int parityIndex = -1;
    int stopBitsIndex = -1;
    bool logToFile = false;
};

// "Ok": stores the choices and saves the settings file under settingsLock.
void applyTransmissionSettings(Core& core, const TransmissionChoice& choice);

// After the dialog: re-applies the port settings to an open port; false (and the message
// "Settings failed!" shown) when the driver refuses them.
bool reapplyPortSettings(Core& core);

// Light settings: the twelve fields in the order 1073 to 1084, and the check box.
struct LightFields {
    std::string fields[12];
    bool autoBacklight = false;
};

// A field's value: a plain unsigned decimal number, anything else 0.
uint32_t lightFieldValue(const std::string& text);

// OK: the values of 0 to 255 replace their settings; nothing is sent; saved.
void applyLightSettings(Core& core, const LightFields& input);

// "Wyślij": connects on demand and queues the price controller's four values, the
// automatic backlight and "20E" as one group; refused in test mode.
void sendLightSettings(Core& core, const LightFields& input);

// Program settings OK: descriptions (code page 1250, cut to 15 characters), colours and
// hiding on minimise; saved.
void applyProgramSettings(Core& core, const std::string texts[kPriceRows],
                          const uint32_t colours[kPriceRows], bool hideOnMinimise);

}  // namespace vorda
