// The transmission log "VordaC.trm", the light log "VordaSw.trm" and the price history
// "HistoriaCen.csv", all in the start directory, each rotated to one backup
// ("VordaC_1.trm", "VordaSw_1.trm", "HistoriaCen_1.csv") when it grows past 20,000,000
// bytes. Every failure is silent; the price history's lines that cannot be written wait
// in memory until they can, or until the program's end.
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
// How long the price history's waiting lines wait after a failed try before the timer
// tries again (an append tries at once).
constexpr uint32_t kHistoryRetryMs = 10000;

// Moves `log` to `backup` in one step, replacing it, when it is larger than 20,000,000
// bytes. When the move fails both stay as they are; the next append tries again.
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
    Logs(std::string directory, Clock clock);

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // One entry of the transmission log: direction 'I' (read) or 'O' (write), the bytes,
    // with the error markers of what changed in `counts` since the last entry and, once
    // a minute, the summary line of the error counters.
    void appendTransmission(char direction, const uint8_t* bytes, size_t count,
                            const ErrorCounts& counts);

    // One dated line of the light log with the light level's text.
    void appendLight(const std::string& value);

    // Appends the lines of one send (each ending in CR LF) to the price history (opened,
    // appended and closed), after the header when the file is new and after a CR LF when
    // its last line has no line end; whether logging is on or not. Lines that cannot be
    // written (the file is locked, the disk is full) wait, and are written before these.
    void appendPriceHistory(const std::string& lines);
    // Called by the user-interface thread's timer: when lines wait and kHistoryRetryMs
    // passed since the last failed try, tries to write them. Without waiting lines it
    // touches no file and allocates nothing; it never waits for an append under way.
    void retryWaitingHistory();
    // At the program's end, when no append can follow: the waiting lines are tried once
    // more, and what still waits goes to a new file beside the history named after the
    // local time (kHistorySideFileFormat), after the header. What fails then is lost.
    void saveWaitingHistory();
    // The last `max` lines of the price history, newest first, without the header: the
    // waiting lines (the newest) with kHistoryWaitingMark after them, then the file's from
    // its end, then the backup's when the whole file held fewer.
    std::vector<std::string> readPriceHistory(size_t max);

    // The files whose last write failed (kTransmissionLogFile, ... as bits): each bit is
    // set by a failed write of its file and cleared by one that succeeds.
    enum File : uint32_t { kTransmissionLogFile = 1, kLightLogFile = 2, kHistoryFile = 4 };
    uint32_t failingFiles() const { return failing_; }

  private:
    void wrote(File file, bool ok) {
        if (ok) {
            failing_ &= ~static_cast<uint32_t>(file);
        } else {
            failing_ |= file;
        }
    }
    std::atomic<uint32_t> failing_{0};

    const std::string directory_;
    const Clock clock_;
    // The files' paths, made once.
    const std::string transmissionLog_, transmissionBackup_, lightLog_, lightBackup_;
    const std::string history_, historyBackup_;
    std::atomic<bool> enabled_{false};

    std::mutex transmissionMutex_;
    ErrorCounts logged_;  // what the last transmission entry reported
    int minute_ = 0;
    uint32_t tick_ = 0;

    // With historyMutex_ held: rotates the history and appends the waiting lines to it.
    void writeWaitingHistory();
    // With historyMutex_ held: appends the waiting lines to `path`; keeps those not written.
    void appendWaiting(const std::string& path);

    std::mutex lightMutex_;
    std::mutex historyMutex_;
    std::string waiting_;  // the price history's lines not yet written, oldest first
    std::atomic<bool> historyWaits_{false};  // !waiting_.empty(), read without the lock
    uint32_t failedAt_ = 0;                  // tick count of the last failed try
};

}  // namespace vorda
