// The program's user-interface side for the native tests: a thread that plays the
// user-interface thread (its tasks and the panel's timers), and a panel that records
// every call the core makes through the seam, in order.
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

#include "record/core.h"

namespace vorda::test {

class FakeUi {
  public:
    // With `runTimers` the panel's timers fire on the user-interface thread at their
    // periods; without, they are only recorded and fired by fireTimer().
    explicit FakeUi(Core& core, bool runTimers = false);
    ~FakeUi();
    FakeUi(const FakeUi&) = delete;
    FakeUi& operator=(const FakeUi&) = delete;

    // Runs `task` on the user-interface thread and waits for it.
    void run(const std::function<void()>& task);
    // Fires a timer now, on the user-interface thread.
    void fireTimer(int id);

    // Every call so far, as text ("status POŁĄCZONY", "timer 3 300", "kill 4",
    // "menu 1 0 1", "message Błąd otwarcia COM3 | Błąd", "invalidate 450 112 600 167 0",
    // "light 87", "price 0 5.49", "blink 0 1", "startstop 1", "wait").
    std::vector<std::string> calls() const;
    void clearCalls();
    // Calls that start with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;

    // What the panel shows now.
    std::string status() const;
    std::string lightLevel() const;
    std::string priceText(int row) const;
    bool blinkChecked(int row) const;
    std::string menu() const;  // "1 0 1": "Połącz", "Rozłącz", "Test" enabled
    std::vector<std::string> messages() const;
    std::map<int, uint32_t> timers() const;

    // The operator's input.
    void setPriceBox(int row, const std::string& text);
    void setBlinkBox(int row, bool checked);
    void setControlFile(const std::string& path);
    void setTemperature(const std::string& text);

    // Waits until `condition` holds (checked every few ms); false on time-out.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) const;

  private:
    static FakeUi* self(void* c) { return static_cast<FakeUi*>(c); }
    void loop();

    Core& core_;
    bool runTimers_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::map<int, uint32_t> timers_;
    std::map<int, std::chrono::steady_clock::time_point> due_;
    std::vector<std::string> calls_;
    std::vector<std::string> messages_;
    std::string status_;
    std::string light_;
    std::string prices_[5];
    bool blinks_[5] = {};
    std::string menu_;
    std::string controlFile_;
    std::string temperature_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace vorda::test
