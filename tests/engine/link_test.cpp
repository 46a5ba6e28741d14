// The link's sender and receiver threads over a recording serial driver, with the link's
// deadlines made due by hand: one command at a time, re-sends and give-up, answers and
// what they fill, test mode, the drain, the port's error counting, waking the sleeping
// threads, and a port whose device goes away and comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/rig.h"

namespace vorda {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::FakeSerial;
using test::frameOf;

const std::string kAck = "\x06";
const std::string kPricesAnswer = "CB766F6" + std::string(24, '0');  // price 1 at 5.49

class LinkTest : public test::Rig {
  protected:
    void start(uint32_t baud = 9600) {
        TransmissionChoice c;
        c.portText = "COM1";
        c.portIndex = 0;
        c.baudIndex = baud == 9600 ? 6 : 8;
        controller.applyTransmissionSettings(c);
        ASSERT_EQ(link().open(1, controller.settings().serial), Result::Ok);
        controller.startPanel("Dec  5 2026");
    }
    bool idle() {
        return ui.waitUntil([&] { return link().slotInFlight() == 0 && !link().answerTimerOn(); });
    }
    // The sender armed the answer time-out of this length (it writes the frame first).
    bool armed(uint32_t periodMs) {
        return ui.waitUntil(
            [&] { return link().answerTimerOn() && link().answerPeriodMs() == periodMs; });
    }
    bool status(const std::string& text) {
        return ui.waitUntil([&] { return ui.status() == text; });
    }
    bool closedOnce() {
        return ui.waitUntil([&] {
            std::lock_guard<std::mutex> lock(serial.mutex);
            return serial.closes == 1;
        });
    }
    template <typename T>
    void set(T& field, T value) {
        std::lock_guard<std::mutex> lock(serial.mutex);
        field = value;
    }
};

TEST_F(LinkTest, OneCommandAtATimeEachWithItsAnswerTimer) {
    start();
    mailbox().write(3, "21C4.59");
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(1));
    EXPECT_EQ(writes(), std::vector<std::string>{frameOf("21C4.59")});
    EXPECT_EQ(link().slotInFlight(), 3);
    EXPECT_TRUE(armed(300));
    serial.receive("xx\x15" + kAck + "yy");  // an ACK among other bytes
    ASSERT_TRUE(written(2));
    EXPECT_EQ(writes()[1], frameOf("20E"));
    EXPECT_TRUE(armed(500));
    EXPECT_EQ(controller.board().segment(0, 0), 0xEC);  // the acknowledged price
    EXPECT_EQ(ui.status(), "POŁĄCZONY");
}

TEST_F(LinkTest, ASilentTowerGetsThreeSendsThenTheCommandIsGivenUp) {
    start();
    mailbox().write(3, "21C4.59");
    ASSERT_TRUE(written(1));
    expireAnswerTimeout();
    EXPECT_EQ(link().answerDeadline(), 600u);  // sent at 0 of the still clock, re-sent at 300
    expireAnswerTimeout();
    EXPECT_EQ(writes(), std::vector<std::string>(3, frameOf("21C4.59")));
    EXPECT_EQ(ui.status(), "BŁĄD TRANSMISJI");
    EXPECT_TRUE(mailbox().pending(3));
    expireAnswerTimeout();
    EXPECT_EQ(writes().size(), 3u);
    EXPECT_FALSE(mailbox().pending(3));
    EXPECT_EQ(link().errors().answerErrors, 3u);
    EXPECT_FALSE(link().answerTimerOn());
    // Two time-outs and then an answer keep the command.
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(4));
    expireAnswerTimeout();
    expireAnswerTimeout();
    const uint64_t late = link().answerDeadline();
    serial.receive(kAck);
    ASSERT_TRUE(idle());
    EXPECT_FALSE(mailbox().pending(39));
    link().tick(late);  // a deadline of a completed command does nothing
    EXPECT_EQ(link().errors().answerErrors, 5u);
    // A time-out that finds a link lock taken does nothing until the lock is free.
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(7));
    {
        LinkLocks held(link());
        expireAnswerTimeout();
    }
    EXPECT_EQ(link().errors().answerErrors, 5u);
    expireAnswerTimeout();
    EXPECT_EQ(link().errors().answerErrors, 6u);
}

TEST_F(LinkTest, SleepingThreadsWakeAtOnceForACommandACloseAndAStop) {
    start();
    link().startConnection(false);  // the poll falls due in 5 s: the sender sleeps until then
    std::this_thread::sleep_for(milliseconds(50));
    auto started = steady_clock::now();
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(1));  // at once: a generous bound, far below the sleep of 5 s
    EXPECT_LT(steady_clock::now() - started, milliseconds(500));
    serial.receive(kAck);
    ASSERT_TRUE(idle());
    started = steady_clock::now();
    link().close();  // the waiting receiver holds the port until it wakes
    EXPECT_TRUE(closedOnce());
    link().stopSender();
    EXPECT_LT(steady_clock::now() - started, milliseconds(1000));
}

