// The settings file's text, read over the defaults and written again, in memory: what is
// written is the file's 32 lines and reads back to the same text.
#include "fuzz_support.h"
#include "settings/settings_file.h"

using namespace vorda;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Settings first, second;
    readSettingsText(std::string(reinterpret_cast<const char*>(data), size), first);
    const std::string text = settingsFileText(first);
    FUZZ_CHECK(std::count(text.begin(), text.end(), '\n') == 32);
    readSettingsText(text, second);
    FUZZ_CHECK(settingsFileText(second) == text);
    return 0;
}
