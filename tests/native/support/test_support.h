// Helpers of the native tests: a clock that stands still until told, temporary
// directories, and reading whole files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/clock.h"
#include "record/core.h"

namespace vorda::test {

struct FixedClock {
    LocalTime now;
    uint32_t tick = 0;
    std::vector<uint32_t> sleeps;  // every sleep asked for, in order; sleeping advances tick

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

// A core with a record, its start directory and the given clock.
void prepareCore(Core& core, const std::string& startDirectory, FixedClock* clock = nullptr);

}  // namespace vorda::test
