#include "central_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace centralsim {

namespace {

std::vector<std::vector<std::string>> tabbedLines(const std::string& path, size_t fields) {
    std::vector<std::vector<std::string>> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> split;
        size_t from = 0;
        while (split.size() + 1 < fields && from <= line.size()) {
            const size_t tab = std::min(line.find('\t', from), line.size());
            split.push_back(line.substr(from, tab - from));
            from = tab + 1;
        }
        split.push_back(from <= line.size() ? line.substr(from) : "");
        split.resize(fields);  // a short line's missing fields are empty
        lines.push_back(split);
    }
    return lines;
}

}  // namespace

Process::Process(const std::string& binary, const std::string& root,
                 const std::vector<std::string>& options)
    : root_(root) {
    char pattern[] = "/tmp/vorda-central-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::abort();
    }
    dir_ = pattern;
    const std::string portFile = dir_ + "/port";
    std::vector<std::string> args = {
        binary, "--quiet",     "--root", root,           "--port",
        "0",    "--port-file", portFile, "--transcript", dir_ + "/transcript.txt"};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that dies leaves no simulator behind
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
    for (int i = 0; i < 1000 && port_ == 0; ++i) {
        std::ifstream in(portFile);
        if (!(in >> port_)) {
            port_ = 0;
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

std::vector<Request> Process::transcript() const {
    std::vector<Request> requests;
    for (const auto& f : tabbedLines(dir_ + "/transcript.txt", 5)) {
        requests.push_back(Request{std::atol(f[0].c_str()), f[1], f[2], f[3] == "inm", f[4]});
    }
    return requests;
}

std::vector<Report> Process::reports() const {
    std::vector<Report> reports;
    for (const auto& f : tabbedLines(root_ + "/raporty.txt", 7)) {
        reports.push_back(Report{f[0], f[1], f[2] == "auth", f[3], f[4], f[5], f[6]});
    }
    return reports;
}

}  // namespace centralsim
