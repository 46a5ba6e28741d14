// The answer handlers: which answers complete the command in flight and what they fill.
#include "protocol/receiver.h"

#include <gtest/gtest.h>

#include "preview/price_preview.h"
#include "storage/settings_file.h"
#include "common/fake_ui.h"
#include "support/test_support.h"
#include "support/tower_sim_process.h"

namespace vorda {
namespace {

using test::frameOf;

const std::string kPricesAnswer = "CB766F6" + std::string(24, '0');  // price 1 at 5.49

class Receiver : public ::testing::Test {
  protected:
    void SetUp() override {
        test::prepareCore(core, dir.path());
        core.record->connected = 1;
        ui = std::make_unique<test::FakeUi>(core);
    }
    // Puts `text` in flight from `slot` as the sender takes it.
    void inFlight(int slot, const char* text) {
        writeSlot(core, slot, text);
        core.mailbox.lastServedSlot = slot - 1;
        ASSERT_TRUE(takeNextCommand(core));
        core.record->answerTimerOn = 1;
    }
    void bytes(const std::string& b) {
        handleAnswerBytes(core, state, reinterpret_cast<const uint8_t*>(b.data()),
                          static_cast<int>(b.size()));
    }
    bool completed(int slot) {
        return !slotPending(core, slot) && core.record->slotInFlight == 0 &&
               core.record->answerTimerOn == 0;
    }

