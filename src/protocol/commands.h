// The tower's command texts, as the program puts them in the mailbox: "2" addresses the
// price controller, the second character is the sub-address (0 for the controller itself,
// 1 to 5 for a price row), then the command letter and its argument.
#pragma once

#include <string>

namespace vorda {

// Reads of the price controller's state, each answered with a data frame.
constexpr const char kReadPrices[] = "20C";
constexpr const char kReadBlinks[] = "20M";
constexpr const char kReadLight[] = "20S";  // the ambient light level
constexpr const char kReadBacklight[] = "20Z";
constexpr const char kReadLowLightLevel[] = "20l";
constexpr const char kReadLowLevelBrightness[] = "20o";
constexpr const char kReadHighLightLevel[] = "20L";
constexpr const char kReadHighLevelBrightness[] = "20O";
constexpr const char kReadAutoBacklight[] = "20A";
constexpr const char kReadVersion[] = "20V";

// Orders, each answered with an ACK.
constexpr const char kBacklightOn[] = "20Z1";
constexpr const char kBacklightOff[] = "20Z0";
constexpr const char kAutoBacklightOn[] = "20A1";
constexpr const char kAutoBacklightOff[] = "20A0";
// Ends a group of price or light settings: the controller takes them over.
constexpr const char kEndOfGroup[] = "20E";

// The letters of the light settings: low light level, brightness at it, high light level,
// brightness at it.
constexpr char kLightLetters[4] = {'l', 'o', 'L', 'O'};

// The command that sets price row `row` (0 to 4) to `text`, steady ("21C5.49") or
// blinking ("21M5.49"); the text as given.
std::string priceCommand(int row, bool blink, const std::string& text);

// The command that sets light setting `letter` to `value` ("20l42").
std::string lightCommand(char letter, int value);

}  // namespace vorda
