#include "engine/logs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "settings/files.h"
#include "settings/history.h"

namespace vorda {

namespace {

// No line of the history is near this long; a file without line ends is read no further.
constexpr size_t kLongestLine = 512;

// Adds to `lines`, newest first, the lines of `text` (without their line ends, empty lines
// and the header left out) from its end until it holds `max`. `cut`: the text's first line
// may be only the end of one, and is left out.
void takeLines(const std::string& text, bool cut, size_t max, std::vector<std::string>& lines) {
    size_t end = text.size();
    while (end > 0 && lines.size() < max) {
        const size_t from = text.rfind('\n', end - 1);
        if (from == std::string::npos && cut) {
            break;
        }
        const size_t begin = from == std::string::npos ? 0 : from + 1;
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line != kHistoryHeader && line != kHistoryHeaderWithoutSource) {
            lines.push_back(line);
        }
        end = from == std::string::npos ? 0 : from;
    }
}

// Adds to `lines`, newest first, the last lines of a file until it holds `max`; reads
// backwards in blocks. False when the reading stopped before the file's start (enough
// lines, or the per-line cap in a file with long lines): what lies before is then not
// known, and an older file must not follow.
bool addLastLines(const std::string& path, size_t max, std::vector<std::string>& lines) {
    std::FILE* f = lines.size() < max ? openFile(path, "rb") : nullptr;
    if (f == nullptr) {
        return true;
    }
    std::fseek(f, 0, SEEK_END);
    long start = std::ftell(f);
    std::vector<std::string> blocks;  // the last first
    size_t breaks = 0;
    size_t taken = 0;
    const size_t wanted = max - lines.size();
    // A read that fails (a directory in the file's place) ends it.
    while (start > 0 && breaks <= wanted && taken < wanted * kLongestLine && !std::ferror(f)) {
        const long block = std::min(start, 65536L);
        start -= block;
        std::string bytes(static_cast<size_t>(block), '\0');
        std::fseek(f, start, SEEK_SET);
        bytes.resize(std::fread(&bytes[0], 1, bytes.size(), f));
        breaks += static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        taken += bytes.size();
        blocks.push_back(std::move(bytes));
    }
    std::string tail;
    tail.reserve(taken);
    for (auto b = blocks.rbegin(); b != blocks.rend(); ++b) {
        tail += *b;
    }
    std::fclose(f);
    takeLines(tail, start > 0, max, lines);
    return start <= 0;
}

// Appends `lines` to the file at `path`: after the header when the file is new or empty,
// after a CR LF when its last line has no line end. Returns how many bytes of `lines`
// reached the file: all of them, none when it does not open (another program holds it
// without write sharing), or those before a write that fell short.
size_t appendHistoryLines(const std::string& path, const std::string& lines) {
    std::FILE* f = openFile(path, "a+b");  // the last byte can be read; writes go to the end
    if (f == nullptr) {
        return 0;
    }
    const int64_t size = std::max<int64_t>(fileSize(path), 0);
    const char* before = "";
    if (size == 0) {
        before = kHistoryHeaderLine;
    } else if (std::fseek(f, -1, SEEK_END) != 0 || std::fgetc(f) != '\n') {
        before = "\r\n";
    }
    std::fseek(f, 0, SEEK_END);
    const size_t beforeSize = std::strlen(before);
    const bool whole = std::fwrite(before, 1, beforeSize, f) == beforeSize &&
                       std::fwrite(lines.data(), 1, lines.size(), f) == lines.size();
    if (std::fclose(f) == 0 && whole) {
        return lines.size();
    }
    const int64_t reached = fileSize(path) - size - static_cast<int64_t>(beforeSize);
    return static_cast<size_t>(std::clamp<int64_t>(reached, 0, static_cast<int64_t>(lines.size())));
}

}  // namespace

Logs::Logs(std::string directory, Clock clock)
    : directory_(std::move(directory)),
      clock_(clock),
      transmissionLog_(startDirectoryPath(directory_, kTransmissionLogName)),
      transmissionBackup_(startDirectoryPath(directory_, kTransmissionLogBackup)),
      lightLog_(startDirectoryPath(directory_, kLightLogName)),
      lightBackup_(startDirectoryPath(directory_, kLightLogBackup)),
      history_(startDirectoryPath(directory_, kHistoryFileName)),
      historyBackup_(startDirectoryPath(directory_, kHistoryBackupName)) {}

void rotateLog(const std::string& log, const std::string& backup) {
    if (fileSize(log) > kLogRotationSize) {
        replaceFile(log, backup);
    }
}

