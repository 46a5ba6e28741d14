// The link to the tower: the serial port with its error counters, the sender thread that
// moves one command at a time from the mailbox to the tower, the answer time-out that
// re-sends and gives up, the 5-second poll, and the receiver thread that assembles the
// tower's answers. It owns the link's state (connected, opened on demand, test mode), the
// command in flight and the two link locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
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

// Takes the values of the tower's data answers. Called on the receiver thread with the
// link locks held; "Z" (the backlight) the Link shows itself.
class AnswerListener {
  public:
    // `letter` is the answer's letter ('C', 'M', 'S', 'l', 'o', 'L', 'O', 'A', 'V'),
    // `value` the text after it.
    virtual void onAnswer(char letter, const std::string& value) = 0;

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
         Logs& logs, const Display& display, AnswerListener& listener);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // --- The port ---

    // Opens port `portNumber` with these settings, starts the receiver and shows the link
    // as connected. On failure nothing changed and nothing was shown.
    Result open(int portNumber, const SerialSettings& settings);
    // Applies the settings to the open port.
    Result configure(const SerialSettings& settings);
    // Drops DTR, closes the port (once nobody is using it), shows the link as disconnected.
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
    // Queues "20S" and "20Z" (also the poll timer's action).
    void pollTick();
    // "Rozłącz" and "Test", with the link locks held: the timers stopped, the port closed,
    // the mailbox cleared, an on-demand connection given up.
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
    // One pass of the sender without its pause.
    void senderPass();
    // The answer timer fired: counts a time-out, re-sends, or gives the command up at the
    // third. Only tries the locks: a tick that finds one taken does nothing.
    void answerTimeoutTick();
    // A valid answer's end step: stops the answer timer, frees the slot, nothing in flight,
    // the status back to connected.
    void completeSlot(int slot);

    // --- The receiver ---

    // Waits for a receiver that has been told to end (the link closed) to finish.
    void stopReceiver();
    // One pass without its pause: takes both link locks, reads, hands the bytes over.
    // False when the link was closed meanwhile.
    bool receiverPass(FrameAssembler& assembler);
    // The handler of the command in flight over the bytes of one read.
    void handleAnswerBytes(FrameAssembler& assembler, const uint8_t* bytes, int count);

    // --- State ---

    bool connected() const { return connected_ != 0; }
    bool onDemand() const { return autoConnected_ != 0; }
    bool testMode() const { return testMode_ != 0; }
    int slotInFlight() const { return slotInFlight_; }
    bool dataAnswerExpected() const { return dataAnswerExpected_ != 0; }
    bool answerTimerOn() const { return answerTimerOn_ != 0; }
    bool pollTimerOn() const { return pollTimerOn_ != 0; }
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
    };

    std::shared_ptr<SerialPort> currentPort();
    void countReadFailure(uint32_t systemError);
    void sendFrame(const char* text);
    void startAnswerTimer();
    void stopAnswerTimer();
    void stopLinkTimers();
    void executeLocally(int slot);
    void disconnectAfterDrain();
    void checkFrame(int slot, const uint8_t* frame, int length);
    bool startReceiver();

    const SerialDriver driver_;
    Mailbox& mailbox_;
    PriceBoard& board_;
    ScriptRunner& runner_;
    Logs& logs_;
    const Display& display_;
    AnswerListener& listener_;

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

    std::atomic<int32_t> senderRun_{0};
    std::thread senderThread_;
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
