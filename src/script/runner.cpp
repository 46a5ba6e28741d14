#include "script/runner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "preview/price_preview.h"
#include "record/core.h"
#include "record/panel_calls.h"
#include "storage/files.h"

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

std::string replacementOf(Core& core, char code, const std::string& line) {
    switch (code) {
        case 'C':
            return timeText(core.clock.localTime(core.clock.context));
        case 'D': {
            const LocalTime t = core.clock.localTime(core.clock.context);
            char date[16];
            std::snprintf(date, sizeof date, "%02d/%02d/20%02d", t.day % 100, t.month % 100,
                          t.year % 100);
            return date;
        }
        case 'T':
            return panelTemperatureText(core).substr(0, kTemperatureMax) + "\x7F" + "C";
        case 'P':
            // A line whose second character names no price gets the empty text.
            if (line.size() >= 2 && isSubAddress(line[1])) {
                return panelPriceBoxText(core, line[1] - '1').substr(0, kPriceMax);
            }
            return std::string();
        default:
            return std::string();
    }
}

// The runner thread: plays the text until it ends or is stopped.
void runnerThread(Core* core, std::shared_ptr<ScriptRun> run) {
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
        if (!runnerStep(*core, core->script.scriptText, state, pause)) {
            break;
        }
    }
    // The text ended by itself: the panel shows that nothing runs any more, unless a
    // stop or a newer run has taken over meanwhile.
    // A link that is being closed meanwhile says so itself; its status is not overwritten.
    std::lock_guard<std::mutex> lock(core->script.mutex);
    if (core->script.current == run && !stopped()) {
        core->script.current.reset();
        AppRecord* r = core->record.get();
        r->scriptRunning = 0;
        panelSetStartStop(*core, false);
        if (r->testMode) {
            panelSetStatus(*core, Text::TestMode);
        } else if (r->connected) {
            panelSetStatus(*core, Text::Connected);
        }
    }
}

}  // namespace

uint32_t pauseMilliseconds(const std::string& argument) {
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

std::string readScriptLine(const char* text, RunnerState& state) {
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

bool expandBraceCodes(Core& core, std::string& line, RunnerState& state, const RunnerPause& pause) {
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
                        const std::string replacement = replacementOf(core, code, line);
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

std::string commandTextOf(Core& core, const std::string& line) {
    if (line.size() < 3 || line[2] != 'B') {
        return line;
    }
    const int row = line[1] - '1';
    uint32_t v = 0;
    for (int d = 0; d < 3; ++d) {
        v = (v << 8) | towerByteOfSegmentCode(core.board.priceSegments[row][d]);
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

bool runnerStep(Core& core, const char* text, RunnerState& state, const RunnerPause& pause) {
    if (state.pauseBeforeNextLine && !pause(1)) {
        return false;
    }
    std::string line = readScriptLine(text, state);
    if (!expandBraceCodes(core, line, state, pause)) {
        return false;
    }
    if (!line.empty() && isControllerDigit(line[0])) {
        if (line.size() >= 2 && isSubAddress(line[1])) {
            // A text longer than a slot holds is not queued.
            writeSlot(core, line[1] - '1' + kSlotPrice1, commandTextOf(core, line));
        }
        state.pauseBeforeNextLine = false;
    } else {
        state.pauseBeforeNextLine = true;
    }
    return true;
}

bool startControlFileRunner(Core& core) {
    AppRecord* r = core.record.get();
    ScriptRunner& s = core.script;
    if (r == nullptr) {
        return false;
    }
    stopControlFileRunner(core, false);  // waits for a runner that has just ended by itself
    s.scriptText[0] = '\0';
    const std::string path = panelControlFilePath(core);
    if (path.empty()) {
        return false;
    }
    std::FILE* f = openFile(path, "rb");
    if (f == nullptr) {
        return false;
    }
    const size_t n = std::fread(s.scriptText, 1, kScriptTextSize - 1, f);
    s.scriptText[n] = '\0';
    std::fclose(f);

    auto run = std::make_shared<ScriptRun>();
    std::lock_guard<std::mutex> lock(s.mutex);
    try {
        s.thread = std::thread(runnerThread, &core, run);
    } catch (const std::system_error&) {
        r->scriptRunning = 0;
        return false;
    }
    s.current = run;
    r->scriptRunning = 1;
    // Shown before the runner can end by itself (it takes the mutex to say so).
    panelSetStartStop(core, true);
    panelSetStatus(core, r->testMode ? Text::TestModeScript : Text::ConnectedScript);
    return true;
}

void stopControlFileRunner(Core& core, bool touchButton) {
    AppRecord* r = core.record.get();
    ScriptRunner& s = core.script;
    // A second stop at the same time (the operator's and the sender's) waits for the
    // first one's join instead of returning while the runner may still write a slot.
    std::lock_guard<std::mutex> serial(s.stopMutex);
    std::thread thread;
    std::shared_ptr<ScriptRun> run;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        thread.swap(s.thread);
        run.swap(s.current);
    }
    if (run != nullptr) {
        std::lock_guard<std::mutex> lock(run->mutex);
        run->stopRequested = true;
        run->wake.notify_all();
    }
    if (thread.joinable()) {
        thread.join();
    }
    if (r != nullptr && r->scriptRunning) {
        r->scriptRunning = 0;
        if (touchButton) {
            panelSetStartStop(core, false);
        }
    }
}

void startOrStopControlFile(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    if (!r->connected && !r->testMode) {
        panelShowMessage(core, messageText(Text::ScriptNeedsLink), Text::Error);
    } else if (r->scriptRunning) {
        stopControlFileRunner(core);
        panelSetStatus(core, r->testMode ? Text::TestMode : Text::Connected);
    } else if (!startControlFileRunner(core)) {
        panelShowMessage(core, messageText(Text::ScriptOpenFailed), Text::Error);
    }
}

}  // namespace vorda
