// The transmission log "VordaC.trm", the light log "VordaSw.trm" and the price history
// "HistoriaCen.csv", all in the start directory, each rotated to one backup
// ("VordaC_1.trm", "VordaSw_1.trm", "HistoriaCen_1.csv") when it grows past 20,000,000
// bytes. Every failure is silent.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "settings/clock.h"

namespace vorda {

constexpr const char* kTransmissionLogName = "VordaC.trm";
constexpr const char* kTransmissionLogBackup = "VordaC_1.trm";
constexpr const char* kLightLogName = "VordaSw.trm";
constexpr const char* kLightLogBackup = "VordaSw_1.trm";
constexpr int64_t kLogRotationSize = 20000000;

// Moves `log` to `backup` (replacing it) when it is larger than 20,000,000 bytes.
void rotateLog(const std::string& log, const std::string& backup);

// The link's error counters as the transmission log reports them.
struct ErrorCounts {
    uint32_t answerErrors = 0;
    uint32_t readErrorCode = 0;
    uint32_t errorRdCount = 0;
    uint32_t readStatusCount = 0;
    uint32_t writeErrorCode = 0;
    uint32_t errorWrCount = 0;
    uint32_t writeStatusCount = 0;
};

// Both logs of the start directory, written while logging is on. Entries of one log
// never interleave; every thread may append.
class Logs {
  public:
    Logs(std::string directory, Clock clock) : directory_(std::move(directory)), clock_(clock) {}

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // One entry of the transmission log: direction 'I' (read) or 'O' (write), the bytes,
    // with the error markers of what changed in `counts` since the last entry and, once
    // a minute, the summary line of the error counters.
    void appendTransmission(char direction, const uint8_t* bytes, size_t count,
                            const ErrorCounts& counts);

    // One dated line of the light log with the light level's text.
    void appendLight(const std::string& value);

    // Appends the lines of one send to the price history (opened, appended and closed),
    // after the header when the file is new; whether logging is on or not.
    void appendPriceHistory(const std::string& lines);
    // The last `max` lines of the price history, newest first, without the header: read
    // from the file's end, and from the backup's when the file holds fewer.
    std::vector<std::string> readPriceHistory(size_t max);

  private:
    const std::string directory_;
    const Clock clock_;
    std::atomic<bool> enabled_{false};

    std::mutex transmissionMutex_;
    ErrorCounts logged_;  // what the last transmission entry reported
    int minute_ = 0;
    uint32_t tick_ = 0;

    std::mutex lightMutex_;
    std::mutex historyMutex_;
};

}  // namespace vorda