void Logs::appendTransmission(char direction, const uint8_t* bytes, size_t count,
                              const ErrorCounts& e) {
    if (!enabled_) {
        return;
    }
    std::lock_guard<std::mutex> entry(transmissionMutex_);
    ErrorCounts& m = logged_;
    const std::string& log = transmissionLog_;
    rotateLog(log, transmissionBackup_);
    std::FILE* f = openFile(log, "ab");
    if (f == nullptr) {
        wrote(kTransmissionLogFile, false);
        return;
    }

    if (e.answerErrors != m.answerErrors) {
        std::fputs("<ER>", f);
        m.answerErrors = e.answerErrors;
    }

    const LocalTime now = clock_.localTime(clock_.context);
    if (now.minute != minute_) {
        minute_ = now.minute;
        std::fprintf(f, "\n %s %s  ErrorR=%d ErrorL=%d ErrorWR=%d ErrorRD=%d ErrorS=%d\n",
                     dateText(now).c_str(), timeText(now).c_str(), static_cast<int>(e.answerErrors),
                     0, static_cast<int>(m.errorWrCount), static_cast<int>(m.errorRdCount),
                     static_cast<int>(m.writeStatusCount + m.readStatusCount));
    }

    const uint32_t tick = clock_.tickCount(clock_.context);
    std::fprintf(f, "<%d_%c>", static_cast<int32_t>(tick - tick_), direction);
    tick_ = tick;

    if (count > 0) {
        std::fwrite(bytes, 1, count, f);
    }

    if (e.errorRdCount != m.errorRdCount) {
        if (e.readStatusCount != m.readStatusCount) {
            std::fprintf(f, "<ERD><ES_%d>", static_cast<int>(e.readErrorCode));
            m.readStatusCount = e.readStatusCount;
        } else {
            std::fprintf(f, "<ERD_0x%X>", static_cast<unsigned>(e.readErrorCode));
        }
        m.errorRdCount = e.errorRdCount;
    }

    if (e.errorWrCount != m.errorWrCount) {
        std::fprintf(f, "<EWR><ES_%d>", static_cast<int>(e.writeErrorCode));
        m.writeStatusCount = e.writeStatusCount;
        m.errorWrCount = e.errorWrCount;
    }
    const bool written = !std::ferror(f);
    wrote(kTransmissionLogFile, std::fclose(f) == 0 && written);
}

void Logs::appendLight(const std::string& value) {
    if (!enabled_) {
        return;
    }
    std::lock_guard<std::mutex> entry(lightMutex_);
    const std::string& log = lightLog_;
    rotateLog(log, lightBackup_);
    std::FILE* f = openFile(log, "ab");
    if (f == nullptr) {
        wrote(kLightLogFile, false);
        return;
    }
    const LocalTime now = clock_.localTime(clock_.context);
    // A text file: the line ends with CR LF on every platform.
    std::fprintf(f, "%s %s %3s\r\n", dateText(now).c_str(), timeText(now).c_str(), value.c_str());
    const bool written = !std::ferror(f);
    wrote(kLightLogFile, std::fclose(f) == 0 && written);
}

void Logs::appendPriceHistory(const std::string& lines) {
    std::lock_guard<std::mutex> entry(historyMutex_);
    waiting_ += lines;
    writeWaitingHistory();
}

void Logs::retryWaitingHistory() {
    if (!historyWaits_) {
        return;
    }
    std::unique_lock<std::mutex> entry(historyMutex_, std::try_to_lock);
    if (entry.owns_lock() && !waiting_.empty() &&
        clock_.tickCount(clock_.context) - failedAt_ >= kHistoryRetryMs) {
        writeWaitingHistory();
    }
}

void Logs::saveWaitingHistory() {
    std::lock_guard<std::mutex> entry(historyMutex_);
    if (!waiting_.empty()) {
        writeWaitingHistory();
    }
    if (!waiting_.empty()) {
        const LocalTime t = clock_.localTime(clock_.context);
        char name[64];
        std::snprintf(name, sizeof name, kHistorySideFileFormat, t.year % 10000, t.month % 100,
                      t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
        appendWaiting(startDirectoryPath(directory_, name));
    }
}

void Logs::writeWaitingHistory() {
    rotateLog(history_, historyBackup_);
    appendWaiting(history_);
}

void Logs::appendWaiting(const std::string& path) {
    const size_t written = appendHistoryLines(path, waiting_);
    if (written < waiting_.size()) {
        // Only whole lines leave; one cut short is written again, after a line end.
        const size_t end = written == 0 ? std::string::npos : waiting_.rfind('\n', written - 1);
        waiting_.erase(0, end == std::string::npos ? 0 : end + 1);
        failedAt_ = clock_.tickCount(clock_.context);
    } else {
        waiting_.clear();
    }
    historyWaits_ = !waiting_.empty();
    wrote(kHistoryFile, waiting_.empty());
}

std::vector<std::string> Logs::readPriceHistory(size_t max) {
    std::lock_guard<std::mutex> entry(historyMutex_);
    std::vector<std::string> lines;
    takeLines(waiting_, false, max, lines);
    for (std::string& line : lines) {
        line += kHistoryWaitingMark;
    }
    if (addLastLines(history_, max, lines)) {
        addLastLines(historyBackup_, max, lines);
    }
    return lines;
}

}  // namespace vorda
