// central-sim: stands in for a chain's head office over plain HTTP: it serves each station's
// order document and collects the results of the orders. See --help.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kHelp[] = R"(central-sim: a stand-in for a chain's head office, over plain HTTP.

Usage: central-sim --root DIR [options]

A chain publishes each station's order document and collects the results of its orders
on its own web infrastructure over HTTPS: any static host, or an object store behind a
CDN, for the documents; any endpoint that takes a POST of JSON for the results. This
simulator does both from one folder, for the tests and for a chain that tries the
feature before it has its own server. It speaks plain HTTP, which the program allows
only to 127.0.0.1.

What it serves
  GET /stacje/<id>.json the file DIR/stacje/<id>.json, read at every request (edit it
                        while the simulator runs), with a strong ETag (a hash of its
                        bytes), Last-Modified (the file's time) and Cache-Control:
                        no-cache; 304 Not Modified when If-None-Match names that ETag
                        (or is *), or, without If-None-Match, when If-Modified-Since is
                        not older than the file; 404 when there is no such file
  POST /raporty         a result (a POST to any path under /raporty/ is the same): its
                        JSON body is appended as one line to DIR/raporty.txt (below) and
                        answered 204; again 204 for a duplicate (the same "stacja" and
                        "id" as an earlier one: a station sends one twice when it lost
                        the 2xx), which is appended too but marked; 400 for a body that
                        is not a JSON object with "stacja" and "id" strings
  anything else         404

Options
  --root DIR            the folder: DIR/stacje/<id>.json and DIR/raporty.txt (required)
  --address A           the address to listen on (default 127.0.0.1)
  --port N              the port (default 8080); 0 picks a free one
  --port-file FILE      write the port into FILE once the simulator listens (removed at
                        exit): a test or script waits for it, then connects

Faults (each request they hit is answered so, and a report it carries is not taken)
  --status N            answer with status N and a line of text (e.g. 500, 503, 429)
  --slow MS             wait MS before answering (the others still apply; a report
                        that is answered 204 after the wait is taken)
  --drop                close the connection without an answer (the request is read)
  --garbage             answer 200 with bytes that are no JSON
  --huge                answer 200 with more than 64 KB: the station's document (or {})
                        followed by blanks to 70000 bytes
  --expect-key KEY      answer 401 unless the request has "Authorization: Bearer KEY"
                        (with it, the request is served)
  --faults-on get|post|both
                        which requests the faults hit (default both); the others are
                        served normally
  Checked in this order: --slow, --drop, --expect-key, --status, --garbage, --huge.

Life
  --lifetime-file PATH  end when PATH no longer exists (checked twenty times a second)
  --max-seconds N       end after N seconds in any case

Output
  --transcript FILE     one line per request, flushed at once (format below)
  --quiet               print nothing but the address (http://A:PORT) on stdout
  --help                this text

Transcript lines: milliseconds since start, a tab, the method, a tab, the path, a tab,
"inm" when the request had If-None-Match or "-", a tab, the status answered ("drop" for
a connection closed without an answer). Example:
  1503	GET	/stacje/S-0042.json	-	200
  301511	GET	/stacje/S-0042.json	inm	304
  301620	POST	/raporty	-	204

Lines of DIR/raporty.txt: the time received (UTC), the path, "auth" when the request had
an Authorization header or "no-auth" (never its value), "new", "duplicate" or "refused",
the "stacja", the "id", and the body on one line (its line breaks and tabs as blanks),
separated by tabs. Reports already in the file at start count for duplicates. Example:
  2026-12-07T05:00:04.212Z	/raporty	auth	new	S-0042	2026-12-07-rano	{ "stacja": ...

A station's document (DIR/stacje/<id>.json): the orders' document with the station's id
at the top; the program refuses a document of more than 64 KB whole:
  { "stacja": "S-0042",
    "zlecenia": [
      { "id": "2026-12-07-rano", "od": "2026-12-07T06:00:00+01:00",
        "ceny": { "1": "5.49", "2": "6.19*", "4": "" }, "opis": "Zmiana poranna" } ] }
A price as "/ceny" takes it ("*" at the end: blinking, "" dark); "od" an ISO 8601 time
with its offset, absent for "now"; "id" 1 to 64 printable characters.

A result (the body of a POST): the order's id, its end ("POTWIERDZONO", "NIEZGODNE",
"BRAK ODPOWIEDZI", "TRYB TESTU", "POMINIĘTE", "ANULOWANE"), when it ended, and for each
row it named what was sent, what the tower showed and whether it blinks:
  { "stacja": "S-0042", "id": "2026-12-07-rano", "wynik": "POTWIERDZONO",
    "czas": "2026-12-07T06:00:04+01:00",
    "ceny": { "1": { "wysłano": "5.49", "vorda": "5.49", "miga": false },
              "2": { "wysłano": "6.19", "vorda": "6.19", "miga": true },
              "4": { "wysłano": "", "vorda": "", "miga": false } } }

Example:
  mkdir -p /tmp/central/stacje && cp dokument.json /tmp/central/stacje/S-0042.json
  central-sim --root /tmp/central --port 8080 --transcript /tmp/central/log.txt
  (the station's document: http://127.0.0.1:8080/stacje/S-0042.json; its reports:
  http://127.0.0.1:8080/raporty)
)";

constexpr size_t kHugeSize = 70000;

struct Options {
    std::string root;
    std::string address = "127.0.0.1";
    int port = 8080;
    std::string portFile;
    int status = 0;
    int slowMs = 0;
    bool drop = false;
    bool garbage = false;
    bool huge = false;
    std::string key;
    bool faultsOnGet = true;
    bool faultsOnPost = true;
    std::string lifetimeFile;
    int maxSeconds = 0;
    std::string transcript;
    bool quiet = false;
};

volatile sig_atomic_t stopRequested = 0;
void onSignal(int) {
    stopRequested = 1;
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "central-sim: %s\n", message.c_str());
    std::exit(2);
}

int toInt(const char* s, const std::string& option) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < 0 || v > 1000000000)
        fail("bad number for " + option + ": " + s);
    return static_cast<int>(v);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail("missing value for " + a);
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (a == "--root")
            o.root = value();
        else if (a == "--address")
            o.address = value();
        else if (a == "--port")
            o.port = toInt(value(), a);
        else if (a == "--port-file")
            o.portFile = value();
        else if (a == "--status") {
            o.status = toInt(value(), a);
            if (o.status < 100 || o.status > 599)
                fail("--status takes 100 to 599");
        } else if (a == "--slow")
            o.slowMs = toInt(value(), a);
        else if (a == "--drop")
            o.drop = true;
        else if (a == "--garbage")
            o.garbage = true;
        else if (a == "--huge")
            o.huge = true;
        else if (a == "--expect-key")
            o.key = value();
        else if (a == "--faults-on") {
            const std::string v = value();
            if (v != "get" && v != "post" && v != "both")
                fail("--faults-on takes get, post or both, not " + v);
            o.faultsOnGet = v != "post";
            o.faultsOnPost = v != "get";
        } else if (a == "--lifetime-file")
            o.lifetimeFile = value();
        else if (a == "--max-seconds")
            o.maxSeconds = toInt(value(), a);
        else if (a == "--transcript")
            o.transcript = value();
        else if (a == "--quiet")
            o.quiet = true;
        else
            fail("unknown option " + a + " (see --help)");
    }
    if (o.root.empty())
        fail("--root DIR is needed (see --help)");
    if (o.port > 65535)
        fail("--port takes 0 to 65535");
    struct stat s {};
    if (stat(o.root.c_str(), &s) != 0 || !S_ISDIR(s.st_mode))
        fail("no folder " + o.root);
    return o;
}

