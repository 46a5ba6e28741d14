// Everything the settings file holds: the serial line, the twelve light settings and the
// two scroll periods, the switches, and the price rows' descriptions and colours. A plain
// value; its owner decides who may change it when.
#pragma once

#include <cstdint>

namespace vorda {

constexpr int kSettingsRows = 5;
constexpr int kLabelSize = 32;  // a description: 31 characters (code page 1250) and a NUL

struct SerialSettings {
    uint32_t baudRate = 19200;
    uint8_t dataBits = 8;
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// The light settings, in the order of the file. The price group (the last four) is sent
// to the tower and read back; the display groups are only stored.
struct LightLevels {
    int32_t display1LowLightLevel = 255;
    int32_t display1LowLevelBrightness = 255;
    int32_t display1HighLightLevel = 255;
    int32_t display1HighLevelBrightness = 255;
    int32_t scrollPeriod1 = 20;
    int32_t display2LowLightLevel = 255;
    int32_t display2LowLevelBrightness = 255;
    int32_t display2HighLightLevel = 255;
    int32_t display2HighLevelBrightness = 255;
    int32_t scrollPeriod2 = 20;
    int32_t lowLightLevel = 255;
    int32_t lowLevelBrightness = 255;
    int32_t highLightLevel = 255;
    int32_t highLevelBrightness = 255;
};

struct Settings {
    uint8_t portNumber = 1;
    SerialSettings serial;
    bool logToFile = false;
    LightLevels light;
    bool autoBacklight = false;
    bool hideOnMinimise = false;
    char labelText[kSettingsRows][kLabelSize] = {"AAA", "BBB", "CCC", "DDD", "EEE"};
    uint32_t labelColour[kSettingsRows] = {0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFFFF, 0xFF0000};
};

}  // namespace vorda
