#include "engine/link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "protocol/slots.h"

namespace vorda {

namespace {

constexpr int kMaxSends = 3;
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
           Logs& logs, const Display& display, AnswerListener& listener)
    : driver_(driver),
      mailbox_(mailbox),
      board_(board),
      runner_(runner),
      logs_(logs),
      display_(display),
      listener_(listener) {}

Link::~Link() {
    stopSender();
    if (connected_) {
        close();
    }
    stopReceiver();
}

// --- The port ---

std::shared_ptr<SerialPort> Link::currentPort() {
    std::lock_guard<std::mutex> lock(port_.mutex);
    return port_.port;
}

Result Link::configure(const SerialSettings& settings) {
    std::shared_ptr<SerialPort> port = currentPort();
    if (port == nullptr || driver_.configure == nullptr) {
        return Result::PortMissing;
    }
    baudRate_ = settings.baudRate;
    return driver_.configure(port.get(), settings) ? Result::Ok : Result::PortRefused;
}

Result Link::open(int portNumber, const SerialSettings& settings) {
    if (driver_.open == nullptr) {
        return Result::PortMissing;
    }
    display_.showWaitCursor();
    // A receiver of an earlier connection ends at its next pass; wait for it, so that
    // one receiver at most reads the port.
    stopReceiver();

    portNumber_ = portNumber;
    OpenError error = OpenError::None;
    uint32_t systemError = 0;
    SerialPort* opened =
        driver_.open(driver_.context, messageText(Text::Com), portNumber, &error, &systemError);
    if (opened == nullptr) {
        return Result::PortMissing;
    }
    const SerialDriver driver = driver_;
    std::shared_ptr<SerialPort> port(opened, [driver](SerialPort* p) { driver.close(p); });
    if (driver_.setupQueues) {
        driver_.setupQueues(port.get(), kPortQueueSize, kPortQueueSize);
    }
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port_.port = port;
    }
    auto dropPort = [this] {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port_.port.reset();
    };
    if (configure(settings) != Result::Ok) {
        connected_ = 0;
        dropPort();
        return Result::PortRefused;
    }
    connected_ = 1;
    if (!startReceiver()) {
        connected_ = 0;
        dropPort();
        return Result::NoThread;
    }
    display_.setMenuStates(false, true, true);
    testMode_ = 0;
    display_.setStatus(Text::Connected);
    return Result::Ok;
}

void Link::close() {
    connected_ = 0;
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(port_.mutex);
        port.swap(port_.port);
    }
    if (port != nullptr && driver_.clearDtr) {
        driver_.clearDtr(port.get());
    }
    port.reset();  // closed here, or by the last reader or writer to let go of it
    display_.setMenuStates(true, false, true);
    testMode_ = 0;
    display_.setStatus(Text::Disconnected);
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
        countReadFailure(systemError);
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
        countReadFailure(systemError);
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
    }
    logs_.appendTransmission('O', bytes, count, errors_.snapshot());
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
        display_.setTimer(kPollTimer, kPollPeriodMs);
        pollTimerOn_ = 1;
    }
    if (onDemand) {
        pollTick();
        autoConnected_ = 1;
    }
}

void Link::pollTick() {
    mailbox_.write(kSlotLight, "20S");
    mailbox_.write(kSlotBacklightState, "20Z");
}

void Link::stopLinkTimers() {
    if (pollTimerOn_) {
        display_.killTimer(kPollTimer);
        pollTimerOn_ = 0;
    }
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

// --- The sender ---

void Link::startAnswerTimer() {
    if (!answerTimerOn_) {
        display_.setTimer(kAnswerTimer,
                          answerTimeoutMs(baudRate_, slotInFlight_, dataAnswerExpected_ != 0));
        answerTimerOn_ = 1;
    }
}

void Link::stopAnswerTimer() {
    if (answerTimerOn_) {
        display_.killTimer(kAnswerTimer);
        answerTimerOn_ = 0;
    }
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
}

void Link::senderPass() {
    if (!tryAcquire(timeoutLock_)) {
        return;
    }
    if (!tryAcquire(mailbox_.lock())) {
        release(timeoutLock_);
        return;
    }
    if (!tryAcquire(exchangeLock_)) {
        release(mailbox_.lock());
        release(timeoutLock_);
        return;
    }
    int took = 0;
    if (slotInFlight_ == 0 && answerTimerOn_ == 0) {
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
        startAnswerTimer();
    }
    // A connection opened on demand closes only when nothing at all is left: a pass that
    // has just wrapped the rotation may still find slots below the last one served.
    if (slotInFlight_ == 0 && answerTimerOn_ == 0 && autoConnected_ && !mailbox_.anyPending()) {
        disconnectAfterDrain();
        autoConnected_ = 0;
    }
    release(exchangeLock_);
    release(mailbox_.lock());
    release(timeoutLock_);
}

bool Link::startSender() {
    if (senderThread_.joinable()) {
        return false;
    }
    senderRun_ = 1;
    try {
        senderThread_ = std::thread([this] {
            while (senderRun_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                senderPass();
            }
        });
    } catch (const std::system_error&) {
        senderRun_ = 0;
        return false;
    }
    return true;
}

void Link::stopSender() {
    senderRun_ = 0;
    if (senderThread_.joinable()) {
        senderThread_.join();
    }
}

void Link::answerTimeoutTick() {
    if (!tryAcquire(exchangeLock_)) {
        return;
    }
    if (!answerTimerOn_) {
        release(exchangeLock_);
        return;
    }
    if (!tryAcquire(timeoutLock_)) {
        release(exchangeLock_);
        return;
    }
    errors_.answerErrors++;
    display_.setStatus(Text::TransmissionError);
    retryCount_++;
    if (retryCount_ >= kMaxSends) {
        mailbox_.finish(slotInFlight_);
        display_.setStatus(Text::TransmissionError);
        display_.setLightLevel("");
        stopAnswerTimer();
        dataAnswerExpected_ = 0;
        slotInFlight_ = 0;
    } else if (connected_) {
        sendFrame(sendBuffer_);
    }
    release(timeoutLock_);
    release(exchangeLock_);
}

// --- The receiver ---

bool Link::startReceiver() {
    if (receiverThread_.joinable()) {
        return false;  // the previous receiver has not been waited for
    }
    try {
        receiverThread_ = std::thread([this] {
            FrameAssembler assembler;
            while (connected_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (!receiverPass(assembler)) {
                    break;
                }
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Link::stopReceiver() {
    if (receiverThread_.joinable() && !connected_) {
        receiverThread_.join();
    }
}

bool Link::receiverPass(FrameAssembler& assembler) {
    spinAcquire(timeoutLock_);
    spinAcquire(exchangeLock_);
    if (!connected_) {
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
    return true;
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
    const std::string value(reinterpret_cast<const char*>(frame + 2),
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
