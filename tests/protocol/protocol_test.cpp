// The protocol's facts: frames exact to the byte, answer kinds and time-outs, segment codes
// and price commands. (Frame assembly is checked through the link: tests/engine/link_test.cpp
// and, over split and noisy answers, tests/controller/with_tower_test.cpp.)
#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/segments.h"
#include "protocol/slots.h"
#include "support/tower_sim_process.h"

namespace vorda {
namespace {

using test::toHex;

TEST(Protocol, AnswerKindsTimeOutsFramesSegmentsAndPriceCommands) {
    std::string data;
    for (const auto& [slot, text] : std::vector<std::pair<int, const char*>>{
             {3, "20C"}, {4, "20M"}, {3, "21C4.59"}, {7, "25M"}, {29, "20S"}, {30, "20l10"}}) {
        data += dataAnswerExpectedFor(slot, text) ? '1' : '0';
    }
    EXPECT_EQ(data, "110010");
    const struct {
        uint32_t baud;
        int slot;
        bool data;
        uint32_t ms;
    } timeouts[] = {{9600, 3, false, 300},  {2400, 3, false, 600},  {19200, 3, false, 200},
                    {19200, 3, true, 300},  {19200, 39, true, 400}, {19200, 40, true, 300},
                    {19200, 29, true, 200}, {9600, 38, true, 300},  {110, 3, false, 8900},
                    {0, 3, false, 300}};  // a rate of 0 never divides by zero
    for (const auto& t : timeouts) {
        EXPECT_EQ(answerTimeoutMs(t.baud, t.slot, t.data), t.ms) << t.baud << " " << t.slot;
    }
    int limit = 0;
    EXPECT_EQ(answerKindOf(12, true, &limit), AnswerKind::None);
    EXPECT_EQ((std::vector<int>{answerSlotToCheck(3, 'C', 35), answerSlotToCheck(3, 'M', 10),
                                answerSlotToCheck(3, 'C', 34), answerSlotToCheck(31, 'O', 6),
                                answerSlotToCheck(38, 'Z', 7), answerSlotToCheck(40, 'V', 9)}),
              (std::vector<int>{3, 4, -1, 31, -1, 0}));
    // Frames, exact to the byte.
    EXPECT_EQ(toHex(buildFrame("20C")), "02 32 30 43 33 33 03");
    EXPECT_EQ(toHex(buildFrame("abc")), "02 61 62 63 31 32 03");
    EXPECT_EQ(toHex(buildFrame("21C5.49")), "02 32 31 43 35 2E 34 39 32 34 03");
    // Price commands decode onto the row as the tower shows them.
    const struct {
        const char* text;
        int row;
        std::vector<int> codes;  // over 8, 8, 8
        bool blink;
    } cases[] = {
        {"21C4.59", 0, {0xEC, 0x5D, 0x7D}, false},
        {"21M-.5", 0, {0x84, 0x5D, 0x7F}, true},
        {"21C .9", 0, {0x80, 0x7D, 0x7F}, false},
        {"21C    ", 0, {0x00, 0x00, 0x00}, false},
        {"21C", 0, {0x7F, 0x7F, 0x7F}, false},
        {"21B00FF60", 0, {0x00, 0xFF, 0x60}, false},
        {"25B1G0000", 4, {0x80, 0x00, 0x00}, false},  // "1G" reads as 1
        {"21C1.234.", 0, {0xE0, 0x37, 0xF5}, false},
        {"21C..", 0, {0x80, 0x80, 0x7F}, false},
        {"21C....", 0, {0x80, 0x80, 0x80}, false},
        {"51Cx1y2z3", 0, {0x60, 0x37, 0x75}, false},
        {"21Cxxxxxxxxxxxxxxxxxxxxxxxx5", 0, {0x5D, 0x7F, 0x7F}, false},  // 25 looked at
        {"21Cxxxxxxxxxxxxxxxxxxxxxxxxx5", 0, {0x7F, 0x7F, 0x7F}, false},
    };
    for (const auto& c : cases) {
        uint8_t codes[3] = {0x7F, 0x7F, 0x7F};
        int row = -1;
        bool blink = true;
        ASSERT_TRUE(decodePriceCommand(c.text, &row, codes, &blink)) << c.text;
        EXPECT_EQ(row, c.row) << c.text;
        EXPECT_EQ(std::vector<int>(codes, codes + 3), c.codes) << c.text;
        EXPECT_EQ(blink, c.blink) << c.text;
    }
    const std::string tooLong = "21C" + std::string(81, '1');
    for (const char* text : {"20C", "81C123", "26C123", "21B00FF6", "21X123", tooLong.c_str()}) {
        uint8_t codes[3] = {1, 1, 1};
        int row = -1;
        bool blink = false;
        EXPECT_FALSE(decodePriceCommand(text, &row, codes, &blink)) << text;
        EXPECT_EQ(codes[0], 1);
    }
    // The tower's bytes (its read-back "B766F6..." is "5.49"), price texts and numbers.
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(towerByteOfSegmentCode(segmentCodeOfTowerByte(static_cast<uint8_t>(b))), b);
    }
    const struct {
        uint8_t codes[3];
        const char* text;
    } texts[] = {{{0xDD, 0x6C, 0x7D}, "5.49"},
                 {{0, 0, 0}, ""},
                 {{0, 0, 0x60}, "  1"},
                 {{0x84, 0x04, 0x7B}, "-.-0"},
                 {{0x80, 0, 0}, " .  "}};
    for (const auto& t : texts) {
        EXPECT_EQ(priceTextOfSegments(t.codes), t.text);
    }
    uint8_t rows[kPriceRows][3];
    decodePricesAnswer("B766F6" + std::string(24, '0'), rows);
    EXPECT_EQ(priceTextOfSegments(rows[0]), "5.49");
    EXPECT_EQ(leadingDecimal("x"), 0);
}

}  // namespace
}  // namespace vorda
