#include "common/fake_ui.h"

#include <future>

#include "record/lifecycle.h"

namespace vorda::test {

FakeUi::FakeUi(Core& core, bool runTimers) : core_(core), runTimers_(runTimers) {
    Panel& p = core.panel;
    p.context = this;
    p.setStatus = [](void* c, Text status) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->status_ = messageText(status);
        self(c)->calls_.push_back("status " + messageText(status));
    };
    p.setLightLevel = [](void* c, const std::string& text) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->light_ = text;
        self(c)->calls_.push_back("light " + text);
    };
    p.setPriceText = [](void* c, int row, const std::string& text) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->prices_[row] = text;
        self(c)->calls_.push_back("price " + std::to_string(row) + " " + text);
    };
    p.setBlinkBox = [](void* c, int row, bool checked) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->blinks_[row] = checked;
        self(c)->calls_.push_back("blink " + std::to_string(row) + (checked ? " 1" : " 0"));
    };
    p.setStartStop = [](void* c, bool running) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->calls_.push_back(running ? "startstop 1" : "startstop 0");
    };
    p.setMenuStates = [](void* c, bool connect, bool disconnect, bool testItem) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->menu_ = std::string(connect ? "1" : "0") + (disconnect ? " 1" : " 0") +
                         (testItem ? " 1" : " 0");
        self(c)->calls_.push_back("menu " + self(c)->menu_);
    };
    p.showMessage = [](void* c, const std::string& text, Text caption) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->messages_.push_back(text + " | " + messageText(caption));
        self(c)->calls_.push_back("message " + text + " | " + messageText(caption));
    };
    p.invalidate = [](void* c, PanelRect r, bool erase) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->calls_.push_back("invalidate " + std::to_string(r.left) + " " +
                                  std::to_string(r.top) + " " + std::to_string(r.right) + " " +
                                  std::to_string(r.bottom) + (erase ? " 1" : " 0"));
    };
    p.setTimer = [](void* c, int id, uint32_t ms) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->timers_[id] = ms;
        self(c)->due_[id] = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        self(c)->calls_.push_back("timer " + std::to_string(id) + " " + std::to_string(ms));
        self(c)->wake_.notify_all();
    };
    p.killTimer = [](void* c, int id) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->timers_.erase(id);
        self(c)->due_.erase(id);
        self(c)->calls_.push_back("kill " + std::to_string(id));
    };
    p.showWaitCursor = [](void* c) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        self(c)->calls_.push_back("wait");
    };
    p.priceBoxText = [](void* c, int row) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        return self(c)->prices_[row];
    };
    p.blinkBoxChecked = [](void* c, int row) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        return self(c)->blinks_[row];
    };
    p.controlFilePath = [](void* c) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        return self(c)->controlFile_;
    };
    p.temperatureText = [](void* c) {
        std::lock_guard<std::mutex> lock(self(c)->mutex_);
        return self(c)->temperature_;
    };
    thread_ = std::thread([this] { loop(); });
}

FakeUi::~FakeUi() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    core_.panel = Panel();
}

void FakeUi::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (runTimers_) {
            int dueId = -1;
            for (const auto& [id, when] : due_) {
                if (when <= now) {
                    dueId = id;
                    break;
                }
            }
            if (dueId >= 0) {
                due_[dueId] = now + std::chrono::milliseconds(timers_[dueId]);
                lock.unlock();
                onPanelTimer(core_, dueId);
                lock.lock();
                continue;
            }
        }
        auto next = now + std::chrono::milliseconds(20);
        if (runTimers_) {
            for (const auto& entry : due_) {
                next = std::min(next, entry.second);
            }
        }
        wake_.wait_until(lock, next);
    }
}

void FakeUi::run(const std::function<void()>& task) {
    std::promise<void> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back([&] {
            task();
            done.set_value();
        });
    }
    wake_.notify_all();
    done.get_future().wait();
}

void FakeUi::fireTimer(int id) {
    run([this, id] { onPanelTimer(core_, id); });
}

std::vector<std::string> FakeUi::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void FakeUi::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    messages_.clear();
}

std::vector<std::string> FakeUi::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls()) {
        if (c.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(c);
        }
    }
    return out;
}

std::string FakeUi::status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}
std::string FakeUi::lightLevel() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return light_;
}
std::string FakeUi::priceText(int row) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return prices_[row];
}
bool FakeUi::blinkChecked(int row) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blinks_[row];
}
std::string FakeUi::menu() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return menu_;
}
std::vector<std::string> FakeUi::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}
std::map<int, uint32_t> FakeUi::timers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timers_;
}

void FakeUi::setPriceBox(int row, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    prices_[row] = text;
}
void FakeUi::setBlinkBox(int row, bool checked) {
    std::lock_guard<std::mutex> lock(mutex_);
    blinks_[row] = checked;
}
void FakeUi::setControlFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    controlFile_ = path;
}
void FakeUi::setTemperature(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    temperature_ = text;
}

bool FakeUi::waitUntil(const std::function<bool()>& condition, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

}  // namespace vorda::test
