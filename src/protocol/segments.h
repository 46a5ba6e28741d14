// The price digits: the program's own segment code of a digit, the tower's byte for it,
// price commands decoded into a row's codes, and the tower's answers read as prices.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorda {

constexpr int kPriceRows = 5;

// Segment code bits (the program's own layout of a digit).
constexpr uint8_t kSegBottom = 0x01, kSegLowerLeft = 0x02, kSegMiddle = 0x04, kSegUpperLeft = 0x08,
                  kSegTop = 0x10, kSegUpperRight = 0x20, kSegLowerRight = 0x40, kSegPoint = 0x80;

// Segment codes of the digits '0' to '9'.
extern const uint8_t kDigitCodes[10];

// A tower byte (bit 7 to bit 0) as a segment code, and back.
uint8_t segmentCodeOfTowerByte(uint8_t towerByte);
uint8_t towerByteOfSegmentCode(uint8_t code);

// A price command ("<c><k>C...", "<c><k>M...", "<c><k>B<6 hex>") decoded onto the codes
// its row shows now (`codes` in and out); false, nothing changed, when the text is not a
// price command.
bool decodePriceCommand(const char* text, int* row, uint8_t codes[3], bool* blink);

// A price as Poles type it: each decimal comma becomes the point ("5,49" -> "5.49").
std::string withDecimalPoint(std::string price);

// The price text the tower's three segment codes show ("5.49", "  1", "" when dark).
std::string priceTextOfSegments(const uint8_t codes[3]);

// The decimal value of the leading digits of a text (0 when there are none).
int leadingDecimal(std::string_view text);

// The "C" answer's 30 hex digits as the five rows' segment codes.
void decodePricesAnswer(std::string_view value, uint8_t codes[kPriceRows][3]);

}  // namespace vorda
