#include "protocol/mailbox.h"

#include <cstdio>
#include <cstring>

#include "link/link_ops.h"
#include "link/port.h"
#include "record/core.h"
#include "record/panel_calls.h"

namespace vorda {

uint8_t frameChecksum(const char* text, size_t length) {
    uint8_t sum = 0x72;
    for (size_t i = 0; i < length; ++i) {
        sum ^= static_cast<uint8_t>(text[i]);
    }
    return sum;
}

std::string buildFrame(const std::string& text) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", frameChecksum(text.data(), text.size()));
    std::string frame;
    frame.reserve(text.size() + 4);
    frame += static_cast<char>(kSTX);
    frame += text;
    frame += digits;
    frame += static_cast<char>(kETX);
    return frame;
}

bool writeSlot(Core& core, int n, const std::string& text) {
    char clean[kSlotTextMax + 1];
    size_t length = 0;
    for (char c : text) {
        if (static_cast<uint8_t>(c) < 0x20) {
            continue;  // STX, ETX, CR, LF and the like would break the frame
        }
        if (length == static_cast<size_t>(kSlotTextMax)) {
            return false;
        }
        clean[length++] = c;
    }
    if (n < 1 || n > kSlotCount) {
        return false;
    }
    MailboxSlot& slot = core.mailbox.slots[n];
    std::lock_guard<std::mutex> lock(slot.textMutex);
    std::memcpy(slot.text, clean, length);
    slot.text[length] = '\0';
    slot.writes++;
    slot.pending.store(1, std::memory_order_release);
    return true;
}

void freeSlot(Core& core, int n) {
    if (n >= 1 && n <= kSlotCount) {
        core.mailbox.slots[n].pending.store(0, std::memory_order_release);
    }
}

void finishSlot(Core& core, int n) {
    if (n < 1 || n > kSlotCount) {
        return;
    }
    MailboxSlot& slot = core.mailbox.slots[n];
    std::lock_guard<std::mutex> lock(slot.textMutex);
    if (slot.writes == core.mailbox.writesTaken) {
        slot.pending.store(0, std::memory_order_release);
    }
}

bool anySlotPending(Core& core) {
    for (int n = 1; n <= kSlotCount; ++n) {
        if (slotPending(core, n)) {
            return true;
        }
    }
    return false;
}

bool slotPending(Core& core, int n) {
    return n >= 1 && n <= kSlotCount &&
           core.mailbox.slots[n].pending.load(std::memory_order_acquire) != 0;
}

std::string slotText(Core& core, int n) {
    if (n < 1 || n > kSlotCount) {
        return std::string();
    }
    MailboxSlot& slot = core.mailbox.slots[n];
    std::lock_guard<std::mutex> lock(slot.textMutex);
    return slot.text;
}

void clearMailbox(Core& core) {
    for (int n = 1; n <= kSlotCount; ++n) {
        freeSlot(core, n);
    }
    if (core.record != nullptr) {
        core.record->dataAnswerExpected = 0;
        core.record->slotInFlight = 0;
    }
}

bool dataAnswerExpectedFor(int slot, const char* text) {
    if (slot >= kSlotPrice1 && slot <= kSlotPrice5) {
        return text[0] != '\0' && text[1] == '0';
    }
    if (slot >= 8 && slot <= kSlotCount) {
        return std::strlen(text) == 3;
    }
    return false;
}

bool takeNextCommand(Core& core) {
    Mailbox& m = core.mailbox;
    AppRecord& r = *core.record;
    const int last = m.lastServedSlot;
    for (int n = 1; n <= kSlotCount; ++n) {
        if (n <= last || !slotPending(core, n)) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m.slots[n].textMutex);
            std::memcpy(m.sendBuffer, m.slots[n].text, sizeof m.slots[n].text);
            m.writesTaken = m.slots[n].writes;
        }
        r.slotInFlight = n;
        m.lastServedSlot = n;
        r.dataAnswerExpected = dataAnswerExpectedFor(n, m.sendBuffer) ? 1 : 0;
        return true;
    }
    m.lastServedSlot = 0;
    return false;
}

int sendFrame(Core& core, const char* text) {
    if (core.record == nullptr) {
        return 0;
    }
    const std::string frame = buildFrame(text);
    writePort(core, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    return 1;
}

int readFromTower(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return 0;
    }
    if (!holdLinkForQueueing(core)) {
        return 1;
    }
    HeldLock held(core.locks.mailboxLock);
    if (r->connected) {
        writeSlot(core, kSlotPrice1, "20C");
        writeSlot(core, kSlotPrice1 + 1, "20M");
        writeSlot(core, kSlotLowLightLevel, "20l");
        writeSlot(core, kSlotLowLevelBrightness, "20o");
        writeSlot(core, kSlotHighLightLevel, "20L");
        writeSlot(core, kSlotHighLevelBrightness, "20O");
        writeSlot(core, kSlotAutoBacklight, "20A");
        writeSlot(core, kSlotVersion, "20V");
        r->readBackRequested = 1;
    } else if (r->testMode) {
        panelShowMessage(core, messageText(Text::LeaveTestMode), Text::Error);
    }
    return 1;
}

}  // namespace vorda
