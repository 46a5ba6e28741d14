// The frame every command and every data answer travels in: STX, the text, an XOR
// checksum seeded with 0x72 as two upper-case hexadecimal digits, ETX. The tower answers
// a command with a bare ACK or with a frame whose text starts with the read's letter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorda {

constexpr uint8_t kSTX = 0x02;
constexpr uint8_t kETX = 0x03;
constexpr uint8_t kACK = 0x06;

// XOR of the text's bytes, seeded with 0x72.
uint8_t frameChecksum(const char* text, size_t length);

// STX, the text, the checksum as two upper-case hex digits, ETX.
std::string buildFrame(const std::string& text);

// The same into `out`, which holds at least length + 4 bytes; returns the frame's length.
size_t buildFrame(const char* text, size_t length, uint8_t* out);

// Whether a received frame (STX ... ETX, at least 5 bytes) carries the checksum of its
// text.
bool frameChecksumMatches(const uint8_t* frame, size_t length);

// Collects the tower's frames from the bytes of successive reads: a frame starts at STX
// and ends at ETX; one that grows past `limit` bytes is dropped.
class FrameAssembler {
  public:
    // One byte; true when it completed a frame of at least 5 bytes (then in frame()).
    bool feed(uint8_t byte, int limit);
    void reset() { inFrame_ = false; }
    const uint8_t* frame() const { return frame_; }
    int length() const { return length_; }

  private:
    uint8_t frame_[256] = {};
    uint8_t length_ = 0;
    bool inFrame_ = false;
};

}  // namespace vorda
