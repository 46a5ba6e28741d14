// The mailbox's rotation, and a slot written again while its older command is in flight.
#include "engine/mailbox.h"

#include <gtest/gtest.h>

namespace vorda {
namespace {

TEST(MailboxTest, PendingSlotsAboveTheLastServedGoFirstThenTheScanStartsAgain) {
    Mailbox m;
    char buffer[kSendBufferSize];
    m.write(5, "23C1.00");
    m.write(30, "20l");
    m.presetLastServed(29);
    EXPECT_EQ(m.takeNext(buffer), 30);
    EXPECT_STREQ(buffer, "20l");
    m.finish(30);
    EXPECT_EQ(m.takeNext(buffer), 0);  // nothing above 30: the scan starts again
    EXPECT_EQ(m.lastServedSlot(), 0);
    EXPECT_TRUE(m.anyPending());
    EXPECT_EQ(m.takeNext(buffer), 5);
    m.write(5, "23C2.00");  // written again while in flight: the answer leaves it pending
    m.finish(5);
    EXPECT_TRUE(m.pending(5));
    EXPECT_EQ(m.takeNext(buffer) + m.takeNext(buffer), 5);
    EXPECT_STREQ(buffer, "23C2.00");
    m.finish(5);
    EXPECT_FALSE(m.anyPending());
    EXPECT_FALSE(m.write(41, "20E"));
    EXPECT_FALSE(m.write(3, std::string(31, '1')));
    m.write(40, "20V");
    m.clear();
    EXPECT_FALSE(m.anyPending());
}

}  // namespace
}  // namespace vorda
