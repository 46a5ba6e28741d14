// The link to the tower: its state, the sender thread that moves one command at a time from
// the mailbox to the tower, the answer time-out that re-sends and gives up, the 5-second
// poll, the reopening of a port whose device went away, and the receiver thread that
// assembles the tower's answers. It owns its Port, the command in flight, its deadlines and
// the two link locks.
//
// The link decides nothing the operator sees: it tells its listener what happened (its
// state changed, an answer came, a command timed out, ended or was dropped), and the
// listener decides what is shown.
//
// Both threads sleep until there is work. The sender wakes when a slot is written, a
// command completes, the link opens, closes or changes mode, a deadline falls due, or it
// is stopped; the receiver wakes when bytes arrive or the port closes. The link's
// deadlines (the answer time-out, the poll, a missing port's reopening and give-up) are
// entries of the program's Timers, which wake the sender when one falls due.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "engine/locks.h"
#include "engine/logs.h"
#include "engine/mailbox.h"
#include "engine/port.h"
#include "engine/result.h"
#include "engine/serial_driver.h"
#include "engine/timers.h"
#include "protocol/frame.h"

namespace vorda {

constexpr uint32_t kPollPeriodMs = 5000;
// A command is sent at most this often before it is given up.
constexpr int kMaxSends = 3;
// A port whose device went away is opened again this often, with the same settings; a
// link opened on demand gives up its commands after this long without its port.
constexpr uint32_t kReopenPeriodMs = 2000;
constexpr uint32_t kPortGiveUpMs = 10000;

// The link's states. Connected ones have a port (or are waiting for its device to come
// back); one opened on demand closes once nothing is left to send.
enum class LinkState : int {
    Closed,
    Connected,            // by the operator's "Połącz"
    ConnectedOnDemand,    // by a send while closed
    PortMissing,          // connected, the port's device gone: opened again every 2 s
    PortMissingOnDemand,  // the same on demand: its commands are given up after 10 s
    TestMode,             // commands are executed without a port
};
bool isConnected(LinkState state);
bool isOnDemand(LinkState state);
bool isPortMissing(LinkState state);

// How a command taken from the mailbox ended.
enum class CommandEnd { Answered, Executed, GivenUp };

// Why commands left the mailbox without an answer.
enum class DropReason {
    Closed,     // "Rozłącz" or "Test"
    Restarted,  // a new connection starts with an empty mailbox
    PortGone,   // a link opened on demand gave up waiting for its port
};

// Hears what happens on the link. Called on the thread that made it happen (the sender,
// the receiver, or the caller of a Link operation), mostly with the link locks held: a
// listener decides and hands on, it never waits for another thread.
class LinkListener {
  public:
    // The state changed (each change once, in order).
    virtual void onLinkState(LinkState state) = 0;
    // A data answer of the command in flight: its letter ('C', 'M', 'S', 'l', 'o', 'L',
    // 'O', 'A', 'Z', 'V') and the text after it (valid during the call).
    virtual void onAnswer(char letter, std::string_view value) = 0;
    // The command in flight from `slot` waited its time-out in vain.
    virtual void onAnswerTimeout(int slot) = 0;
    // The command taken from `slot` (its text, valid during the call) ended. Called once
    // the slot is finished and nothing is in flight, before the sender takes the next
    // command, so that slots written here go next.
    virtual void onCommandEnded(int slot, const char* text, CommandEnd how) = 0;
    // Commands still pending or in flight were dropped without an answer (a link that gave
    // up waiting for its port always says so).
    virtual void onCommandsDropped(DropReason why) = 0;

  protected:
    ~LinkListener() = default;
};

class Link {
  public:
    Link(const SerialDriver& driver, Mailbox& mailbox, Logs& logs, LinkListener& listener,
         Timers& timers);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // --- Opening and closing ---

    // Opens port `portNumber` with these settings, starts the receiver: Connected. On
    // failure nothing changed.
    Result open(int portNumber, const SerialSettings& settings);
    // Applies the settings to the open port (or keeps them for a port that is missing).
    Result configure(const SerialSettings& settings);
    // After open(): clears the mailbox and starts the poll. A connection opened on demand
    // queues the poll's reads at once, and the sender closes it again once nothing is left
    // to send.
    void startConnection(bool onDemand);
    // Queues "20S" and "20Z" (also the poll's action).
    void pollTick();
    // "Rozłącz" and "Test", with the link locks held: the deadlines stopped, the port
    // closed, the mailbox cleared, an on-demand connection given up; the link ends Closed
    // or in TestMode.
    void shutDown(LinkState next);
    // Closes the port: Closed.
    void close();
    // Frees every slot and forgets the command in flight.
    void clearMailbox();
    // While held (a control file plays), a link opened on demand stays open when nothing
    // is left to send; let go, it closes once that is so.
    void holdOpen(bool held);

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
    // The deadlines' steady clock now.
    uint64_t now() const { return timers_.now(); }

