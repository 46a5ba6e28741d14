// The link to the tower: the serial port with its error counters, the sender thread that
// moves one command at a time from the mailbox to the tower, the answer time-out that
// re-sends and gives up, the 5-second poll, the reopening of a port whose device went
// away, and the receiver thread that assembles the tower's answers. It owns the link's
// state (connected, opened on demand, test mode, port missing), the command in flight, its
// deadlines and the two link locks.
//
// Both threads sleep until there is work. The sender wakes when a slot is written, a
// command completes, the link opens, closes or changes mode, a deadline falls due, or it
// is stopped; the receiver wakes when bytes arrive or the port closes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine/display.h"
#include "engine/locks.h"
#include "engine/logs.h"
#include "engine/mailbox.h"
#include "engine/price_board.h"
#include "engine/result.h"
#include "engine/script_runner.h"
#include "engine/serial_driver.h"
#include "protocol/frame.h"

namespace vorda {

constexpr uint32_t kPortQueueSize = 4096;
constexpr int kReadMax = 256;
constexpr uint32_t kPollPeriodMs = 5000;
// A port whose device went away is opened again this often, with the same settings; a
// link opened on demand gives up its commands after this long without its port.
constexpr uint32_t kReopenPeriodMs = 2000;
constexpr uint32_t kPortGiveUpMs = 10000;

// The steady clock the Link keeps its deadlines on, in milliseconds from any fixed start.
// Left empty, the machine's steady clock; tests supply one that moves only when told.
struct SteadyClock {
    void* context = nullptr;
    uint64_t (*nowMs)(void* context) = nullptr;
};

// Takes the values of the tower's data answers, and hears when a command ends. Called
// with the link locks held; "Z" (the backlight) the Link shows itself.
class AnswerListener {
  public:
    // `letter` is the answer's letter ('C', 'M', 'S', 'l', 'o', 'L', 'O', 'A', 'V'),
    // `value` the text after it (valid during the call).
    virtual void onAnswer(char letter, std::string_view value) = 0;
    // The command taken from `slot` has ended: answered (true), or given up after its
    // third send (false). Called once the slot is finished and nothing is in flight,
    // before the sender takes the next command, so that slots written here go next.
    virtual void onCommandEnded(int /*slot*/, bool /*answered*/) {}

  protected:
    ~AnswerListener() = default;
};

// The link's error counters, reported by the transmission log.
struct LinkErrors {
    std::atomic<uint32_t> readErrorCode{0};
    std::atomic<uint32_t> writeErrorCode{0};
    std::atomic<uint32_t> errorRdCount{0};
    std::atomic<uint32_t> readStatusCount{0};
    std::atomic<uint32_t> errorWrCount{0};
    std::atomic<uint32_t> writeStatusCount{0};
    std::atomic<uint32_t> answerErrors{0};

    ErrorCounts snapshot() const;
};

class Link {
  public:
    Link(const SerialDriver& driver, Mailbox& mailbox, PriceBoard& board, ScriptRunner& runner,
         Logs& logs, const Display& display, AnswerListener& listener, SteadyClock steady = {});
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // --- The port ---

    // Opens port `portNumber` with these settings, starts the receiver and shows the link
    // as connected. On failure nothing changed and nothing was shown.
    Result open(int portNumber, const SerialSettings& settings);
    // Applies the settings to the open port (or keeps them for a port that is missing).
    Result configure(const SerialSettings& settings);
    // Drops DTR, closes the port (once nobody is using it), wakes the receiver, shows the
    // link as disconnected and ends the attempts to reopen a missing port.
    void close();
    // The bytes already received, at most `max`; 0 when none or on error (counted).
    int read(uint8_t* destination, int max);
    // Writes the whole block; failures are only counted and logged.
    void write(const uint8_t* bytes, size_t count);

    // --- Opening and closing the link ---

    // After open(): stops a control file, clears the mailbox (and the board, when the
    // operator connects) and the light level, and starts the poll. A connection opened on
    // demand queues the poll's reads at once, and the sender closes it again once nothing
    // is left to send.
    void startConnection(bool onDemand);
    // Queues "20S" and "20Z" (also the poll's action).
    void pollTick();
    // "Rozłącz" and "Test", with the link locks held: the deadlines stopped, the port
    // closed, the mailbox cleared, an on-demand connection given up.
    void shutDown();
    // Test mode: commands are executed on the board instead of being sent.
    void setTestMode(bool on);
    // Frees every slot and forgets the command in flight.
    void clearMailbox();

    // --- The sender ---

    // Starts the sender thread (once); false when it cannot be created.
    bool startSender();
    // Tells the sender to end and waits for it.
    void stopSender();
    // Wakes the sender to look at the mailbox and its deadlines again (any thread).
    void wakeSender();
    // One step of the sender at `nowMs` on its steady clock: the answer time-out, the poll
    // and the port's reopening when due, then one pass over the mailbox. The sender
    // thread calls it whenever it wakes; tests call it with a time of their choosing to
    // make a deadline fall due. True when the step is to be repeated soon (a lock was
    // taken, or there is more to send).
    bool tick(uint64_t nowMs);
    // The sender's steady clock now, and the earliest deadline (UINT64_MAX: none).
    uint64_t now() const;
    uint64_t nextDeadline() const;

    // --- The receiver ---

