#include "engine/mailbox.h"

#include <cstring>

namespace vorda {

bool Mailbox::write(int n, const std::string& text) {
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
    Slot& slot = slots_[n];
    {
        std::lock_guard<std::mutex> lock(slot.textMutex);
        std::memcpy(slot.text, clean, length);
        slot.text[length] = '\0';
        slot.writes++;
        slot.pending.store(1, std::memory_order_release);
    }
    if (onWrite_ != nullptr) {
        onWrite_(onWriteContext_);
    }
    return true;
}

void Mailbox::free(int n) {
    if (n >= 1 && n <= kSlotCount) {
        slots_[n].pending.store(0, std::memory_order_release);
    }
}

void Mailbox::finish(int n) {
    if (n < 1 || n > kSlotCount) {
        return;
    }
    Slot& slot = slots_[n];
    std::lock_guard<std::mutex> lock(slot.textMutex);
    if (slot.writes == writesTaken_) {
        slot.pending.store(0, std::memory_order_release);
    }
}

uint32_t Mailbox::writes(int n) const {
    if (n < 1 || n > kSlotCount) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(slots_[n].textMutex);
    return slots_[n].writes;
}

bool Mailbox::pending(int n) const {
    return n >= 1 && n <= kSlotCount && slots_[n].pending.load(std::memory_order_acquire) != 0;
}

bool Mailbox::anyPending() const {
    for (int n = 1; n <= kSlotCount; ++n) {
        if (pending(n)) {
            return true;
        }
    }
    return false;
}

std::string Mailbox::text(int n) const {
    if (n < 1 || n > kSlotCount) {
        return std::string();
    }
    std::lock_guard<std::mutex> lock(slots_[n].textMutex);
    return slots_[n].text;
}

void Mailbox::clear() {
    for (int n = 1; n <= kSlotCount; ++n) {
        free(n);
    }
}

int Mailbox::takeNext(char (&buffer)[kSendBufferSize]) {
    const int last = lastServedSlot_;
    for (int n = last + 1; n <= kSlotCount; ++n) {
        if (n < 1 || !pending(n)) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(slots_[n].textMutex);
            std::memcpy(buffer, slots_[n].text, sizeof slots_[n].text);
            writesTaken_ = slots_[n].writes;
        }
        lastServedSlot_ = n;
        return n;
    }
    lastServedSlot_ = 0;
    return 0;
}

}  // namespace vorda
