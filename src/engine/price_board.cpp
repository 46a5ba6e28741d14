#include "engine/price_board.h"

namespace vorda {

PanelRect digitAreaOfRow(int row) {
    return PanelRect{450, 112 + 81 * row, 600, 167 + 81 * row};
}

void PriceBoard::showCommand(const char* text) {
    int row = 0;
    bool blink = false;
    uint8_t codes[3] = {};
    if (text[0] != '\0' && text[1] >= '1' && text[1] <= '5') {
        row = text[1] - '1';
        for (int d = 0; d < 3; ++d) {
            codes[d] = segments_[row][d];
        }
    }
    if (decodePriceCommand(text, &row, codes, &blink)) {
        for (int d = 0; d < 3; ++d) {
            segments_[row][d] = codes[d];
        }
        blink_[row] = blink ? 1 : 0;
    }
    if (text[0] != '\0' && text[1] >= '1' && text[1] <= '5') {
        invalidate(digitAreaOfRow(text[1] - '1'));
    } else {
        invalidate(kWholeDigitArea);
    }
}

void PriceBoard::showTowerPrices(const uint8_t codes[kPriceRows][3]) {
    for (int row = 0; row < kPriceRows; ++row) {
        for (int d = 0; d < 3; ++d) {
            segments_[row][d] = codes[row][d];
        }
    }
}

void PriceBoard::showTowerBlinks(const bool blink[kPriceRows]) {
    for (int row = 0; row < kPriceRows; ++row) {
        blink_[row] = blink[row] ? 1 : 0;
    }
}

void PriceBoard::showBacklight(bool on) {
    backlightOn_ = on ? 1 : 0;
    if (backlightShown_ != backlightOn_) {
        backlightShown_ = backlightOn_.load();
        invalidate(kBacklightColumn);
    }
}

void PriceBoard::reset() {
    for (int row = 0; row < kPriceRows; ++row) {
        const char blank[] = {'2', static_cast<char>('1' + row), 'C', ' ', ' ', ' ', ' ', '\0'};
        showCommand(blank);
    }
    showBacklight(false);
}

void PriceBoard::blinkTick() {
    bool any = false;
    for (int row = 0; row < kPriceRows; ++row) {
        any = any || blink_[row] != 0;
    }
    if (!any) {
        return;
    }
    blinkPhase_ = blinkPhase_ ? 0 : 1;
    for (int row = 0; row < kPriceRows; ++row) {
        if (blink_[row]) {
            invalidate(digitAreaOfRow(row));
        }
    }
}

}  // namespace vorda
