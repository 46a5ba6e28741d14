// What the price board shows: the segment codes and the blink state of each row, the
// blink phase, and the backlight as the tower last reported it. It says which part of the
// panel to paint again after a change; the control panel paints from it.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/segments.h"

namespace vorda {

// A rectangle of the control panel, in client pixels at 96 DPI.
struct PanelRect {
    int left;
    int top;
    int right;
    int bottom;
    bool operator==(const PanelRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// Told which part of the panel to paint again after a change of the board.
struct BoardRepaint {
    void* context = nullptr;
    void (*invalidate)(void* context, PanelRect rect) = nullptr;
};

// Panel rectangles (client pixels) of the board.
PanelRect digitAreaOfRow(int row);
constexpr PanelRect kWholeDigitArea{436, 98, 614, 505};
constexpr PanelRect kBacklightColumn{224, 112, 256, 500};

class PriceBoard {
  public:
    explicit PriceBoard(BoardRepaint repaint) : repaint_(repaint) {}
    PriceBoard(const PriceBoard&) = delete;
    PriceBoard& operator=(const PriceBoard&) = delete;

    // Shows the row a price command addresses as the tower would, and repaints it (or the
    // whole digit area for a command that names no row).
    void showCommand(const char* text);
    // The tower's own answers: the five rows' codes, the five blink states.
    void showTowerPrices(const uint8_t codes[kPriceRows][3]);
    void showTowerBlinks(const bool blink[kPriceRows]);
    // The backlight state the tower reported; its marks are repainted when it changes.
    void showBacklight(bool on);
    // Darkens all five rows, clears their blinking and the backlight marks.
    void reset();
    // The 330 ms tick: blinking rows alternate between their segments and dark.
    void blinkTick();

    uint8_t segment(int row, int digit) const { return segments_[row][digit]; }
    bool blinking(int row) const { return blink_[row] != 0; }
    bool blinkPhase() const { return blinkPhase_ != 0; }
    bool backlightOn() const { return backlightOn_ != 0; }
    bool backlightShown() const { return backlightShown_ != 0; }

  private:
    void invalidate(PanelRect rect) const {
        if (repaint_.invalidate != nullptr) {
            repaint_.invalidate(repaint_.context, rect);
        }
    }

    const BoardRepaint repaint_;
    std::atomic<uint8_t> segments_[kPriceRows][3] = {};
    std::atomic<uint8_t> blink_[kPriceRows] = {};
    std::atomic<uint8_t> blinkPhase_{0};
    std::atomic<uint8_t> backlightOn_{0};
    std::atomic<uint8_t> backlightShown_{0};
};

}  // namespace vorda
