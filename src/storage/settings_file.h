// The settings file "VordaCen.ini": 32 lines in the start directory, one setting a line,
// meaning by position. Written whole whenever settings are confirmed; read once at start.
#pragma once

#include <cstddef>
#include <string>

#include "record/core.h"

namespace vorda {

constexpr const char* kSettingsFileName = "VordaCen.ini";

// The most bytes of the file that are read; the 32 items take a few hundred.
constexpr size_t kSettingsReadLimit = 4096;

// Reads the file from the start directory into the record and the process-wide
// settings; values outside their accepted range are ignored, and so is what lies past
// kSettingsReadLimit. False when there is no record or the file cannot be opened.
bool loadSettings(Core& core);

// Writes the whole file from the current values (CR LF line ends) and puts it in the
// old one's place in one step. A file that cannot be written is skipped silently and
// leaves the old one as it was. False only without a record.
bool saveSettings(Core& core);

// saveSettings while holding settingsLock: how every caller saves.
bool saveSettingsLocked(Core& core);

// The text saveSettings writes, for the current values.
std::string settingsFileText(Core& core);

}  // namespace vorda