TEST_F(LinkTest, APortWhoseDeviceWentAwayIsOpenedAgainEveryTwoSecondsUntilItIsBack) {
    start();
    mailbox().write(3, "21C4.59");
    ASSERT_TRUE(written(1));
    serial.openError = OpenError::NotFound;
    serial.failWaits(FakeSerial::kGone);  // unplugged while the command waits for its answer
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    serial.failWaits(0);
    EXPECT_TRUE(link().connected());
    EXPECT_EQ(link().errors().errorRdCount, 1u);
    mailbox().write(39, "20E");  // queued meanwhile
    expireAnswerTimeout();       // the time-out waits for the port
    link().tick(1999);
    EXPECT_EQ(serial.opened.size(), 1u);
    link().tick(2000);
    EXPECT_EQ(serial.opened.size(), 2u);
    serial.openError = OpenError::None;
    link().tick(4000);  // back: the command in flight goes again, afresh, then the rest
    EXPECT_EQ(ui.status(), "POŁĄCZONY");
    EXPECT_EQ(writes(), std::vector<std::string>(2, frameOf("21C4.59")));
    EXPECT_EQ(serial.configured.back().baudRate, 9600u);
    EXPECT_EQ(link().errors().answerErrors, 0u);
    serial.receive(kAck);
    ASSERT_TRUE(written(3));
    EXPECT_EQ(writes()[2], frameOf("20E"));
    serial.receive(kAck);
    // A read or a write that finds the device gone does the same.
    for (bool reading : {true, false}) {
        ASSERT_TRUE(idle());
        set(reading ? serial.readError : serial.writeError, FakeSerial::kGone);
        mailbox().write(39, "20E");
        serial.receive(reading ? kAck : "");
        ASSERT_TRUE(status("BRAK PORTU COM1"));
        set(reading ? serial.readError : serial.writeError, 0u);
        link().tick(2000);
        EXPECT_EQ(ui.status(), "POŁĄCZONY");
        serial.receive(kAck);
    }
    // "Rozłącz" ends the attempts.
    serial.failWaits(FakeSerial::kGone);
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    controller.disconnect();
    const size_t opens = serial.opened.size();
    link().tick(60000);
    EXPECT_EQ(serial.opened.size(), opens);
    EXPECT_EQ(ui.status(), "ROZŁĄCZONY");
}

TEST_F(LinkTest, AnOnDemandLinkWithoutItsPortGivesUpItsCommandsAfterTenSeconds) {
    controller.startPanel("Dec  5 2026");
    controller.switchBacklight(true);  // connects on demand: 20S, 20Z1, 20Z
    ASSERT_TRUE(written(1));
    serial.openError = OpenError::NotFound;
    serial.failWaits(FakeSerial::kGone);
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    link().tick(9999);
    EXPECT_TRUE(link().connected());
    EXPECT_EQ(pendingSlots(), (std::vector<int>{29, 36, 38}));
    link().tick(10000);
    EXPECT_FALSE(link().connected());
    EXPECT_TRUE(pendingSlots().empty());
    EXPECT_EQ(ui.status(), "BŁĄD TRANSMISJI");
    EXPECT_EQ(ui.menu(), "1 0 1");
}

