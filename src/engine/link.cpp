#include "engine/link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <system_error>

#include "protocol/commands.h"
#include "protocol/slots.h"

namespace vorda {

namespace {

// How soon the sender tries again when a lock it only tries was taken, and how often a
// receiver whose driver cannot wait looks at the port.
constexpr uint32_t kRetryMs = 1;
constexpr uint32_t kReadPeriodMs = 10;

}  // namespace

bool isConnected(LinkState s) {
    return s == LinkState::Connected || s == LinkState::ConnectedOnDemand ||
           s == LinkState::PortMissing || s == LinkState::PortMissingOnDemand;
}

bool isOnDemand(LinkState s) {
    return s == LinkState::ConnectedOnDemand || s == LinkState::PortMissingOnDemand;
}

bool isPortMissing(LinkState s) {
    return s == LinkState::PortMissing || s == LinkState::PortMissingOnDemand;
}

Link::Link(const SerialDriver& driver, Mailbox& mailbox, Logs& logs, LinkListener& listener,
           Timers& timers)
    : mailbox_(mailbox), listener_(listener), timers_(timers), port_(driver, logs) {
    mailbox_.setWriteListener([](void* link) { static_cast<Link*>(link)->wakeSender(); }, this);
}

Link::~Link() {
    stopSender();
    if (connected()) {
        close();
    }
    // Whatever the state says, no receiver outlives the link.
    receiverRun_ = 0;
    port_.close();
    stopReceiver();
    std::lock_guard<std::mutex> lock(deadlineMutex_);
    for (uint64_t& id : deadlineTimers_) {
        timers_.cancel(std::exchange(id, 0));
    }
}

// Sets a deadline, with the timer that wakes the sender when it falls due (in place of
// the deadline's earlier timer).
void Link::setDeadline(Deadline which, std::atomic<uint64_t>& due, uint64_t at) {
    due = at;
    std::lock_guard<std::mutex> lock(deadlineMutex_);
    timers_.cancel(deadlineTimers_[which]);
    deadlineTimers_[which] = timers_.schedule(
        at, [](void* link, uint64_t) { static_cast<Link*>(link)->wakeSender(); }, this, which);
}

void Link::clearDeadline(Deadline which, std::atomic<uint64_t>& due) {
    due = 0;
    std::lock_guard<std::mutex> lock(deadlineMutex_);
    timers_.cancel(std::exchange(deadlineTimers_[which], 0));
}

void Link::setState(LinkState state) {
    if (state_.exchange(state) != state) {
        listener_.onLinkState(state);
    }
}

// --- Opening and closing ---

Result Link::open(int portNumber, const SerialSettings& settings) {
    // A receiver of an earlier connection ends at once; wait for it, so that one
    // receiver at most reads the port.
    stopReceiver();
    const Result opened = port_.open(portNumber, settings);
    if (opened != Result::Ok) {
        return opened;
    }
    receiverRun_ = 1;
    if (!startReceiver()) {
        port_.close();
        return Result::NoThread;
    }
    setState(LinkState::Connected);
    wakeSender();
    return Result::Ok;
}

Result Link::configure(const SerialSettings& settings) {
    const Result result = port_.configure(settings);
    return result == Result::PortMissing && portMissing() ? Result::Ok : result;
}

void Link::close() {
    receiverRun_ = 0;
    port_.close();
    clearDeadline(kReopenDeadline, reopenDue_);
    clearDeadline(kGiveUpDeadline, giveUpDue_);
    if (exchange_ == Exchange::WaitingForPort) {
        exchange_ = Exchange::Idle;
    }
    setState(LinkState::Closed);
    wakeSender();
}

void Link::startConnection(bool onDemand) {
    clearMailbox();
    if (pollDue_ == 0) {
        setDeadline(kPollDeadline, pollDue_, now() + kPollPeriodMs);
    }
    if (onDemand) {
        pollTick();
        setState(LinkState::ConnectedOnDemand);
    }
    wakeSender();
}

void Link::pollTick() {
    mailbox_.write(kSlotLight, kReadLight);
    mailbox_.write(kSlotBacklightState, kReadBacklight);
}

void Link::shutDown(LinkState next) {
    LinkLocks locks(*this);
    clearDeadline(kPollDeadline, pollDue_);
    exchange_ = Exchange::Idle;
    if (connected()) {
        close();
    }
    dropCommands(DropReason::Closed);
    setState(next);
    wakeSender();
}

void Link::clearMailbox() {
    dropCommands(DropReason::Restarted);
}

void Link::holdOpen(bool held) {
    held_ = held;
    wakeSender();
}

// The command in flight is done with (answered, executed, given up or dropped).
void Link::forgetCommand() {
    clearDeadline(kAnswerDeadline, answerDue_);
    exchange_ = Exchange::Idle;
    dataAnswerExpected_ = 0;
    slotInFlight_ = 0;
    sends_ = 0;
    giveUpArmed_ = false;
}

// Sends the command in flight once more, and arms its answer time-out. Each send counts,
// also the one after its port came back: a port that keeps going away does not have the
// same command written to it for ever.
void Link::sendCommand(uint64_t t) {
    sends_++;
    sendFrame(sendBuffer_);
    startAnswerTimer(t);
}

// Frees every slot and forgets the command in flight; the listener hears of it when
// anything was waiting.
void Link::dropCommands(DropReason why) {
    const bool any = slotInFlight_ != 0 || mailbox_.anyPending();
    mailbox_.clear();
    forgetCommand();
    if (any || why == DropReason::PortGone) {
        listener_.onCommandsDropped(why);
    }
}

// The device of the port went away (with the link locks held): the port is closed, the
// link stays connected with its commands queued, and the sender tries to open the port
// again every kReopenPeriodMs. The command in flight goes again, as a fresh send, once the
// port is back; its time-out waits meanwhile.
void Link::losePort() {
    const LinkState s = state_;
    if (!isConnected(s) || isPortMissing(s)) {
        return;
    }
    receiverRun_ = 0;
    port_.drop();
    const uint64_t t = now();
    setDeadline(kReopenDeadline, reopenDue_, t + kReopenPeriodMs);
    // Once for the command in flight: a port that comes back and goes again does not put
    // the give-up off.
    if (!giveUpArmed_ && isOnDemand(s)) {
        setDeadline(kGiveUpDeadline, giveUpDue_, t + kPortGiveUpMs);
        giveUpArmed_ = slotInFlight_ != 0;
    }
    if (slotInFlight_ != 0) {
        exchange_ = Exchange::WaitingForPort;
    }
    setState(s == LinkState::ConnectedOnDemand ? LinkState::PortMissingOnDemand
                                               : LinkState::PortMissing);
    wakeSender();
}

// The sender's attempt to open a missing port again, with the settings it had.
void Link::reopenPort(uint64_t t) {
    setDeadline(kReopenDeadline, reopenDue_, t + kReopenPeriodMs);
    stopReceiver();  // the lost port's receiver has been told to end
    if (port_.reopen() != Result::Ok) {
        return;
    }
    LinkLocks locks(*this);
    const LinkState s = state_;
    if (!isPortMissing(s) || !port_.installReopened()) {
        port_.installReopened();  // "Rozłącz" or "Test" came first: the port closes again
        return;
    }
    receiverRun_ = 1;
    if (!startReceiver()) {
        receiverRun_ = 0;
        port_.drop();
        return;
    }
    clearDeadline(kReopenDeadline, reopenDue_);  // the give-up stays set for the command
    setState(s == LinkState::PortMissingOnDemand ? LinkState::ConnectedOnDemand
                                                 : LinkState::Connected);
}

// The sender's closing of a connection opened on demand, once nothing at all is left.
void Link::disconnectAfterDrain() {
    clearDeadline(kPollDeadline, pollDue_);
    exchange_ = Exchange::Idle;
    if (connected()) {
        close();
    }
    clearMailbox();
}

// A link opened on demand whose port stayed missing for kPortGiveUpMs: its commands are
// given up and it closes.
void Link::giveUpWithoutPort() {
    clearDeadline(kPollDeadline, pollDue_);
    exchange_ = Exchange::Idle;
    close();
    dropCommands(DropReason::PortGone);
}

// --- The sender ---

// Arms the answer time-out of the command just sent, unless its port went away meanwhile.
void Link::startAnswerTimer(uint64_t t) {
    if (exchange_ == Exchange::Idle) {
        answerPeriod_ = answerTimeoutMs(port_.baudRate(), slotInFlight_, dataAnswerExpected_ != 0);
        setDeadline(kAnswerDeadline, answerDue_, t + answerPeriod_);
        exchange_ = Exchange::Waiting;
    }
}

void Link::sendFrame(const char* text) {
    uint8_t frame[kSendBufferSize + 4];
    const size_t n = buildFrame(text, std::strlen(text), frame);
    bool gone = false;
    port_.write(frame, n, &gone);
    if (gone) {
        losePort();
    }
}

// Test mode: what the tower would have shown, without a port.
void Link::executeLocally(int slot) {
    mailbox_.finish(slot);
    forgetCommand();
    listener_.onCommandEnded(slot, sendBuffer_, CommandEnd::Executed);
}

void Link::completeSlot(int slot) {
    mailbox_.finish(slot);
    forgetCommand();
    listener_.onCommandEnded(slot, sendBuffer_, CommandEnd::Answered);
}

Link::Pass Link::senderPass(uint64_t t) {
    if (!tryAcquire(timeoutLock_)) {
        return Pass::LockTaken;
    }
    if (!tryAcquire(mailbox_.lock())) {
        release(timeoutLock_);
        return Pass::LockTaken;
    }
    if (!tryAcquire(exchangeLock_)) {
        release(mailbox_.lock());
        release(timeoutLock_);
        return Pass::LockTaken;
    }
    // The port is back: the command that was in flight when it went goes first, as its
    // next send, or is given up when it has had its three.
    if (exchange_ == Exchange::WaitingForPort && !portMissing()) {
        exchange_ = Exchange::Idle;
        if (slotInFlight_ != 0 && connected() && sends_ >= kMaxSends) {
            giveUp();
        } else if (slotInFlight_ != 0 && connected()) {
            sendCommand(t);
        }
    }
    int took = 0;
    if (slotInFlight_ == 0 && exchange_ == Exchange::Idle && !portMissing()) {
        took = mailbox_.takeNext(sendBuffer_);
        if (took != 0) {
            slotInFlight_ = took;
            dataAnswerExpected_ = dataAnswerExpectedFor(took, sendBuffer_) ? 1 : 0;
            taken_++;
        }
    }
    if (took != 0 && testMode()) {
        executeLocally(took);
    } else if (took != 0 && connected()) {
        // What an earlier command's late answer left waiting cannot answer this one.
        port_.discardInput();
        sendCommand(t);
    }
    if (state_ == LinkState::PortMissingOnDemand && t >= giveUpDue_) {
        giveUpWithoutPort();
    }
    // A connection opened on demand closes only when nothing at all is left: a pass that
    // has just wrapped the rotation may still find slots below the last one served.
    const bool idle = slotInFlight_ == 0 && exchange_ == Exchange::Idle;
    if (idle && onDemand() && !held_ && !mailbox_.anyPending()) {
        disconnectAfterDrain();
    }
    const bool more =
        idle && !portMissing() && (connected() || testMode()) && mailbox_.anyPending();
    release(exchangeLock_);
    release(mailbox_.lock());
    release(timeoutLock_);
    return more ? Pass::Again : Pass::Done;
}

bool Link::tick(uint64_t t) {
    std::lock_guard<std::mutex> step(stepMutex_);
    bool soon = false;
    if (portMissing() && t >= reopenDue_) {
        reopenPort(t);
    }
    // A command that goes again once its port is back starts its time-out afresh then.
    if (exchange_ == Exchange::Waiting && !portMissing() && t >= answerDue_ && !answerTimedOut(t)) {
        soon = true;  // tried again as soon as the lock is free
    }
    if (pollDue_ != 0 && t >= pollDue_) {
        setDeadline(kPollDeadline, pollDue_, t + kPollPeriodMs);
        pollTick();
    }
    return senderPass(t) != Pass::Done || soon;
}

void Link::wakeSender() {
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        wakeSignalled_ = true;
    }
    wakeCondition_.notify_one();
}