std::string readFile(const std::string& path, bool* found) {
    std::ifstream in(path, std::ios::binary);
    *found = static_cast<bool>(in);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A strong ETag: the bytes' 64-bit FNV-1a hash, quoted.
std::string etagOf(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h = (h ^ c) * 1099511628211ull;
    }
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
    return text;
}

// An HTTP date: "Mon, 07 Dec 2026 05:00:00 GMT".
std::string httpDate(time_t t) {
    tm utc{};
    gmtime_r(&t, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

bool parseHttpDate(const std::string& text, time_t* t) {
    tm utc{};
    const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &utc);
    if (end == nullptr || *end != '\0')
        return false;
    *t = timegm(&utc);
    return true;
}

// Whether If-None-Match ("*", or a list of tags, weak ones compared weakly) names `etag`.
bool noneMatchHits(const std::string& header, const std::string& etag) {
    std::istringstream list(header);
    std::string tag;
    while (std::getline(list, tag, ',')) {
        const size_t first = tag.find_first_not_of(" \t");
        const size_t last = tag.find_last_not_of(" \t");
        if (first == std::string::npos)
            continue;
        tag = tag.substr(first, last - first + 1);
        if (tag.rfind("W/", 0) == 0)
            tag = tag.substr(2);
        if (tag == "*" || tag == etag)
            return true;
    }
    return false;
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return text;
}

using Clock = std::chrono::steady_clock;

class HeadOffice {
  public:
    explicit HeadOffice(Options o) : o_(std::move(o)), start_(Clock::now()) {
        if (!o_.transcript.empty()) {
            transcript_ = std::fopen(o_.transcript.c_str(), "w");
            if (transcript_ == nullptr)
                fail("cannot write " + o_.transcript);
        }
        reportsPath_ = o_.root + "/raporty.txt";
        bool found = false;
        std::istringstream earlier(readFile(reportsPath_, &found));
        std::string line;
        while (std::getline(earlier, line)) {
            std::vector<std::string> fields;
            std::istringstream in(line);
            std::string field;
            while (fields.size() < 6 && std::getline(in, field, '\t'))
                fields.push_back(field);
            if (fields.size() == 6 && (fields[3] == "new" || fields[3] == "duplicate"))
                seen_.insert(fields[4] + '\n' + fields[5]);
        }
    }
    ~HeadOffice() {
        if (transcript_)
            std::fclose(transcript_);
    }

    void serve(const httplib::Request& req, httplib::Response& res) {
        const bool faulty = req.method == "POST" ? o_.faultsOnPost : o_.faultsOnGet;
        if (faulty && o_.slowMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(o_.slowMs));
        if (faulty && o_.drop) {
            log(req, "drop");  // before the client can see the connection end
            dropConnection(req);
            return;
        }
        if (faulty && !o_.key.empty() &&
            req.get_header_value("Authorization") != "Bearer " + o_.key) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Bearer");
            res.set_content("401 Unauthorized\n", "text/plain");
        } else if (faulty && o_.status != 0) {
            res.status = o_.status;
            res.set_content(std::to_string(o_.status) + " from central-sim --status\n",
                            "text/plain");
        } else if (faulty && o_.garbage) {
            res.status = 200;
            static const char garbage[] = "\x89PNG\r\n\x1a\n<html>\xff\xfe{\"zlecenia\": [\0 ";
            res.set_content(std::string(garbage, sizeof garbage - 1),
                            "application/json; charset=utf-8");
        } else if (faulty && o_.huge) {
            bool found = false;
            std::string body =
                station(req.path).empty() ? "" : readFile(stationFile(req.path), &found);
            if (!found)
                body = "{}";
            body.resize(std::max(kHugeSize, body.size()), ' ');
            res.status = 200;
            res.set_content(body, "application/json; charset=utf-8");
        } else if (req.method == "POST") {
            report(req, res);
        } else {
            document(req, res);
        }
        log(req, std::to_string(res.status));
    }

    double elapsedMs() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    }

  private:
    // The station's id of "/stacje/<id>.json", "" for any other path.
    static std::string station(const std::string& path) {
        const std::string head = "/stacje/", tail = ".json";
        if (path.size() <= head.size() + tail.size() || path.rfind(head, 0) != 0 ||
            path.compare(path.size() - tail.size(), tail.size(), tail) != 0)
            return "";
        const std::string id = path.substr(head.size(), path.size() - head.size() - tail.size());
        return id.find_first_of("/\\") == std::string::npos && id != "." && id != ".." ? id : "";
    }
    std::string stationFile(const std::string& path) const {
        return o_.root + "/stacje/" + station(path) + ".json";
    }

    void document(const httplib::Request& req, httplib::Response& res) const {
        bool found = false;
        const std::string file = stationFile(req.path);
        const std::string bytes = station(req.path).empty() ? "" : readFile(file, &found);
        struct stat s {};
        if (!found || stat(file.c_str(), &s) != 0) {
            res.status = 404;
            res.set_content("404 Not Found\n", "text/plain");
            return;
        }
        const std::string etag = etagOf(bytes);
        res.set_header("ETag", etag);
        res.set_header("Last-Modified", httpDate(s.st_mtime));
        res.set_header("Cache-Control", "no-cache");
        time_t since = 0;
        const bool notModified =
            req.has_header("If-None-Match")
                ? noneMatchHits(req.get_header_value("If-None-Match"), etag)
                : parseHttpDate(req.get_header_value("If-Modified-Since"), &since) &&
                      s.st_mtime <= since;
        if (notModified) {
            res.status = 304;
            return;
        }
        res.status = 200;
        res.set_content(bytes, "application/json; charset=utf-8");
    }

    void report(const httplib::Request& req, httplib::Response& res) {
        if (req.path != "/raporty" && req.path.rfind("/raporty/", 0) != 0) {
            res.status = 404;
            res.set_content("404 Not Found\n", "text/plain");
            return;
        }
        const nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
        std::string stacja, id;
        if (body.is_object() && body.contains("stacja") && body["stacja"].is_string() &&
            body.contains("id") && body["id"].is_string()) {
            stacja = body["stacja"].get<std::string>();
            id = body["id"].get<std::string>();
        }
        const auto now = std::chrono::system_clock::now();
        const time_t seconds = std::chrono::system_clock::to_time_t(now);
        tm utc{};
        gmtime_r(&seconds, &utc);
        char received[40];
        const size_t n = std::strftime(received, sizeof received, "%Y-%m-%dT%H:%M:%S", &utc);
        std::snprintf(received + n, sizeof received - n, ".%03dZ",
                      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           now.time_since_epoch())
                                           .count() %
                                       1000));
        std::lock_guard<std::mutex> lock(mutex_);
        const char* mark = id.empty() && stacja.empty()              ? "refused"
                           : seen_.insert(stacja + '\n' + id).second ? "new"
                                                                     : "duplicate";
        const std::string line = std::string(received) + '\t' + req.path + '\t' +
                                 (req.has_header("Authorization") ? "auth" : "no-auth") + '\t' +
                                 mark + '\t' + oneLine(stacja) + '\t' + oneLine(id) + '\t' +
                                 oneLine(req.body) + '\n';
        FILE* f = std::fopen(reportsPath_.c_str(), "a");
        const bool written = f != nullptr && std::fputs(line.c_str(), f) >= 0;
        if (f != nullptr && std::fclose(f) != 0)
            std::fprintf(stderr, "central-sim: cannot write %s\n", reportsPath_.c_str());
        if (!written) {
            res.status = 500;
            res.set_content("cannot write " + reportsPath_ + "\n", "text/plain");
        } else if (std::strcmp(mark, "refused") == 0) {
            res.status = 400;
            res.set_content("a report is a JSON object with \"stacja\" and \"id\"\n", "text/plain");
        } else {
            res.status = 204;
        }
    }

    // Closes the request's connection without an answer. The library hands a handler no
    // socket, so it is found among the process's descriptors by its peer's address and
    // port; each is duplicated before it is looked at, so a descriptor closed and reused
    // meanwhile by another connection's thread is never the one shut down.
    void dropConnection(const httplib::Request& req) const {
        DIR* fds = opendir("/proc/self/fd");
        if (fds == nullptr)
            return;
        while (const dirent* entry = readdir(fds)) {
            const int fd = std::atoi(entry->d_name);
            if (fd <= 2)
                continue;
            const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (copy < 0)
                continue;
            sockaddr_storage peer{};
            socklen_t size = sizeof peer;
            char host[INET6_ADDRSTRLEN] = "";
            int port = -1;
            if (getpeername(copy, reinterpret_cast<sockaddr*>(&peer), &size) == 0) {
                if (peer.ss_family == AF_INET) {
                    const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
                    inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
                    port = ntohs(in->sin_port);
                } else if (peer.ss_family == AF_INET6) {
                    const auto* in = reinterpret_cast<const sockaddr_in6*>(&peer);
                    inet_ntop(AF_INET6, &in->sin6_addr, host, sizeof host);
                    port = ntohs(in->sin6_port);
                }
            }
            if (port == req.remote_port && req.remote_addr == host)
                shutdown(copy, SHUT_RDWR);
            close(copy);
        }
        closedir(fds);
    }

    void log(const httplib::Request& req, const std::string& status) {
        if (!transcript_)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        std::fprintf(transcript_, "%lld\t%s\t%s\t%s\t%s\n", static_cast<long long>(elapsedMs()),
                     req.method.c_str(), oneLine(req.path).c_str(),
                     req.has_header("If-None-Match") ? "inm" : "-", status.c_str());
        std::fflush(transcript_);
    }

    Options o_;
    Clock::time_point start_;
    std::string reportsPath_;
    std::mutex mutex_;  // the reports' file and `seen_`, the transcript
    std::set<std::string> seen_;
    FILE* transcript_ = nullptr;
};

