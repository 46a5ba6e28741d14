// Frames, the mailbox's rotation, answer kinds and the answer time-out table.
#include "protocol/mailbox.h"

#include <gtest/gtest.h>

#include "protocol/sender.h"
#include "support/tower_sim_process.h"

namespace vorda {
namespace {

using test::toHex;

TEST(Frame, WorkedExamplesAreExactToTheByte) {
    EXPECT_EQ(toHex(buildFrame("20C")), "02 32 30 43 33 33 03");
    EXPECT_EQ(toHex(buildFrame("abc")), "02 61 62 63 31 32 03");
    EXPECT_EQ(toHex(buildFrame("21C5.49")), "02 32 31 43 35 2E 34 39 32 34 03");
    EXPECT_EQ(frameChecksum("20C", 3), 0x33);
    EXPECT_EQ(frameChecksum("", 0), 0x72);
}

class MailboxTest : public ::testing::Test {
  protected:
    void SetUp() override { core.record = std::make_unique<AppRecord>(); }
    Core core;
};

TEST_F(MailboxTest, PendingSlotsAboveTheLastServedGoFirstThenTheScanStartsAgain) {
    writeSlot(core, 5, "23C1.00");
    writeSlot(core, 30, "20l");
    core.mailbox.lastServedSlot = 29;

    ASSERT_TRUE(takeNextCommand(core));
    EXPECT_EQ(core.record->slotInFlight, 30);
    EXPECT_STREQ(core.mailbox.sendBuffer, "20l");
    EXPECT_TRUE(slotPending(core, 30));  // pending until answered
    freeSlot(core, 30);
    core.record->slotInFlight = 0;

    EXPECT_FALSE(takeNextCommand(core));
    EXPECT_EQ(core.mailbox.lastServedSlot, 0);
    ASSERT_TRUE(takeNextCommand(core));
    EXPECT_EQ(core.record->slotInFlight, 5);
    EXPECT_STREQ(core.mailbox.sendBuffer, "23C1.00");

    // Written again while in flight: the answer to the older text leaves the newer pending.
    writeSlot(core, 5, "23C2.00");
    finishSlot(core, 5);
    EXPECT_TRUE(slotPending(core, 5));
    ASSERT_TRUE(takeNextCommand(core) || takeNextCommand(core));
    EXPECT_STREQ(core.mailbox.sendBuffer, "23C2.00");
    finishSlot(core, 5);
    EXPECT_FALSE(slotPending(core, 5));
}

TEST_F(MailboxTest, AnswerKindFollowsTheSlotAndTheText) {
    EXPECT_TRUE(dataAnswerExpectedFor(3, "20C"));
    EXPECT_TRUE(dataAnswerExpectedFor(4, "20M"));
    EXPECT_FALSE(dataAnswerExpectedFor(3, "21C4.59"));
    EXPECT_FALSE(dataAnswerExpectedFor(7, "25M"));
    EXPECT_TRUE(dataAnswerExpectedFor(29, "20S"));
    EXPECT_TRUE(dataAnswerExpectedFor(30, "20l"));
    EXPECT_FALSE(dataAnswerExpectedFor(30, "20l10"));
    EXPECT_FALSE(dataAnswerExpectedFor(35, "20A1"));
    EXPECT_TRUE(dataAnswerExpectedFor(35, "20A"));

    writeSlot(core, 3, "20C");
    ASSERT_TRUE(takeNextCommand(core));
    EXPECT_EQ(core.record->dataAnswerExpected, 1);
}

TEST_F(MailboxTest, AnOverlongCommandIsNotQueued) {
    EXPECT_TRUE(writeSlot(core, 3, std::string(30, '1')));
    EXPECT_EQ(slotText(core, 3), std::string(30, '1'));
    freeSlot(core, 3);
    EXPECT_FALSE(writeSlot(core, 3, std::string(31, '1')));
    EXPECT_FALSE(slotPending(core, 3));
    // Control bytes would break the frame: they are dropped before the length counts.
    EXPECT_TRUE(writeSlot(core, 3,
                          "\x02"
                          "21C5.49\x03\r\n" +
                              std::string(23, '\x01')));
    EXPECT_EQ(slotText(core, 3), "21C5.49");
    EXPECT_FALSE(writeSlot(core, 41, "20E"));
    EXPECT_FALSE(writeSlot(core, 0, "20E"));
}

TEST_F(MailboxTest, ClearingFreesEverySlotAndForgetsTheCommandInFlight) {
    for (int n = 1; n <= kSlotCount; ++n) {
        writeSlot(core, n, "20E");
    }
    core.record->slotInFlight = 39;
    core.record->dataAnswerExpected = 1;
    clearMailbox(core);
    for (int n = 1; n <= kSlotCount; ++n) {
        EXPECT_FALSE(slotPending(core, n)) << n;
    }
    EXPECT_EQ(core.record->slotInFlight, 0);
    EXPECT_EQ(core.record->dataAnswerExpected, 0);
}

TEST(AnswerTimeout, FollowsTheBaudRateAndTheSlot) {
    EXPECT_EQ(answerTimeoutMs(9600, 3, false), 300u);
    EXPECT_EQ(answerTimeoutMs(2400, 3, false), 600u);
    EXPECT_EQ(answerTimeoutMs(19200, 3, false), 200u);
    EXPECT_EQ(answerTimeoutMs(19200, 3, true), 300u);
    EXPECT_EQ(answerTimeoutMs(19200, 39, true), 400u);
    EXPECT_EQ(answerTimeoutMs(19200, 40, true), 300u);
    EXPECT_EQ(answerTimeoutMs(19200, 29, true), 200u);
    EXPECT_EQ(answerTimeoutMs(9600, 38, true), 300u);
    EXPECT_EQ(answerTimeoutMs(2400, 39, false), 800u);
    EXPECT_EQ(answerTimeoutMs(110, 3, false), 8900u);
}

TEST(AnswerTimeout, ARateOfZeroDoesNotDivideByZero) {
    EXPECT_EQ(answerTimeoutMs(0, 3, false), 300u);
}

}  // namespace
}  // namespace vorda
