// The link's sender and receiver threads over a recording serial driver, with the answer
// timer fired by hand: one command at a time, re-sends and give-up, answers and what they
// fill, test mode, and the port's error counting.
#include <gtest/gtest.h>

#include "support/rig.h"

namespace vorda {
namespace {

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
};

TEST_F(LinkTest, OneCommandAtATimeEachWithItsAnswerTimer) {
    start();
    mailbox().write(3, "21C4.59");
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(1));
    EXPECT_EQ(writes(), std::vector<std::string>{frameOf("21C4.59")});
    EXPECT_EQ(link().slotInFlight(), 3);
    EXPECT_EQ(ui.timers().at(kAnswerTimer), 300u);
    serial.receive("xx\x15" + kAck + "yy");  // an ACK among other bytes
    ASSERT_TRUE(written(2));
    EXPECT_EQ(writes()[1], frameOf("20E"));
    EXPECT_EQ(ui.timers().at(kAnswerTimer), 500u);
    EXPECT_EQ(controller.board().segment(0, 0), 0xEC);  // the acknowledged price
    EXPECT_EQ(ui.status(), "POŁĄCZONY");
}

TEST_F(LinkTest, ASilentTowerGetsThreeSendsThenTheCommandIsGivenUp) {
    start();
    mailbox().write(3, "21C4.59");
    ASSERT_TRUE(written(1));
    ui.fireTimer(kAnswerTimer);
    ui.fireTimer(kAnswerTimer);
    EXPECT_EQ(writes(), std::vector<std::string>(3, frameOf("21C4.59")));
    EXPECT_EQ(ui.status(), "BŁĄD TRANSMISJI");
    EXPECT_TRUE(mailbox().pending(3));
    ui.fireTimer(kAnswerTimer);
    EXPECT_EQ(writes().size(), 3u);
    EXPECT_FALSE(mailbox().pending(3));
    EXPECT_EQ(link().errors().answerErrors, 3u);
    EXPECT_EQ(ui.timers().count(kAnswerTimer), 0u);
    // Two time-outs and then an answer keep the command.
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(4));
    ui.fireTimer(kAnswerTimer);
    ui.fireTimer(kAnswerTimer);
    serial.receive(kAck);
    ASSERT_TRUE(idle());
    EXPECT_FALSE(mailbox().pending(39));
    ui.fireTimer(kAnswerTimer);  // a tick already on its way does nothing
    EXPECT_EQ(link().errors().answerErrors, 5u);
    // A tick that finds a link lock taken does nothing.
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(7));
    {
        LinkLocks held(link());
        ui.fireTimer(kAnswerTimer);
    }
    EXPECT_EQ(link().errors().answerErrors, 5u);
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
    EXPECT_EQ(link().slotInFlight(), 31);  // a wrong checksum leaves it to the timer
    ui.fireTimer(kAnswerTimer);
    ui.fireTimer(kAnswerTimer);
    ui.fireTimer(kAnswerTimer);
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
    EXPECT_EQ(ui.timers().count(kAnswerTimer), 0u);
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
    EXPECT_EQ(serial.dtrClears, 1);
    EXPECT_EQ(serial.closes, 1);
    serial.refuseSettings = true;  // refused settings close the port again
    EXPECT_EQ(link().open(1, SerialSettings{}), Result::PortRefused);
    EXPECT_EQ(serial.closes, 2);
    EXPECT_FALSE(link().connected());
}

}  // namespace
}  // namespace vorda