bool alive(const Options& o, Clock::time_point start) {
    if (stopRequested)
        return false;
    if (!o.lifetimeFile.empty() && access(o.lifetimeFile.c_str(), F_OK) != 0)
        return false;
    return o.maxSeconds <= 0 || Clock::now() - start < std::chrono::seconds(o.maxSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    signal(SIGHUP, onSignal);
    signal(SIGPIPE, SIG_IGN);
    const Clock::time_point start = Clock::now();

    HeadOffice office(o);
    httplib::Server server;
    // A connection kept open holds one of the threads: enough for the load driver's.
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.set_keep_alive_max_count(1000);
    server.set_tcp_nodelay(true);  // the headers and the body are written apart
    auto serve = [&office](const httplib::Request& req, httplib::Response& res) {
        office.serve(req, res);
    };
    server.Get(".*", serve);
    server.Post(".*", serve);

    int port = o.port;
    if (port == 0)
        port = server.bind_to_any_port(o.address);
    else if (!server.bind_to_port(o.address, port))
        port = -1;
    if (port <= 0)
        fail("cannot listen on " + o.address + " port " + std::to_string(o.port));
    if (!o.portFile.empty()) {
        // Written whole under another name, then renamed: a reader never sees half of it.
        const std::string partial = o.portFile + ".part";
        FILE* f = std::fopen(partial.c_str(), "w");
        if (f == nullptr || std::fprintf(f, "%d\n", port) < 0 || std::fclose(f) != 0 ||
            std::rename(partial.c_str(), o.portFile.c_str()) != 0)
            fail("cannot write " + o.portFile);
    }
    const std::string host =
        o.address.find(':') != std::string::npos ? "[" + o.address + "]" : o.address;
    std::printf("http://%s:%d\n", host.c_str(), port);
    std::fflush(stdout);
    if (!o.quiet) {
        std::fprintf(stderr,
                     "central-sim: head office on http://%s:%d (documents %s/stacje/<id>.json, "
                     "reports to %s/raporty.txt)\n",
                     host.c_str(), port, o.root.c_str(), o.root.c_str());
    }

    std::mutex m;
    std::condition_variable ended;
    bool done = false;
    std::thread serving([&] {
        server.listen_after_bind();
        std::lock_guard<std::mutex> lock(m);
        done = true;
        ended.notify_all();
    });
    std::unique_lock<std::mutex> lock(m);
    while (!done && alive(o, start))
        ended.wait_for(lock, std::chrono::milliseconds(50));
    lock.unlock();
    server.stop();
    if (!o.portFile.empty())
        std::remove(o.portFile.c_str());
    // A connection kept alive, or a request under --slow, would hold the end for seconds.
    lock.lock();
    if (!ended.wait_for(lock, std::chrono::seconds(1), [&] { return done; }))
        _exit(0);
    lock.unlock();
    serving.join();
    return 0;
}
