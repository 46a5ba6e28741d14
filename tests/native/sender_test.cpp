// The sender's passes and the answer time-out, with a recording serial driver and the
// timers fired by hand.
#include "protocol/sender.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"

#include "link/link_ops.h"
#include "link/port.h"
#include "protocol/panel_actions.h"
#include "protocol/receiver.h"
#include "support/tower_sim_process.h"

namespace vorda {
namespace {

using test::frameOf;

class Sender : public test::FakeLinkTest {
  protected:
    std::vector<std::string> writes() {
        std::lock_guard<std::mutex> lock(serial.mutex);
        return serial.writes;
    }
    void connect() {
        core.record->baudRate = 9600;
        ASSERT_TRUE(openPort(core));
    }
};

TEST_F(Sender, APassSendsTheNextCommandAndArmsTheAnswerTimer) {
    connect();
    writeSlot(core, 3, "21C4.59");
    senderPass(core);
    EXPECT_EQ(writes(), std::vector<std::string>{frameOf("21C4.59")});
    EXPECT_EQ(core.record->slotInFlight, 3);
    EXPECT_EQ(core.record->answerTimerOn, 1);
    EXPECT_EQ(ui->timers().at(kAnswerTimer), 300u);
    senderPass(core);  // one command at a time
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(Sender, ASilentTowerGetsThreeSendsThenTheCommandIsGivenUp) {
    connect();
    writeSlot(core, 3, "21C4.59");
    writeSlot(core, 39, "20E");
    senderPass(core);
    answerTimeoutTick(core);
    answerTimeoutTick(core);
    EXPECT_EQ(writes().size(), 3u);
    EXPECT_EQ(ui->status(), "BŁĄD TRANSMISJI");
    EXPECT_TRUE(slotPending(core, 3));
    answerTimeoutTick(core);
    EXPECT_EQ(writes().size(), 3u);
    EXPECT_FALSE(slotPending(core, 3));
    EXPECT_EQ(core.record->slotInFlight, 0);
    EXPECT_EQ(core.record->answerTimerOn, 0);
    EXPECT_EQ(core.errors.answerErrors, 3u);
    EXPECT_EQ(ui->timers().count(kAnswerTimer), 0u);
    EXPECT_EQ(ui->lightLevel(), "");
    senderPass(core);
    EXPECT_EQ(writes().back(), frameOf("20E"));
    EXPECT_EQ(ui->timers().at(kAnswerTimer), 500u);
}

TEST_F(Sender, TwoTimeOutsThenAnAnswerKeepTheCommand) {
    connect();
    writeSlot(core, 39, "20E");
    senderPass(core);
    answerTimeoutTick(core);
    answerTimeoutTick(core);
    ReceiverState state;
    const uint8_t ack = kACK;
    handleAnswerBytes(core, state, &ack, 1);
    EXPECT_FALSE(slotPending(core, 39));
    EXPECT_EQ(core.record->answerTimerOn, 0);
    EXPECT_EQ(ui->status(), "POŁĄCZONY");
    answerTimeoutTick(core);  // a tick already on its way does nothing
    EXPECT_EQ(core.errors.answerErrors, 2u);
}

TEST_F(Sender, ATickThatFindsALockTakenDoesNothing) {
    connect();
    writeSlot(core, 39, "20E");
    senderPass(core);
    spinAcquire(core.locks.timeoutLock);
    answerTimeoutTick(core);
    release(core.locks.timeoutLock);
    EXPECT_EQ(core.errors.answerErrors, 0u);
    EXPECT_EQ(core.locks.exchangeLock, 0);
    spinAcquire(core.locks.exchangeLock);
    senderPass(core);
    answerTimeoutTick(core);
    release(core.locks.exchangeLock);
    EXPECT_EQ(core.errors.answerErrors, 0u);
    EXPECT_EQ(writes().size(), 1u);
}

TEST_F(Sender, TestModeExecutesCommandsWithoutAPort) {
    enterTestMode(core);
    ui->setPriceBox(0, "4.59");
    ui->setBlinkBox(1, true);
    ui->setPriceBox(1, "5");
    sendPrices(core);
    for (int i = 0; i < 8; ++i) {
        senderPass(core);
    }
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(serial.opened.empty());
    EXPECT_EQ(core.board.priceSegments[0][0], 0xEC);
    EXPECT_EQ(core.board.priceSegments[1][0], 0x5D);
    EXPECT_EQ(core.board.priceBlink[1], 1);
    for (int n = 1; n <= kSlotCount; ++n) {
        EXPECT_FALSE(slotPending(core, n)) << n;
    }
    EXPECT_TRUE(ui->timers().empty());
    ui->clearCalls();
    writeSlot(core, 29, "20S");
    senderPass(core);
    EXPECT_EQ(ui->calls(), std::vector<std::string>{"light "});
}

TEST_F(Sender, ACommandTakenWhileTheLinkIsClosedStaysInFlightUntilCleared) {
    writeSlot(core, 39, "20E");
    senderPass(core);
    EXPECT_EQ(core.record->slotInFlight, 39);
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(core.record->answerTimerOn, 0);
    clearMailbox(core);
    EXPECT_EQ(core.record->slotInFlight, 0);
}

TEST_F(Sender, AConnectionOpenedOnDemandClosesOnlyOnceNothingAtAllIsLeft) {
    ASSERT_TRUE(connectOnDemand(core));
    EXPECT_EQ(core.record->autoConnected, 1);
    ReceiverState state;
    senderPass(core);  // 20S
    serial.receive(frameOf("S90"));
    ASSERT_TRUE(receiverPass(core, state));
    senderPass(core);                           // 20Z
    writeSlot(core, kSlotBacklightOn, "20Z1");  // queued below the rotation meanwhile
    serial.receive(frameOf("Z0"));
    ASSERT_TRUE(receiverPass(core, state));
    senderPass(core);  // the rotation wraps: slot 36 is still to go
    EXPECT_EQ(core.record->connected, 1);
    senderPass(core);
    EXPECT_EQ(writes().back(), frameOf("20Z1"));
    serial.receive("\x06");
    ASSERT_TRUE(receiverPass(core, state));
    EXPECT_EQ(core.record->connected, 1);
    senderPass(core);  // nothing left
    EXPECT_EQ(core.record->connected, 0);
    EXPECT_EQ(core.record->autoConnected, 0);
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
    EXPECT_EQ(ui->menu(), "1 0 1");
    EXPECT_EQ(ui->timers().count(kPollTimer), 0u);
    EXPECT_EQ(serial.closes, 1);
}

}  // namespace
}  // namespace vorda
