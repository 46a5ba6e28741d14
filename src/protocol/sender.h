// The sending side of the link: the sender thread that moves one command at a time from
// the mailbox to the tower, the answer time-out that re-sends and gives up, and the
// 5-second poll of the light level and the backlight.
#pragma once

#include <cstdint>

#include "record/core.h"

namespace vorda {

// Answer time-out in ms: (9600 / baudRate) * 100 plus the slot's extra time.
uint32_t answerTimeoutMs(uint32_t baudRate, int slot, bool dataAnswerExpected);

// Starts the sender thread; 0 without a record or when it cannot be created.
int startSender(Core& core);

// Tells the sender to end and waits for it.
void stopSender(Core& core);

// One pass of the sender without its 1 ms pause.
void senderPass(Core& core);

// Timer 3: counts a time-out, re-sends, or gives the command up at the third.
void answerTimeoutTick(Core& core);

// Timer 4: queues "20S" and "20Z".
void pollTick(Core& core);

// A valid answer's end step: stop the answer timer, free the slot, nothing in flight,
// the status back to connected.
void completeSlot(Core& core, int slot);

}  // namespace vorda
