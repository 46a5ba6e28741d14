// The price board's data from price commands: the segment codes and the blink flag of
// the row a command addresses, and the panel rectangles to repaint.
#pragma once

#include <cstdint>

#include "record/core.h"

namespace vorda {

// Segment code bits (the program's own layout of a digit).
constexpr uint8_t kSegBottom = 0x01, kSegLowerLeft = 0x02, kSegMiddle = 0x04, kSegUpperLeft = 0x08,
                  kSegTop = 0x10, kSegUpperRight = 0x20, kSegLowerRight = 0x40, kSegPoint = 0x80;

// Segment codes of the digits '0' to '9'.
extern const uint8_t kDigitCodes[10];

// A tower byte (bit 7 to bit 0) as a segment code, and back.
uint8_t segmentCodeOfTowerByte(uint8_t towerByte);
uint8_t towerByteOfSegmentCode(uint8_t code);

// Panel rectangles (client pixels).
PanelRect digitAreaOfRow(int row);
constexpr PanelRect kWholeDigitArea{436, 98, 614, 505};
constexpr PanelRect kBacklightColumn{224, 112, 256, 500};

// Decodes a price command ("<c><k>C...", "<c><k>M...", "<c><k>B<6 hex>") into its row:
// 0 when the row was updated, -1 when the text is not a price command.
int decodePriceCommand(Core& core, const char* text);

// Decodes the command in flight (sendBuffer) and repaints its row, or the whole digit
// area for a command that names no row. 0 without a record.
int refreshPricePreview(Core& core);

// Timer 6: blinking rows alternate between their segments and dark.
void blinkTick(Core& core);

// Darkens all five rows, clears their blinking and the backlight marks. 0 without a record.
int resetPricePreview(Core& core);

}  // namespace vorda
