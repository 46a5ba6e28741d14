#include "protocol/frame.h"

#include "protocol/hex.h"

namespace vorda {

uint8_t frameChecksum(const char* text, size_t length) {
    uint8_t sum = 0x72;
    for (size_t i = 0; i < length; ++i) {
        sum ^= static_cast<uint8_t>(text[i]);
    }
    return sum;
}

size_t buildFrame(const char* text, size_t length, uint8_t* out) {
    static const char kDigits[] = "0123456789ABCDEF";
    const uint8_t sum = frameChecksum(text, length);
    out[0] = kSTX;
    for (size_t i = 0; i < length; ++i) {
        out[1 + i] = static_cast<uint8_t>(text[i]);
    }
    out[1 + length] = static_cast<uint8_t>(kDigits[sum >> 4]);
    out[2 + length] = static_cast<uint8_t>(kDigits[sum & 0x0F]);
    out[3 + length] = kETX;
    return length + 4;
}

std::string buildFrame(const std::string& text) {
    std::string frame(text.size() + 4, '\0');
    buildFrame(text.data(), text.size(), reinterpret_cast<uint8_t*>(&frame[0]));
    return frame;
}

bool frameChecksumMatches(const uint8_t* frame, size_t length) {
    if (length < 5) {
        return false;
    }
    const uint8_t sum = frameChecksum(reinterpret_cast<const char*>(frame + 1), length - 4);
    return hexNumber(frame + length - 3, 2) == sum;
}

bool FrameAssembler::feed(uint8_t byte, int limit) {
    if (byte == kSTX) {
        inFrame_ = true;
        length_ = 0;
    }
    if (!inFrame_) {
        return false;
    }
    frame_[length_++] = byte;
    if (length_ > limit) {
        inFrame_ = false;
    } else if (byte == kETX) {
        inFrame_ = false;
        return length_ >= 5;
    }
    return false;
}

}  // namespace vorda
