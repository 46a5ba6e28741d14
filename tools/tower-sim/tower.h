// The price controller of the tower, as the simulator plays it: frame assembly, the
// state of the five price displays, the backlight and the light settings, and the
// answer to each command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace towersim {

constexpr uint8_t STX = 0x02;
constexpr uint8_t ETX = 0x03;
constexpr uint8_t ACK = 0x06;

// XOR over the text, seeded with 0x72.
uint8_t checksum(const std::string& text);

// STX, text, two upper-case hex digits of the checksum, ETX.
std::string frame(const std::string& text);

// A price text as the display shows it, in tower bytes (bit 7 to bit 0 carry the
// segments top, upper right, lower right, bottom, lower left, upper left, middle, point).
void renderPrice(const std::string& price, uint8_t out[3]);

struct TowerState {
    uint8_t display[5][3] = {};  // tower bytes, dark at power-up
    bool blink[5] = {};
    int lowLightLevel = 50;
    int lowLevelBrightness = 40;
    int highLightLevel = 150;
    int highLevelBrightness = 255;
    bool autoBacklight = false;
    bool backlight = false;
    std::string version = "2.07";
};

// One complete frame found in the byte stream.
struct ReceivedFrame {
    std::string raw;   // STX to ETX
    std::string text;  // between STX and the checksum
    bool checksumOk = false;
};

// Collects frames from the bytes as they arrive; bytes outside frames are ignored.
class FrameAssembler {
  public:
    std::vector<ReceivedFrame> feed(const uint8_t* bytes, size_t n);

  private:
    bool inFrame_ = false;
    std::string buffer_;
};

struct Answer {
    std::string bytes;  // ACK or a data frame
    bool isData = false;
    std::string text;  // the data frame's text, "ACK" for an acknowledgement
};

// Applies a command to the state and gives the tower's answer. `lightLevel` is the
// ambient light at this moment.
Answer execute(TowerState& state, const std::string& text, int lightLevel);

// With automatic backlight on, the tower switches its backlight from the light level:
// on below the low light level, off above the high one.
void followLight(TowerState& state, int lightLevel);

}  // namespace towersim