// Sleeps until woken (by work, or by a deadline's timer), then takes one step; a step that
// found a lock taken is taken again a moment later. A signal that comes during a step
// makes the next sleep end at once, so none is lost.
void Link::senderLoop() {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    while (senderRun_) {
        wakeSignalled_ = false;
        lock.unlock();
        const uint64_t t = now();
        const bool soon = tick(t);
        lock.lock();
        if (wakeSignalled_ || !senderRun_) {
            continue;
        }
        auto woken = [this] { return wakeSignalled_ || !senderRun_; };
        if (soon) {
            wakeCondition_.wait_for(lock, std::chrono::milliseconds(kRetryMs), woken);
        } else {
            wakeCondition_.wait(lock, woken);
        }
    }
}

bool Link::startSender() {
    if (senderThread_.joinable()) {
        return false;
    }
    senderRun_ = 1;
    try {
        senderThread_ = std::thread([this] { senderLoop(); });
    } catch (const std::system_error&) {
        senderRun_ = 0;
        return false;
    }
    return true;
}

void Link::stopSender() {
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        senderRun_ = 0;
    }
    wakeCondition_.notify_one();
    if (senderThread_.joinable()) {
        senderThread_.join();
    }
}

// The answer time-out fell due: counts a time-out, re-sends, or gives the command up after
// its third send. Only tries the locks: false, nothing done, when one is taken. Under
// them a port that went away meanwhile leaves nothing to do: its command waits for it.
bool Link::answerTimedOut(uint64_t t) {
    if (!tryAcquire(exchangeLock_)) {
        return false;
    }
    if (exchange_ != Exchange::Waiting) {
        release(exchangeLock_);
        return true;
    }
    if (!tryAcquire(timeoutLock_)) {
        release(exchangeLock_);
        return false;
    }
    port_.errors().answerErrors++;
    listener_.onAnswerTimeout(slotInFlight_);
    if (sends_ >= kMaxSends) {
        giveUp();
    } else if (connected()) {
        exchange_ = Exchange::Idle;
        sendCommand(t);
    }
    release(timeoutLock_);
    release(exchangeLock_);
    return true;
}

