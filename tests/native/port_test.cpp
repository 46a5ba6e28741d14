// The serial port's error state and what reaches the transmission log.
#include "link/port.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"

#include "protocol/receiver.h"

namespace vorda {
namespace {

class Port : public test::FakeLinkTest {
  protected:
    void SetUp() override {
        FakeLinkTest::SetUp();
        clock.now = LocalTime{2026, 12, 5, 14, 0, 0};
    }
    int read(std::string& out) {
        uint8_t buffer[kReadMax];
        const int n = readPort(core, buffer, kReadMax);
        out.assign(reinterpret_cast<char*>(buffer), static_cast<size_t>(std::max(n, 0)));
        return n;
    }
    void logOn() {
        core.record->logToFile = 1;
        core.loggingSwitch = 1;
    }
    std::string log() { return test::readFile(dir.file("VordaC.trm")); }
    // Holds the link locks so that the receiver started by openPort stays out of the way.
    void holdReceiver() {
        spinAcquire(core.locks.timeoutLock);
        spinAcquire(core.locks.exchangeLock);
        held = true;
    }
    void releaseReceiver() {
        if (held) {
            release(core.locks.exchangeLock);
            release(core.locks.timeoutLock);
            held = false;
        }
    }

    bool held = false;
};

TEST_F(Port, OpensThePortOfItsNumberWithTheRecordsSettings) {
    core.record->portNumber = 12;
    core.record->baudRate = 2400;
    core.record->parity = 2;
    ASSERT_TRUE(openPort(core));
    EXPECT_EQ(serial.opened, std::vector<std::string>{"COM12"});
    ASSERT_EQ(serial.configured.size(), 1u);
    EXPECT_EQ(serial.configured[0].baudRate, 2400u);
    EXPECT_EQ(serial.configured[0].parity, 2);
    EXPECT_EQ(serial.configured[0].dataBits, 8);
    EXPECT_EQ(core.record->connected, 1);
    EXPECT_EQ(ui->menu(), "0 1 1");
    EXPECT_EQ(ui->status(), "POŁĄCZONY");
}

TEST_F(Port, RefusedSettingsCloseThePortAgain) {
    serial.refuseSettings = true;
    EXPECT_FALSE(openPort(core));
    EXPECT_EQ(core.record->connected, 0);
    EXPECT_EQ(serial.closes, 1);
    EXPECT_EQ(ui->menu(), "");
}

TEST_F(Port, AMissingPortChangesNothing) {
    serial.openError = OpenError::NotFound;
    core.record->testMode = 1;
    EXPECT_FALSE(openPort(core));
    EXPECT_EQ(core.record->testMode, 1);
    EXPECT_EQ(ui->status(), "");
}

TEST_F(Port, CloseDropsDtrAndShowsTheLinkDisconnected) {
    ASSERT_TRUE(openPort(core));
    closePort(core);
    EXPECT_EQ(serial.dtrClears, 1);
    EXPECT_EQ(serial.closes, 1);
    EXPECT_EQ(ui->menu(), "1 0 1");
    EXPECT_EQ(ui->status(), "ROZŁĄCZONY");
}

TEST_F(Port, AReadTakesAtMost256QueuedBytes) {
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    serial.receive(std::string(300, 'a'));
    std::string got;
    EXPECT_EQ(read(got), 256);
    EXPECT_EQ(read(got), 44);
    EXPECT_EQ(read(got), 0);
    EXPECT_EQ(serial.readSizes, (std::vector<uint32_t>{256, 44}));
    releaseReceiver();
}

TEST_F(Port, NothingQueuedAndNoErrorReadsNothingAndLogsNothing) {
    logOn();
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    std::string got;
    EXPECT_EQ(read(got), 0);
    EXPECT_FALSE(test::fileExists(dir.file("VordaC.trm")));
    releaseReceiver();
}

TEST_F(Port, ACommErrorWithNothingQueuedIsCountedAndMarked) {
    logOn();
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    serial.commFlags = kCommFrame;
    clock.tick = 40;
    std::string got;
    EXPECT_EQ(read(got), 0);
    EXPECT_EQ(core.errors.errorRdCount, 1u);
    EXPECT_EQ(core.errors.readStatusCount, 0u);
    EXPECT_EQ(log(), "<40_I><ERD_0x8>");
    releaseReceiver();
}

TEST_F(Port, ACommErrorWithBytesQueuedStillReturnsThem) {
    logOn();
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    serial.commFlags = kCommOverrun;
    serial.receive("\x06");
    std::string got;
    EXPECT_EQ(read(got), 1);
    EXPECT_EQ(got, "\x06");
    EXPECT_EQ(core.errors.errorRdCount, 1u);
    EXPECT_EQ(log(), "<0_I>\x06<ERD_0x2>");
    releaseReceiver();
}

TEST_F(Port, AFailedQueryOrReadIsCountedWithItsSystemErrorCode) {
    logOn();
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    serial.queryError = 5;
    std::string got;
    EXPECT_EQ(read(got), 0);
    serial.queryError = 0;
    serial.readError = 995;
    serial.receive("abc");
    EXPECT_EQ(read(got), 0);
    EXPECT_EQ(core.errors.errorRdCount, 2u);
    EXPECT_EQ(core.errors.readStatusCount, 2u);
    EXPECT_EQ(log(), "<0_I><ERD><ES_5><0_I><ERD><ES_995>");
    releaseReceiver();
}

TEST_F(Port, AFailedWriteIsLoggedWholeAndCountedAlsoWhenTheErrorQuerySucceeds) {
    logOn();
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    serial.writeError = 31;
    const std::string frame =
        "\x02"
        "20E0C\x03";
    EXPECT_TRUE(writePort(core, reinterpret_cast<const uint8_t*>(frame.data()), frame.size()));
    EXPECT_EQ(core.errors.errorWrCount, 1u);
    EXPECT_EQ(core.errors.writeStatusCount, 1u);
    EXPECT_EQ(core.errors.writeErrorCode, 31u);
    EXPECT_EQ(log(), "<0_O>" + frame + "<EWR><ES_31>");

    serial.commFlags = kCommFrame;
    writePort(core, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    EXPECT_EQ(core.errors.writeErrorCode, 8u);
    EXPECT_EQ(core.errors.errorWrCount, 2u);
    releaseReceiver();
}

TEST_F(Port, WithLoggingOffNoLogIsCreated) {
    ASSERT_TRUE(openPort(core));
    holdReceiver();
    serial.writeError = 31;
    serial.commFlags = kCommFrame;
    const std::string frame =
        "\x02"
        "20E0C\x03";
    writePort(core, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    std::string got;
    read(got);
    EXPECT_FALSE(test::fileExists(dir.file("VordaC.trm")));
    EXPECT_FALSE(test::fileExists(dir.file("VordaSw.trm")));
    releaseReceiver();
}

TEST_F(Port, TheReceiverEndsWhenThePortIsClosed) {
    ASSERT_TRUE(openPort(core));
    EXPECT_EQ(core.record->receiverThreadId, 1u);
    closePort(core);
    EXPECT_TRUE(ui->waitUntil([&] { return core.record->receiverThreadId == 0; }));
    stopReceiver(core);
    EXPECT_FALSE(core.record->receiverThread.joinable());
}

}  // namespace
}  // namespace vorda
