// A Controller over a recording display and a recording serial driver, in a temporary
// start directory with a fixed clock: the program as the native tests drive it. The steady
// clock of the deadlines moves only when a test moves it (at()), so that a deadline falls
// due only then; the sender and timer threads run once the panel is started.
#pragma once

#include <gtest/gtest.h>

#include "common/fake_ui.h"
#include "controller/controller.h"
#include "support/fake_serial.h"
#include "support/test_support.h"
#include "support/tower_sim_process.h"

namespace vorda::test {

// An order's result by its id ("" when the book has none).
inline std::string resultOf(const Controller& c, const std::string& id) {
    for (const Order& o : c.orders()) {
        if (o.id == id) {
            return orderResultText(o.result);
        }
    }
    return "";
}

class Rig : public ::testing::Test {
  protected:
    Platform platform() {
        SteadyClock steady{
            &steadyNow, [](void* now) { return static_cast<std::atomic<uint64_t>*>(now)->load(); }};
        return Platform{serial.driver(), ui.seam(), ui.panel(), clock.clock(), dir.path(), steady};
    }
    // Moves the steady clock to `t` and runs what falls due then: the link's deadlines
    // (one step of the sender) and the program's timers.
    void at(uint64_t t) {
        steadyNow = t;
        link().tick(t);
        controller.timers().runDue(t);
    }
    // The answer time-out falls due, once the sender has armed it (a frame is written
    // before its pass ends). A time-out that finds a link lock taken (the sender's own pass
    // may hold one) is handled on a later tick: ticked again until it counts, for at most
    // a second (a held lock or a missing port leave it waiting).
    void expireAnswerTimeout() {
        ui.waitUntil([&] { return link().answerTimerOn(); }, 1000);
        const uint32_t before = link().errors().answerErrors;
        ui.waitUntil(
            [&] {
                link().tick(link().answerDeadline());
                return link().errors().answerErrors != before;
            },
            1000);
    }
    Link& link() { return controller.link(); }
    Mailbox& mailbox() { return controller.mailbox(); }
    std::vector<std::string> writes() {
        std::lock_guard<std::mutex> lock(serial.mutex);
        return serial.writes;
    }
    std::vector<int> pendingSlots() {
        std::vector<int> out;
        for (int n = 1; n <= kSlotCount; ++n) {
            if (mailbox().pending(n)) {
                out.push_back(n);
            }
        }
        return out;
    }
    // "menu status", as "1 0 1 ROZŁĄCZONY".
    std::string shown() { return ui.menu() + " " + ui.status(); }
    // A row of the price board: its three segment codes in hex and its blinking, "DD 6C 7D 1".
    std::string boardRow(int row) {
        char text[16];
        const PriceBoard& b = controller.board();
        std::snprintf(text, sizeof text, "%02X %02X %02X %d", b.segment(row, 0), b.segment(row, 1),
                      b.segment(row, 2), b.blinking(row) ? 1 : 0);
        return text;
    }
    // Waits until `count` frames were written.
    bool written(size_t count) {
        return ui.waitUntil([&] { return writes().size() >= count; });
    }

    TempDir dir;
    FixedClock clock;
    std::atomic<uint64_t> steadyNow{0};
    FakeSerial serial;
    FakeUi ui;
    Controller controller{platform()};
};

}  // namespace vorda::test
