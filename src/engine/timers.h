// The program's deadlines on one steady clock: a fixed list of callbacks due at given
// times, and the thread that sleeps until the earliest is due and runs it. Whatever has a
// limit (a price check's) schedules it here; tests run what is due at a time of their
// choosing instead of waiting for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vorda {

// The steady clock deadlines are kept on, in milliseconds from any fixed start. Left
// empty, the machine's steady clock; tests supply one that moves only when told.
struct SteadyClock {
    void* context = nullptr;
    uint64_t (*nowMs)(void* context) = nullptr;

    uint64_t now() const;
};

class Timers {
  public:
    // What runs when a deadline is due: on the timers' thread (or a test's), with no lock
    // of the list held, so that it may schedule and cancel.
    using Callback = void (*)(void* context, uint64_t tag);
    static constexpr int kCapacity = 32;
    static constexpr uint64_t kNever = UINT64_MAX;

    explicit Timers(SteadyClock clock = {}) : clock_(clock) {}
    ~Timers() { stop(); }
    Timers(const Timers&) = delete;
    Timers& operator=(const Timers&) = delete;

    // Schedules `callback(context, tag)` at `dueMs`; returns its id, never 0 (0: the list
    // is full, nothing scheduled). Any thread.
    uint64_t schedule(uint64_t dueMs, Callback callback, void* context, uint64_t tag);
    // Takes a deadline off the list (an id that already ran or was cancelled: nothing).
    void cancel(uint64_t id);
    // Runs the callbacks due at `nowMs`, earliest first; how many ran. One caller at a
    // time: a test's call returns only once what the timers' thread had begun has ended.
    int runDue(uint64_t nowMs);
    // When the earliest deadline is due (kNever: none).
    uint64_t nextDue() const;
    uint64_t now() const { return clock_.now(); }

    // The thread that runs the deadlines as they fall due; start() once (false when it
    // cannot be created), stop() waits for it.
    bool start();
    void stop();

  private:
    struct Entry {
        uint64_t id = 0;  // 0: free
        uint64_t due = 0;
        Callback callback = nullptr;
        void* context = nullptr;
        uint64_t tag = 0;
    };
    void loop();

    std::mutex running_;  // held by the one runDue() under way
    const SteadyClock clock_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Entry entries_[kCapacity];
    uint64_t lastId_ = 0;
    bool run_ = false;
    std::thread thread_;
};

}  // namespace vorda
