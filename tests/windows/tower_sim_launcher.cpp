#include "tower_sim_launcher.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/wide.h"

#ifndef VORDA_TOWER_SIM
#define VORDA_TOWER_SIM ""
#endif
#ifndef VORDA_COM1_LINK
#define VORDA_COM1_LINK ""
#endif

namespace vorda::test {

namespace {

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool waitForPath(const std::wstring& path, bool present, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (exists(path) == present) {
            return true;
        }
        Sleep(20);
    }
    return exists(path) == present;
}

std::string slurp(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

std::wstring windowsPathOf(const std::string& unixPath) {
    std::wstring path = L"Z:" + win::fromUtf8(unixPath);
    for (auto& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

TowerSimProcess::~TowerSimProcess() {
    stop();
}

bool TowerSimProcess::start(const std::vector<std::string>& options) {
    const std::string sim = VORDA_TOWER_SIM;
    const std::string link = VORDA_COM1_LINK;
    if (sim.empty() || link.empty()) {
        return false;
    }
    static int counter = 0;
    unixDir_ = "/tmp/vorda-wtest-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter);
    CreateDirectoryW(windowsPathOf(unixDir_).c_str(), nullptr);
    const std::string lifetime = unixDir_ + "/alive";
    FILE* f = _wfopen(windowsPathOf(lifetime).c_str(), L"w");
    if (f == nullptr) {
        return false;
    }
    std::fclose(f);
    DeleteFileW(windowsPathOf(link).c_str());  // the link of an earlier run

    // The simulator writes its path file after it has made the link.
    const std::string pathFile = unixDir_ + "/path";
    std::string command = "\"" + win::toUtf8(windowsPathOf(sim)) + "\" --quiet --link " + link +
                          " --path-file " + pathFile + " --transcript " + unixDir_ +
                          "/transcript.txt --lifetime-file " + lifetime + " --max-seconds 300";
    for (const auto& o : options) {
        command += " " + o;
    }
    std::wstring wide = win::fromUtf8(command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    if (info.hThread != nullptr) {
        CloseHandle(info.hThread);
    }
    if (info.hProcess != nullptr) {
        CloseHandle(info.hProcess);
    }
    running_ = waitForPath(windowsPathOf(pathFile), true, 5000);
    return running_;
}

void TowerSimProcess::stop() {
    if (!running_) {
        return;
    }
    // The simulator removes its path file when it ends. (Wine gives no handle that
    // could be waited on for a Linux process.)
    DeleteFileW(windowsPathOf(unixDir_ + "/alive").c_str());
    waitForPath(windowsPathOf(unixDir_ + "/path"), false, 3000);
    running_ = false;
}

std::vector<SimLine> TowerSimProcess::transcript() const {
    std::vector<SimLine> out;
    std::istringstream in(slurp(windowsPathOf(unixDir_ + "/transcript.txt")));
    std::string line;
    while (std::getline(in, line)) {
        SimLine l;
        std::istringstream fields(line);
        std::string ms;
        std::getline(fields, ms, '\t');
        std::getline(fields, l.kind, '\t');
        std::getline(fields, l.text, '\t');
        l.ms = std::atol(ms.c_str());
        out.push_back(l);
    }
    return out;
}

std::vector<SimLine> TowerSimProcess::lines(const std::string& kind) const {
    std::vector<SimLine> out;
    for (const auto& l : transcript()) {
        if (l.kind == kind) {
            out.push_back(l);
        }
    }
    return out;
}

bool TowerSimProcess::waitFor(const std::string& kind, size_t count, int timeoutMs) const {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (lines(kind).size() >= count) {
            return true;
        }
        Sleep(10);
    }
    return lines(kind).size() >= count;
}

}  // namespace vorda::test
