// The receiving side of the link: a thread that reads the port every 10 ms while it is
// open, assembles the tower's answers and hands them to the handler of the command in
// flight, which takes the values into the record, the price board and the panel.
#pragma once

#include <cstdint>

#include "record/core.h"

namespace vorda {

// Frame assembly state, kept across reads.
struct ReceiverState {
    uint8_t frame[256] = {};
    uint8_t frameLength = 0;
    bool inFrame = false;
};

// Starts the receiver thread (while `connected` is set); false if it cannot be created.
bool startReceiver(Core& core);

// Waits for a receiver that has been told to end (connected cleared) to finish.
void stopReceiver(Core& core);

// One pass without its pause: takes both link locks, reads, hands the bytes over.
// False when the link was closed meanwhile (the thread then ends).
bool receiverPass(Core& core, ReceiverState& state);

// The handler of the slot in flight over the bytes of one read.
void handleAnswerBytes(Core& core, ReceiverState& state, const uint8_t* bytes, int count);

// The price text the tower's three segment codes show ("5.49", "  1", "" when dark).
std::string priceTextOfSegments(const uint8_t codes[3]);

// The decimal value of the leading digits of a text (0 when there are none).
int leadingDecimal(const std::string& text);

}  // namespace vorda
