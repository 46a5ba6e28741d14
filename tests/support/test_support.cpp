#include "support/test_support.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vorda::test {

Clock FixedClock::clock() {
    Clock c;
    c.context = this;
    c.localTime = [](void* c) { return static_cast<FixedClock*>(c)->now; };
    c.tickCount = [](void* c) { return static_cast<FixedClock*>(c)->tick; };
    c.utcSeconds = [](void* c) { return static_cast<FixedClock*>(c)->utc.load(); };
    c.utcOffsetMinutes = [](void* c, int64_t) { return static_cast<FixedClock*>(c)->offset; };
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

std::string historyRows(const std::string& path) {
    const std::string h = readFile(path);
    std::string rows;
    for (size_t at = h.find('\n') + 1; at > 0 && at < h.size(); at = h.find('\n', at) + 1) {
        rows += h.substr(at + 20, h.find('\r', at) - at - 20) + "|";
    }
    return rows;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace vorda::test
