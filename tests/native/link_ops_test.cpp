// Connecting, disconnecting and test mode: link states, menu states, status texts, and
// what the panel's buttons queue.
#include "link/link_ops.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "support/fake_link.h"

#include "link/port.h"
#include "protocol/panel_actions.h"
#include "protocol/receiver.h"
#include "protocol/sender.h"
#include "script/runner.h"

namespace vorda {
namespace {

class LinkOps : public test::FakeLinkTest {
  protected:
    std::vector<int> pendingSlots() {
        std::vector<int> out;
        for (int n = 1; n <= kSlotCount; ++n) {
            if (slotPending(core, n)) {
                out.push_back(n);
            }
        }
        return out;
    }
};

TEST_F(LinkOps, ConnectReadsBackAndStartsThePoll) {
    core.record->portNumber = 4;
    ASSERT_EQ(connectLink(core), 1);
    EXPECT_EQ(serial.opened, std::vector<std::string>{"COM4"});
    EXPECT_EQ(core.record->connected, 1);
    EXPECT_EQ(core.record->autoConnected, 0);
    EXPECT_EQ(ui->menu(), "0 1 1");
    EXPECT_EQ(ui->status(), "POŁĄCZONY");
    EXPECT_EQ(ui->timers().at(kPollTimer), 5000u);
    EXPECT_EQ(core.record->pollTimersOn, 1);
    EXPECT_EQ(core.record->readBackRequested, 1);
    EXPECT_EQ(pendingSlots(), (std::vector<int>{3, 4, 29, 30, 31, 32, 33, 35, 38, 40}));
    EXPECT_EQ(slotText(core, 3), "20C");
    EXPECT_EQ(slotText(core, 29), "20S");
    EXPECT_EQ(slotText(core, 38), "20Z");
    EXPECT_EQ(slotText(core, 40), "20V");
}

TEST_F(LinkOps, AMissingPortShowsTheErrorWithItsNumberAndChangesNothing) {
    serial.openError = OpenError::NotFound;
    core.record->portNumber = 3;
    EXPECT_EQ(connectLink(core), 0);
    EXPECT_EQ(ui->messages(), std::vector<std::string>{"Błąd otwarcia COM3 | Błąd"});
    EXPECT_EQ(core.record->connected, 0);
    EXPECT_EQ(ui->menu(), "");
    EXPECT_TRUE(ui->timers().empty());
    EXPECT_TRUE(pendingSlots().empty());
}

TEST_F(LinkOps, DisconnectClosesStopsThePollAndClearsEverything) {
    connectLink(core);
    core.record->answerTimerOn = 1;
    disconnectLink(core);
    EXPECT_EQ(core.record->connected, 0);
    EXPECT_EQ(core.record->pollTimersOn, 0);
    EXPECT_EQ(core.record->answerTimerOn, 0);
    EXPECT_TRUE(ui->timers().empty());
    EXPECT_TRUE(pendingSlots().empty());
    EXPECT_EQ(ui->menu(), "1 0 1");
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
    EXPECT_EQ(ui->lightLevel(), "");
}

TEST_F(LinkOps, TestWhileConnectedClosesThePortFirst) {
    connectLink(core);
    enterTestMode(core);
    EXPECT_EQ(core.record->connected, 0);
    EXPECT_EQ(serial.closes, 1);
    EXPECT_EQ(core.record->testMode, 1);
    EXPECT_EQ(ui->menu(), "1 1 0");
    EXPECT_EQ(ui->status(), "TRYB TESTU");
    disconnectLink(core);
    EXPECT_EQ(core.record->testMode, 0);
    EXPECT_EQ(ui->menu(), "1 0 1");
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
}

TEST_F(LinkOps, ConnectFromTestModeLeavesTestMode) {
    enterTestMode(core);
    connectLink(core);
    EXPECT_EQ(core.record->testMode, 0);
    EXPECT_EQ(core.record->connected, 1);
    EXPECT_EQ(ui->menu(), "0 1 1");
}

TEST_F(LinkOps, PricesAreQueuedAsTypedWithTheBlinkBoxesAndSlotThreeNext) {
    enterTestMode(core);
    ui->setPriceBox(0, "4.59");
    ui->setPriceBox(2, "123456789");
    ui->setBlinkBox(2, true);
    sendPrices(core);
    EXPECT_EQ(pendingSlots(), (std::vector<int>{3, 4, 5, 6, 7, 39}));
    EXPECT_EQ(slotText(core, 3), "21C4.59");
    EXPECT_EQ(slotText(core, 4), "22C");
    EXPECT_EQ(slotText(core, 5), "23M12345678");
    EXPECT_EQ(slotText(core, 7), "25C");
    EXPECT_EQ(slotText(core, 39), "20E");
    EXPECT_EQ(core.mailbox.lastServedSlot, 2);
    EXPECT_EQ(core.locks.mailboxLock, 0);
}

TEST_F(LinkOps, PricesWhileDisconnectedConnectOnDemand) {
    sendPrices(core);
    EXPECT_EQ(core.record->connected, 1);
    EXPECT_EQ(core.record->autoConnected, 1);
    EXPECT_EQ(pendingSlots(), (std::vector<int>{3, 4, 5, 6, 7, 29, 38, 39}));
    EXPECT_EQ(core.record->readBackRequested, 0);
}

TEST_F(LinkOps, PricesWithTheTowerUnreachableQueueNothing) {
    serial.openError = OpenError::AccessDenied;
    sendPrices(core);
    EXPECT_EQ(ui->messages(), std::vector<std::string>{"Błąd otwarcia COM1 | Błąd"});
    EXPECT_TRUE(pendingSlots().empty());
}

TEST_F(LinkOps, BacklightButtons) {
    connectLink(core);
    clearMailbox(core);
    switchBacklight(core, true);
    EXPECT_EQ(pendingSlots(), (std::vector<int>{36, 38}));
    EXPECT_EQ(slotText(core, 36), "20Z1");
    switchBacklight(core, false);
    EXPECT_EQ(slotText(core, 37), "20Z0");
    clearMailbox(core);
    core.record->autoBacklight = 1;
    switchBacklight(core, true);
    EXPECT_TRUE(pendingSlots().empty());
    ASSERT_EQ(ui->messages().size(), 1u);
    EXPECT_EQ(ui->messages()[0], messageText(Text::AutoBacklight) + " | Błąd");
}

TEST_F(LinkOps, BacklightAndReadBackAreRefusedInTestMode) {
    enterTestMode(core);
    switchBacklight(core, true);
    readFromTower(core);
    EXPECT_EQ(ui->messages(), (std::vector<std::string>{"Wyłącz tryb testu !    | Błąd",
                                                        "Wyłącz tryb testu !    | Błąd"}));
    EXPECT_TRUE(pendingSlots().empty());
    EXPECT_TRUE(serial.opened.empty());
}

TEST_F(LinkOps, TwoBacklightPressesWhileDisconnectedConnectOnce) {
    switchBacklight(core, true);
    switchBacklight(core, true);
    EXPECT_EQ(serial.opened.size(), 1u);
    EXPECT_EQ(pendingSlots(), (std::vector<int>{29, 36, 38}));
}

TEST_F(LinkOps, TestOrDisconnectOnAnOnDemandLinkEndsTheSameWayEveryTime) {
    ASSERT_TRUE(connectOnDemand(core));
    enterTestMode(core);
    senderPass(core);  // the on-demand connection was given up with the link
    EXPECT_EQ(core.record->testMode, 1);
    EXPECT_EQ(ui->menu(), "1 1 0");
    EXPECT_EQ(ui->status(), "TRYB TESTU");
    ASSERT_TRUE(connectOnDemand(core));
    disconnectLink(core);
    senderPass(core);
    EXPECT_EQ(core.record->autoConnected, 0);
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
}

// Holds the control-file runner inside the {P} of its last line until it is released:
// by the link's status turning "ROZŁĄCZONY", by a stop (with `leaveOnStop`), or after
// `holdMs`.
struct RunnerHold {
    static inline Core* core = nullptr;
    static inline std::atomic<bool> reached{false}, released{false};
    static inline int holdMs = 2000;
    static inline bool leaveOnStop = true;
    static inline std::string (*priceBox)(void*, int) = nullptr;
    static inline void (*setStatus)(void*, Text) = nullptr;

