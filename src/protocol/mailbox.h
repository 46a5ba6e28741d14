// The command mailbox: 40 numbered slots of command texts waiting to be sent, the
// send buffer of the command in flight, the sender's rotation position, and the Frame
// every command travels in.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace vorda {

struct Core;

constexpr int kSlotCount = 40;
constexpr int kSlotTextMax = 30;  // characters of command text a slot holds
constexpr int kSendBufferSize = 128;

constexpr uint8_t kSTX = 0x02;
constexpr uint8_t kETX = 0x03;
constexpr uint8_t kACK = 0x06;

// Slot numbers of the writers.
enum Slot : int {
    kSlotPrice1 = 3,  // prices 1 to 5 in slots 3 to 7; "20C" in 3, "20M" in 4
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
};

struct MailboxSlot {
    std::atomic<uint8_t> pending{0};
    // A writer holds textMutex while it writes the text, and the sender while it copies
    // it: a text is never seen half written.
    std::mutex textMutex;
    char text[kSlotTextMax + 1] = {};
    uint32_t writes = 0;  // under textMutex: how often the slot was written
};

struct Mailbox {
    MailboxSlot slots[kSlotCount + 1];      // 1 to 40; 0 unused
    char sendBuffer[kSendBufferSize] = {};  // under the link locks
    std::atomic<int32_t> lastServedSlot{0};
    uint32_t writesTaken = 0;  // under the link locks: `writes` of the slot in flight when taken
};

// XOR of the text's bytes, seeded with 0x72.
uint8_t frameChecksum(const char* text, size_t length);

// STX, the text, the checksum as two upper-case hex digits, ETX.
std::string buildFrame(const std::string& text);

// Writes a command text into slot n, then marks it pending. Bytes below 0x20 are
// dropped from the text first (they would break the frame); a text longer than a slot
// holds is not queued (false).
bool writeSlot(Core& core, int n, const std::string& text);

void freeSlot(Core& core, int n);

// Frees slot n after the command taken from it was answered, given up or executed, unless
// the slot was written again since it was taken: the newer command is then still to go.
void finishSlot(Core& core, int n);

// Whether any slot at all is pending.
bool anySlotPending(Core& core);
bool slotPending(Core& core, int n);
std::string slotText(Core& core, int n);

// Frees every slot and forgets the command in flight.
void clearMailbox(Core& core);

// Whether the command in slot n with this text expects a lettered data answer.
bool dataAnswerExpectedFor(int slot, const char* text);

// The sender's step: takes the next pending slot above lastServedSlot into sendBuffer
// (true), or rewinds lastServedSlot to 0 when there is none (false). The caller holds
// the three locks and has nothing in flight.
bool takeNextCommand(Core& core);

// Builds the Frame of the text and writes it to the port. 0 without a record.
int sendFrame(Core& core, const char* text);

// "Czytaj z Vordy": queues the eight reads of the tower's state (connecting on demand
// first when the link is closed), or refuses in test mode. 0 without a record.
int readFromTower(Core& core);

}  // namespace vorda
