#include "protocol/slots.h"

#include <cstring>

namespace vorda {

namespace {

bool isPriceSlot(int slot) {
    return slot >= kSlotPrice1 && slot <= kSlotPrice5;
}
bool isLightSettingSlot(int slot) {
    return slot >= kSlotLowLightLevel && slot <= kSlotHighLevelBrightness;
}

}  // namespace

bool dataAnswerExpectedFor(int slot, const char* text) {
    if (isPriceSlot(slot)) {
        return text[0] != '\0' && text[1] == '0';
    }
    if (slot >= 8 && slot <= kSlotCount) {
        return std::strlen(text) == 3;
    }
    return false;
}

uint32_t answerTimeoutMs(uint32_t baudRate, int slot, bool dataAnswerExpected) {
    const uint32_t base = (9600u / (baudRate == 0 ? 9600u : baudRate)) * 100u;
    uint32_t extra = 200;
    if (isPriceSlot(slot)) {
        extra = dataAnswerExpected ? 300 : 200;
    } else if (slot == kSlotEnd) {
        extra = 400;
    } else if (slot == kSlotVersion) {
        extra = 300;
    }
    return base + extra;
}

AnswerKind answerKindOf(int slot, bool dataExpected, int* limit) {
    *limit = 35;
    if (isPriceSlot(slot)) {
        return dataExpected ? AnswerKind::Data : AnswerKind::Ack;
    }
    if (isLightSettingSlot(slot)) {
        *limit = 8;
        return dataExpected ? AnswerKind::Data : AnswerKind::Ack;
    }
    switch (slot) {
        case kSlotLight:
            *limit = 8;
            return AnswerKind::Data;
        case kSlotAutoBacklight:
            return dataExpected ? AnswerKind::Data : AnswerKind::Ack;
        case kSlotBacklightOn:
        case kSlotBacklightOff:
        case kSlotEnd:
            return AnswerKind::Ack;
        case kSlotBacklightState:
        case kSlotVersion:
            return AnswerKind::Data;
        default:
            return AnswerKind::None;
    }
}

int answerSlotToCheck(int slot, uint8_t letter, int length) {
    if (isPriceSlot(slot)) {
        if (letter == 'C' && length == 35) {
            return kSlotReadPrices;
        }
        return letter == 'M' && length == 10 ? kSlotReadBlinks : -1;
    }
    if (isLightSettingSlot(slot)) {
        const bool fits =
            (letter == 'l' || letter == 'o' || letter == 'L' || letter == 'O') && length >= 6;
        return fits ? slot : -1;
    }
    bool fits = false;
    switch (slot) {
        case kSlotLight:
            fits = letter == 'S' && length >= 6;
            break;
        case kSlotAutoBacklight:
            fits = letter == 'A' && length == 6;
            break;
        case kSlotBacklightState:
            fits = letter == 'Z' && length == 6;
            break;
        case kSlotVersion:
            fits = letter == 'V' && length >= 6;
            break;
        default:
            break;
    }
    return fits ? 0 : -1;
}

}  // namespace vorda
