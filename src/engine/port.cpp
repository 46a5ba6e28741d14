#include "engine/port.h"

#include <algorithm>

#include "settings/messages.h"

namespace vorda {

namespace {

// The system error code of a handle that is no longer valid.
constexpr uint32_t kInvalidHandle = 6;

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

std::shared_ptr<SerialPort> Port::current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return port_;
}

bool Port::isOpen() {
    return current() != nullptr;
}

bool Port::deviceGone(uint32_t systemError) const {
    return driver_.deviceGone != nullptr && driver_.deviceGone(systemError);
}

// Opens and configures a port without making it the one in use; nullptr (and the port
// closed again, and `why` said) when either fails.
std::shared_ptr<SerialPort> Port::openConfigured(int number, const SerialSettings& settings,
                                                 Result* why) {
    *why = Result::PortMissing;
    if (driver_.open == nullptr) {
        return nullptr;
    }
    OpenError error = OpenError::None;
    uint32_t systemError = 0;
    SerialPort* opened =
        driver_.open(driver_.context, messageText(Text::Com), number, &error, &systemError);
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
    return port;
}

Result Port::open(int number, const SerialSettings& settings) {
    Result why = Result::Ok;
    std::shared_ptr<SerialPort> port = openConfigured(number, settings, &why);
    if (port == nullptr) {
        return why;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    port_ = port;
    lost_ = false;
    accepted_ = wanted_ = settings;
    number_ = number;
    baudRate_ = settings.baudRate;
    return Result::Ok;
}

Result Port::reopen() {
    SerialSettings wanted, accepted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wanted = wanted_;
        accepted = accepted_;
    }
    Result why = Result::Ok;
    std::shared_ptr<SerialPort> port = openConfigured(number_, wanted, &why);
    if (port == nullptr && why == Result::PortRefused) {
        wanted = accepted;
        port = openConfigured(number_, wanted, &why);
    }
    if (port == nullptr) {
        return why;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    reopened_ = port;
    reopenedWith_ = wanted;
    return Result::Ok;
}

bool Port::installReopened() {
    std::shared_ptr<SerialPort> port;
    std::lock_guard<std::mutex> lock(mutex_);
    port.swap(reopened_);
    if (port == nullptr || !lost_) {
        return false;  // closed meanwhile: the port closes again
    }
    port_ = port;
    lost_ = false;
    accepted_ = wanted_ = reopenedWith_;
    baudRate_ = reopenedWith_.baudRate;
    return true;
}

Result Port::configure(const SerialSettings& settings) {
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port = port_;
        if (port == nullptr) {
            if (lost_) {
                wanted_ = settings;  // tried when the device is back
            }
            return Result::PortMissing;
        }
    }
    if (driver_.configure == nullptr || !driver_.configure(port.get(), settings)) {
        return Result::PortRefused;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    accepted_ = wanted_ = settings;
    baudRate_ = settings.baudRate;
    return Result::Ok;
}

void Port::close() {
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port.swap(port_);
        lost_ = false;
    }
    if (port != nullptr && driver_.clearDtr) {
        driver_.clearDtr(port.get());
    }
    if (port != nullptr && driver_.wake != nullptr) {
        driver_.wake(port.get());
    }
}

void Port::drop() {
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port.swap(port_);
        lost_ = true;
    }
    if (port != nullptr && driver_.wake != nullptr) {
        driver_.wake(port.get());
    }
}

void Port::countReadFailure(uint32_t systemError) {
    errors_.readErrorCode = systemError;
    errors_.readStatusCount++;
    errors_.errorRdCount++;
    logs_.appendTransmission('I', nullptr, 0, errors_.snapshot());
}

int Port::read(uint8_t* destination, int max, bool* gone) {
    *gone = false;
    std::shared_ptr<SerialPort> port = current();
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
        *gone = deviceGone(systemError);
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
        *gone = deviceGone(systemError);
        return 0;
    }
    logs_.appendTransmission('I', scratch, got, errors_.snapshot());
    std::copy(scratch, scratch + got, destination);
    return static_cast<int>(got);
}

bool Port::write(const uint8_t* bytes, size_t count, bool* gone) {
    *gone = false;
    std::shared_ptr<SerialPort> port = current();
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
        *gone = port != nullptr && deviceGone(systemError);
    }
    port.reset();
    logs_.appendTransmission('O', bytes, count, errors_.snapshot());
    return written;
}

void Port::discardInput() {
    std::shared_ptr<SerialPort> port = current();
    if (port != nullptr && driver_.discardInput != nullptr) {
        driver_.discardInput(port.get());
    }
}

PortWait Port::waitForInput(uint32_t* systemError) {
    *systemError = 0;
    std::shared_ptr<SerialPort> port = current();
    if (port == nullptr) {
        return PortWait::Woken;
    }
    if (driver_.waitForInput == nullptr) {
        return PortWait::Failed;  // looked at now and then instead
    }
    if (driver_.waitForInput(port.get(), systemError)) {
        return PortWait::Input;
    }
    if (*systemError == 0) {
        return PortWait::Woken;
    }
    return deviceGone(*systemError) ? PortWait::Gone : PortWait::Failed;
}

}  // namespace vorda
