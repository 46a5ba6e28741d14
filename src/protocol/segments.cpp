#include "protocol/segments.h"

#include <cstring>

#include "protocol/hex.h"

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

bool decodePriceCommand(const char* text, int* row, uint8_t codes[3], bool* blink) {
    const size_t length = std::strlen(text);
    if (length < 3 || length > 83 || text[0] < '0' || text[0] > '7' || text[1] < '1' ||
        text[1] > '5') {
        return false;
    }
    *row = text[1] - '1';
    const char letter = text[2];
    if (letter == 'B') {
        if (length != 9) {
            return false;
        }
        *blink = false;
        for (int d = 0; d < 3; ++d) {
            codes[d] = segmentCodeOfTowerByte(static_cast<uint8_t>(
                hexNumber(reinterpret_cast<const uint8_t*>(text) + 3 + 2 * d, 2)));
        }
        return true;
    }
    if (letter != 'C' && letter != 'M') {
        return false;
    }
    uint8_t pos[3] = {codes[0], codes[1], codes[2]};
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
        codes[d] = pos[d];
    }
    *blink = letter == 'M';
    return true;
}

std::string withDecimalPoint(std::string price) {
    for (char& c : price) {
        c = c == ',' ? '.' : c;
    }
    return price;
}

std::string priceTextOfSegments(const uint8_t codes[3]) {
    char text[7] = "      ";
    int pos = 0;
    for (int d = 0; d < 3; ++d) {
        const uint8_t code = codes[d];
        bool found = false;
        for (int k = 0; k < 10; ++k) {
            if ((code & 0x7F) == kDigitCodes[k]) {
                text[pos++] = static_cast<char>('0' + k);
                found = true;
                break;
            }
        }
        if (!found) {
            if (code & kSegMiddle) {
                text[pos++] = '-';
            } else if ((code & 0x7F) == 0) {
                ++pos;
            }
        }
        if (code & kSegPoint) {
            text[pos++] = '.';
        }
    }
    std::string result(text, static_cast<size_t>(pos));
    const std::string firstThree = std::string(text, 3);
    return firstThree == "   " ? std::string() : result;
}

int leadingDecimal(std::string_view text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 100000000) {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

void decodePricesAnswer(std::string_view value, uint8_t codes[kPriceRows][3]) {
    const uint8_t* hex = reinterpret_cast<const uint8_t*>(value.data());
    for (int i = 0; i < kPriceRows; ++i) {
        for (int j = 0; j < 3; ++j) {
            // The pair of price i, digit j is at value offset 6i + 2j.
            codes[i][j] =
                segmentCodeOfTowerByte(static_cast<uint8_t>(hexNumber(hex + 6 * i + 2 * j, 2)));
        }
    }
}

}  // namespace vorda
