// The control-file runner: a text file of command lines with brace codes for the time,
// the date, the temperature, the prices, pauses and a restart, loaded at Start and
// played line by line into the price slots of the mailbox on a thread of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/mailbox.h"
#include "engine/price_board.h"
#include "engine/result.h"
#include "settings/clock.h"

namespace vorda {

constexpr size_t kScriptTextSize = 30000;  // 29999 bytes of text and a terminator
constexpr size_t kLineBufferSize = 256;    // 255 characters and a terminator
constexpr size_t kLineCopyLimit = 250;     // a line keeps at most 249 characters

// Where the runner is in the text.
struct RunnerState {
    size_t readPosition = 0;
    bool pauseBeforeNextLine = true;
    bool active = true;  // false once the end of the text was read (a {G} sets it again)
};

// A pause of the runner; false when the runner was stopped during it.
using RunnerPause = std::function<bool(uint32_t ms)>;

// Told when a run starts and when it ends by itself; both calls come under the runner's
// lock, so they arrive in that order. It also gives the runner the panel's boxes that the
// codes {P} and {T} put in a line, as they are when the line plays (on the runner thread).
class ScriptListener {
  public:
    virtual void onScriptStarted() = 0;
    // On the runner thread.
    virtual void onScriptEnded() = 0;
    // The price box of row 0 to 4, and the temperature box (code page 1250).
    virtual std::string priceBoxText(int row) = 0;
    virtual std::string temperatureText() = 0;

  protected:
    ~ScriptListener() = default;
};

class ScriptRunner {
  public:
    ScriptRunner(Mailbox& mailbox, const PriceBoard& board, Clock clock, ScriptListener& listener)
        : mailbox_(mailbox), board_(board), clock_(clock), listener_(listener) {}
    ~ScriptRunner() { stop(); }
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Loads the control file and starts the runner thread.
    Result start(const std::string& path);

    // Stops a running control file at once, also inside a pause, and returns when the
    // runner can no longer write a slot; a second stop at the same time waits as long.
    // True when a file was running.
    bool stop();

    bool running() const { return running_ != 0; }
    // The text the last start loaded.
    const char* loadedText() const { return scriptText_; }

    // The runner's pass: one line read, its codes expanded (with their pauses), and
    // queued when it is a command line. False when the runner was stopped in a pause.
    bool step(const char* text, RunnerState& state, const RunnerPause& pause);

    // Expands the brace codes of a line in place; false when stopped in a pause.
    bool expandBraceCodes(std::string& line, RunnerState& state, const RunnerPause& pause);

    // The text queued for a command line ("B" lines rebuilt in segment form).
    std::string commandTextOf(const std::string& line) const;

    // Reads the line at state.readPosition and moves past it.
    static std::string readLine(const char* text, RunnerState& state);

    // The milliseconds of a {S...} code's argument.
    static uint32_t pauseMilliseconds(const std::string& argument);

  private:
    // One run of a control file, shared by the runner thread and whoever stops it.
    struct Run {
        std::mutex mutex;
        std::condition_variable wake;
        bool stopRequested = false;
    };

    void runnerThread(std::shared_ptr<Run> run);
    std::string replacementOf(char code, const std::string& line) const;

    Mailbox& mailbox_;
    const PriceBoard& board_;
    const Clock clock_;
    ScriptListener& listener_;

    char scriptText_[kScriptTextSize] = {};
    std::mutex stopMutex_;  // one stop at a time
    std::mutex mutex_;      // guards thread_ and current_
    std::thread thread_;
    std::shared_ptr<Run> current_;
    std::atomic<int32_t> running_{0};
};

}  // namespace vorda
