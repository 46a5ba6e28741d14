#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace towersim {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

Process::Process(const std::string& binary, const std::vector<std::string>& options) {
    char pattern[] = "/tmp/vorda-sim-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::abort();
    }
    dir_ = pattern;
    transcriptPath_ = dir_ + "/transcript.txt";
    const std::string pathFile = dir_ + "/path";
    std::vector<std::string> args = {binary,   "--quiet",      "--path-file",
                                     pathFile, "--transcript", transcriptPath_};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int i = 0; i < 500 && path_.empty(); ++i) {
        std::string p = readFile(pathFile);
        if (!p.empty() && p.back() == '\n') {
            path_ = p.substr(0, p.size() - 1);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

Process::~Process() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::vector<TranscriptLine> Process::transcript() const {
    std::vector<TranscriptLine> lines;
    std::istringstream in(readFile(transcriptPath_));
    std::string line;
    while (std::getline(in, line)) {
        TranscriptLine t;
        std::istringstream fields(line);
        std::string ms;
        std::getline(fields, ms, '\t');
        std::getline(fields, t.kind, '\t');
        std::getline(fields, t.text, '\t');
        std::getline(fields, t.hex);
        t.ms = std::atol(ms.c_str());
        lines.push_back(t);
    }
    return lines;
}

std::vector<TranscriptLine> Process::lines(const std::string& kind) const {
    std::vector<TranscriptLine> out;
    for (const auto& l : transcript()) {
        if (l.kind == kind) {
            out.push_back(l);
        }
    }
    return out;
}

bool Process::waitFor(const std::string& kind, size_t count, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (lines(kind).size() < count) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

LineEnd::LineEnd(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0) {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
}

LineEnd::~LineEnd() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void LineEnd::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

std::string LineEnd::readFor(int ms) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) > 0) {
            char buffer[512];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    return out;
}

}  // namespace towersim