    static bool runnerGone() {
        std::lock_guard<std::mutex> lock(core->script.mutex);
        return core->script.current == nullptr;
    }
    static void waitFor(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
        while (!done() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    static void install(Core& c, int ms, bool leave) {
        core = &c;
        holdMs = ms;
        leaveOnStop = leave;
        reached = released = false;
        priceBox = c.panel.priceBoxText;
        setStatus = c.panel.setStatus;
        c.panel.priceBoxText = [](void* context, int row) {
            reached = true;
            waitFor([] { return released || (leaveOnStop && runnerGone()); });
            return priceBox(context, row);
        };
        c.panel.setStatus = [](void* context, Text status) {
            setStatus(context, status);
            if (status == Text::Disconnected) {  // let a runner end by itself right now
                released = true;
                waitFor(runnerGone);
            }
        };
    }
};

TEST_F(LinkOps, AControlFileEndingWhileTheLinkClosesLeavesTheStatusDisconnected) {
    connectLink(core);
    test::writeFile(dir.file("f.txt"), "21C{P}");
    ui->setControlFile(dir.file("f.txt"));
    RunnerHold::install(core, 2000, true);
    ASSERT_TRUE(startControlFileRunner(core));
    RunnerHold::waitFor([] { return RunnerHold::reached.load(); });
    disconnectLink(core);
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
    EXPECT_EQ(ui->menu(), "1 0 1");
}

TEST_F(LinkOps, TwoStopsOfTheRunnerAtOnceBothReturnOnlyOnceItHasEnded) {
    connectLink(core);
    clearMailbox(core);
    test::writeFile(dir.file("f.txt"), "21C{P}");
    ui->setControlFile(dir.file("f.txt"));
    RunnerHold::install(core, 300, false);  // a stop does not release it: it lingers 300 ms
    ASSERT_TRUE(startControlFileRunner(core));
    RunnerHold::waitFor([] { return RunnerHold::reached.load(); });
    std::thread first([this] { stopControlFileRunner(core); });
    RunnerHold::waitFor(RunnerHold::runnerGone);
    stopControlFileRunner(core);
    const bool writtenBeforeTheSecondReturned = slotPending(core, 3);
    first.join();
    EXPECT_TRUE(writtenBeforeTheSecondReturned);
}

TEST_F(LinkOps, TheLockCountersAreNotResetOnConnect) {
    spinAcquire(core.locks.settingsLock);
    connectLink(core);
    EXPECT_EQ(core.locks.settingsLock, 1);
    release(core.locks.settingsLock);
    EXPECT_EQ(core.locks.settingsLock, 0);
}

TEST_F(LinkOps, NothingWithoutARecord) {
    auto record = std::move(core.record);
    EXPECT_EQ(connectLink(core), 0);
    EXPECT_EQ(disconnectLink(core), 0);
    EXPECT_EQ(enterTestMode(core), 0);
    EXPECT_FALSE(connectOnDemand(core));
    EXPECT_EQ(readFromTower(core), 0);
    sendPrices(core);
    switchBacklight(core, true);
    EXPECT_TRUE(ui->calls().empty());
    core.record = std::move(record);
}

}  // namespace
}  // namespace vorda
