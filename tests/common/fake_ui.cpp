#include "common/fake_ui.h"

#include <future>

#include "support/test_support.h"

namespace vorda::test {

namespace {

FakeUi* self(void* c) {
    return static_cast<FakeUi*>(c);
}

std::string bit(bool b) {
    return b ? "1" : "0";
}

}  // namespace

FakeUi::FakeUi(bool runTimers) : runTimers_(runTimers), thread_([this] { loop(); }) {}

FakeUi::~FakeUi() {
    set(stop_, true);
    wake_.notify_all();
    thread_.join();
}

void FakeUi::setTimerHandler(std::function<void(int)> handler) {
    set(onTimer_, std::move(handler));
}

template <typename F>
void FakeUi::with(void* c, F f, const std::string& call) {
    FakeUi* ui = self(c);
    std::lock_guard<std::mutex> lock(ui->mutex_);
    f(*ui);
    ui->calls_.push_back(call);
}

DisplaySeam FakeUi::seam() {
    DisplaySeam p;
    p.context = this;
    p.setStatus = [](void* c, Text t) {
        with(
            c, [t](FakeUi& u) { u.status_ = messageText(t); }, "status " + messageText(t));
    };
    p.setStatusText = [](void* c, const std::string& text) {
        with(
            c, [&](FakeUi& u) { u.status_ = text; }, "status " + text);
    };
    p.setLightLevel = [](void* c, const std::string& text) {
        with(
            c, [&](FakeUi& u) { u.light_ = text; }, "light " + text);
    };
    p.setPriceText = [](void* c, int row, const std::string& text) {
        with(
            c, [&](FakeUi& u) { u.prices_[row] = text; },
            "price " + std::to_string(row) + " " + text);
    };
    p.setBlinkBox = [](void* c, int row, bool on) {
        with(
            c, [&](FakeUi& u) { u.blinks_[row] = on; },
            "blink " + std::to_string(row) + " " + bit(on));
    };
    p.setStartStop = [](void* c, bool running) {
        with(
            c, [](FakeUi&) {}, "startstop " + bit(running));
    };
    p.setMenuStates = [](void* c, bool connect, bool disconnect, bool test) {
        const std::string menu = bit(connect) + " " + bit(disconnect) + " " + bit(test);
        with(
            c, [&](FakeUi& u) { u.menu_ = menu; }, "menu " + menu);
    };
    p.showMessage = [](void* c, const std::string& text, Text caption) {
        const std::string m = text + " | " + messageText(caption);
        with(
            c, [&](FakeUi& u) { u.messages_.push_back(m); }, "message " + m);
    };
    p.invalidate = [](void* c, PanelRect r, bool erase) {
        with(
            c, [](FakeUi&) {},
            "invalidate " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                std::to_string(r.right) + " " + std::to_string(r.bottom) + " " + bit(erase));
    };
    p.setTimer = [](void* c, int id, uint32_t ms) {
        with(
            c,
            [&](FakeUi& u) {
                u.timers_[id] = ms;
                u.due_[id] = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
                u.wake_.notify_all();
            },
            "timer " + std::to_string(id) + " " + std::to_string(ms));
    };
    p.killTimer = [](void* c, int id) {
        with(
            c,
            [&](FakeUi& u) {
                u.timers_.erase(id);
                u.due_.erase(id);
            },
            "kill " + std::to_string(id));
    };
    p.showWaitCursor = [](void* c) {
        with(
            c, [](FakeUi&) {}, "wait");
    };
    p.priceBoxText = [](void* c, int row) { return self(c)->get(self(c)->prices_[row]); };
    p.blinkBoxChecked = [](void* c, int row) { return self(c)->get(self(c)->blinks_[row]); };
    p.controlFilePath = [](void* c) { return self(c)->get(self(c)->controlFile_); };
    p.temperatureText = [](void* c) { return self(c)->get(self(c)->temperature_); };
    return p;
}

void FakeUi::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        std::function<void()> task;
        const auto now = std::chrono::steady_clock::now();
        auto next = now + std::chrono::milliseconds(20);
        if (!tasks_.empty()) {
            task = std::move(tasks_.front());
            tasks_.pop_front();
        } else if (runTimers_) {
            for (auto& [id, when] : due_) {
                if (when <= now) {
                    when = now + std::chrono::milliseconds(timers_[id]);
                    task = [this, id = id] { fireTimer(id); };
                    break;
                }
                next = std::min(next, when);
            }
        }
        if (task) {
            lock.unlock();
            task();
            lock.lock();
        } else {
            wake_.wait_until(lock, next);
        }
    }
}

void FakeUi::run(const std::function<void()>& task) {
    if (std::this_thread::get_id() == thread_.get_id()) {
        task();
        return;
    }
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
    run([this, id] {
        const auto handler = get(onTimer_);
        if (handler) {
            handler(id);
        }
    });
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

void FakeUi::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    messages_.clear();
}

bool FakeUi::waitUntil(const std::function<bool()>& condition, int timeoutMs) const {
    return test::waitUntil(condition, timeoutMs);
}

}  // namespace vorda::test
