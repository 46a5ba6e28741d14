#include "common/fake_ui.h"

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

std::string FakeUi::field(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = fields_.find(name);
    return it == fields_.end() ? "" : it->second;
}

void FakeUi::set(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    fields_[name] = value;
}

void FakeUi::record(void* c, const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(self(c)->mutex_);
    self(c)->fields_[name] = value;
    self(c)->calls_.push_back(name + " " + value);
}

DisplaySeam FakeUi::seam() {
    DisplaySeam p;
    p.context = this;
    p.setStatus = [](void* c, Text t) { record(c, "status", messageText(t)); };
    p.setStatusText = [](void* c, const std::string& text) { record(c, "status", text); };
    p.setLightLevel = [](void* c, const std::string& text) { record(c, "light", text); };
    p.setPriceText = [](void* c, int row, const std::string& text) {
        record(c, "price " + std::to_string(row), text);
    };
    p.setBlinkBox = [](void* c, int row, bool on) {
        record(c, "blink " + std::to_string(row), bit(on));
    };
    p.setStartStop = [](void* c, bool running) { record(c, "startstop", bit(running)); };
    p.setMenuStates = [](void* c, bool connect, bool disconnect, bool test) {
        record(c, "menu", bit(connect) + " " + bit(disconnect) + " " + bit(test));
    };
    p.showMessage = [](void* c, const std::string& text, Text caption) {
        record(c, "message", text + " | " + messageText(caption));
    };
    p.invalidate = [](void* c, PanelRect r, bool erase) {
        record(c, "invalidate",
               std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                   std::to_string(r.right) + " " + std::to_string(r.bottom) + " " + bit(erase));
    };
    p.showWaitCursor = [](void* c) { record(c, "wait", ""); };
    p.setTrayTip = [](void* c, const std::string& tip) { record(c, "tip", tip); };
    return p;
}

PanelSeam FakeUi::panel() {
    PanelSeam p;
    p.context = this;
    p.priceBoxText = [](void* c, int row) {
        return self(c)->field("price " + std::to_string(row));
    };
    p.blinkBoxChecked = [](void* c, int row) { return self(c)->blinkChecked(row); };
    p.controlFilePath = [](void* c) { return self(c)->field("file"); };
    p.temperatureText = [](void* c) { return self(c)->field("temperature"); };
    return p;
}

std::vector<std::string> FakeUi::callsStartingWith(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto& c : calls_) {
        if (c.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<std::string> FakeUi::messages() const {
    std::vector<std::string> out = callsStartingWith("message ");
    for (auto& m : out) {
        m.erase(0, 8);
    }
    return out;
}

void FakeUi::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

bool FakeUi::waitUntil(const std::function<bool()>& condition, int timeoutMs) const {
    return test::waitUntil(condition, timeoutMs);
}

}  // namespace vorda::test
