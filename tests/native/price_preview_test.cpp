#include "preview/price_preview.h"

#include <gtest/gtest.h>

#include "common/fake_ui.h"

namespace vorda {
namespace {

class PricePreview : public ::testing::Test {
  protected:
    void SetUp() override { core.record = std::make_unique<AppRecord>(); }
    void setRow1(uint8_t a, uint8_t b, uint8_t c) {
        core.board.priceSegments[0][0] = a;
        core.board.priceSegments[0][1] = b;
        core.board.priceSegments[0][2] = c;
    }
    std::vector<int> row(int r) {
        return {core.board.priceSegments[r][0], core.board.priceSegments[r][1],
                core.board.priceSegments[r][2]};
    }
    // Row 1 after decoding `text` over 8, 8, 8.
    std::vector<int> decoded(const char* text) {
        setRow1(0x7F, 0x7F, 0x7F);
        EXPECT_EQ(decodePriceCommand(core, text), 0) << text;
        return row(0);
    }
    Core core;
};

TEST_F(PricePreview, WorkedExamples) {
    EXPECT_EQ(decoded("21C4.59"), (std::vector<int>{0xEC, 0x5D, 0x7D}));
    EXPECT_EQ(core.board.priceBlink[0], 0);
    EXPECT_EQ(decoded("21M-.5"), (std::vector<int>{0x84, 0x5D, 0x7F}));
    EXPECT_EQ(core.board.priceBlink[0], 1);
    EXPECT_EQ(decoded("21C .9"), (std::vector<int>{0x80, 0x7D, 0x7F}));
    EXPECT_EQ(decoded("21C    "), (std::vector<int>{0x00, 0x00, 0x00}));
    EXPECT_EQ(decoded("21B00FF60"), (std::vector<int>{0x00, 0xFF, 0x60}));
    setRow1(0x7F, 0x7F, 0x7F);
    core.board.priceBlink[0] = 1;
    EXPECT_EQ(decodePriceCommand(core, "20C"), -1);
    EXPECT_EQ(row(0), (std::vector<int>{0x7F, 0x7F, 0x7F}));
    EXPECT_EQ(core.board.priceBlink[0], 1);
}

TEST_F(PricePreview, PointsAndLongArguments) {
    EXPECT_EQ(decoded("21C1.234."), (std::vector<int>{0xE0, 0x37, 0xF5}));
    EXPECT_EQ(decoded("21C.."), (std::vector<int>{0x80, 0x80, 0x7F}));
    EXPECT_EQ(decoded("21C...."), (std::vector<int>{0x80, 0x80, 0x80}));
    EXPECT_EQ(decoded("21Cx1y2z3"), (std::vector<int>{0x60, 0x37, 0x75}));
    // Only the first 25 characters of the argument are looked at.
    EXPECT_EQ(decoded(("21C" + std::string(24, 'x') + "5").c_str()),
              (std::vector<int>{0x5D, 0x7F, 0x7F}));
    EXPECT_EQ(decoded(("21C" + std::string(25, 'x') + "5").c_str()),
              (std::vector<int>{0x7F, 0x7F, 0x7F}));
}

TEST_F(PricePreview, AnEmptyArgumentKeepsTheDigitsAndClearsBlinking) {
    core.board.priceBlink[0] = 1;
    EXPECT_EQ(decoded("21C"), (std::vector<int>{0x7F, 0x7F, 0x7F}));
    EXPECT_EQ(core.board.priceBlink[0], 0);
}

TEST_F(PricePreview, AnyControllerDigitAddressesTheRows) {
    EXPECT_EQ(decoded("51C123"), (std::vector<int>{0x60, 0x37, 0x75}));
    setRow1(1, 1, 1);
    EXPECT_EQ(decodePriceCommand(core, "81C123"), -1);
    EXPECT_EQ(decodePriceCommand(core, "26C123"), -1);
    EXPECT_EQ(decodePriceCommand(core, "21B00FF6"), -1);
    EXPECT_EQ(decodePriceCommand(core, "21X123"), -1);
    EXPECT_EQ(decodePriceCommand(core, ("21C" + std::string(81, '1')).c_str()), -1);
    EXPECT_EQ(row(0), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(decodePriceCommand(core, "25B1G0000"), 0);  // "1G" reads as 1
    EXPECT_EQ(core.board.priceSegments[4][0], segmentCodeOfTowerByte(0x01));
}

TEST_F(PricePreview, TowerBytesAndSegmentCodesConvertBothWays) {
    EXPECT_EQ(segmentCodeOfTowerByte(0xB7), 0xDD);
    EXPECT_EQ(segmentCodeOfTowerByte(0x66), 0x6C);
    EXPECT_EQ(segmentCodeOfTowerByte(0xF6), 0x7D);
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(towerByteOfSegmentCode(segmentCodeOfTowerByte(static_cast<uint8_t>(b))), b);
    }
}

TEST_F(PricePreview, RefreshRepaintsTheRowOfThePriceOrTheWholeDigitArea) {
    test::FakeUi ui(core);
    std::snprintf(core.mailbox.sendBuffer, kSendBufferSize, "%s", "23C4.59");
    EXPECT_EQ(refreshPricePreview(core), 1);
    EXPECT_EQ(ui.calls(), std::vector<std::string>{"invalidate 450 274 600 329 0"});
    ui.clearCalls();
    std::snprintf(core.mailbox.sendBuffer, kSendBufferSize, "%s", "20C");
    refreshPricePreview(core);
    EXPECT_EQ(ui.calls(), std::vector<std::string>{"invalidate 436 98 614 505 0"});
}

TEST_F(PricePreview, ResetDarkensEveryRowAndClearsTheBacklightMarksOnce) {
    test::FakeUi ui(core);
    for (int r = 0; r < 5; ++r) {
        core.board.priceSegments[r][1] = 0x7F;
        core.board.priceBlink[r] = 1;
    }
    core.record->backlightOn = 1;
    core.board.backlightShown = 1;
    EXPECT_EQ(resetPricePreview(core), 1);
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(row(r), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(core.board.priceBlink[r], 0);
    }
    EXPECT_EQ(core.record->backlightOn, 0);
    EXPECT_EQ(core.board.backlightShown, 0);
    auto calls = ui.calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0], "invalidate 450 112 600 167 0");
    EXPECT_EQ(calls[4], "invalidate 450 436 600 491 0");
    EXPECT_EQ(calls[5], "invalidate 224 112 256 500 0");

    ui.clearCalls();
    resetPricePreview(core);
    EXPECT_EQ(ui.calls().size(), 5u);  // the icon column is already clear
}

TEST_F(PricePreview, BlinkTickRepaintsOnlyBlinkingRows) {
    test::FakeUi ui(core);
    blinkTick(core);
    EXPECT_TRUE(ui.calls().empty());
    EXPECT_EQ(core.board.blinkPhase, 0);
    core.board.priceBlink[1] = 1;
    blinkTick(core);
    EXPECT_EQ(core.board.blinkPhase, 1);
    EXPECT_EQ(ui.calls(), std::vector<std::string>{"invalidate 450 193 600 248 0"});
    blinkTick(core);
    EXPECT_EQ(core.board.blinkPhase, 0);
}

TEST_F(PricePreview, NothingWithoutARecord) {
    core.record.reset();
    EXPECT_EQ(refreshPricePreview(core), 0);
    EXPECT_EQ(resetPricePreview(core), 0);
}

}  // namespace
}  // namespace vorda
