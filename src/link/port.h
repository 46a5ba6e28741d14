// The serial port of the link: open and configure it from the record's settings, read
// what it has received without waiting, write whole blocks, close it; the error state
// that the transmission log reports; every block handed to that log while logging is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "record/core.h"

namespace vorda {

constexpr uint32_t kPortQueueSize = 4096;
constexpr int kReadMax = 256;

// Opens port `portNumber`, configures it, starts the receiver, and shows the link as
// connected. False (nothing changed, no message) when the port cannot be opened or
// configured.
bool openPort(Core& core);

// Applies baudRate, dataBits, parity and stopBits to the open port; true when the
// system accepted them.
bool configurePort(Core& core);

// Drops DTR, closes the port (once nobody is using it), shows the link as disconnected.
bool closePort(Core& core);

// The bytes already received, at most `max` (256); 0 when none or on error.
int readPort(Core& core, uint8_t* destination, int max);

// Writes the whole block; failures are only counted and logged. Always true.
bool writePort(Core& core, const uint8_t* bytes, size_t count);

// A reference to the open port, or null.
std::shared_ptr<SerialPort> currentPort(Core& core);

}  // namespace vorda