TEST_F(LinkTest, DataAnswersFillTheBoxesTheBoardAndTheSettings) {
    serial.answer = [](const std::string& text) -> std::string {
        if (text == "20C") {
            return "\x06" + frameOf(kPricesAnswer.substr(0, 30)) + frameOf(kPricesAnswer + "0") +
                   frameOf(kPricesAnswer);  // wrong lengths are ignored
        }
        if (text == "20M")
            return frameOf("M10000");
        if (text == "20S")
            return frameOf("S1234") + frameOf("S7");  // the first is too long
        if (text == "20l")
            return frameOf("l42x");
        if (text == "20L")
            return frameOf("L100");
        if (text == "20O")
            return frameOf("O999");  // no setting holds it: kept
        if (text == "20o")
            return frameOf("o9").replace(3, 1, "8");  // a wrong checksum
        if (text == "20A")
            return frameOf("A1");
        if (text == "20Z")
            return frameOf("Z1");
        if (text == "20V")
            return frameOf("V2.07");
        return "";
    };
    start();
    controller.readFromTower();
    controller.link().pollTick();
    ASSERT_TRUE(ui.waitUntil([&] { return link().errors().answerErrors == 1; }));
    EXPECT_EQ(ui.priceText(0), "5.49");
    EXPECT_EQ(ui.priceText(1), "");
    EXPECT_TRUE(ui.blinkChecked(0));
    EXPECT_FALSE(ui.blinkChecked(1));
    EXPECT_EQ(controller.board().segment(0, 0), 0xDD);
    EXPECT_TRUE(controller.board().blinking(0));
    EXPECT_EQ(ui.lightLevel(), "7");
    EXPECT_EQ(controller.settings().light.lowLightLevel, 42);
    EXPECT_EQ(link().slotInFlight(), 31);  // a wrong checksum leaves it to the time-out
    for (int i = 0; i < 3; ++i) {
        expireAnswerTimeout();
    }
    ASSERT_TRUE(ui.waitUntil([&] { return !mailbox().anyPending(); }));
    ASSERT_TRUE(idle());
    EXPECT_EQ(controller.settings().light.highLevelBrightness, 255);
    EXPECT_TRUE(controller.settings().autoBacklight);
    EXPECT_TRUE(controller.board().backlightShown());
    EXPECT_EQ(ui.callsStartingWith("invalidate 224").size(), 1u);
    EXPECT_EQ(controller.priceControllerVersion(), "ver.2.07");
    // The version answer after a read-back saves the settings, once.
    EXPECT_NE(test::readFile(dir.file("VordaCen.ini")).find("\r\n42\r\n255\r\n100\r\n255\r\n1\r\n"),
              std::string::npos);
    std::remove(dir.file("VordaCen.ini").c_str());
    mailbox().write(40, "20V");
    ASSERT_TRUE(idle());
    EXPECT_FALSE(test::fileExists(dir.file("VordaCen.ini")));
}

TEST_F(LinkTest, TestModeExecutesCommandsOnTheBoardWithoutAPort) {
    controller.startPanel("Dec  5 2026");
    controller.enterTestMode();
    ui.setPriceBox(0, "4.59");
    ui.setPriceBox(1, "5");
    ui.setBlinkBox(1, true);
    ui.setTemperature("x");
    controller.sendPrices();
    ui.clearCalls();
    mailbox().write(29, "20S");
    ASSERT_TRUE(ui.waitUntil([&] { return !mailbox().anyPending(); }));
    EXPECT_EQ(controller.board().segment(0, 0), 0xEC);
    EXPECT_EQ(controller.board().segment(1, 0), 0x5D);
    EXPECT_TRUE(controller.board().blinking(1));
    EXPECT_TRUE(serial.opened.empty());
    EXPECT_FALSE(link().answerTimerOn());
    EXPECT_EQ(ui.callsStartingWith("light ").size(), 1u);  // "20S" empties the light level
}

TEST_F(LinkTest, ThePortCountsAndMarksItsErrors) {
    TransmissionChoice logOn;
    logOn.logToFile = true;
    controller.applyTransmissionSettings(logOn);
    ASSERT_EQ(link().open(1, SerialSettings{}), Result::Ok);
    {
        LinkLocks held(link());           // the receiver stays out of the way
        serial.commFlags = kCommOverrun;  // a comm error with bytes queued still returns them
        serial.receive(std::string(300, 'a'));
        uint8_t buffer[kReadMax];
        EXPECT_EQ(link().read(buffer, kReadMax), 256);  // at most 256 at a time
        EXPECT_EQ(link().read(buffer, kReadMax), 44);
        EXPECT_EQ(link().read(buffer, kReadMax), 0);
        serial.queryError = 5;  // a failed query or read counts its system error
        EXPECT_EQ(link().read(buffer, kReadMax), 0);
        serial.queryError = 0;
        serial.writeError = 31;  // a failed write counts also when the query succeeds
        link().write(reinterpret_cast<const uint8_t*>("w"), 1);
        serial.commFlags = kCommFrame;
        link().write(reinterpret_cast<const uint8_t*>("v"), 1);
    }
    const ErrorCounts e = link().errors().snapshot();
    EXPECT_EQ(e.errorRdCount, 2u);
    EXPECT_EQ(e.readStatusCount, 1u);
    EXPECT_EQ(e.errorWrCount, 2u);
    EXPECT_EQ(e.writeErrorCode, 8u);
    const std::string log = test::readFile(dir.file("VordaC.trm"));
    EXPECT_NE(
        log.find(std::string(44, 'a') + "<0_I><ERD><ES_5><0_O>w<EWR><ES_31><0_O>v<EWR><ES_8>"),
        std::string::npos);
    EXPECT_NE(log.find("<0_I>" + std::string(256, 'a') + "<ERD_0x2>"), std::string::npos);
    link().close();
    link().stopReceiver();
    EXPECT_EQ(serial.dtrClears, 1);
    EXPECT_EQ(serial.closes, 1);
    serial.refuseSettings = true;  // refused settings close the port again
    EXPECT_EQ(link().open(1, SerialSettings{}), Result::PortRefused);
    EXPECT_EQ(serial.closes, 2);
    EXPECT_FALSE(link().connected());
}

}  // namespace
}  // namespace vorda
