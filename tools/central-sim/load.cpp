// central-load: drives central-sim as a chain's stations do, for scripts/central-load.
// See --help.
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const char kHelp[] =
    R"(central-load: drives central-sim as a chain's stations fetch their documents.

Usage: central-load --port N [options]

Stations S-1 to S-<stations> (DIR/stacje/S-<n>.json must exist) are shared among the
connections (kept alive, as a CDN's edge keeps them to its origin). Each connection first
fetches each of its stations once, then, for the given time, fetches them in turn, each
with If-None-Match and the ETag of its last answer: nearly every answer is 304, and a
document edited meanwhile comes back 200 once. Prints the requests a second of that
time, the answers by status and the latency; ends with 1 when a request failed or was
answered other than 200 or 304.

Options
  --port N              central-sim's port (required)
  --address A           central-sim's address (default 127.0.0.1)
  --stations N          how many stations (default 1000)
  --connections N       connections at once, each on a thread (default 4)
  --seconds S           how long (default 20)
  --help                this text
)";

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "central-load: %s\n", message.c_str());
    std::exit(2);
}

int toInt(const char* s, const std::string& option) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < 1 || v > 1000000)
        fail("bad number for " + option + ": " + s);
    return static_cast<int>(v);
}

using Clock = std::chrono::steady_clock;

struct Counts {
    long notModified = 0, ok = 0, other = 0, failed = 0;
    std::vector<float> latencyMs;
};

// The measured time starts when every connection has made its first fetches.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int waiting = 0;
    bool open = false;
    std::chrono::seconds length{0};
    Clock::time_point start, end;

    Clock::time_point pass(int connections) {
        std::unique_lock<std::mutex> lock(mutex);
        if (++waiting == connections) {
            start = Clock::now();
            end = start + length;
            open = true;
            changed.notify_all();
        }
        changed.wait(lock, [&] { return open; });
        return end;
    }
};

// One connection: its stations are first, first + step, ...
void drive(const std::string& address, int port, int first, int step, int stations, int connections,
           Gate* gate, Counts* counts) {
    httplib::Client client(address, port);
    client.set_keep_alive(true);
    std::vector<int> mine;
    for (int s = first; s <= stations; s += step)
        mine.push_back(s);
    std::vector<std::string> paths, etags;
    for (int s : mine) {
        paths.push_back("/stacje/S-" + std::to_string(s) + ".json");
        const httplib::Result r = client.Get(paths.back().c_str());
        if (!r || r->status != 200)
            fail("cannot fetch " + paths.back() + " (is it in DIR/stacje?)");
        etags.push_back(r->get_header_value("ETag"));
    }
    counts->latencyMs.reserve(1 << 20);
    const Clock::time_point end = gate->pass(connections);
    for (size_t i = 0; !mine.empty(); i = (i + 1) % mine.size()) {
        const Clock::time_point before = Clock::now();
        if (before >= end)
            break;
        const httplib::Result r = client.Get(paths[i].c_str(), {{"If-None-Match", etags[i]}});
        counts->latencyMs.push_back(
            std::chrono::duration<float, std::milli>(Clock::now() - before).count());
        if (!r) {
            ++counts->failed;
        } else if (r->status == 304) {
            ++counts->notModified;
        } else if (r->status == 200) {
            ++counts->ok;
            etags[i] = r->get_header_value("ETag");
        } else {
            ++counts->other;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1";
    int port = 0, stations = 1000, connections = 4, seconds = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail("missing value for " + a);
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--port")
            port = toInt(value(), a);
        else if (a == "--address")
            address = value();
        else if (a == "--stations")
            stations = toInt(value(), a);
        else if (a == "--connections")
            connections = toInt(value(), a);
        else if (a == "--seconds")
            seconds = toInt(value(), a);
        else
            fail("unknown option " + a + " (see --help)");
    }
    if (port == 0)
        fail("--port N is needed (see --help)");
    connections = std::min(connections, stations);

    std::vector<Counts> counts(static_cast<size_t>(connections));
    Gate gate;
    gate.length = std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back(drive, address, port, c + 1, connections, stations, connections, &gate,
                             &counts[static_cast<size_t>(c)]);
    }
    for (auto& t : threads)
        t.join();
    const Clock::time_point stop = Clock::now();
    Counts all;
    for (Counts& c : counts) {
        all.notModified += c.notModified;
        all.ok += c.ok;
        all.other += c.other;
        all.failed += c.failed;
        all.latencyMs.insert(all.latencyMs.end(), c.latencyMs.begin(), c.latencyMs.end());
    }
    const double elapsed = std::chrono::duration<double>(stop - gate.start).count();
    const long total = all.notModified + all.ok + all.other + all.failed;
    auto percentile = [&](double p) -> double {
        if (all.latencyMs.empty())
            return 0;
        const size_t k = static_cast<size_t>(p * static_cast<double>(all.latencyMs.size() - 1));
        std::nth_element(all.latencyMs.begin(), all.latencyMs.begin() + static_cast<long>(k),
                         all.latencyMs.end());
        return all.latencyMs[k];
    };
    std::printf(
        "%d stations on %d connections, %d s: %ld requests, %.0f requests a second (304: %ld, "
        "200: %ld, other: %ld, failed: %ld); latency median %.2f ms, 99th percentile %.2f ms\n",
        stations, connections, seconds, total, static_cast<double>(total) / elapsed,
        all.notModified, all.ok, all.other, all.failed, percentile(0.5), percentile(0.99));
    return all.other == 0 && all.failed == 0 ? 0 : 1;
}
