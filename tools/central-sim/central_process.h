// Runs central-sim as a child process on a free port of 127.0.0.1 and reads back what it
// recorded (its transcript, the reports it took): for the tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace centralsim {

// One line of the transcript: a request and the status answered ("drop": none).
struct Request {
    long ms = 0;
    std::string method, path;
    bool ifNoneMatch = false;
    std::string status;
};

// One line of ROOT/raporty.txt.
struct Report {
    std::string received, path;
    bool authorization = false;
    std::string mark;  // new, duplicate, refused
    std::string station, id, body;
};

class Process {
  public:
    // Starts the simulator at `binary` serving `root`, with the extra options (faults);
    // port() is then the port it listens on, 0 when it did not start.
    Process(const std::string& binary, const std::string& root,
            const std::vector<std::string>& options = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<Request> transcript() const;
    std::vector<Report> reports() const;

  private:
    pid_t pid_ = -1;
    std::string root_;
    std::string dir_;
    int port_ = 0;
};

}  // namespace centralsim
