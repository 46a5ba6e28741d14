// Starts the (Linux) tower simulator from a test running under Wine, with the Wine
// prefix's COM1 pointed at its pseudo-terminal, and reads its transcript.
#pragma once

#include <string>
#include <vector>

namespace vorda::test {

struct SimLine {
    long ms = 0;
    std::string kind;
    std::string text;
};

class TowerSimProcess {
  public:
    TowerSimProcess() = default;
    ~TowerSimProcess();
    TowerSimProcess(const TowerSimProcess&) = delete;
    TowerSimProcess& operator=(const TowerSimProcess&) = delete;

    // False when the simulator was not built, or COM1 did not come up.
    bool start(const std::vector<std::string>& options = {});
    void stop();

    std::vector<SimLine> transcript() const;
    std::vector<SimLine> lines(const std::string& kind) const;
    bool waitFor(const std::string& kind, size_t count, int timeoutMs = 5000) const;

  private:
    std::string unixDir_;
    bool running_ = false;
};

// A Windows path for a path of the Linux file system (Wine's drive Z:).
std::wstring windowsPathOf(const std::string& unixPath);

}  // namespace vorda::test
