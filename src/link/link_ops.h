// Connecting and disconnecting the link: the operator's "Połącz", "Rozłącz" and "Test",
// the connection a send opens by itself, and its closing once nothing is left to send.
#pragma once

#include "record/core.h"

namespace vorda {

// "Połącz": opens the port, reads the tower's state back and starts the poll.
// 0 without a record or when the port cannot be opened (the message is shown).
int connectLink(Core& core);

// "Rozłącz".
int disconnectLink(Core& core);

// "Test": closes any connection and works without a port.
int enterTestMode(Core& core);

// Opens the link for a send pressed while disconnected; the sender closes it again once
// the mailbox has drained. False (with the message shown) when the port cannot be opened.
bool connectOnDemand(Core& core);

// For a send: connects on demand when the link is closed and returns holding
// mailboxLock with the link connected or in test mode, so that the sender cannot close
// an on-demand link between the caller's check and its writes. False, with nothing held,
// when the port cannot be opened (the message is shown).
bool holdLinkForQueueing(Core& core);

// The sender's closing of a connection opened on demand. Always true.
bool disconnectAfterDrain(Core& core);

// "Błąd otwarcia COM<n>".
std::string portOpenFailedText(int portNumber);

}  // namespace vorda
