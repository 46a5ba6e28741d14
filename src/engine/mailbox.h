// The command mailbox: 40 numbered slots of command texts waiting to be sent, and the
// sender's rotation position. Nothing writes to the port directly: every action puts its
// commands here, and the Link's sender takes one pending slot at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/locks.h"
#include "protocol/slots.h"

namespace vorda {

class Mailbox {
  public:
    // Writes a command text into slot n, then marks it pending. Bytes below 0x20 are
    // dropped from the text first (they would break the frame); a text longer than a
    // slot holds is not queued (false).
    bool write(int n, const std::string& text);

    void free(int n);
    bool pending(int n) const;
    std::string text(int n) const;
    // Whether any slot at all is pending.
    bool anyPending() const;
    // Frees every slot.
    void clear();

    // The sender's step: copies the next pending slot above the rotation position into
    // `buffer` and returns its number, or rewinds the position to 0 and returns 0 when
    // there is none. Called with mailboxLock held.
    int takeNext(char (&buffer)[kSendBufferSize]);
    // Frees the slot whose command was taken last, after it was answered, given up or
    // executed, unless the slot was written again since: the newer command is still to go.
    void finish(int n);

    // How often slot n was written so far (0: never), and how often the slot taken last
    // had been when it was taken: whether the command in flight is a given write of it.
    uint32_t writes(int n) const;
    uint32_t takenWrites() const { return writesTaken_; }

    // Writers preset the rotation position to make their slot go next.
    void presetLastServed(int slot) { lastServedSlot_ = slot; }
    int lastServedSlot() const { return lastServedSlot_; }

    // Held by a writer for a group of slots, and tried by the sender for each pass.
    LockCounter& lock() { return lock_; }

    // Called after every write, from the writer's thread: the Link's sender sleeps until
    // there is work. Set once, before any thread writes.
    void setWriteListener(void (*onWrite)(void* context), void* context) {
        onWrite_ = onWrite;
        onWriteContext_ = context;
    }

  private:
    void (*onWrite_)(void* context) = nullptr;
    void* onWriteContext_ = nullptr;

    struct Slot {
        std::atomic<uint8_t> pending{0};
        // A writer holds textMutex while it writes the text, and the sender while it
        // copies it: a text is never seen half written.
        mutable std::mutex textMutex;
        char text[kSlotTextMax + 1] = {};
        uint32_t writes = 0;  // under textMutex: how often the slot was written
    };

    Slot slots_[kSlotCount + 1];  // 1 to 40; 0 unused
    std::atomic<int32_t> lastServedSlot_{0};
    std::atomic<uint32_t> writesTaken_{0};  // `writes` of the slot taken last
    LockCounter lock_;
};

}  // namespace vorda
