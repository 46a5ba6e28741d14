#include "record/dialog_actions.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "link/link_ops.h"
#include "link/port.h"
#include "record/panel_calls.h"
#include "storage/settings_file.h"

namespace vorda {

const uint32_t kOfferedBaudRates[13] = {110,   300,   600,   1200,  2400,   4800,  9600,
                                        14400, 19200, 38400, 56000, 128000, 256000};
const uint8_t kParityValues[5] = {0, 2, 1, 3, 4};
const uint8_t kStopBitValues[3] = {0, 1, 2};

namespace {

constexpr int kLabelMax = 15;
constexpr uint32_t kProbeHoldMs = 300;

int clampLight(uint32_t value, int previous) {
    return value <= 255 ? static_cast<int>(value) : previous;
}

}  // namespace

std::vector<int> presentPorts(Core& core) {
    std::vector<int> ports;
    if (core.serial.open == nullptr) {
        return ports;
    }
    const std::string com = messageText(Text::Com);
    for (int n = 1; n <= 255; ++n) {
        OpenError error = OpenError::None;
        uint32_t systemError = 0;
        SerialPort* port = core.serial.open(core.serial.context, com, n, &error, &systemError);
        if (port != nullptr) {
            // A name that opens something other than a serial port is not a port.
            const bool serial =
                core.serial.isSerialPort == nullptr || core.serial.isSerialPort(port);
            if (serial) {
                ports.push_back(n);
                std::this_thread::sleep_for(std::chrono::milliseconds(kProbeHoldMs));
            }
            core.serial.close(port);
        } else if (error == OpenError::AccessDenied) {
            ports.push_back(n);
        }
    }
    return ports;
}

void applyTransmissionSettings(Core& core, const TransmissionChoice& c) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    if (c.portIndex >= 0) {
        const char* digits = c.portText.size() > 3 ? c.portText.c_str() + 3 : "";
        r->portNumber = static_cast<uint8_t>(std::atoi(digits));
        r->portListIndex = static_cast<uint16_t>(c.portIndex);
    }
    // A value the lists do not offer (one from an edited settings file) leaves its list
    // without a selection and keeps its value.
    if (c.baudIndex >= 0 && c.baudIndex < 13) {
        r->baudRate = kOfferedBaudRates[c.baudIndex];
    }
    if (c.dataBitsIndex >= 0 && c.dataBitsIndex < 4) {
        r->dataBits = static_cast<uint8_t>(c.dataBitsIndex + 5);
    }
    if (c.parityIndex >= 0 && c.parityIndex < 5) {
        r->parity = kParityValues[c.parityIndex];
    }
    if (c.stopBitsIndex >= 0 && c.stopBitsIndex < 3) {
        r->stopBits = kStopBitValues[c.stopBitsIndex];
    }
    r->logToFile = c.logToFile ? 1 : 0;
    core.loggingSwitch = r->logToFile.load();
    saveSettingsLocked(core);
}

bool reapplyPortSettings(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr || !r->connected) {
        return true;
    }
    if (configurePort(core)) {
        return true;
    }
    panelShowMessage(core, "Settings failed!", Text::Title);
    return false;
}

uint32_t lightFieldValue(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), 0xFFFFFFFFu);
    }
    return static_cast<uint32_t>(value);
}

void applyLightSettings(Core& core, const LightFields& input) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    LightLevels& l = core.light;
    std::atomic<int32_t>* settings[12] = {&l.display1LowLightLevel,  &l.display1LowLevelBrightness,
                                          &l.display1HighLightLevel, &l.display1HighLevelBrightness,
                                          &l.display2LowLightLevel,  &l.display2LowLevelBrightness,
                                          &l.display2HighLightLevel, &l.display2HighLevelBrightness,
                                          &l.lowLightLevel,          &l.lowLevelBrightness,
                                          &l.highLightLevel,         &l.highLevelBrightness};
    for (int i = 0; i < 12; ++i) {
        *settings[i] = clampLight(lightFieldValue(input.fields[i]), *settings[i]);
    }
    r->autoBacklight = input.autoBacklight ? 1 : 0;
    saveSettingsLocked(core);
}

void sendLightSettings(Core& core, const LightFields& input) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    if (!holdLinkForQueueing(core)) {
        return;
    }
    bool queued = false;
    {
        HeldLock group(core.locks.mailboxLock);
        if (r->connected) {
            queued = true;
            LightLevels& l = core.light;
            struct Item {
                std::atomic<int32_t>* setting;
                char letter;
                int slot;
            };
            const Item items[4] = {{&l.lowLightLevel, 'l', kSlotLowLightLevel},
                                   {&l.lowLevelBrightness, 'o', kSlotLowLevelBrightness},
                                   {&l.highLightLevel, 'L', kSlotHighLightLevel},
                                   {&l.highLevelBrightness, 'O', kSlotHighLevelBrightness}};
            {
                for (int i = 0; i < 4; ++i) {
                    *items[i].setting =
                        clampLight(lightFieldValue(input.fields[8 + i]), *items[i].setting);
                    char text[16];
                    std::snprintf(text, sizeof text, "20%c%d", items[i].letter,
                                  static_cast<int>(*items[i].setting));
                    writeSlot(core, items[i].slot, text);
                }
                r->autoBacklight = input.autoBacklight ? 1 : 0;
                writeSlot(core, kSlotAutoBacklight, input.autoBacklight ? "20A1" : "20A0");
                writeSlot(core, kSlotEnd, "20E");
                core.mailbox.lastServedSlot = 8;
            }
        }
    }
    if (queued) {
        saveSettingsLocked(core);
    } else {
        panelShowMessage(core, messageText(Text::LeaveTestMode), Text::Error);
    }
}

void applyProgramSettings(Core& core, const std::string texts[kPriceRows],
                          const uint32_t colours[kPriceRows], bool hideOnMinimise) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    {
        SpinGuard guard(core.locks.settingsLock);
        for (int i = 0; i < kPriceRows; ++i) {
            const std::string text = texts[i].substr(0, kLabelMax);
            std::memcpy(core.labels.priceLabelText[i], text.c_str(), text.size() + 1);
            core.labels.priceLabelColour[i] = colours[i];
        }
        r->hideOnMinimise = hideOnMinimise ? 1 : 0;
        saveSettings(core);
    }
}

}  // namespace vorda
