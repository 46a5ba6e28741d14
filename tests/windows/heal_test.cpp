// The link under Wine heals: the Win32 serial driver and the link's threads against the
// tower simulator through the prefix's COM1. The simulator ends (its pseudo-terminal goes
// with it) and starts again on the same link; a price queued meanwhile reaches it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "controller/controller.h"
#include "support.h"
#include "win32/wide.h"

namespace vorda::test {
namespace {

// A display that keeps the status field and offers a price for row 0.
struct StatusField {
    std::mutex mutex;
    std::string text;

    std::string get() {
        std::lock_guard<std::mutex> lock(mutex);
        return text;
    }
    static void set(void* c, const std::string& status) {
        auto* field = static_cast<StatusField*>(c);
        std::lock_guard<std::mutex> lock(field->mutex);
        field->text = status;
    }
    DisplaySeam seam() {
        DisplaySeam s;
        s.context = this;
        s.setStatus = [](void* c, Text status) { set(c, messageText(status)); };
        s.setStatusText = set;
        s.priceBoxText = [](void*, int row) { return std::string(row == 0 ? "7.77" : ""); };
        return s;
    }
};

TEST(Win32Link, APortWhoseTowerWentAwayIsOpenedAgainAndGetsThePriceQueuedMeanwhile) {
    auto sim = std::make_unique<TowerSimProcess>();
    ASSERT_TRUE(sim->start());
    StatusField status;
    Controller controller(Platform{platformSerialDriver(), status.seam(), systemClock(),
                                   win::toUtf8(makeTempDirectory(L"vorda-heal"))});
    controller.startPanel("Dec  5 2026");
    ASSERT_TRUE(controller.connect());
    ASSERT_TRUE(waitUntil([&] { return !controller.priceControllerVersion().empty(); }, 10000));
    sim.reset();  // the simulator ends, and its pseudo-terminal with it
    ASSERT_TRUE(waitUntil([&] { return status.get() == "BRAK PORTU COM1"; }, 3000)) << status.get();
    controller.sendPrices();
    sim = std::make_unique<TowerSimProcess>();
    ASSERT_TRUE(sim->start());
    EXPECT_TRUE(waitUntil([&] { return status.get() == "POŁĄCZONY"; }, 5000)) << status.get();
    EXPECT_TRUE(
        waitUntil([&] { return sim->received().find("21C7.77 ") != std::string::npos; }, 5000));
}

}  // namespace
}  // namespace vorda::test
