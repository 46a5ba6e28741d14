// The command mailbox's slots by name, what answer each command waits for, and how long.
#pragma once

#include <cstdint>

namespace vorda {

constexpr int kSlotCount = 40;
constexpr int kSlotTextMax = 30;  // characters of command text a slot holds
constexpr int kSendBufferSize = 128;

// Slot numbers of the writers.
enum Slot : int {
    kSlotPrice1 = 3,  // prices 1 to 5 in slots 3 to 7; "20C" in 3, "20M" in 4
    kSlotReadPrices = 3,
    kSlotReadBlinks = 4,
    kSlotPrice5 = 7,
    kSlotLight = 29,  // "20S"
    kSlotLowLightLevel = 30,
    kSlotLowLevelBrightness = 31,
    kSlotHighLightLevel = 32,
    kSlotHighLevelBrightness = 33,
    kSlotAutoBacklight = 35,
    kSlotBacklightOn = 36,
    kSlotBacklightOff = 37,
    kSlotBacklightState = 38,
    kSlotEnd = 39,  // "20E"
    kSlotVersion = 40,
    // The rotation position the light dialog presets: its group goes next, from slot 30.
    kLightGroupPreset = 8,
};

// Whether the command in slot n with this text expects a lettered data answer.
bool dataAnswerExpectedFor(int slot, const char* text);

// Answer time-out in ms: (9600 / baudRate) * 100 plus the slot's extra time. A rate of 0
// counts as 9600.
uint32_t answerTimeoutMs(uint32_t baudRate, int slot, bool dataAnswerExpected);

enum class AnswerKind { None, Ack, Data };

// What the command in flight in `slot` waits for, and the longest frame it accepts.
AnswerKind answerKindOf(int slot, bool dataAnswerExpected, int* frameLimit);

// For a data frame of `length` bytes with `letter` after STX, received while `slot` is in
// flight: the slot that must still be pending for it to count (0: none), or -1 when the
// frame is not an answer to that command.
int answerSlotToCheck(int slot, uint8_t letter, int length);

}  // namespace vorda
