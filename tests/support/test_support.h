// Helpers of the native tests: a clock that stands still until told, temporary
// directories, and reading whole files.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "settings/clock.h"

namespace vorda::test {

struct FixedClock {
    LocalTime now;
    uint32_t tick = 0;
    std::atomic<int64_t> utc{1796536800};  // 2026-12-06 06:00 UTC (read by the threads)
    int offset = 60;                       // minutes east of UTC

    Clock clock();
};

// A new empty directory, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// The price history's lines after its header without their date and time, each ending "|":
// "1;ON;5.49;nie;POTWIERDZONO;PANEL|".
std::string historyRows(const std::string& path);
// Waits until `condition` holds (checked every few ms); false on time-out.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

}  // namespace vorda::test
