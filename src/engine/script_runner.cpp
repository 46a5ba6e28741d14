#include "engine/script_runner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "protocol/segments.h"
#include "settings/files.h"

namespace vorda {

namespace {

constexpr size_t kLineMax = kLineBufferSize - 1;
constexpr size_t kTemperatureMax = 5;
constexpr size_t kPriceMax = 6;

bool isControllerDigit(char c) {
    return c >= '0' && c <= '7';
}
bool isSubAddress(char c) {
    return c >= '1' && c <= '5';
}
// What a C number conversion skips before the number.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string ScriptRunner::replacementOf(char code, const std::string& line) const {
    switch (code) {
        case 'C':
            return timeText(clock_.localTime(clock_.context));
        case 'D': {
            const LocalTime t = clock_.localTime(clock_.context);
            char date[16];
            std::snprintf(date, sizeof date, "%02d/%02d/20%02d", t.day % 100, t.month % 100,
                          t.year % 100);
            return date;
        }
        case 'T':
            return listener_.temperatureText().substr(0, kTemperatureMax) + "\x7F" + "C";
        case 'P':
            // A line whose second character names no price gets the empty text.
            if (line.size() >= 2 && isSubAddress(line[1])) {
                return withDecimalPoint(listener_.priceBoxText(line[1] - '1')).substr(0, kPriceMax);
            }
            return std::string();
        default:
            return std::string();
    }
}

// The runner thread: plays the text until it ends or is stopped.
void ScriptRunner::runnerThread(std::shared_ptr<Run> run) {
    RunnerState state;
    RunnerPause pause = [run](uint32_t ms) {
        std::unique_lock<std::mutex> lock(run->mutex);
        return !run->wake.wait_for(lock, std::chrono::milliseconds(ms),
                                   [&] { return run->stopRequested; });
    };
    auto stopped = [&run] {
        std::lock_guard<std::mutex> lock(run->mutex);
        return run->stopRequested;
    };
    while (state.active && !stopped()) {
        if (!step(scriptText_, state, pause)) {
            break;
        }
    }
    // The text ended by itself: unless a stop or a newer run has taken over meanwhile,
    // nothing runs any more.
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ == run && !stopped()) {
        current_.reset();
        running_ = 0;
        listener_.onScriptEnded();
    }
}

uint32_t ScriptRunner::pauseMilliseconds(const std::string& argument) {
    const std::string a = argument.substr(0, 10);
    size_t p = 0;
    while (p < a.size() && isBlank(a[p])) {
        ++p;
    }
    bool negative = false;
    if (p < a.size() && (a[p] == '-' || a[p] == '+')) {
        negative = a[p] == '-';
        ++p;
    }
    int64_t value = 0;
    while (p < a.size() && a[p] >= '0' && a[p] <= '9') {
        value = value * 10 + (a[p] - '0');
        ++p;
    }
    return static_cast<uint32_t>(negative ? -value : value);
}

std::string ScriptRunner::readLine(const char* text, RunnerState& state) {
    size_t p = state.readPosition;
    std::string line;
    while (line.size() < kLineCopyLimit && text[p] != '\r' && text[p] != '\0') {
        line.push_back(text[p++]);
    }
    if (text[p] == '\0' && line.size() < kLineCopyLimit) {
        state.active = false;  // the end of the text: this line is the last unless it has {G}
        state.readPosition = p;
        return line;
    }
    if (line.size() == kLineCopyLimit) {
        line.pop_back();  // the 250th character gives way to the end of the line
        --p;              // and the search for the line feed starts on it
    }
    while (text[p] != '\n' && text[p] != '\0') {
        ++p;
    }
    state.readPosition = text[p] == '\n' ? p + 1 : p;
    return line;
}

