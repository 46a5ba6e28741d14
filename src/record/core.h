// Everything the program keeps for the run besides the application record: the
// process-wide values, the locks and the seams, in one place that the core's free
// functions take as their first argument.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/serial_port.h"
#include "protocol/mailbox.h"
#include "record/app_record.h"
#include "record/clock.h"
#include "record/locks.h"
#include "record/panel.h"
#include "script/runner.h"

namespace vorda {

// The twelve light-level settings and the two scroll periods. The price group (the
// last four) is sent to the tower and read back; the display groups are only stored.
struct LightLevels {
    std::atomic<int32_t> display1LowLightLevel{255};
    std::atomic<int32_t> display1LowLevelBrightness{255};
    std::atomic<int32_t> display1HighLightLevel{255};
    std::atomic<int32_t> display1HighLevelBrightness{255};
    std::atomic<int32_t> scrollPeriod1{20};
    std::atomic<int32_t> display2LowLightLevel{255};
    std::atomic<int32_t> display2LowLevelBrightness{255};
    std::atomic<int32_t> display2HighLightLevel{255};
    std::atomic<int32_t> display2HighLevelBrightness{255};
    std::atomic<int32_t> scrollPeriod2{20};
    std::atomic<int32_t> lowLightLevel{255};
    std::atomic<int32_t> lowLevelBrightness{255};
    std::atomic<int32_t> highLightLevel{255};
    std::atomic<int32_t> highLevelBrightness{255};
};

constexpr int kPriceRows = 5;
constexpr int kLabelSize = 32;  // 31 characters and a terminator

// The descriptions of the price rows (code page 1250) and their colours (0x00BBGGRR).
// The texts are changed and read under settingsLock.
struct PriceLabels {
    char priceLabelText[kPriceRows][kLabelSize] = {"AAA", "BBB", "CCC", "DDD", "EEE"};
    std::atomic<uint32_t> priceLabelColour[kPriceRows] = {0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFFFF,
                                                          0xFF0000};
};

// The error state of the link, reported by the transmission log.
struct LinkErrors {
    std::atomic<uint32_t> readErrorCode{0};
    std::atomic<uint32_t> writeErrorCode{0};
    std::atomic<uint32_t> errorRdCount{0};
    std::atomic<uint32_t> readStatusCount{0};
    std::atomic<uint32_t> errorWrCount{0};
    std::atomic<uint32_t> writeStatusCount{0};
    std::atomic<uint32_t> answerErrors{0};
};

// What the transmission log remembers between entries.
struct TransmissionLogMemory {
    std::mutex entryMutex;  // one entry at a time
    uint32_t answerErrors = 0;
    uint32_t errorWrCount = 0;
    uint32_t errorRdCount = 0;
    uint32_t readStatusCount = 0;
    uint32_t writeStatusCount = 0;
    int minute = 0;
    uint32_t tick = 0;
};

// What the price board shows: a segment code per digit (bytes 0 to 2 of each row) and
// a blink flag per row.
struct PriceBoard {
    std::atomic<uint8_t> priceSegments[kPriceRows][4] = {};
    std::atomic<uint8_t> priceBlink[kPriceRows] = {};
    std::atomic<uint8_t> blinkPhase{0};
    std::atomic<int32_t> backlightShown{0};
};

struct Core {
    std::unique_ptr<AppRecord> record;  // null when missing: every operation then does nothing
    Locks locks;
    Clock clock = systemClock();
    std::string startDirectory;  // UTF-8; the settings file and the logs live here

    LightLevels light;
    PriceLabels labels;
    LinkErrors errors;
    std::atomic<int32_t> loggingSwitch{0};  // copy of logToFile read by the serial port
    TransmissionLogMemory transmissionLog;
    std::mutex lightLogMutex;

    std::string versionText;
    std::mutex versionMutex;
    std::string priceControllerVersion;  // "ver." and what the tower reported

    Panel panel;
    SerialDriver serial;  // the platform's driver, set by whoever creates the core
    Mailbox mailbox;
    PriceBoard board;
    ScriptRunner script;
};

}  // namespace vorda
