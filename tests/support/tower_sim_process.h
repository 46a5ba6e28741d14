// Runs the real tower-sim on a pseudo-terminal for a test, and talks to it from the
// program's side of the line.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vorda::test {

// One line of the simulator's transcript.
struct TranscriptLine {
    long ms = 0;
    std::string kind;  // rx, rx-bad, tx, tx-drop, tx-noise
    std::string text;
    std::string hex;
};

class TowerSim {
  public:
    // Starts tower-sim with the extra options; the pseudo-terminal's path is then known.
    explicit TowerSim(const std::vector<std::string>& options = {});
    ~TowerSim();
    TowerSim(const TowerSim&) = delete;
    TowerSim& operator=(const TowerSim&) = delete;

    const std::string& path() const { return path_; }
    std::vector<TranscriptLine> transcript() const;
    // Transcript lines of one kind.
    std::vector<TranscriptLine> lines(const std::string& kind) const;
    // Waits (up to timeoutMs) until the transcript holds at least `count` lines of `kind`.
    bool waitFor(const std::string& kind, size_t count, int timeoutMs = 5000) const;

  private:
    pid_t pid_ = -1;
    std::string dir_;
    std::string path_;
    std::string transcriptPath_;
};

// The program's end of the line: the pseudo-terminal's slave, raw.
class LineEnd {
  public:
    explicit LineEnd(const std::string& path);
    ~LineEnd();
    LineEnd(const LineEnd&) = delete;
    LineEnd& operator=(const LineEnd&) = delete;

    void write(const std::string& bytes);
    // Everything that arrives within `ms` milliseconds.
    std::string readFor(int ms);

  private:
    int fd_ = -1;
};

// STX, text, checksum digits, ETX, as the program frames a command.
std::string frameOf(const std::string& text);

std::string toHex(const std::string& bytes);

}  // namespace vorda::test