    test::TempDir dir;
    Core core;
    std::unique_ptr<test::FakeUi> ui;
    ReceiverState state;
};

TEST_F(Receiver, PricesAnswerFillsTheFieldsTheBoardAndFreesTheSlot) {
    inFlight(3, "20C");
    bytes(frameOf(kPricesAnswer));
    EXPECT_TRUE(completed(3));
    EXPECT_EQ(ui->priceText(0), "5.49");
    for (int r = 1; r < 5; ++r) {
        EXPECT_EQ(ui->priceText(r), "") << r;
    }
    EXPECT_EQ(core.board.priceSegments[0][0], 0xDD);
    EXPECT_EQ(core.board.priceSegments[0][1], 0x6C);
    EXPECT_EQ(core.board.priceSegments[0][2], 0x7D);
    const auto calls = ui->calls();
    EXPECT_EQ(calls[0], "price 0 5.49");
    EXPECT_EQ(calls[5], "invalidate 436 98 614 505 0");
    EXPECT_EQ(calls[6], "kill 3");
    EXPECT_EQ(calls[7], "status POŁĄCZONY");
    EXPECT_EQ(core.errors.answerErrors, 0u);
}

TEST_F(Receiver, AWrongChecksumCountsAndChangesNothingElse) {
    inFlight(3, "20C");
    std::string frame = frameOf(kPricesAnswer);
    frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';
    bytes(frame);
    EXPECT_EQ(core.errors.answerErrors, 1u);
    EXPECT_EQ(core.record->slotInFlight, 3);
    EXPECT_TRUE(slotPending(core, 3));
    EXPECT_TRUE(ui->calls().empty());
    EXPECT_EQ(core.board.priceSegments[0][0], 0);
}

TEST_F(Receiver, PricesAnswersOfTheWrongLengthAreIgnored) {
    inFlight(3, "20C");
    bytes(frameOf(kPricesAnswer.substr(0, 30)));  // 34 bytes
    bytes(frameOf(kPricesAnswer + "0"));          // 36 bytes
    EXPECT_EQ(core.record->slotInFlight, 3);
    EXPECT_EQ(core.errors.answerErrors, 0u);
    bytes(frameOf(kPricesAnswer));
    EXPECT_TRUE(completed(3));
}

TEST_F(Receiver, ADataAnswerSplitOverTwoReadsIsAssembled) {
    inFlight(3, "20C");
    const std::string frame = frameOf(kPricesAnswer);
    bytes(frame.substr(0, 12));
    EXPECT_EQ(core.record->slotInFlight, 3);
    bytes(frame.substr(12));
    EXPECT_TRUE(completed(3));
}

TEST_F(Receiver, AnAckAmongOtherBytesCompletesThePriceAndRepaintsItsRow) {
    inFlight(5, "23C1.23");
    bytes("xx\x15\x06yy");
    EXPECT_TRUE(completed(5));
    EXPECT_EQ(core.board.priceSegments[2][0], 0xE0);
    EXPECT_EQ(ui->calls()[0], "invalidate 450 274 600 329 0");
}

TEST_F(Receiver, BlinkAnswerTicksTheBoxesOfTheBlinkingRows) {
    inFlight(4, "20M");
    bytes(frameOf("M10000"));
    EXPECT_TRUE(completed(4));
    EXPECT_TRUE(ui->blinkChecked(0));
    for (int r = 1; r < 5; ++r) {
        EXPECT_FALSE(ui->blinkChecked(r));
    }
    EXPECT_EQ(core.board.priceBlink[0], 1);
    EXPECT_EQ(core.board.priceBlink[1], 0);
}

TEST_F(Receiver, LightLevelAnswersWithinTheirLimit) {
    inFlight(29, "20S");
    bytes(frameOf("S1234"));  // 9 bytes: longer than the limit of 8
    EXPECT_EQ(core.record->slotInFlight, 29);
    bytes(frameOf("S7"));
    EXPECT_TRUE(completed(29));
    EXPECT_EQ(ui->lightLevel(), "7");
}

TEST_F(Receiver, TheLightLevelIsLoggedWithLoggingOn) {
    core.record->logToFile = 1;
    inFlight(29, "20S");
    bytes(frameOf("S87"));
    const std::string log = test::readFile(dir.file("VordaSw.trm"));
    EXPECT_EQ(log.substr(log.size() - 5), " 87\r\n");
}

TEST_F(Receiver, LightSettingsGoToTheFieldOfTheirLetter) {
    inFlight(30, "20l");
    bytes(frameOf("l42x"));
    EXPECT_TRUE(completed(30));
    EXPECT_EQ(core.light.lowLightLevel, 42);
    inFlight(33, "20O");
    bytes(frameOf("O7"));
    EXPECT_EQ(core.light.highLevelBrightness, 7);
    // A value no setting can hold keeps the previous one.
    inFlight(33, "20O");
    bytes(frameOf("O999"));
    EXPECT_TRUE(completed(33));
    EXPECT_EQ(core.light.highLevelBrightness, 7);
    // An answer for a slot that is no longer pending is dropped.
    inFlight(31, "20o");
    freeSlot(core, 31);
    bytes(frameOf("o9"));
    EXPECT_EQ(core.light.lowLevelBrightness, 255);
    EXPECT_EQ(core.record->slotInFlight, 31);
}

TEST_F(Receiver, SettingCommandsAreAcknowledged) {
    inFlight(30, "20l10");
    bytes("\x06");
    EXPECT_TRUE(completed(30));
    inFlight(39, "20E");  // three characters, yet answered by an ACK
    bytes("\x06");
    EXPECT_TRUE(completed(39));
    inFlight(35, "20A1");
    bytes("\x06");
    EXPECT_TRUE(completed(35));
}

TEST_F(Receiver, AutomaticBacklightAnswer) {
    inFlight(35, "20A");
    bytes(frameOf("A1"));
    EXPECT_TRUE(completed(35));
    EXPECT_EQ(core.record->autoBacklight, 1);
}

TEST_F(Receiver, BacklightAnswerRepaintsTheIconsOnlyWhenItChanges) {
    inFlight(38, "20Z");
    bytes(frameOf("Z1"));
    EXPECT_TRUE(completed(38));
    EXPECT_EQ(core.record->backlightOn, 1);
    EXPECT_EQ(ui->callsStartingWith("invalidate"),
              std::vector<std::string>{"invalidate 224 112 256 500 0"});
    ui->clearCalls();
    inFlight(38, "20Z");
    bytes(frameOf("Z1"));
    EXPECT_TRUE(completed(38));
    EXPECT_TRUE(ui->callsStartingWith("invalidate").empty());
}

TEST_F(Receiver, TheVersionAnswerAfterAReadBackSavesTheSettingsOnce) {
    core.record->readBackRequested = 1;
    inFlight(40, "20V");
    bytes(frameOf("V2.07"));
    EXPECT_TRUE(completed(40));
    EXPECT_EQ(core.priceControllerVersion, "ver.2.07");
    EXPECT_TRUE(test::fileExists(dir.file("VordaCen.ini")));
    EXPECT_EQ(core.record->readBackRequested, 0);

    std::remove(dir.file("VordaCen.ini").c_str());
    inFlight(40, "20V");
    bytes(frameOf("V2.08"));
    EXPECT_EQ(core.priceControllerVersion, "ver.2.08");
    EXPECT_FALSE(test::fileExists(dir.file("VordaCen.ini")));
}

TEST_F(Receiver, BytesWithNothingInFlightAreDropped) {
    bytes("\x06" + frameOf("S7"));
    EXPECT_TRUE(ui->calls().empty());
}

TEST_F(Receiver, StatusShowsTheControlFileWhileOneRuns) {
    core.record->scriptRunning = 1;
    inFlight(36, "20Z1");
    bytes("\x06");
    EXPECT_EQ(ui->status(), "POŁĄCZONY SKRYPT");
}

TEST(PriceText, SegmentCodesReadAsTheTowerShowsThem) {
    const uint8_t price[3] = {0xDD, 0x6C, 0x7D};
    EXPECT_EQ(priceTextOfSegments(price), "5.49");
    const uint8_t dark[3] = {0, 0, 0};
    EXPECT_EQ(priceTextOfSegments(dark), "");
    const uint8_t one[3] = {0, 0, 0x60};
    EXPECT_EQ(priceTextOfSegments(one), "  1");
    const uint8_t minus[3] = {0x84, 0x04, 0x7B};
    EXPECT_EQ(priceTextOfSegments(minus), "-.-0");
    const uint8_t point[3] = {0x80, 0, 0};
    EXPECT_EQ(priceTextOfSegments(point), " .  ");
}

TEST(PriceText, LeadingDigits) {
    EXPECT_EQ(leadingDecimal("123x4"), 123);
    EXPECT_EQ(leadingDecimal("x"), 0);
    EXPECT_EQ(leadingDecimal(""), 0);
}

}  // namespace
}  // namespace vorda
