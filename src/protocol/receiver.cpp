#include "protocol/receiver.h"

#include <chrono>
#include <string>
#include <thread>

#include "link/port.h"
#include "preview/price_preview.h"
#include "protocol/hex.h"
#include "protocol/sender.h"
#include "record/panel_calls.h"
#include "storage/logs.h"
#include "storage/settings_file.h"

namespace vorda {

namespace {

enum class Kind { None, Ack, Data };

// The answer kind and frame length limit of the slot in flight.
Kind kindOf(int slot, bool dataExpected, int* limit) {
    *limit = 35;
    if (slot >= 3 && slot <= 7) {
        return dataExpected ? Kind::Data : Kind::Ack;
    }
    if (slot >= 30 && slot <= 33) {
        *limit = 8;
        return dataExpected ? Kind::Data : Kind::Ack;
    }
    switch (slot) {
        case kSlotLight:
            *limit = 8;
            return Kind::Data;
        case kSlotAutoBacklight:
            return dataExpected ? Kind::Data : Kind::Ack;
        case kSlotBacklightOn:
        case kSlotBacklightOff:
        case kSlotEnd:
            return Kind::Ack;
        case kSlotBacklightState:
        case kSlotVersion:
            return Kind::Data;
        default:
            return Kind::None;
    }
}

// Whether a frame passes the letter, length and pending conditions of the slot.
bool frameFits(Core& core, int slot, uint8_t letter, int length) {
    if (slot >= 3 && slot <= 7) {
        return (letter == 'C' && length == 35 && slotPending(core, kSlotPrice1)) ||
               (letter == 'M' && length == 10 && slotPending(core, kSlotPrice1 + 1));
    }
    if (slot >= 30 && slot <= 33) {
        return (letter == 'l' || letter == 'o' || letter == 'L' || letter == 'O') && length >= 6 &&
               slotPending(core, slot);
    }
    switch (slot) {
        case kSlotLight:
            return letter == 'S' && length >= 6;
        case kSlotAutoBacklight:
            return letter == 'A' && length == 6;
        case kSlotBacklightState:
            return letter == 'Z' && length == 6;
        case kSlotVersion:
            return letter == 'V' && length >= 6;
        default:
            return false;
    }
}

void decodePrices(Core& core, const std::string& value) {
    const uint8_t* hex = reinterpret_cast<const uint8_t*>(value.data());
    for (int i = 0; i < kPriceRows; ++i) {
        uint8_t codes[3];
        for (int j = 0; j < 3; ++j) {
            // The value starts after the letter: the pair of price i, digit j is at frame
            // offset 2 + 6i + 2j, that is value offset 6i + 2j.
            codes[j] =
                segmentCodeOfTowerByte(static_cast<uint8_t>(hexNumber(hex + 6 * i + 2 * j, 2)));
            core.board.priceSegments[i][j] = codes[j];
        }
        panelSetPriceText(core, i, priceTextOfSegments(codes));
    }
}

void decodeBlinks(Core& core, const std::string& value) {
    for (int i = 0; i < kPriceRows; ++i) {
        const bool on = value[static_cast<size_t>(i)] == '1';
        core.board.priceBlink[i] = on ? 1 : 0;
        panelSetBlinkBox(core, i, on);
    }
}

// The slot's actions for an accepted data answer.
void accept(Core& core, int slot, uint8_t letter, const std::string& value) {
    AppRecord& r = *core.record;
    switch (letter) {
        case 'C':
            decodePrices(core, value);
            refreshPricePreview(core);
            completeSlot(core, slot);
            break;
        case 'M':
            decodeBlinks(core, value);
            refreshPricePreview(core);
            completeSlot(core, slot);
            break;
        case 'S':
            completeSlot(core, slot);
            if (r.connected) {
                panelSetLightLevel(core, value);
            }
            if (r.logToFile) {
                appendLightEntry(core, value);
            }
            break;
        case 'l':
        case 'o':
        case 'L':
        case 'O': {
            completeSlot(core, slot);
            LightLevels& l = core.light;
            std::atomic<int32_t>& field = letter == 'l'   ? l.lowLightLevel
                                          : letter == 'o' ? l.lowLevelBrightness
                                          : letter == 'L' ? l.highLightLevel
                                                          : l.highLevelBrightness;
            // A value no light setting can hold keeps the previous one, as the light
            // dialog's own reading does.
            const int level = leadingDecimal(value);
            if (level <= 255) {
                field = level;
            }
            break;
        }
        case 'A':
            r.autoBacklight = value[0] == '1' ? 1 : 0;
            completeSlot(core, slot);
            break;
        case 'Z':
            r.backlightOn = value[0] == '1' ? 1 : 0;
            if (r.backlightOn != core.board.backlightShown) {
                core.board.backlightShown = r.backlightOn.load();
                panelInvalidate(core, kBacklightColumn, false);
            }
            completeSlot(core, slot);
            break;
        case 'V': {
            std::lock_guard<std::mutex> lock(core.versionMutex);
            core.priceControllerVersion = "ver." + value;
        }
            if (r.readBackRequested) {
                saveSettingsLocked(core);
                r.readBackRequested = 0;
            }
            completeSlot(core, slot);
            break;
        default:
            break;
    }
}

void checkFrame(Core& core, int slot, const uint8_t* frame, int length) {
    const uint8_t letter = frame[1];
    if (!frameFits(core, slot, letter, length)) {
        return;
    }
    uint8_t sum = 0x72;
    for (int i = 1; i <= length - 4; ++i) {
        sum ^= frame[i];
    }
    if (hexNumber(frame + length - 3, 2) != sum) {
        core.errors.answerErrors++;
        return;
    }
    const std::string value(reinterpret_cast<const char*>(frame + 2),
                            static_cast<size_t>(length - 5));
    accept(core, slot, letter, value);
}

void receiverThread(Core* core) {
    ReceiverState state;
    AppRecord* r = core->record.get();
    while (r->connected) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!receiverPass(*core, state)) {
            break;
        }
    }
    r->receiverThreadId = 0;
}

}  // namespace

