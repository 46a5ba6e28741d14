#include "engine/link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <system_error>

#include "protocol/slots.h"

namespace vorda {

namespace {

constexpr int kMaxSends = 3;
constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
// How soon the sender tries again when a lock it only tries was taken, and how often a
// receiver whose driver cannot wait looks at the port.
constexpr uint32_t kRetryMs = 1;
constexpr uint32_t kReadPeriodMs = 10;
// The system error code of a handle that is no longer valid.
constexpr uint32_t kInvalidHandle = 6;

bool isPriceSlot(int slot) {
    return slot >= kSlotPrice1 && slot <= kSlotPrice5;
}

}  // namespace

ErrorCounts LinkErrors::snapshot() const {
    ErrorCounts c;
    c.answerErrors = answerErrors;
    c.readErrorCode = readErrorCode;
    c.errorRdCount = errorRdCount;
    c.readStatusCount = readStatusCount;
    c.writeErrorCode = writeErrorCode;
    c.errorWrCount = errorWrCount;
    c.writeStatusCount = writeStatusCount;
    return c;
}

Link::Link(const SerialDriver& driver, Mailbox& mailbox, PriceBoard& board, ScriptRunner& runner,
           Logs& logs, const Display& display, AnswerListener& listener, SteadyClock steady)
    : driver_(driver),
      mailbox_(mailbox),
      board_(board),
      runner_(runner),
      logs_(logs),
      display_(display),
      listener_(listener),
      steady_(steady) {
    mailbox_.setWriteListener([](void* link) { static_cast<Link*>(link)->wakeSender(); }, this);
}

Link::~Link() {
    stopSender();
    if (connected_) {
        close();
    }
    stopReceiver();
}

uint64_t Link::now() const {
    if (steady_.nowMs != nullptr) {
        return steady_.nowMs(steady_.context);
    }
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// --- The port ---

std::shared_ptr<SerialPort> Link::currentPort() {
    std::lock_guard<std::mutex> lock(port_.mutex);
    return port_.port;
}

// Drops the link's hold on the port and wakes a receiver waiting on it; the port closes
// when the last reader or writer lets go of it.
void Link::dropPort() {
    receiverRun_ = 0;
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port.swap(port_.port);
    }
    if (port != nullptr && driver_.wake != nullptr) {
        driver_.wake(port.get());
    }
}

Result Link::configure(const SerialSettings& settings) {
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port = port_.port;
        if (port != nullptr || portMissing_) {
            port_.settings = settings;
        }
    }
    if (port == nullptr || driver_.configure == nullptr) {
        if (portMissing_) {
            baudRate_ = settings.baudRate;  // applied when the port is back
            return Result::Ok;
        }
        return Result::PortMissing;
    }
    baudRate_ = settings.baudRate;
    return driver_.configure(port.get(), settings) ? Result::Ok : Result::PortRefused;
}

// Opens and configures a port without making it the link's; nullptr (and the port closed
// again, and `why` said) when either fails.
std::shared_ptr<SerialPort> Link::openPort(int portNumber, const SerialSettings& settings,
                                           Result* why) {
    OpenError error = OpenError::None;
    uint32_t systemError = 0;
    SerialPort* opened =
        driver_.open(driver_.context, messageText(Text::Com), portNumber, &error, &systemError);
    *why = Result::PortMissing;
    if (opened == nullptr) {
        return nullptr;
    }
    const SerialDriver driver = driver_;
    std::shared_ptr<SerialPort> port(opened, [driver](SerialPort* p) { driver.close(p); });
    if (driver_.setupQueues) {
        driver_.setupQueues(port.get(), kPortQueueSize, kPortQueueSize);
    }
    *why = Result::PortRefused;
    if (driver_.configure == nullptr || !driver_.configure(port.get(), settings)) {
        return nullptr;
    }
    *why = Result::Ok;
    baudRate_ = settings.baudRate;
    return port;
}