bool ScriptRunner::expandBraceCodes(std::string& line, RunnerState& state,
                                    const RunnerPause& pause) {
    size_t pos = 0;
    bool open = false;
    size_t openPos = 0;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == '{') {
            open = true;
            openPos = pos;
        } else if (c == '}' && open) {
            open = false;
            const size_t closePos = pos;
            if (closePos == openPos + 1) {
                line.erase(openPos, 2);
            } else {
                const char code = line[openPos + 1];
                switch (code) {
                    case 'C':
                    case 'D':
                    case 'T':
                    case 'P': {
                        const std::string replacement = replacementOf(code, line);
                        line = line.substr(0, openPos) + replacement + line.substr(closePos + 1);
                        if (line.size() > kLineMax) {
                            line.resize(kLineMax);  // never past the line buffer
                        }
                        break;
                    }
                    case 'S': {
                        const std::string argument =
                            line.substr(openPos + 2, closePos - openPos - 2);
                        if (!pause(pauseMilliseconds(argument))) {
                            return false;
                        }
                        break;
                    }
                    case 'G':
                        // Every pass through the file pauses, so that a file of command
                        // lines alone cannot spin.
                        if (!pause(1)) {
                            return false;
                        }
                        state.readPosition = 0;
                        state.active = true;
                        break;
                    default:
                        break;
                }
            }
            pos = closePos + 1;
            continue;
        }
        ++pos;
    }
    return true;
}

std::string ScriptRunner::commandTextOf(const std::string& line) const {
    if (line.size() < 3 || line[2] != 'B') {
        return line;
    }
    const int row = line[1] - '1';
    uint32_t v = 0;
    for (int d = 0; d < 3; ++d) {
        v = (v << 8) | towerByteOfSegmentCode(board_.segment(row, d));
    }
    for (size_t j = 3; j < line.size() && j <= 26; ++j) {
        const uint32_t bit = 1u << (23 - (j - 3));
        if (line[j] == '1') {
            v |= bit;
        } else if (line[j] == '0') {
            v &= ~bit;
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "%c%cB%06X", line[0], line[1], static_cast<unsigned>(v));
    return text;
}

bool ScriptRunner::step(const char* text, RunnerState& state, const RunnerPause& pause) {
    if (state.pauseBeforeNextLine && !pause(1)) {
        return false;
    }
    std::string line = readLine(text, state);
    if (!expandBraceCodes(line, state, pause)) {
        return false;
    }
    if (!line.empty() && isControllerDigit(line[0])) {
        if (line.size() >= 2 && isSubAddress(line[1])) {
            // A text longer than a slot holds is not queued.
            mailbox_.write(line[1] - '1' + kSlotPrice1, commandTextOf(line));
        }
        state.pauseBeforeNextLine = false;
    } else {
        state.pauseBeforeNextLine = true;
    }
    return true;
}

Result ScriptRunner::start(const std::string& path) {
    stop();  // waits for a runner that has just ended by itself
    scriptText_[0] = '\0';
    std::FILE* f = path.empty() ? nullptr : openFile(path, "rb");
    if (f == nullptr) {
        return Result::FileMissing;
    }
    const size_t n = std::fread(scriptText_, 1, kScriptTextSize - 1, f);
    scriptText_[n] = '\0';
    std::fclose(f);

    auto run = std::make_shared<Run>();
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        thread_ = std::thread(&ScriptRunner::runnerThread, this, run);
    } catch (const std::system_error&) {
        running_ = 0;
        return Result::NoThread;
    }
    current_ = run;
    running_ = 1;
    // Told before the runner can end by itself (it takes the mutex to say so).
    listener_.onScriptStarted();
    return Result::Ok;
}

bool ScriptRunner::stop() {
    // A second stop at the same time (the operator's and the sender's) waits for the
    // first one's join instead of returning while the runner may still write a slot.
    std::lock_guard<std::mutex> serial(stopMutex_);
    std::thread thread;
    std::shared_ptr<Run> run;
    bool wasRunning = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        thread.swap(thread_);
        run.swap(current_);
        wasRunning = running_.exchange(0) != 0;
    }
    if (run != nullptr) {
        std::lock_guard<std::mutex> lock(run->mutex);
        run->stopRequested = true;
        run->wake.notify_all();
    }
    if (thread.joinable()) {
        thread.join();
    }
    return wasRunning;
}

}  // namespace vorda
