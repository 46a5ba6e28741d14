// The control-file runner: a text file of command lines with brace codes for the time,
// the date, the temperature, the prices, pauses and a restart, loaded at Start and
// played line by line into the price slots of the mailbox on a thread of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vorda {

struct Core;

constexpr size_t kScriptTextSize = 30000;  // 29999 bytes of text and a terminator
constexpr size_t kLineBufferSize = 256;    // 255 characters and a terminator
constexpr size_t kLineCopyLimit = 250;     // a line keeps at most 249 characters

// One run of a control file, shared by the runner thread and whoever stops it.
struct ScriptRun {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
};

// The loaded text and the runner thread.
struct ScriptRunner {
    char scriptText[kScriptTextSize] = {};
    std::mutex stopMutex;  // one stop at a time: each returns only once the runner has ended
    std::mutex mutex;      // guards thread and current
    std::thread thread;
    std::shared_ptr<ScriptRun> current;
};

// Where the runner is in the text.
struct RunnerState {
    size_t readPosition = 0;
    bool pauseBeforeNextLine = true;
    bool active = true;  // false once the end of the text was read (a {G} sets it again)
};

// A pause of the runner; false when the runner was stopped during it.
using RunnerPause = std::function<bool(uint32_t ms)>;

// Loads the file named in the panel's path box and starts the runner; the Start/Stop
// button then reads "Stop" and the status shows the control file. False when the path
// is empty, the file cannot be opened or the thread cannot be made.
bool startControlFileRunner(Core& core);

// Stops a running control file at once, also inside a pause, and returns when the
// runner can no longer write a slot. The Start/Stop button then reads "Start" unless
// `touchButton` is false (at shutdown).
void stopControlFileRunner(Core& core, bool touchButton = true);

// The panel's Start/Stop button.
void startOrStopControlFile(Core& core);

// The runner's pass: one line read, its codes expanded (with their pauses), and queued
// when it is a command line. False when the runner was stopped in a pause.
bool runnerStep(Core& core, const char* text, RunnerState& state, const RunnerPause& pause);

// Reads the line at state.readPosition into `line` and moves past it.
std::string readScriptLine(const char* text, RunnerState& state);

// Expands the brace codes of a line in place; false when stopped in a pause.
bool expandBraceCodes(Core& core, std::string& line, RunnerState& state, const RunnerPause& pause);

// The text queued for a command line ("B" lines rebuilt in segment form).
std::string commandTextOf(Core& core, const std::string& line);

// The milliseconds of a {S...} code's argument.
uint32_t pauseMilliseconds(const std::string& argument);

}  // namespace vorda