    // --- The receiver ---

    // Waits for a receiver that has been told to end (the link closed) to finish.
    void stopReceiver();
    // What the receiver does with the bytes it read, with the link locks held: frames and
    // answers for the command in flight. Its thread calls it; so does the receiver's fuzz
    // target, without the thread.
    void handleAnswerBytes(FrameAssembler& assembler, const uint8_t* bytes, int count);

    // --- State ---

    LinkState state() const { return state_; }
    bool connected() const { return isConnected(state_); }
    bool onDemand() const { return isOnDemand(state_); }
    bool testMode() const { return state_ == LinkState::TestMode; }
    bool portMissing() const { return isPortMissing(state_); }
    int slotInFlight() const { return slotInFlight_; }
    bool dataAnswerExpected() const { return dataAnswerExpected_ != 0; }
    bool answerTimerOn() const { return exchange_ == Exchange::Waiting; }
    // How many sends the command in flight has had so far.
    int sends() const { return sends_; }
    // When the answer time-out falls due (0 when it is off), and its length.
    uint64_t answerDeadline() const { return answerTimerOn() ? answerDue_.load() : 0; }
    uint32_t answerPeriodMs() const { return answerPeriod_; }
    bool pollTimerOn() const { return pollDue_ != 0; }
    uint64_t pollDeadline() const { return pollDue_; }
    int portNumber() const { return port_.number(); }
    const SerialDriver& driver() const { return port_.driver(); }
    const char* sendBuffer() const { return sendBuffer_; }
    Port& port() { return port_; }
    const LinkErrors& errors() const { return port_.errors(); }
    LinkErrors& errors() { return port_.errors(); }
    // The two link locks, for whoever must see the link unchanged for a while.
    LockCounter& timeoutLock() { return timeoutLock_; }
    LockCounter& exchangeLock() { return exchangeLock_; }

  private:
    // Where the command in flight is: nothing sent, waiting for its answer, or waiting for
    // its port to come back to go again.
    enum class Exchange : int { Idle, Waiting, WaitingForPort };
    enum class Pass { Done, Again, LockTaken };
    // The link's deadlines, each an entry of the Timers that wakes the sender.
    enum Deadline { kAnswerDeadline, kPollDeadline, kReopenDeadline, kGiveUpDeadline, kDeadlines };

    void setDeadline(Deadline which, std::atomic<uint64_t>& due, uint64_t at);
    void clearDeadline(Deadline which, std::atomic<uint64_t>& due);

    void setState(LinkState state);
    void forgetCommand();
    void sendCommand(uint64_t now);
    void losePort();
    void reopenPort(uint64_t now);
    void sendFrame(const char* text);
    void startAnswerTimer(uint64_t now);
    void executeLocally(int slot);
    void disconnectAfterDrain();
    void giveUpWithoutPort();
    void dropCommands(DropReason why);
    Pass senderPass(uint64_t now);
    bool answerTimedOut(uint64_t now);
    void giveUp();
    void senderLoop();
    void completeSlot(int slot);
    bool startReceiver();
    void receiverLoop();
    bool receiverPass(FrameAssembler& assembler, uint32_t& taken);
    void checkFrame(int slot, const uint8_t* frame, int length);

    Mailbox& mailbox_;
    LinkListener& listener_;
    Timers& timers_;
    Port port_;

    std::atomic<LinkState> state_{LinkState::Closed};
    std::atomic<bool> held_{false};

    // The command in flight: under the link locks.
    std::atomic<int32_t> slotInFlight_{0};
    std::atomic<int32_t> dataAnswerExpected_{0};
    std::atomic<Exchange> exchange_{Exchange::Idle};
    std::atomic<int> sends_{0};       // of the command in flight
    bool giveUpArmed_ = false;        // its port went away once: the on-demand give-up is set
    std::atomic<uint32_t> taken_{0};  // commands taken so far: the receiver starts afresh
    char sendBuffer_[kSendBufferSize] = {};
    LockCounter timeoutLock_;
    LockCounter exchangeLock_;

    // Deadlines on the steady clock, in milliseconds (the poll's 0: off), and the timers
    // that wake the sender for them (under deadlineMutex_).
    std::mutex deadlineMutex_;
    uint64_t deadlineTimers_[kDeadlines] = {};
    std::atomic<uint64_t> answerDue_{0};
    std::atomic<uint32_t> answerPeriod_{0};
    std::atomic<uint64_t> pollDue_{0};
    // A missing port: when it is tried next, and when an on-demand link gives up.
    std::atomic<uint64_t> reopenDue_{0};
    std::atomic<uint64_t> giveUpDue_{0};

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
