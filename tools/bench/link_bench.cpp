// link-bench: how fast the link moves a price update, and what the idle engine costs.
//
// Against tower-sim on a pseudo-terminal at 19200 baud it measures, from "send prices"
// pressed while disconnected to the tower's ACK of "20E", the wall time of the whole
// exchange (connect on demand, "20S", "20Z", five prices, "20E"), and sets it beside the
// time those bytes need on a real 19200-baud line. Then it measures the CPU time the
// process uses per second while connected and idle (sender and receiver polling).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller.h"
#include "process.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* kPrices[5] = {"5.49", "6.09", "4.99", "3.15", "2.50"};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Bytes on the wire of one price update opened on demand: each command's frame and its answer.
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

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    char dir[] = "/tmp/vorda-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    towersim::Process sim(TOWER_SIM_PATH, {"--max-seconds", "120"});
    const std::string link = std::string(dir) + "/COM1";
    if (sim.path().empty() || symlink(sim.path().c_str(), link.c_str()) != 0) {
        return 1;
    }
    vorda::setSerialPortDirectory(dir);
    vorda::Platform platform{vorda::platformSerialDriver(), {}, vorda::systemClock(), dir};
    platform.display.priceBoxText = [](void*, int row) { return std::string(kPrices[row]); };
    vorda::Controller controller(platform);
    controller.startPanel(__DATE__);

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        controller.sendPrices();
        while (controller.link().connected() || controller.mailbox().pending(vorda::kSlotEnd)) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::sort(times.begin(), times.end());
    const double wireMs = static_cast<double>(wireBytes()) * 10.0 / 19200.0 * 1000.0;
    std::printf("price update (send prices -> ACK of 20E, connect on demand included), %d runs:\n",
                runs);
    std::printf("  median %.1f ms, fastest %.1f ms, slowest %.1f ms\n", times[times.size() / 2],
                times.front(), times.back());
    std::printf("  the same %zu bytes need %.1f ms on a 19200-baud line (10 bits a byte)\n",
                wireBytes(), wireMs);

    controller.connect();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    std::printf("idle while connected: %.1f ms of CPU per second\n", cpu / wall * 1000.0);

    std::filesystem::remove_all(dir);
    return 0;
}
