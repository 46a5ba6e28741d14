// The message texts of the string table, as UTF-8.
//
// The core shows texts only through the panel seam, by id. Each text starts as the
// built-in default below (the same text the resource script carries); the Windows
// program replaces them at start with what it loads from its string table, so the
// resource stays the one place a translator edits.
#pragma once

#include <string>

namespace vorda {

enum class Text : int {
    Com = 784,
    Title = 853,
    Error = 854,
    ComOpenFailed = 855,
    Disconnected = 856,
    TestMode = 858,
    ConfirmClose = 859,
    AutoBacklight = 861,
    LeaveTestMode = 862,
    Connected = 864,
    TestModeScript = 865,
    ConnectedScript = 866,
    ScriptOpenFailed = 867,
    ScriptNeedsLink = 868,
    TransmissionError = 870,
    PortMissing = 871,  // followed by the port's number
    FilterText = 875,
    FilterAll = 876,
    PricesConfirmed = 877,
    PricesMismatch = 878,
    MismatchIntro = 879,
    MismatchRow = 880,  // %1 the row's number, %2 what was sent, %3 what the tower shows
    Blinking = 881,
};

// Every id of the table above, for loaders and tests.
extern const Text kAllTexts[23];

// The current text of an id (UTF-8); the default until replaced.
const std::string& messageText(Text id);

// The built-in default of an id.
const char* defaultMessageText(Text id);

// Replaces the text of an id, cut to the buffer size of its entry in characters
// (32, or 128 for the two long messages).
void setMessageText(Text id, const std::string& utf8);

// Buffer size of an id in characters, terminator included.
int messageBufferSize(Text id);

}  // namespace vorda
