#include "support/test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vorda::test {

namespace {

LocalTime fixedLocalTime(void* c) {
    return static_cast<FixedClock*>(c)->now;
}
uint32_t fixedTick(void* c) {
    return static_cast<FixedClock*>(c)->tick;
}
void fixedSleep(void* c, uint32_t ms) {
    auto* clock = static_cast<FixedClock*>(c);
    clock->sleeps.push_back(ms);
    clock->tick += ms;
}

}  // namespace

Clock FixedClock::clock() {
    Clock c;
    c.context = this;
    c.localTime = fixedLocalTime;
    c.tickCount = fixedTick;
    c.sleepMs = fixedSleep;
    return c;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorda-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        std::abort();
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

void prepareCore(Core& core, const std::string& startDirectory, FixedClock* clock) {
    core.record = std::make_unique<AppRecord>();
    core.startDirectory = startDirectory;
    if (clock != nullptr) {
        core.clock = clock->clock();
    }
}

}  // namespace vorda::test
