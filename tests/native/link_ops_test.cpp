// Connecting, disconnecting and test mode: link states, menu states, status texts, and
// what the panel's buttons queue.
#include "link/link_ops.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"

#include "link/port.h"
#include "protocol/panel_actions.h"
#include "protocol/receiver.h"
#include "protocol/sender.h"

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

TEST_F(LinkOps, DisconnectAfterDrainInTestModeLeavesTestMode) {
    enterTestMode(core);
    core.record->autoConnected = 1;
    senderPass(core);
    EXPECT_EQ(core.record->testMode, 0);
    EXPECT_EQ(core.record->autoConnected, 0);
    EXPECT_EQ(ui->menu(), "1 0 1");
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
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
