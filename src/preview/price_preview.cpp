#include "preview/price_preview.h"

#include <cstring>

#include "protocol/hex.h"
#include "record/panel_calls.h"

namespace vorda {

const uint8_t kDigitCodes[10] = {0x7B, 0x60, 0x37, 0x75, 0x6C, 0x5D, 0x5F, 0x70, 0x7F, 0x7D};

namespace {

// Segment bit carried by tower bit 7, 6, ..., 0.
constexpr uint8_t kSegmentOfTowerBit[8] = {0x10, 0x20, 0x40, 0x01, 0x02, 0x08, 0x04, 0x80};

}  // namespace

uint8_t segmentCodeOfTowerByte(uint8_t towerByte) {
    uint8_t code = 0;
    for (int i = 0; i < 8; ++i) {
        if (towerByte & (0x80 >> i)) {
            code |= kSegmentOfTowerBit[i];
        }
    }
    return code;
}

uint8_t towerByteOfSegmentCode(uint8_t code) {
    uint8_t tower = 0;
    for (int i = 0; i < 8; ++i) {
        if (code & kSegmentOfTowerBit[i]) {
            tower |= static_cast<uint8_t>(0x80 >> i);
        }
    }
    return tower;
}

PanelRect digitAreaOfRow(int row) {
    return PanelRect{450, 112 + 81 * row, 600, 167 + 81 * row};
}

int decodePriceCommand(Core& core, const char* text) {
    const size_t length = std::strlen(text);
    if (length < 3 || length > 83 || text[0] < '0' || text[0] > '7' || text[1] < '1' ||
        text[1] > '5') {
        return -1;
    }
    const int row = text[1] - '1';
    PriceBoard& b = core.board;
    const char letter = text[2];
    if (letter == 'B') {
        if (length != 9) {
            return -1;
        }
        b.priceBlink[row] = 0;
        for (int d = 0; d < 3; ++d) {
            b.priceSegments[row][d] = segmentCodeOfTowerByte(static_cast<uint8_t>(
                hexNumber(reinterpret_cast<const uint8_t*>(text) + 3 + 2 * d, 2)));
        }
        return 0;
    }
    if (letter != 'C' && letter != 'M') {
        return -1;
    }
    uint8_t pos[3];
    for (int d = 0; d < 3; ++d) {
        pos[d] = b.priceSegments[row][d];
    }
    const char* arg = text + 3;
    const size_t argLength = length - 3;
    size_t k = 0;
    int j = 0;
    while (k < argLength && k < 25 && j < 4) {
        const char c = arg[k++];
        if (c >= '0' && c <= '9') {
            if (j < 3) {
                pos[j++] = kDigitCodes[c - '0'];
            }
        } else if (c == '-') {
            if (j < 3) {
                pos[j++] = kSegMiddle;
            }
        } else if (c == ' ') {
            if (j < 3) {
                pos[j++] = 0x00;
            }
        } else if (c == '.') {
            if (j == 0) {
                pos[0] = kSegPoint;
                j = 1;
            } else if (!(pos[j - 1] & kSegPoint)) {
                pos[j - 1] |= kSegPoint;  // the point joins the symbol before it
            } else {
                if (j < 3) {
                    pos[j] = kSegPoint;
                }
                ++j;
            }
        }
    }
    for (int d = 0; d < 3; ++d) {
        b.priceSegments[row][d] = pos[d];
    }
    b.priceBlink[row] = letter == 'M' ? 1 : 0;
    return 0;
}

int refreshPricePreview(Core& core) {
    if (core.record == nullptr) {
        return 0;
    }
    const char* text = core.mailbox.sendBuffer;
    decodePriceCommand(core, text);
    if (text[0] != '\0' && text[1] >= '1' && text[1] <= '5') {
        panelInvalidate(core, digitAreaOfRow(text[1] - '1'), false);
    } else {
        panelInvalidate(core, kWholeDigitArea, false);
    }
    return 1;
}

void blinkTick(Core& core) {
    PriceBoard& b = core.board;
    bool any = false;
    for (int row = 0; row < kPriceRows; ++row) {
        any = any || b.priceBlink[row] != 0;
    }
    if (!any) {
        return;
    }
    b.blinkPhase = b.blinkPhase ? 0 : 1;
    for (int row = 0; row < kPriceRows; ++row) {
        if (b.priceBlink[row]) {
            panelInvalidate(core, digitAreaOfRow(row), false);
        }
    }
}

int resetPricePreview(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return 0;
    }
    for (int row = 0; row < kPriceRows; ++row) {
        const char blank[] = {'2', static_cast<char>('1' + row), 'C', ' ', ' ', ' ', ' ', '\0'};
        decodePriceCommand(core, blank);
        panelInvalidate(core, digitAreaOfRow(row), false);
    }
    r->backlightOn = 0;
    if (core.board.backlightShown != r->backlightOn) {
        core.board.backlightShown = r->backlightOn.load();
        panelInvalidate(core, kBacklightColumn, false);
    }
    return 1;
}

}  // namespace vorda