Result Link::open(int portNumber, const SerialSettings& settings) {
    if (driver_.open == nullptr) {
        return Result::PortMissing;
    }
    display_.showWaitCursor();
    // A receiver of an earlier connection ends at once; wait for it, so that one
    // receiver at most reads the port.
    stopReceiver();

    portNumber_ = portNumber;
    Result why = Result::Ok;
    std::shared_ptr<SerialPort> port = openPort(portNumber, settings, &why);
    if (port == nullptr) {
        return why;
    }
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port_.port = port;
        port_.settings = settings;
    }
    portMissing_ = 0;
    resendInFlight_ = 0;
    connected_ = 1;
    if (!startReceiver()) {
        connected_ = 0;
        dropPort();
        return Result::NoThread;
    }
    display_.setMenuStates(false, true, true);
    testMode_ = 0;
    display_.setStatus(Text::Connected);
    wakeSender();
    return Result::Ok;
}

void Link::close() {
    connected_ = 0;
    portMissing_ = 0;
    resendInFlight_ = 0;
    std::shared_ptr<SerialPort> port = currentPort();
    if (port != nullptr && driver_.clearDtr) {
        driver_.clearDtr(port.get());
    }
    port.reset();
    dropPort();
    display_.setMenuStates(true, false, true);
    testMode_ = 0;
    display_.setStatus(Text::Disconnected);
    wakeSender();
}

bool Link::deviceGone(uint32_t systemError) const {
    return driver_.deviceGone != nullptr && driver_.deviceGone(systemError);
}

// The device of the port went away (with the link locks held): the port is closed, the
// link stays connected with its commands queued, and the sender tries to open the port
// again every kReopenPeriodMs. The command in flight goes again, as a fresh send, once the
// port is back; its time-out waits meanwhile.
void Link::losePort() {
    if (!connected_ || portMissing_.exchange(1) != 0) {
        return;
    }
    dropPort();
    const uint64_t t = now();
    reopenDue_ = t + kReopenPeriodMs;
    giveUpDue_ = t + kPortGiveUpMs;
    resendInFlight_ = 1;
    display_.setStatus(Text::PortMissing, portNumber_);
    wakeSender();
}

// The sender's attempt to open a missing port again, with the settings it had.
void Link::reopenPort(uint64_t t) {
    reopenDue_ = t + kReopenPeriodMs;
    SerialSettings settings;
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        settings = port_.settings;
    }
    stopReceiver();  // the lost port's receiver has been told to end
    Result why = Result::Ok;
    std::shared_ptr<SerialPort> port = openPort(portNumber_, settings, &why);
    if (port == nullptr) {
        return;
    }
    LinkLocks locks(*this);
    if (!connected_ || !portMissing_) {
        return;  // "Rozłącz" or "Test" came first: the port closes again
    }
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port_.port = port;
    }
    portMissing_ = 0;
    if (!startReceiver()) {
        dropPort();
        portMissing_ = 1;
        return;
    }
    display_.setStatus(runner_.running() ? Text::ConnectedScript : Text::Connected);
}

void Link::countReadFailure(uint32_t systemError) {
    errors_.readErrorCode = systemError;
    errors_.readStatusCount++;
    errors_.errorRdCount++;
    logs_.appendTransmission('I', nullptr, 0, errors_.snapshot());
}

int Link::read(uint8_t* destination, int max) {
    std::shared_ptr<SerialPort> port = currentPort();
    if (port == nullptr || driver_.queryErrors == nullptr) {
        countReadFailure(kInvalidHandle);
        return 0;
    }
    uint32_t flags = 0;
    uint32_t queued = 0;
    uint32_t systemError = 0;
    if (!driver_.queryErrors(port.get(), &flags, &queued, &systemError)) {
        port.reset();
        countReadFailure(systemError);
        if (deviceGone(systemError)) {
            losePort();
        }
        return 0;
    }
    errors_.readErrorCode = flags;
    if (flags != 0) {
        errors_.errorRdCount++;
        if (queued == 0) {
            logs_.appendTransmission('I', nullptr, 0, errors_.snapshot());
        }
    }
    if (queued == 0) {
        return 0;
    }
    uint8_t scratch[kPortQueueSize];
    const uint32_t wanted =
        std::min<uint32_t>({queued, static_cast<uint32_t>(std::max(max, 0)), kPortQueueSize});
    uint32_t got = 0;
    if (!driver_.read(port.get(), scratch, wanted, &got, &systemError)) {
        port.reset();
        countReadFailure(systemError);
        if (deviceGone(systemError)) {
            losePort();
        }
        return 0;
    }
    logs_.appendTransmission('I', scratch, got, errors_.snapshot());
    std::copy(scratch, scratch + got, destination);
    return static_cast<int>(got);
}

