#include "tower.h"

#include <cstdio>
#include <cstdlib>

#include "protocol/frame.h"
#include "protocol/hex.h"
#include "protocol/segments.h"

namespace towersim {

namespace {

// A tower byte for a segment code of the program's own layout.
uint8_t towerByte(uint8_t code) {
    return vorda::towerByteOfSegmentCode(code);
}

bool isValue(const std::string& s) {
    if (s.empty() || s.size() > 3)
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return std::atoi(s.c_str()) <= 255;
}

Answer ack() {
    return Answer{std::string(1, static_cast<char>(ACK)), false, "ACK"};
}

Answer dataAnswer(const std::string& text) {
    return Answer{frame(text), true, text};
}

}  // namespace

uint8_t checksum(const std::string& text) {
    return vorda::frameChecksum(text.data(), text.size());
}

std::string frame(const std::string& text) {
    return vorda::buildFrame(text);
}

void renderPrice(const std::string& price, uint8_t out[3]) {
    out[0] = out[1] = out[2] = 0;
    int pos = 0;
    for (char c : price) {
        if (c == '.') {
            const uint8_t point = towerByte(vorda::kSegPoint);
            if (pos > 0 && !(out[pos - 1] & point)) {
                out[pos - 1] |= point;
            } else if (pos < 3) {
                out[pos++] = point;
            }
            continue;
        }
        if (pos >= 3)
            continue;
        if (c >= '0' && c <= '9') {
            out[pos++] = towerByte(vorda::kDigitCodes[c - '0']);
        } else if (c == '-') {
            out[pos++] = towerByte(vorda::kSegMiddle);
        } else if (c == ' ') {
            out[pos++] = 0;
        }
    }
}

std::vector<ReceivedFrame> FrameAssembler::feed(const uint8_t* bytes, size_t n) {
    std::vector<ReceivedFrame> frames;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        if (b == STX) {
            inFrame_ = true;
            buffer_.assign(1, static_cast<char>(b));
            continue;
        }
        if (!inFrame_)
            continue;
        buffer_.push_back(static_cast<char>(b));
        if (buffer_.size() > 200) {  // no frame of the protocol is this long
            inFrame_ = false;
            continue;
        }
        if (b == ETX) {
            inFrame_ = false;
            ReceivedFrame f;
            f.raw = buffer_;
            if (buffer_.size() >= 5) {
                f.text = buffer_.substr(1, buffer_.size() - 4);
                const int hi = vorda::hexDigitValue(buffer_[buffer_.size() - 3]);
                const int lo = vorda::hexDigitValue(buffer_[buffer_.size() - 2]);
                f.checksumOk = hi >= 0 && lo >= 0 && (hi * 16 + lo) == checksum(f.text);
            } else {
                f.text = buffer_.size() > 2 ? buffer_.substr(1, buffer_.size() - 2) : "";
            }
            frames.push_back(f);
        }
    }
    return frames;
}

void followLight(TowerState& s, int lightLevel) {
    if (!s.autoBacklight)
        return;
    if (lightLevel < s.lowLightLevel)
        s.backlight = true;
    if (lightLevel > s.highLightLevel)
        s.backlight = false;
}

Answer execute(TowerState& s, const std::string& text, int lightLevel) {
    if (text.size() < 3)
        return ack();
    const char controller = text[0];
    const char sub = text[1];
    const char letter = text[2];
    const std::string arg = text.substr(3);

    // Price fields 1 to 5, whatever the controller digit.
    if (controller >= '0' && controller <= '7' && sub >= '1' && sub <= '5') {
        const int row = sub - '1';
        if (letter == 'C' || letter == 'M') {
            renderPrice(arg, s.display[row]);
            s.blink[row] = letter == 'M';
        } else if (letter == 'B' && arg.size() == 6) {
            for (int d = 0; d < 3; ++d) {
                const int hi = vorda::hexDigitValue(arg[2 * d]);
                const int lo = vorda::hexDigitValue(arg[2 * d + 1]);
                s.display[row][d] =
                    static_cast<uint8_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
            }
            s.blink[row] = false;
        }
        return ack();
    }

    if (controller != '2' || sub != '0')
        return ack();  // the text displays only acknowledge

    auto number = [](int v) { return std::to_string(v); };
    switch (letter) {
        case 'C': {
            if (!arg.empty())
                return ack();
            std::string t = "C";
            char hex[3];
            for (int r = 0; r < 5; ++r) {
                for (int d = 0; d < 3; ++d) {
                    std::snprintf(hex, sizeof hex, "%02X", s.display[r][d]);
                    t += hex;
                }
            }
            return dataAnswer(t);
        }
        case 'M': {
            if (!arg.empty())
                return ack();
            std::string t = "M";
            for (bool b : s.blink)
                t += b ? '1' : '0';
            return dataAnswer(t);
        }
        case 'S':
            return arg.empty() ? dataAnswer("S" + number(lightLevel)) : ack();
        case 'l':
        case 'o':
        case 'L':
        case 'O': {
            int& field = letter == 'l'   ? s.lowLightLevel
                         : letter == 'o' ? s.lowLevelBrightness
                         : letter == 'L' ? s.highLightLevel
                                         : s.highLevelBrightness;
            if (arg.empty())
                return dataAnswer(std::string(1, letter) + number(field));
            if (isValue(arg))
                field = std::atoi(arg.c_str());
            followLight(s, lightLevel);
            return ack();
        }
        case 'A':
            if (arg.empty())
                return dataAnswer(std::string("A") + (s.autoBacklight ? '1' : '0'));
            if (arg == "1" || arg == "0")
                s.autoBacklight = arg == "1";
            followLight(s, lightLevel);
            return ack();
        case 'Z':
            if (arg.empty())
                return dataAnswer(std::string("Z") + (s.backlight ? '1' : '0'));
            if ((arg == "1" || arg == "0") && !s.autoBacklight)
                s.backlight = arg == "1";
            return ack();
        case 'V':
            return arg.empty() ? dataAnswer("V" + s.version) : ack();
        default:
            return ack();  // "20E" and anything else the controller does not report on
    }
}

}  // namespace towersim
