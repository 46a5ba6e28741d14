// The transmission log "VordaC.trm" and the light log "VordaSw.trm", both in the start
// directory, each rotated to one backup ("VordaC_1.trm", "VordaSw_1.trm") when it grows
// past 20,000,000 bytes. Every failure is silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "record/core.h"

namespace vorda {

constexpr const char* kTransmissionLogName = "VordaC.trm";
constexpr const char* kTransmissionLogBackup = "VordaC_1.trm";
constexpr const char* kLightLogName = "VordaSw.trm";
constexpr const char* kLightLogBackup = "VordaSw_1.trm";
constexpr int64_t kLogRotationSize = 20000000;

// Moves `log` to `backup` (replacing it) when it is larger than 20,000,000 bytes.
void rotateLog(const std::string& log, const std::string& backup);

// One entry of the transmission log: direction 'I' (read) or 'O' (write), the bytes,
// with the error markers and, once a minute, the summary line of the error counters.
void appendTransmissionEntry(Core& core, char direction, const uint8_t* bytes, size_t count);

// One dated line of the light log with the light level's text.
void appendLightEntry(Core& core, const std::string& value);

}  // namespace vorda
