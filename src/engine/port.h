// The link's serial port: opened by number and configured, read and written with its
// error counters (marked in the transmission log), and noticed when its device goes away,
// so that the Link can open it again with the settings it last accepted. The port is
// reference-counted: it closes only when the last read, write or wait on it has let go.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/logs.h"
#include "engine/result.h"
#include "engine/serial_driver.h"
#include "settings/settings.h"

namespace vorda {

constexpr uint32_t kPortQueueSize = 4096;
constexpr int kReadMax = 256;

// The port's error counters, reported by the transmission log.
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

// What the receiver's wait ended with.
enum class PortWait { Input, Woken, Gone, Failed };

class Port {
  public:
    Port(const SerialDriver& driver, Logs& logs) : driver_(driver), logs_(logs) {}
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Opens port `number` and configures it; on success it is the port in use and the
    // settings are kept for reopening. On failure nothing changed.
    Result open(int number, const SerialSettings& settings);
    // Opens the port in use again, after its device went away: with the settings asked for
    // meanwhile, or, when the driver refuses those, with the ones it last accepted. The
    // port opened is held aside until installReopened() makes it the one in use.
    Result reopen();
    // The port reopen() opened becomes the one in use (the Link calls it with its locks
    // held); false, and that port closed again, when the port was closed meanwhile.
    bool installReopened();
    // Applies the settings to the open port; they are kept (and their baud rate used for
    // the answer time-outs) only when the driver accepted them. A port whose device went
    // away keeps them for its reopening (PortMissing: not applied yet).
    Result configure(const SerialSettings& settings);
    // Drops DTR and lets go of the port; a waiting receiver wakes.
    void close();
    // Lets go of a port whose device went away; a waiting receiver wakes.
    void drop();
    bool isOpen();

    // The bytes already received, at most `max`; 0 when none or on error (counted).
    // `*gone` tells whether the device went away.
    int read(uint8_t* destination, int max, bool* gone);
    // Writes the whole block; failures are counted and logged. False when it failed,
    // `*gone` when the device went away.
    bool write(const uint8_t* bytes, size_t count, bool* gone);
    // Discards what was received and not yet read.
    void discardInput();
    // The receiver's sleep until bytes arrive, the port is woken or its device goes (or the
    // wait fails for another reason, with the system error code).
    PortWait waitForInput(uint32_t* systemError);
    // Counts a failed read (and marks it in the log).
    void countReadFailure(uint32_t systemError);

    int number() const { return number_; }
    uint32_t baudRate() const { return baudRate_; }
    const SerialDriver& driver() const { return driver_; }
    const LinkErrors& errors() const { return errors_; }
    LinkErrors& errors() { return errors_; }

  private:
    std::shared_ptr<SerialPort> current();
    std::shared_ptr<SerialPort> openConfigured(int number, const SerialSettings& settings,
                                               Result* why);
    bool deviceGone(uint32_t systemError) const;

    const SerialDriver driver_;
    Logs& logs_;
    LinkErrors errors_;
    std::atomic<int> number_{1};
    std::atomic<uint32_t> baudRate_{19200};

    std::mutex mutex_;  // guards what follows
    std::shared_ptr<SerialPort> port_;
    std::shared_ptr<SerialPort> reopened_;
    SerialSettings reopenedWith_;
    bool lost_ = false;        // the device went away: the port is to be opened again
    SerialSettings accepted_;  // what the port last accepted
    SerialSettings wanted_;    // asked for while the device was away
};

}  // namespace vorda
