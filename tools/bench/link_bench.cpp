// link-bench: what the link costs and how fast it moves a price update, against tower-sim
// on a pseudo-terminal that plays a 19200-baud line (--pace: 10 bits a byte).
//
//   link-bench [RUNS]       the measures below (RUNS price updates, default 20)
//   link-bench --soak SECS  the soak load instead: a control file plays price commands
//                           every 120 ms for SECS seconds while the tower changes its
//                           manner (tower-sim --cycle); with LeakSanitizer, what leaks
//
// Measures:
// - price update: from "Wyślij" pressed while disconnected to the tower's ACK of "20E"
//   (connect on demand, five prices, the poll's "20S" and "20Z", "20E"), beside the time
//   those bytes need on the line plus the simulator's answer delay (none);
// - turnaround: from the receiver waking with an answer to the next frame written;
// - idle CPU: the process's CPU time per second while connected and idle (the 5-second
//   poll included);
// - heap allocations per command while connected: every operator new of the process
//   counted, over price updates and polls, divided by the commands answered.
//
// Each figure is held against the goal the README promises for it (kGoals); a figure that
// misses its goal is marked and makes link-bench end with 1.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller.h"

namespace {

std::atomic<uint64_t> allocations{0};

}  // namespace

void* operator new(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using Clock = std::chrono::steady_clock;
using vorda::kSlotEnd;

const char* kPrices[5] = {"5.49", "6.09", "4.99", "3.15", "2.50"};
constexpr int kBaud = 19200;

// What the README promises: the price update within 1.5 times its bytes' time on the line,
// an answer turned into the next frame within 1 ms, less than 1 ms of CPU a second while
// idle, and no heap allocation on a command's way while connected.
constexpr double kUpdateToWireGoal = 1.5;
constexpr double kTurnaroundGoalMs = 1.0;
constexpr double kIdleCpuGoalMs = 1.0;
constexpr double kAllocationsGoal = 0.0;

int missed = 0;

// " (goal: ...)" after a figure, and whether it was met.
const char* held(bool met) {
    missed += met ? 0 : 1;
    return met ? "" : "  <-- MISSED ITS GOAL";
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The platform's driver with the receiver's wake-ups and the frames written timed.
vorda::SerialDriver platform;
std::atomic<int64_t> lastWake{0};
std::atomic<bool> timing{false};
double turnarounds[4096];
std::atomic<size_t> turnaroundCount{0};
std::atomic<uint64_t> framesWritten{0};

vorda::SerialDriver timedDriver() {
    platform = vorda::platformSerialDriver();
    vorda::SerialDriver d = platform;
    d.waitForInput = [](vorda::SerialPort* port, uint32_t* error) {
        const bool input = platform.waitForInput(port, error);
        lastWake = nowNs();
        return input;
    };
    d.write = [](vorda::SerialPort* port, const uint8_t* bytes, uint32_t count, uint32_t* error) {
        const int64_t woke = lastWake.exchange(0);
        if (timing && woke != 0) {
            const size_t i = turnaroundCount.fetch_add(1);
            if (i < 4096) {
                turnarounds[i] = static_cast<double>(nowNs() - woke) / 1e6;
            }
        }
        framesWritten++;
        return platform.write(port, bytes, count, error);
    };
    return d;
}

// Bytes on the wire of one price update opened on demand: each command's frame and its
// answer.
size_t wireBytes() {
    size_t bytes = 0;
    auto frame = [](const std::string& text) { return text.size() + 4; };
    bytes += frame("20S") + frame("S120");
    bytes += frame("20Z") + frame("Z0");
    for (int i = 0; i < 5; ++i) {
        bytes += frame(std::string("21C") + kPrices[i]) + 1;
    }
    bytes += frame("20E") + 1;
    return bytes;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// tower-sim on COM1 of `dir` with the extra options, ending within `seconds`.
bool startTower(const std::string& dir, const std::string& options, int seconds) {
    const std::string link = dir + "/COM1";
    const std::string command = std::string(TOWER_SIM_PATH) + " --quiet --link " + link +
                                " --lifetime-file " + dir + "/alive --max-seconds " +
                                std::to_string(seconds) + " " + options + " >/dev/null 2>&1 &";
    std::fclose(std::fopen((dir + "/alive").c_str(), "w"));
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    for (int i = 0; i < 100 && access(link.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return access(link.c_str(), F_OK) == 0;
}

void stopTower(const std::string& dir) {
    unlink((dir + "/alive").c_str());
    for (int i = 0; i < 100 && access((dir + "/COM1").c_str(), F_OK) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int measure(const std::string& dir, int runs) {
    if (!startTower(dir, "--pace --baud " + std::to_string(kBaud), 600)) {
        return 1;
    }
    vorda::Platform p{timedDriver(), {}, {}, vorda::systemClock(), dir};
    p.panel.priceBoxText = [](void*, int row) { return std::string(kPrices[row]); };
    vorda::Controller controller(p);
    vorda::Link& link = controller.link();
    controller.startPanel(__DATE__);

    std::vector<double> times;
    timing = true;
    for (int run = 0; run < runs; ++run) {
        lastWake = 0;
        const auto start = Clock::now();
        controller.sendPrices();
        if (!waitFor([&] { return !controller.mailbox().pending(kSlotEnd); }, 5000)) {
            std::fputs("link-bench: no ACK of 20E\n", stderr);
            break;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        waitFor([&] { return !link.connected(); }, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    timing = false;
    const double wireMs = static_cast<double>(wireBytes()) * 10.0 / kBaud * 1000.0;
    const size_t n = std::min<size_t>(turnaroundCount, 4096);
    std::sort(times.begin(), times.end());
    std::printf("price update (\"Wyślij\" while disconnected -> ACK of 20E), %zu runs:\n",
                times.size());
    if (times.empty()) {
        return 1;
    }
    const double update = median(times) / wireMs;
    std::printf(
        "  median %.1f ms (fastest %.1f, slowest %.1f); the %zu bytes on a %d-baud line:"
        " %.1f ms, answer delay 0: %.2f x (goal: at most %.1f x)%s\n",
        median(times), times.front(), times.back(), wireBytes(), kBaud, wireMs, update,
        kUpdateToWireGoal, held(update <= kUpdateToWireGoal));
    const double turnaround = median(std::vector<double>(turnarounds, turnarounds + n));
    std::printf(
        "turnaround (receiver wakes with an answer -> next frame written): median %.3f ms"
        " over %zu (goal: below %.1f ms)%s\n",
        turnaround, n, kTurnaroundGoalMs, held(turnaround < kTurnaroundGoalMs));

    controller.connect();
    waitFor([&] { return !controller.mailbox().anyPending() && link.slotInFlight() == 0; }, 5000);
    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double idle = cpu / wall * 1000.0;
    std::printf(
        "idle while connected (10 s, two polls): %.2f ms of CPU per second (goal: below %.1f)%s\n",
        idle, kIdleCpuGoalMs, held(idle < kIdleCpuGoalMs));

    // Allocations while connected: price updates on the open link, and polls.
    const uint64_t frames0 = framesWritten;
    const uint64_t allocations0 = allocations;
    for (int run = 0; run < runs; ++run) {
        controller.sendPrices();
        waitFor([&] { return !controller.mailbox().anyPending() && link.slotInFlight() == 0; },
                5000);
        link.pollTick();
        waitFor([&] { return !controller.mailbox().anyPending() && link.slotInFlight() == 0; },
                5000);
    }
    const uint64_t commands = framesWritten - frames0;
    const double perCommand =
        static_cast<double>(allocations - allocations0) / static_cast<double>(commands);
    std::printf(
        "heap allocations per command while connected: %.2f (%llu over %llu commands; goal: "
        "%.0f)%s\n",
        perCommand, static_cast<unsigned long long>(allocations - allocations0),
        static_cast<unsigned long long>(commands), kAllocationsGoal,
        held(perCommand <= kAllocationsGoal));
    controller.disconnect();
    stopTower(dir);
    return missed == 0 ? 0 : 1;
}

// The soak load: a control file that plays price commands every 120 ms, on a connected
// link, while the tower answers, falls silent, corrupts and splits its answers in turns.
int soak(const std::string& dir, int seconds) {
    if (!startTower(dir, "--cycle 20", seconds + 60)) {
        return 1;
    }
    const std::string file = dir + "/prices.txt";
    FILE* f = std::fopen(file.c_str(), "w");
    std::fputs(
        "21C1.11\r\n{S120}\r\n22M2.22\r\n{S120}\r\n23C{P}\r\n{S120}\r\n24C4.44\r\n{S120}\r\n"
        "25C5.55\r\n{S120}\r\n{G}\r\n",
        f);
    std::fclose(f);
    static std::string path;
    path = file;
    vorda::Platform p{vorda::platformSerialDriver(), {}, {}, vorda::systemClock(), dir};
    p.panel.priceBoxText = [](void*, int row) { return std::string(kPrices[row]); };
    p.panel.controlFilePath = [](void*) { return path; };
    vorda::Controller controller(p);
    controller.startPanel(__DATE__);
    if (!controller.connect()) {
        return 1;
    }
    controller.startOrStopControlFile();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const bool playing = controller.runner().running();
    std::printf("native soak: %d s, the control file %s, %u answer time-outs\n", seconds,
                playing ? "still playing" : "STOPPED",
                controller.link().errors().answerErrors.load());
    controller.disconnect();
    stopTower(dir);
    return playing ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    char dir[] = "/tmp/vorda-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    vorda::setSerialPortDirectory(dir);
    int result = 0;
    if (argc > 2 && std::strcmp(argv[1], "--soak") == 0) {
        result = soak(dir, std::atoi(argv[2]));
    } else {
        result = measure(dir, argc > 1 ? std::max(1, std::atoi(argv[1])) : 20);
    }
    std::system((std::string("rm -rf ") + dir).c_str());
    return result;
}