    // Waits for a receiver that has been told to end (the link closed) to finish.
    void stopReceiver();
    // What the receiver does with the bytes it read, with the link locks held: frames and
    // answers for the command in flight. Its thread calls it; so does the receiver's fuzz
    // target, without the thread.
    void handleAnswerBytes(FrameAssembler& assembler, const uint8_t* bytes, int count);

    // --- State ---

    bool connected() const { return connected_ != 0; }
    bool onDemand() const { return autoConnected_ != 0; }
    bool testMode() const { return testMode_ != 0; }
    // The device of the port went away; the link stays connected and reopens it.
    bool portMissing() const { return portMissing_ != 0; }
    int slotInFlight() const { return slotInFlight_; }
    bool dataAnswerExpected() const { return dataAnswerExpected_ != 0; }
    bool answerTimerOn() const { return answerTimerOn_ != 0; }
    // When the answer time-out falls due (0 when it is off), and its length.
    uint64_t answerDeadline() const { return answerTimerOn_ ? answerDue_.load() : 0; }
    uint32_t answerPeriodMs() const { return answerPeriod_; }
    bool pollTimerOn() const { return pollTimerOn_ != 0; }
    uint64_t pollDeadline() const { return pollTimerOn_ ? pollDue_.load() : 0; }
    int portNumber() const { return portNumber_; }
    const SerialDriver& driver() const { return driver_; }
    const char* sendBuffer() const { return sendBuffer_; }
    const LinkErrors& errors() const { return errors_; }
    LinkErrors& errors() { return errors_; }
    // The two link locks, for whoever must see the link unchanged for a while.
    LockCounter& timeoutLock() { return timeoutLock_; }
    LockCounter& exchangeLock() { return exchangeLock_; }

  private:
    struct PortHolder {
        std::mutex mutex;
        std::shared_ptr<SerialPort> port;
        SerialSettings settings;  // what the port was last configured with
    };
    enum class Pass { Done, Again, LockTaken };

    std::shared_ptr<SerialPort> currentPort();
    std::shared_ptr<SerialPort> openPort(int portNumber, const SerialSettings& settings,
                                         Result* why);
    void dropPort();
    bool deviceGone(uint32_t systemError) const;
    void losePort();
    void reopenPort(uint64_t now);
    void countReadFailure(uint32_t systemError);
    void sendFrame(const char* text);
    void startAnswerTimer(uint64_t now);
    void stopAnswerTimer();
    void stopLinkTimers();
    void executeLocally(int slot);
    void disconnectAfterDrain();
    void giveUpWithoutPort();
    Pass senderPass(uint64_t now);
    bool answerTimedOut();
    void senderLoop();
    void completeSlot(int slot);
    bool startReceiver();
    void receiverLoop();
    bool receiverPass(FrameAssembler& assembler);
    void checkFrame(int slot, const uint8_t* frame, int length);

    const SerialDriver driver_;
    Mailbox& mailbox_;
    PriceBoard& board_;
    ScriptRunner& runner_;
    Logs& logs_;
    const Display& display_;
    AnswerListener& listener_;
    const SteadyClock steady_;

    PortHolder port_;
    std::atomic<int> portNumber_{1};
    std::atomic<uint32_t> baudRate_{19200};
    LinkErrors errors_;

    std::atomic<int32_t> connected_{0};
    std::atomic<int32_t> autoConnected_{0};
    std::atomic<int32_t> testMode_{0};
    std::atomic<int32_t> answerTimerOn_{0};
    std::atomic<int32_t> pollTimerOn_{0};

    // The command in flight: under the link locks.
    std::atomic<int32_t> slotInFlight_{0};
    std::atomic<int32_t> dataAnswerExpected_{0};
    uint8_t retryCount_ = 0;
    char sendBuffer_[kSendBufferSize] = {};
    LockCounter timeoutLock_{0};
    LockCounter exchangeLock_{0};

    // Deadlines on the steady clock, in milliseconds.
    std::atomic<uint64_t> answerDue_{0};
    std::atomic<uint32_t> answerPeriod_{0};
    std::atomic<uint64_t> pollDue_{0};
    // A missing port: when it is tried next, when an on-demand link gives up, and whether
    // the command in flight goes again once the port is back.
    std::atomic<int32_t> portMissing_{0};
    std::atomic<uint64_t> reopenDue_{0};
    std::atomic<uint64_t> giveUpDue_{0};
    std::atomic<int32_t> resendInFlight_{0};

    // The sender's sleep: `wakeSignalled_` under wakeMutex_; one step at a time.
    std::mutex wakeMutex_;
    std::condition_variable wakeCondition_;
    bool wakeSignalled_ = false;
    std::mutex stepMutex_;
    std::atomic<int32_t> senderRun_{0};
    std::thread senderThread_;

    std::mutex receiverMutex_;  // starting and waiting for the receiver thread
    std::atomic<int32_t> receiverRun_{0};
    std::thread receiverThread_;
};

// Holds both link locks, so that the sender and the receiver see the link either as it
// was or as it is after a change, never half changed.
class LinkLocks {
  public:
    explicit LinkLocks(Link& link) : link_(link) {
        spinAcquire(link_.timeoutLock());
        spinAcquire(link_.exchangeLock());
    }
    ~LinkLocks() {
        release(link_.exchangeLock());
        release(link_.timeoutLock());
    }
    LinkLocks(const LinkLocks&) = delete;
    LinkLocks& operator=(const LinkLocks&) = delete;

  private:
    Link& link_;
};

}  // namespace vorda
