#include "engine/timers.h"

#include <chrono>
#include <system_error>

namespace vorda {

uint64_t SteadyClock::now() const {
    if (nowMs != nullptr) {
        return nowMs(context);
    }
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t Timers::schedule(uint64_t dueMs, Callback callback, void* context, uint64_t tag) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& e : entries_) {
        if (e.id == 0) {
            e = Entry{++lastId_, dueMs, callback, context, tag};
            changed_.notify_all();
            return e.id;
        }
    }
    return 0;
}

void Timers::cancel(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& e : entries_) {
        if (id != 0 && e.id == id) {
            e = Entry{};
        }
    }
}

int Timers::runDue(uint64_t nowMs) {
    std::lock_guard<std::mutex> running(running_);
    int ran = 0;
    for (;;) {
        Entry due;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Entry* earliest = nullptr;
            for (Entry& e : entries_) {
                if (e.id != 0 && e.due <= nowMs && (earliest == nullptr || e.due < earliest->due)) {
                    earliest = &e;
                }
            }
            if (earliest == nullptr) {
                return ran;
            }
            due = *earliest;
            *earliest = Entry{};
        }
        due.callback(due.context, due.tag);
        ++ran;
    }
}

uint64_t Timers::nextDue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t next = kNever;
    for (const Entry& e : entries_) {
        if (e.id != 0 && e.due < next) {
            next = e.due;
        }
    }
    return next;
}

bool Timers::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) {
        return false;
    }
    run_ = true;
    try {
        thread_ = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
        run_ = false;
        return false;
    }
    return true;
}

void Timers::stop() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        run_ = false;
        thread.swap(thread_);
    }
    changed_.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

// Sleeps until the earliest deadline or a change of the list, then runs what is due.
void Timers::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (run_) {
        uint64_t next = kNever;
        for (const Entry& e : entries_) {
            if (e.id != 0 && e.due < next) {
                next = e.due;
            }
        }
        const uint64_t t = now();
        if (next <= t) {
            lock.unlock();
            runDue(t);
            lock.lock();
        } else if (next == kNever) {
            changed_.wait(lock);
        } else {
            changed_.wait_for(lock, std::chrono::milliseconds(next - t));
        }
    }
}

}  // namespace vorda
