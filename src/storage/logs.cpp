#include "storage/logs.h"

#include <cstdio>

#include "storage/files.h"

namespace vorda {

void rotateLog(const std::string& log, const std::string& backup) {
    const int64_t size = fileSize(log);
    if (size > kLogRotationSize) {
        removeFile(backup);
        renameFile(log, backup);
    }
}

void appendTransmissionEntry(Core& core, char direction, const uint8_t* bytes, size_t count) {
    TransmissionLogMemory& m = core.transmissionLog;
    LinkErrors& e = core.errors;
    std::lock_guard<std::mutex> entry(m.entryMutex);

    const std::string log = startDirectoryPath(core.startDirectory, kTransmissionLogName);
    rotateLog(log, startDirectoryPath(core.startDirectory, kTransmissionLogBackup));
    std::FILE* f = openFile(log, "ab");
    if (f == nullptr) {
        return;
    }

    const uint32_t answerErrors = e.answerErrors;
    if (answerErrors != m.answerErrors) {
        std::fputs("<ER>", f);
        m.answerErrors = answerErrors;
    }

    const LocalTime now = core.clock.localTime(core.clock.context);
    if (now.minute != m.minute) {
        m.minute = now.minute;
        std::fprintf(f, "\n %s %s  ErrorR=%d ErrorL=%d ErrorWR=%d ErrorRD=%d ErrorS=%d\n",
                     dateText(now).c_str(), timeText(now).c_str(), static_cast<int>(answerErrors),
                     0, static_cast<int>(m.errorWrCount), static_cast<int>(m.errorRdCount),
                     static_cast<int>(m.writeStatusCount + m.readStatusCount));
    }

    const uint32_t tick = core.clock.tickCount(core.clock.context);
    std::fprintf(f, "<%d_%c>", static_cast<int32_t>(tick - m.tick), direction);
    m.tick = tick;

    if (count > 0) {
        std::fwrite(bytes, 1, count, f);
    }

    const uint32_t errorRd = e.errorRdCount;
    if (errorRd != m.errorRdCount) {
        const uint32_t readStatus = e.readStatusCount;
        if (readStatus != m.readStatusCount) {
            std::fprintf(f, "<ERD><ES_%d>", static_cast<int>(e.readErrorCode.load()));
            m.readStatusCount = readStatus;
        } else {
            std::fprintf(f, "<ERD_0x%X>", static_cast<unsigned>(e.readErrorCode.load()));
        }
        m.errorRdCount = errorRd;
    }

    const uint32_t errorWr = e.errorWrCount;
    if (errorWr != m.errorWrCount) {
        std::fprintf(f, "<EWR><ES_%d>", static_cast<int>(e.writeErrorCode.load()));
        m.writeStatusCount = e.writeStatusCount;
        m.errorWrCount = errorWr;
    }
    std::fclose(f);
}

void appendLightEntry(Core& core, const std::string& value) {
    std::lock_guard<std::mutex> entry(core.lightLogMutex);
    const std::string log = startDirectoryPath(core.startDirectory, kLightLogName);
    rotateLog(log, startDirectoryPath(core.startDirectory, kLightLogBackup));
    std::FILE* f = openFile(log, "ab");
    if (f == nullptr) {
        return;
    }
    const LocalTime now = core.clock.localTime(core.clock.context);
    // A text file: the line ends with CR LF on every platform.
    std::fprintf(f, "%s %s %3s\r\n", dateText(now).c_str(), timeText(now).c_str(), value.c_str());
    std::fclose(f);
}

}  // namespace vorda
