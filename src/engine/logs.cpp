#include "engine/logs.h"

#include <algorithm>
#include <cstdio>

#include "settings/files.h"
#include "settings/history.h"

namespace vorda {

namespace {

// No line of the history is near this long; a file without line ends is read no further.
constexpr size_t kLongestLine = 512;

// Adds to `lines`, newest first, the last lines of a file (without their line ends, empty
// lines and the header left out) until it holds `max`; reads backwards in blocks.
void addLastLines(const std::string& path, size_t max, std::vector<std::string>& lines) {
    std::FILE* f = lines.size() < max ? openFile(path, "rb") : nullptr;
    if (f == nullptr) {
        return;
    }
    std::fseek(f, 0, SEEK_END);
    long start = std::ftell(f);
    std::vector<std::string> blocks;  // the last first
    size_t breaks = 0;
    size_t taken = 0;
    const size_t wanted = max - lines.size();
    while (start > 0 && breaks <= wanted && taken < wanted * kLongestLine) {
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
    size_t end = tail.size();
    while (end > 0 && lines.size() < max) {
        const size_t from = tail.rfind('\n', end - 1);
        if (from == std::string::npos && start > 0) {
            break;  // the first line read may be only the end of one
        }
        const size_t begin = from == std::string::npos ? 0 : from + 1;
        std::string line = tail.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line != kHistoryHeader) {
            lines.push_back(line);
        }
        end = from == std::string::npos ? 0 : from;
    }
}

}  // namespace

void rotateLog(const std::string& log, const std::string& backup) {
    const int64_t size = fileSize(log);
    if (size > kLogRotationSize) {
        removeFile(backup);
        renameFile(log, backup);
    }
}

void Logs::appendTransmission(char direction, const uint8_t* bytes, size_t count,
                              const ErrorCounts& e) {
    if (!enabled_) {
        return;
    }
    std::lock_guard<std::mutex> entry(transmissionMutex_);
    ErrorCounts& m = logged_;
    const std::string log = startDirectoryPath(directory_, kTransmissionLogName);
    rotateLog(log, startDirectoryPath(directory_, kTransmissionLogBackup));
    std::FILE* f = openFile(log, "ab");
    if (f == nullptr) {
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
    std::fclose(f);
}

void Logs::appendLight(const std::string& value) {
    if (!enabled_) {
        return;
    }
    std::lock_guard<std::mutex> entry(lightMutex_);
    const std::string log = startDirectoryPath(directory_, kLightLogName);
    rotateLog(log, startDirectoryPath(directory_, kLightLogBackup));
    std::FILE* f = openFile(log, "ab");
    if (f == nullptr) {
        return;
    }
    const LocalTime now = clock_.localTime(clock_.context);
    // A text file: the line ends with CR LF on every platform.
    std::fprintf(f, "%s %s %3s\r\n", dateText(now).c_str(), timeText(now).c_str(), value.c_str());
    std::fclose(f);
}

void Logs::appendPriceHistory(const std::string& lines) {
    std::lock_guard<std::mutex> entry(historyMutex_);
    const std::string file = startDirectoryPath(directory_, kHistoryFileName);
    rotateLog(file, startDirectoryPath(directory_, kHistoryBackupName));
    const bool fresh = fileSize(file) <= 0;
    std::FILE* f = openFile(file, "ab");
    if (f == nullptr) {
        return;
    }
    const std::string text = fresh ? kHistoryHeader + std::string("\r\n") + lines : lines;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

std::vector<std::string> Logs::readPriceHistory(size_t max) {
    std::lock_guard<std::mutex> entry(historyMutex_);
    std::vector<std::string> lines;
    addLastLines(startDirectoryPath(directory_, kHistoryFileName), max, lines);
    addLastLines(startDirectoryPath(directory_, kHistoryBackupName), max, lines);
    return lines;
}

}  // namespace vorda