void Link::write(const uint8_t* bytes, size_t count) {
    std::shared_ptr<SerialPort> port = currentPort();
    uint32_t systemError = kInvalidHandle;
    const bool written =
        port != nullptr && driver_.write != nullptr &&
        driver_.write(port.get(), bytes, static_cast<uint32_t>(count), &systemError);
    bool gone = false;
    if (!written) {
        // Every failed write counts, also when the error query succeeds; the marker then
        // shows the comm error flags, or the write's own error code when there are none.
        uint32_t flags = 0;
        uint32_t queued = 0;
        uint32_t queryError = 0;
        if (port != nullptr && driver_.queryErrors != nullptr &&
            driver_.queryErrors(port.get(), &flags, &queued, &queryError)) {
            errors_.writeErrorCode = flags != 0 ? flags : systemError;
        } else {
            errors_.writeErrorCode = port != nullptr ? queryError : systemError;
        }
        errors_.writeStatusCount++;
        errors_.errorWrCount++;
        gone = port != nullptr && deviceGone(systemError);
    }
    port.reset();
    logs_.appendTransmission('O', bytes, count, errors_.snapshot());
    if (gone) {
        losePort();
    }
}

// --- Opening and closing the link ---

void Link::startConnection(bool onDemand) {
    if (runner_.stop()) {
        display_.setStartStop(false);
    }
    clearMailbox();
    if (!onDemand) {
        board_.reset();
    }
    display_.setLightLevel("");
    if (!pollTimerOn_) {
        pollDue_ = now() + kPollPeriodMs;
        pollTimerOn_ = 1;
    }
    if (onDemand) {
        pollTick();
        autoConnected_ = 1;
    }
    wakeSender();
}

void Link::pollTick() {
    mailbox_.write(kSlotLight, "20S");
    mailbox_.write(kSlotBacklightState, "20Z");
}

void Link::stopLinkTimers() {
    pollTimerOn_ = 0;
    stopAnswerTimer();
}

void Link::shutDown() {
    LinkLocks locks(*this);
    stopLinkTimers();
    if (connected_) {
        close();
    }
    clearMailbox();
    autoConnected_ = 0;
}

void Link::setTestMode(bool on) {
    testMode_ = on ? 1 : 0;
    wakeSender();
}

void Link::clearMailbox() {
    mailbox_.clear();
    dataAnswerExpected_ = 0;
    slotInFlight_ = 0;
}

// The sender's closing of a connection opened on demand, once nothing at all is left.
void Link::disconnectAfterDrain() {
    // The runner first, as for "Rozłącz": it then cannot end by itself over the closing.
    if (runner_.stop()) {
        display_.setStartStop(false);
    }
    stopLinkTimers();
    if (connected_) {
        close();
    }
    clearMailbox();
    if (testMode_) {
        display_.setMenuStates(true, false, true);
        testMode_ = 0;
        display_.setStatus(Text::Disconnected);
    }
}

// A link opened on demand whose port stayed missing for kPortGiveUpMs: its commands are
// given up and it closes, the transmission error shown last.
void Link::giveUpWithoutPort() {
    disconnectAfterDrain();
    autoConnected_ = 0;
    display_.setStatus(Text::TransmissionError);
    display_.setLightLevel("");
}

// --- The sender ---

void Link::startAnswerTimer(uint64_t t) {
    if (!answerTimerOn_) {
        answerPeriod_ = answerTimeoutMs(baudRate_, slotInFlight_, dataAnswerExpected_ != 0);
        answerDue_ = t + answerPeriod_;
        answerTimerOn_ = 1;
    }
}