// The command in flight had its three sends without an answer (with the link locks held).
void Link::giveUp() {
    const int slot = slotInFlight_;
    mailbox_.finish(slot);
    forgetCommand();
    listener_.onCommandEnded(slot, sendBuffer_, CommandEnd::GivenUp);
}

// --- The receiver ---

bool Link::startReceiver() {
    std::lock_guard<std::mutex> lock(receiverMutex_);
    if (receiverThread_.joinable()) {
        return false;  // the previous receiver has not been waited for
    }
    try {
        receiverThread_ = std::thread([this] { receiverLoop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Link::stopReceiver() {
    std::lock_guard<std::mutex> lock(receiverMutex_);
    if (receiverThread_.joinable() && !receiverRun_) {
        receiverThread_.join();
    }
}

// Sleeps in the driver until bytes arrive or the port is closed (which wakes it), then
// takes one pass.
void Link::receiverLoop() {
    FrameAssembler assembler;
    uint32_t taken = taken_;
    while (receiverRun_) {
        uint32_t systemError = 0;
        const PortWait wait = port_.waitForInput(&systemError);
        if (!receiverRun_ || wait == PortWait::Woken) {
            break;  // the port is being closed
        }
        if (wait == PortWait::Gone) {
            LinkLocks locks(*this);
            port_.countReadFailure(systemError);  // as the read that found it would have been
            losePort();
            break;
        }
        if (wait == PortWait::Failed) {
            // A wait that fails for another reason: the port is looked at as before.
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadPeriodMs));
        }
        if (!receiverPass(assembler, taken)) {
            break;
        }
    }
}

bool Link::receiverPass(FrameAssembler& assembler, uint32_t& taken) {
    spinAcquire(timeoutLock_);
    spinAcquire(exchangeLock_);
    if (taken != taken_) {
        taken = taken_;
        assembler.reset();  // a frame begun for an earlier command is not this one's
    }
    if (!receiverRun_) {
        release(exchangeLock_);
        release(timeoutLock_);
        return false;
    }
    uint8_t buffer[kReadMax];
    bool gone = false;
    const int n = port_.read(buffer, kReadMax, &gone);
    if (gone) {
        losePort();
    }
    if (n > 0) {
        handleAnswerBytes(assembler, buffer, n);
        if (slotInFlight_ == 0) {
            assembler.reset();
        }
    }
    release(exchangeLock_);
    release(timeoutLock_);
    if (n > 0) {
        wakeSender();  // after the locks are free, so that its pass finds them free
    }
    return receiverRun_ != 0;
}

void Link::handleAnswerBytes(FrameAssembler& assembler, const uint8_t* bytes, int count) {
    const int slot = slotInFlight_;
    int limit = 0;
    const AnswerKind kind = answerKindOf(slot, dataAnswerExpected_ != 0, &limit);
    if (kind == AnswerKind::None) {
        return;
    }
    if (kind == AnswerKind::Ack) {
        for (int i = 0; i < count; ++i) {
            if (bytes[i] == kACK) {
                completeSlot(slot);
                return;
            }
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (assembler.feed(bytes[i], limit)) {
            checkFrame(slot, assembler.frame(), assembler.length());
        }
    }
}

void Link::checkFrame(int slot, const uint8_t* frame, int length) {
    const uint8_t letter = frame[1];
    const int mustBePending = answerSlotToCheck(slot, letter, length);
    if (mustBePending < 0 || (mustBePending > 0 && !mailbox_.pending(mustBePending))) {
        return;
    }
    if (!frameChecksumMatches(frame, static_cast<size_t>(length))) {
        port_.errors().answerErrors++;
        return;
    }
    const std::string_view value(reinterpret_cast<const char*>(frame + 2),
                                 static_cast<size_t>(length - 5));
    switch (letter) {
        case 'C':
        case 'M':
        case 'Z':
        case 'A':
        case 'V':
            listener_.onAnswer(static_cast<char>(letter), value);
            completeSlot(slot);
            break;
        case 'S':
        case 'l':
        case 'o':
        case 'L':
        case 'O':
            completeSlot(slot);
            listener_.onAnswer(static_cast<char>(letter), value);
            break;
        default:
            break;
    }
}

}  // namespace vorda
