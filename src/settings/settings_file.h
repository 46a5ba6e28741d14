// The settings file "VordaCen.ini": 32 lines in the start directory, one setting a line,
// meaning by position, CR LF line ends, code page 1250.
#pragma once

#include <cstddef>
#include <string>

#include "settings/settings.h"

namespace vorda {

constexpr const char* kSettingsFileName = "VordaCen.ini";

// The most bytes of the file that are read; the 32 items take a few hundred.
constexpr size_t kSettingsReadLimit = 4096;

// The file's text for these settings.
std::string settingsFileText(const Settings& settings);

// Reads a file's text over `settings`: values outside their accepted range keep theirs,
// and the first item that cannot be read ends the reading (later items keep theirs).
void readSettingsText(const std::string& text, Settings& settings);

// Reads the file of `directory` (at most kSettingsReadLimit bytes; a line that limit cuts
// is left out). False when there is no file to read.
bool loadSettingsFile(const std::string& directory, Settings& settings);

// Writes the whole file and puts it in the old one's place in one step; a file that
// cannot be written leaves the old one as it was (false).
bool saveSettingsFile(const std::string& directory, const Settings& settings);

}  // namespace vorda