std::string priceTextOfSegments(const uint8_t codes[3]) {
    char text[7] = "      ";
    int pos = 0;
    for (int d = 0; d < 3; ++d) {
        const uint8_t code = codes[d];
        bool found = false;
        for (int k = 0; k < 10; ++k) {
            if ((code & 0x7F) == kDigitCodes[k]) {
                text[pos++] = static_cast<char>('0' + k);
                found = true;
                break;
            }
        }
        if (!found) {
            if (code & kSegMiddle) {
                text[pos++] = '-';
            } else if ((code & 0x7F) == 0) {
                ++pos;
            }
        }
        if (code & kSegPoint) {
            text[pos++] = '.';
        }
    }
    std::string result(text, static_cast<size_t>(pos));
    const std::string firstThree = std::string(text, 3);
    return firstThree == "   " ? std::string() : result;
}

int leadingDecimal(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 100000000) {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

void handleAnswerBytes(Core& core, ReceiverState& state, const uint8_t* bytes, int count) {
    AppRecord* r = core.record.get();
    const int slot = r->slotInFlight;
    int limit = 0;
    const Kind kind = kindOf(slot, r->dataAnswerExpected != 0, &limit);
    if (kind == Kind::None) {
        return;
    }
    if (kind == Kind::Ack) {
        for (int i = 0; i < count; ++i) {
            if (bytes[i] == kACK) {
                if (slot >= 3 && slot <= 7) {
                    refreshPricePreview(core);
                }
                completeSlot(core, slot);
                return;
            }
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b == kSTX) {
            state.inFrame = true;
            state.frameLength = 0;
        }
        if (!state.inFrame) {
            continue;
        }
        state.frame[state.frameLength++] = b;
        if (state.frameLength > limit) {
            state.inFrame = false;
        } else if (b == kETX) {
            state.inFrame = false;
            if (state.frameLength >= 5) {
                checkFrame(core, slot, state.frame, state.frameLength);
            }
        }
    }
}

bool receiverPass(Core& core, ReceiverState& state) {
    AppRecord* r = core.record.get();
    spinAcquire(core.locks.timeoutLock);
    spinAcquire(core.locks.exchangeLock);
    if (!r->connected) {
        release(core.locks.exchangeLock);
        release(core.locks.timeoutLock);
        return false;
    }
    uint8_t buffer[kReadMax];
    const int n = readPort(core, buffer, kReadMax);
    if (n > 0) {
        handleAnswerBytes(core, state, buffer, n);
        if (r->slotInFlight == 0) {
            state.inFrame = false;
        }
    }
    release(core.locks.exchangeLock);
    release(core.locks.timeoutLock);
    return true;
}

bool startReceiver(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return false;
    }
    if (r->receiverThread.joinable()) {
        return false;  // the previous receiver has not been waited for
    }
    r->receiverThreadId = 1;
    try {
        r->receiverThread = std::thread(receiverThread, &core);
    } catch (const std::system_error&) {
        r->receiverThreadId = 0;
        return false;
    }
    return true;
}

void stopReceiver(Core& core) {
    AppRecord* r = core.record.get();
    if (r != nullptr && r->receiverThread.joinable() && !r->connected) {
        r->receiverThread.join();
    }
}

}  // namespace vorda
