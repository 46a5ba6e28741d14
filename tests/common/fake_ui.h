// The program's user-interface side for the native tests: a thread that plays the
// user-interface thread (its tasks and the panel's timers), and a display that records
// every call through the seam, in order ("status POŁĄCZONY", "timer 3 300", "kill 4",
// "menu 1 0 1", "message Błąd otwarcia COM3 | Błąd", "invalidate 450 112 600 167 0",
// "light 87", "price 0 5.49", "blink 0 1", "startstop 1", "wait").
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/display.h"

namespace vorda::test {

class FakeUi {
  public:
    // With `runTimers` the timers fire on the user-interface thread at their periods;
    // without, only fireTimer() fires them.
    explicit FakeUi(bool runTimers = false);
    ~FakeUi();

    DisplaySeam seam();
    // Who handles the panel's timers (the controller's onTimer).
    void setTimerHandler(std::function<void(int)> handler);
    // Runs `task` on the user-interface thread and waits for it.
    void run(const std::function<void()>& task);
    void fireTimer(int id);
    // Waits until `condition` holds (checked every few ms); false on time-out.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) const;

    std::vector<std::string> calls() const { return get(calls_); }
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    void clearCalls();
    std::string status() const { return get(status_); }
    std::string lightLevel() const { return get(light_); }
    std::string priceText(int row) const { return get(prices_[row]); }
    bool blinkChecked(int row) const { return get(blinks_[row]); }
    std::string menu() const { return get(menu_); }  // "1 0 1": "Połącz", "Rozłącz", "Test"
    std::vector<std::string> messages() const { return get(messages_); }
    std::map<int, uint32_t> timers() const { return get(timers_); }

    // The operator's input.
    void setPriceBox(int row, const std::string& text) { set(prices_[row], text); }
    void setBlinkBox(int row, bool checked) { set(blinks_[row], checked); }
    void setControlFile(const std::string& path) { set(controlFile_, path); }
    void setTemperature(const std::string& text) { set(temperature_, text); }

  private:
    template <typename T>
    T get(const T& field) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return field;
    }
    template <typename T, typename V>
    void set(T& field, const V& value) {
        std::lock_guard<std::mutex> lock(mutex_);
        field = value;
    }
    // A seam entry's effect on the recorded state, and its record, under the lock.
    template <typename F>
    static void with(void* context, F effect, const std::string& call);
    void loop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void(int)> onTimer_;
    bool runTimers_;
    std::deque<std::function<void()>> tasks_;
    std::map<int, uint32_t> timers_;
    std::map<int, std::chrono::steady_clock::time_point> due_;
    std::vector<std::string> calls_, messages_;
    std::string status_, light_, menu_, controlFile_, temperature_, prices_[5];
    bool blinks_[5] = {};
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace vorda::test
