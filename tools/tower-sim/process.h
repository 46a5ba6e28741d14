// Runs tower-sim as a child process on a pseudo-terminal, reads its transcript, and
// talks to it from the program's side of the line: for the benchmark and the tests.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace towersim {

// Bytes as the transcript's hex column spells them: "02 32 30 43 33 33 03".
inline std::string hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", static_cast<unsigned char>(bytes[i]));
        out += b;
    }
    return out;
}

// One line of the simulator's transcript.
struct TranscriptLine {
    long ms = 0;
    std::string kind;  // rx, rx-bad, tx, tx-drop, tx-noise
    std::string text;
    std::string hex;
};

class Process {
  public:
    // Starts the simulator at `binary` with the extra options; the pseudo-terminal's path
    // is then known (empty when it did not start).
    Process(const std::string& binary, const std::vector<std::string>& options);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

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

}  // namespace towersim
