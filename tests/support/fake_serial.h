// A serial driver for the tests of what a pseudo-terminal cannot show: comm error
// flags, failing system calls, refused settings. It records what the core does with it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/serial_driver.h"

namespace vorda::test {

struct FakeSerial {
    static constexpr uint32_t kGone = 1167;  // the error code of a device that went away

    std::mutex mutex;
    std::condition_variable changed;  // bytes received, a port woken, a wait failed
    // Opening
    std::vector<std::string> opened;  // "COM12" for each open
    OpenError openError = OpenError::None;
    std::function<void()> onOpen;  // called as an open begins, without the mutex
    bool refuseSettings = false;
    bool notSerial = false;  // what opens is not a serial port
    std::vector<SerialSettings> configured;
    // Reading
    std::deque<uint8_t> incoming;
    uint32_t commFlags = 0;   // reported (and cleared) by the next error query
    uint32_t queryError = 0;  // non-zero: the error query fails with it
    uint32_t readError = 0;   // non-zero: the read fails with it
    uint32_t waitError = 0;   // non-zero: waits fail with it (set through failWaits)
    // Writing
    std::vector<std::string> writes;
    uint32_t writeError = 0;  // non-zero: writes fail with it
    // The tower's answer to a written command's text, queued for reading (no answer: "").
    std::function<std::string(const std::string& text)> answer;
    int dtrClears = 0;
    int discards = 0;  // of the bytes waiting to be read
    int closes = 0;
    int openPorts = 0;

    SerialDriver driver();
    void receive(const std::string& bytes);
    void failWaits(uint32_t code);
};

}  // namespace vorda::test