void Link::stopAnswerTimer() {
    answerTimerOn_ = 0;
}

void Link::sendFrame(const char* text) {
    uint8_t frame[kSendBufferSize + 4];
    const size_t n = buildFrame(text, std::strlen(text), frame);
    write(frame, n);
}

// Test mode: what the tower would have shown, without a port.
void Link::executeLocally(int slot) {
    if (isPriceSlot(slot)) {
        board_.showCommand(sendBuffer_);
    } else if (slot == kSlotLight) {
        display_.setLightLevel("");
    }
    mailbox_.finish(slot);
}

void Link::completeSlot(int slot) {
    stopAnswerTimer();
    mailbox_.finish(slot);
    dataAnswerExpected_ = 0;
    slotInFlight_ = 0;
    if (connected_) {
        display_.setStatus(runner_.running() ? Text::ConnectedScript : Text::Connected);
    }
    listener_.onCommandEnded(slot, true);
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
    // The port is back: the command that was in flight when it went goes first, afresh.
    if (resendInFlight_ && !portMissing_) {
        resendInFlight_ = 0;
        if (slotInFlight_ != 0 && connected_) {
            stopAnswerTimer();
            sendFrame(sendBuffer_);
            retryCount_ = 0;
            startAnswerTimer(t);
        }
    }
    int took = 0;
    if (slotInFlight_ == 0 && answerTimerOn_ == 0 && !portMissing_) {
        took = mailbox_.takeNext(sendBuffer_);
        if (took != 0) {
            slotInFlight_ = took;
            dataAnswerExpected_ = dataAnswerExpectedFor(took, sendBuffer_) ? 1 : 0;
        }
    }
    if (took != 0 && testMode_) {
        executeLocally(took);
        dataAnswerExpected_ = 0;
        slotInFlight_ = 0;
    } else if (took != 0 && connected_) {
        sendFrame(sendBuffer_);
        retryCount_ = 0;
        startAnswerTimer(t);
    }
    if (portMissing_ && autoConnected_ && t >= giveUpDue_) {
        giveUpWithoutPort();
    }
    // A connection opened on demand closes only when nothing at all is left: a pass that
    // has just wrapped the rotation may still find slots below the last one served.
    const bool idle = slotInFlight_ == 0 && answerTimerOn_ == 0;
    if (idle && autoConnected_ && !mailbox_.anyPending()) {
        disconnectAfterDrain();
        autoConnected_ = 0;
    }
    const bool more = idle && !portMissing_ && (connected_ || testMode_) && mailbox_.anyPending();
    release(exchangeLock_);
    release(mailbox_.lock());
    release(timeoutLock_);
    return more ? Pass::Again : Pass::Done;
}

bool Link::tick(uint64_t t) {
    std::lock_guard<std::mutex> step(stepMutex_);
    bool soon = false;
    if (portMissing_ && connected_ && t >= reopenDue_) {
        reopenPort(t);
    }
    // A command that goes again once its port is back starts its time-out afresh then.
    if (answerTimerOn_ && !portMissing_ && !resendInFlight_ && t >= answerDue_) {
        if (answerTimedOut()) {
            answerDue_ = t + answerPeriod_;
        } else {
            soon = true;  // tried again as soon as the lock is free
        }
    }
    if (pollTimerOn_ && t >= pollDue_) {
        pollDue_ = t + kPollPeriodMs;
        pollTick();
    }
    return senderPass(t) != Pass::Done || soon;
}

uint64_t Link::nextDeadline() const {
    uint64_t next = kNever;
    if (answerTimerOn_ && !portMissing_ && !resendInFlight_) {
        next = std::min(next, answerDue_.load());
    }
    if (pollTimerOn_) {
        next = std::min(next, pollDue_.load());
    }
    if (portMissing_ && connected_) {
        next = std::min(next, reopenDue_.load());
        if (autoConnected_) {
            next = std::min(next, giveUpDue_.load());
        }
    }
    return next;
}

void Link::wakeSender() {
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        wakeSignalled_ = true;
    }
    wakeCondition_.notify_one();
}

