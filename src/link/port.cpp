#include "link/port.h"

#include <algorithm>
#include <system_error>

#include "protocol/receiver.h"
#include "record/panel_calls.h"
#include "storage/logs.h"

namespace vorda {

namespace {

// The system error code of a handle that is no longer valid.
constexpr uint32_t kInvalidHandle = 6;

void logTransmission(Core& core, char direction, const uint8_t* bytes, size_t count) {
    if (core.loggingSwitch) {
        appendTransmissionEntry(core, direction, bytes, count);
    }
}

void countReadFailure(Core& core, uint32_t systemError) {
    core.errors.readErrorCode = systemError;
    core.errors.readStatusCount++;
    core.errors.errorRdCount++;
    logTransmission(core, 'I', nullptr, 0);
}

}  // namespace

std::shared_ptr<SerialPort> currentPort(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(r->portHandle.mutex);
    return r->portHandle.port;
}

bool configurePort(Core& core) {
    AppRecord* r = core.record.get();
    std::shared_ptr<SerialPort> port = currentPort(core);
    if (r == nullptr || port == nullptr || core.serial.configure == nullptr) {
        return false;
    }
    SerialSettings s;
    s.baudRate = r->baudRate;
    s.dataBits = r->dataBits;
    s.parity = r->parity;
    s.stopBits = r->stopBits;
    return core.serial.configure(port.get(), s);
}

bool openPort(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr || core.serial.open == nullptr) {
        return false;
    }
    panelShowWaitCursor(core);
    // A receiver of an earlier connection ends at its next pass; wait for it, so that
    // one receiver at most reads the port.
    stopReceiver(core);

    OpenError error = OpenError::None;
    uint32_t systemError = 0;
    SerialPort* opened = core.serial.open(core.serial.context, messageText(Text::Com),
                                          r->portNumber, &error, &systemError);
    if (opened == nullptr) {
        return false;
    }
    const SerialDriver driver = core.serial;
    std::shared_ptr<SerialPort> port(opened, [driver](SerialPort* p) { driver.close(p); });
    if (driver.setupQueues) {
        driver.setupQueues(port.get(), kPortQueueSize, kPortQueueSize);
    }
    {
        std::lock_guard<std::mutex> lock(r->portHandle.mutex);
        r->portHandle.port = port;
    }
    auto dropPort = [r] {
        std::lock_guard<std::mutex> lock(r->portHandle.mutex);
        r->portHandle.port.reset();
    };
    if (!configurePort(core)) {
        r->connected = 0;
        dropPort();
        return false;
    }
    r->connected = 1;
    if (!startReceiver(core)) {
        r->connected = 0;
        dropPort();
        return false;
    }
    panelSetMenuStates(core, false, true, true);
    r->testMode = 0;
    panelSetStatus(core, Text::Connected);
    return true;
}

bool closePort(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return false;
    }
    r->connected = 0;
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(r->portHandle.mutex);
        port.swap(r->portHandle.port);
    }
    if (port != nullptr && core.serial.clearDtr) {
        core.serial.clearDtr(port.get());
    }
    port.reset();  // closed here, or by the last reader or writer to let go of it
    panelSetMenuStates(core, true, false, true);
    r->testMode = 0;
    panelSetStatus(core, Text::Disconnected);
    return true;
}

int readPort(Core& core, uint8_t* destination, int max) {
    std::shared_ptr<SerialPort> port = currentPort(core);
    if (port == nullptr || core.serial.queryErrors == nullptr) {
        countReadFailure(core, kInvalidHandle);
        return 0;
    }
    uint32_t flags = 0;
    uint32_t queued = 0;
    uint32_t systemError = 0;
    if (!core.serial.queryErrors(port.get(), &flags, &queued, &systemError)) {
        countReadFailure(core, systemError);
        return 0;
    }
    core.errors.readErrorCode = flags;
    if (flags != 0) {
        core.errors.errorRdCount++;
        if (queued == 0) {
            logTransmission(core, 'I', nullptr, 0);
        }
    }
    if (queued == 0) {
        return 0;
    }
    uint8_t scratch[kPortQueueSize];
    const uint32_t wanted =
        std::min<uint32_t>({queued, static_cast<uint32_t>(std::max(max, 0)), kPortQueueSize});
    uint32_t got = 0;
    if (!core.serial.read(port.get(), scratch, wanted, &got, &systemError)) {
        countReadFailure(core, systemError);
        return 0;
    }
    logTransmission(core, 'I', scratch, got);
    std::copy(scratch, scratch + got, destination);
    return static_cast<int>(got);
}

bool writePort(Core& core, const uint8_t* bytes, size_t count) {
    std::shared_ptr<SerialPort> port = currentPort(core);
    uint32_t systemError = kInvalidHandle;
    const bool written =
        port != nullptr && core.serial.write != nullptr &&
        core.serial.write(port.get(), bytes, static_cast<uint32_t>(count), &systemError);
    if (!written) {
        // Every failed write counts, also when the error query succeeds; the marker then
        // shows the comm error flags, or the write's own error code when there are none.
        uint32_t flags = 0;
        uint32_t queued = 0;
        uint32_t queryError = 0;
        if (port != nullptr && core.serial.queryErrors != nullptr &&
            core.serial.queryErrors(port.get(), &flags, &queued, &queryError)) {
            core.errors.writeErrorCode = flags != 0 ? flags : systemError;
        } else {
            core.errors.writeErrorCode = port != nullptr ? queryError : systemError;
        }
        core.errors.writeStatusCount++;
        core.errors.errorWrCount++;
    }
    logTransmission(core, 'O', bytes, count);
    return true;
}

}  // namespace vorda
