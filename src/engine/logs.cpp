#include "engine/logs.h"

#include <cstdio>

#include "settings/files.h"

namespace vorda {

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

}  // namespace vorda