// Sleeps until woken or until the next deadline, then takes one step. A signal that
// comes during a step makes the next sleep end at once, so none is lost.
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
        const uint64_t next = soon ? t + kRetryMs : nextDeadline();
        auto woken = [this] { return wakeSignalled_ || !senderRun_; };
        if (next == kNever) {
            wakeCondition_.wait(lock, woken);
        } else {
            const uint64_t after = now();
            const uint64_t ms = next > after ? next - after : kRetryMs;
            wakeCondition_.wait_for(lock, std::chrono::milliseconds(ms), woken);
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

// The answer time-out fell due: counts a time-out, re-sends, or gives the command up at
// the third. Only tries the locks: false, nothing done, when one is taken.
bool Link::answerTimedOut() {
    if (!tryAcquire(exchangeLock_)) {
        return false;
    }
    if (!answerTimerOn_) {
        release(exchangeLock_);
        return true;
    }
    if (!tryAcquire(timeoutLock_)) {
        release(exchangeLock_);
        return false;
    }
    errors_.answerErrors++;
    display_.setStatus(Text::TransmissionError);
    retryCount_++;
    if (retryCount_ >= kMaxSends) {
        const int slot = slotInFlight_;
        mailbox_.finish(slotInFlight_);
        display_.setStatus(Text::TransmissionError);
        display_.setLightLevel("");
        stopAnswerTimer();
        dataAnswerExpected_ = 0;
        slotInFlight_ = 0;
        listener_.onCommandEnded(slot, false);
    } else if (connected_) {
        sendFrame(sendBuffer_);
    }
    release(timeoutLock_);
    release(exchangeLock_);
    return true;
}

// --- The receiver ---

bool Link::startReceiver() {
    std::lock_guard<std::mutex> lock(receiverMutex_);
    if (receiverThread_.joinable()) {
        return false;  // the previous receiver has not been waited for
    }
    receiverRun_ = 1;
    try {
        receiverThread_ = std::thread([this] { receiverLoop(); });
    } catch (const std::system_error&) {
        receiverRun_ = 0;
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
    while (receiverRun_) {
        std::shared_ptr<SerialPort> port = currentPort();
        if (port == nullptr) {
            break;
        }
        uint32_t systemError = 0;
        bool input = true;
        if (driver_.waitForInput != nullptr) {
            input = driver_.waitForInput(port.get(), &systemError);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadPeriodMs));
        }
        port.reset();
        if (!receiverRun_) {
            break;
        }
        if (!input) {
            if (systemError == 0) {
                break;  // woken: the port is being closed
            }
            if (deviceGone(systemError)) {
                LinkLocks locks(*this);
                countReadFailure(systemError);  // as the read that found it would have been
                losePort();
                break;
            }
            // A wait that fails for another reason: the port is looked at as before.
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadPeriodMs));
        }
        if (!receiverPass(assembler)) {
            break;
        }
    }
}

bool Link::receiverPass(FrameAssembler& assembler) {
    spinAcquire(timeoutLock_);
    spinAcquire(exchangeLock_);
    if (!connected_ || !receiverRun_) {
        release(exchangeLock_);
        release(timeoutLock_);
        return false;
    }
    uint8_t buffer[kReadMax];
    const int n = read(buffer, kReadMax);
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
                if (isPriceSlot(slot)) {
                    board_.showCommand(sendBuffer_);
                }
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
        errors_.answerErrors++;
        return;
    }
    const std::string_view value(reinterpret_cast<const char*>(frame + 2),
                                 static_cast<size_t>(length - 5));
    switch (letter) {
        case 'C':
        case 'M':
            listener_.onAnswer(static_cast<char>(letter), value);
            board_.showCommand(sendBuffer_);
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
        case 'Z':
            board_.showBacklight(value[0] == '1');
            completeSlot(slot);
            break;
        case 'A':
        case 'V':
            listener_.onAnswer(static_cast<char>(letter), value);
            completeSlot(slot);
            break;
        default:
            break;
    }
}

}  // namespace vorda
