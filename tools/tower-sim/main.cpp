// tower-sim: stands in for the tower's price controller on a pseudo-terminal or a
// serial port. See --help.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "process.h"
#include "protocol/segments.h"
#include "tower.h"

namespace {

const char kHelp[] = R"(tower-sim: a stand-in for the fuel-price tower's price controller.

Usage: tower-sim [options]

Where the tower is
  (default)             create a pseudo-terminal; its slave path is printed on stdout
  --link PATH           also make PATH a symlink to the pseudo-terminal (removed at exit)
  --path-file FILE      also write the pseudo-terminal's path into FILE, after the link
                        is made (removed at exit)
  --device PATH         open this serial device instead of creating a pseudo-terminal
  --baud N              speed of --device, and of the line --pace plays (default 19200)
  --data-bits N         5 to 8 (default 8)
  --parity P            none, odd, even, mark or space (default none)
  --stop-bits S         1, 1.5 or 2 (default 1; 1.5 is set as 2)

The tower's state
  --light N             ambient light level, 0 to 255 (default 120)
  --light-wave MIN:MAX:SECONDS
                        the light level moves up and down between MIN and MAX,
                        once every SECONDS, so that the 5-second poll shows it change
  --version-text TEXT   what "20V" reports (default 2.07)
  --backlight 0|1       backlight state at power-up (default 0)

Timing and faults
  --pace                bytes take their time on the line, 10 bits a byte at --baud:
                        a frame counts as received when its last byte would have
                        arrived, and an answer is written when its last byte would
                        have been sent (a pseudo-terminal alone has no wire time)
  --delay MS            wait MS before each answer (answers are queued; frames that
                        arrive meanwhile are still read)
  --silent              never answer: a tower that is off (frames are still logged)
  --drop-every N        leave every N-th answer out
  --drop-fraction F     leave each answer out with probability F (0 to 1)
  --seed N              seed of --drop-fraction (default 1)
  --bad-checksum N      every N-th data answer carries a wrong checksum (1: all)
  --split MS            write each answer in two parts, MS apart
  --noise N             write N noise bytes before each answer
  --late-every N        every N-th answer comes late ...
  --late-ms MS          ... by MS more (default 1000), later than the program waits
  --cycle SECONDS       for long runs: every SECONDS the tower changes its manner, in
                        turns: it answers; it is silent; it corrupts its answers (a
                        wrong checksum in data answers, NAK instead of ACK); it splits
                        its answers in two parts 15 ms apart
  --silent-after TEXT   answer the first frame whose command is TEXT (for example 20E),
                        then nothing more: a tower that stops answering midway (frames
                        are still logged)
  --stuck-segment ROW:DIGIT:SEGMENT
                        a broken segment that stays dark: SEGMENT (a top, b upper right,
                        c lower right, d bottom, e lower left, f upper left, g middle,
                        dp point) of digit DIGIT (1 to 3) of price display ROW (1 to 5);
                        "20C" reports the display as it shows. May be given more than
                        once. Example: 2:1:e makes "6.09" show (and read back) as "5.09"

Life
  --lifetime-file PATH  end when PATH no longer exists (checked five times a second)
  --max-seconds N       end after N seconds in any case

Output
  --transcript FILE     one line per frame received and per answer sent, flushed
                        at once (format below)
  --quiet               print nothing but the pseudo-terminal's path
  --help                this text

Transcript lines: milliseconds since start, a tab, the kind, a tab, the text, a tab,
the raw bytes in hex separated by blanks. Kinds:
  rx        a frame received with a correct checksum (text: the command)
  rx-bad    a frame received with a wrong checksum: dropped, not answered
  tx        an answer written (text: ACK, or the data answer's text)
  tx-drop   an answer left out by --drop-every or --drop-fraction
  tx-noise  noise bytes written before an answer
Example:
  1503	rx	20C	02 32 30 43 33 33 03
  1504	tx	C000000000000000000000000000000	02 43 30 ... 03

How the controller behaves (where the protocol leaves it open)
  - Every frame with a correct checksum is answered: the reads listed below with a
    data frame, everything else (prices, settings, "20E", commands for the text
    displays, commands it does not know) with ACK. A frame with a wrong checksum,
    and any byte outside STX...ETX, gets nothing.
  - Price commands "<c><k>C<price>", "<c><k>M<price>" and "<c><k>B<6 hex>" set price
    display k (1 to 5) for any controller digit c from 0 to 7. A price is shown
    left-aligned: digits, '-' and blanks take one position each, a '.' joins the
    symbol before it, positions not reached are dark, anything else is ignored.
    "M" makes the row blink, "C" and "B" make it steady. "B" takes the three tower
    bytes as they are.
  - Reads: "20C" (C + 30 hex digits, the 15 tower bytes), "20M" (M + 5 blink
    digits), "20S" (S + light level), "20l", "20o", "20L", "20O" (the letter + the
    value), "20A" (A + 0/1), "20Z" (Z + 0/1), "20V" (V + version text).
  - "20l<v>", "20o<v>", "20L<v>", "20O<v>" set the low light level, the brightness at
    the low level, the high light level and the brightness at the high level (values
    0 to 255; others are acknowledged and ignored). Power-up values: 50, 40, 150, 255.
  - "20A1"/"20A0" switch automatic backlight. While it is on, the backlight goes on
    when the light level falls below the low light level and off when it rises above
    the high light level, and "20Z1"/"20Z0" are acknowledged but change nothing.
  - "20Z1"/"20Z0" switch the backlight when automatic switching is off.
  - Prices are shown at once; "20E" (end of update) is acknowledged.
)";

struct Options {
    std::string link;
    std::string pathFile;
    std::string device;
    int baud = 19200;
    int dataBits = 8;
    std::string parity = "none";
    std::string stopBits = "1";
    int light = 120;
    bool wave = false;
    int waveMin = 0, waveMax = 0;
    double wavePeriod = 60;
    std::string version = "2.07";
    bool backlight = false;
    int delayMs = 0;
    bool pace = false;
    bool silent = false;
    int dropEvery = 0;
    double dropFraction = 0;
    unsigned seed = 1;
    int badChecksumEvery = 0;
    int splitMs = -1;
    int noise = 0;
    int lateEvery = 0;
    int lateMs = 1000;
    int cycleSeconds = 0;
    std::string silentAfter;
    struct Stuck {
        int row, digit;
        uint8_t towerBit;
    };
    std::vector<Stuck> stuck;
    std::string transcript;
    bool quiet = false;
    std::string lifetimeFile;
    int maxSeconds = 0;
};

volatile sig_atomic_t stopRequested = 0;
void onSignal(int) {
    stopRequested = 1;
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "tower-sim: %s\n", message.c_str());
    std::exit(2);
}

int toInt(const char* s, const char* option) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0')
        fail(std::string("bad number for ") + option + ": " + s);
    return static_cast<int>(v);
}

// A Windows path ("Z:\\tmp\\x") handed over from a program under Wine would become one
// file of that odd name in the current directory: refused instead.
const char* linuxPath(const char* path, const std::string& option) {
    if (std::strchr(path, '\\') != nullptr)
        fail("a Linux path is needed for " + option + ", not " + path);
    return path;
}

// "ROW:DIGIT:SEGMENT" of --stuck-segment.
Options::Stuck stuckSegment(const char* text) {
    static const char* const names[8] = {"d", "e", "g", "f", "a", "b", "c", "dp"};
    int row = 0;
    int digit = 0;
    char name[4] = "";
    if (std::sscanf(text, "%d:%d:%3s", &row, &digit, name) == 3 && row >= 1 && row <= 5 &&
        digit >= 1 && digit <= 3) {
        for (int bit = 0; bit < 8; ++bit) {
            if (std::strcmp(name, names[bit]) == 0) {
                const uint8_t code = static_cast<uint8_t>(1u << bit);
                return Options::Stuck{row - 1, digit - 1, vorda::towerByteOfSegmentCode(code)};
            }
        }
    }
    fail(std::string("bad --stuck-segment: ") + text);
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
        auto path = [&]() { return linuxPath(value(), a); };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (a == "--link")
            o.link = path();
        else if (a == "--path-file")
            o.pathFile = path();
        else if (a == "--device")
            o.device = path();
        else if (a == "--baud")
            o.baud = toInt(value(), "--baud");
        else if (a == "--data-bits")
            o.dataBits = toInt(value(), "--data-bits");
        else if (a == "--parity")
            o.parity = value();
        else if (a == "--stop-bits")
            o.stopBits = value();
        else if (a == "--light")
            o.light = toInt(value(), "--light");
        else if (a == "--light-wave") {
            const char* v = value();
            if (std::sscanf(v, "%d:%d:%lf", &o.waveMin, &o.waveMax, &o.wavePeriod) != 3 ||
                o.wavePeriod <= 0)
                fail(std::string("bad --light-wave: ") + v);
            o.wave = true;
        } else if (a == "--version-text")
            o.version = value();
        else if (a == "--backlight")
            o.backlight = toInt(value(), "--backlight") != 0;
        else if (a == "--delay")
            o.delayMs = toInt(value(), "--delay");
        else if (a == "--silent")
            o.silent = true;
        else if (a == "--pace")
            o.pace = true;
        else if (a == "--drop-every")
            o.dropEvery = toInt(value(), "--drop-every");
        else if (a == "--drop-fraction")
            o.dropFraction = std::atof(value());
        else if (a == "--seed")
            o.seed = static_cast<unsigned>(toInt(value(), "--seed"));
        else if (a == "--bad-checksum")
            o.badChecksumEvery = toInt(value(), "--bad-checksum");
        else if (a == "--split")
            o.splitMs = toInt(value(), "--split");
        else if (a == "--noise")
            o.noise = toInt(value(), "--noise");
        else if (a == "--late-every")
            o.lateEvery = toInt(value(), "--late-every");
        else if (a == "--late-ms")
            o.lateMs = toInt(value(), "--late-ms");
        else if (a == "--cycle")
            o.cycleSeconds = toInt(value(), "--cycle");
        else if (a == "--silent-after")
            o.silentAfter = value();
        else if (a == "--stuck-segment")
            o.stuck.push_back(stuckSegment(value()));
        else if (a == "--transcript")
            o.transcript = path();
        else if (a == "--lifetime-file")
            o.lifetimeFile = path();
        else if (a == "--max-seconds")
            o.maxSeconds = toInt(value(), "--max-seconds");
        else if (a == "--quiet")
            o.quiet = true;
        else
            fail("unknown option " + a + " (see --help)");
    }
    return o;
}

speed_t speedOf(int baud) {
    switch (baud) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            fail("unsupported --baud " + std::to_string(baud));
    }
}

void makeRaw(int fd, const Options& o, bool configureLine) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (configureLine) {
        cfsetispeed(&t, speedOf(o.baud));
        cfsetospeed(&t, speedOf(o.baud));
        t.c_cflag &= ~CSIZE;
        t.c_cflag |= o.dataBits == 5 ? CS5 : o.dataBits == 6 ? CS6 : o.dataBits == 7 ? CS7 : CS8;
        t.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSTOPB);
        if (o.parity == "odd")
            t.c_cflag |= PARENB | PARODD;
        else if (o.parity == "even")
            t.c_cflag |= PARENB;
        else if (o.parity == "mark")
            t.c_cflag |= PARENB | PARODD | CMSPAR;
        else if (o.parity == "space")
            t.c_cflag |= PARENB | CMSPAR;
        else if (o.parity != "none")
            fail("bad --parity " + o.parity);
        if (o.stopBits == "2" || o.stopBits == "1.5")
            t.c_cflag |= CSTOPB;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

using Clock = std::chrono::steady_clock;

struct Pending {
    Clock::time_point when;
    std::string bytes;
    std::string kind;  // transcript kind, empty for the second part of a split answer
    std::string text;
};

// Bytes read from the line, handled once the line would have carried them (--pace).
struct Arriving {
    Clock::time_point when;
    std::string bytes;
};

std::string printable(const std::string& s) {
    std::string out;
    char b[8];
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += static_cast<char>(c);
        else {
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
    }
    return out;
}

class Simulator {
  public:
    explicit Simulator(Options o) : o_(std::move(o)), rng_(o_.seed), start_(Clock::now()) {
        state_.version = o_.version;
        state_.backlight = o_.backlight;
        if (!o_.transcript.empty()) {
            transcript_ = std::fopen(o_.transcript.c_str(), "w");
            if (transcript_ == nullptr)
                fail("cannot write " + o_.transcript);
        }
    }
    ~Simulator() {
        if (transcript_)
            std::fclose(transcript_);
    }

    // Whether the simulator is to go on: no signal, its lifetime file still there, its
    // time not up.
    bool alive() const {
        if (stopRequested) {
            return false;
        }
        if (!o_.lifetimeFile.empty() && access(o_.lifetimeFile.c_str(), F_OK) != 0) {
            return false;
        }
        return o_.maxSeconds <= 0 || Clock::now() - start_ < std::chrono::seconds(o_.maxSeconds);
    }

    void run(int fd) {
        uint8_t buffer[512];
        while (alive()) {
            int timeout = 200;
            for (const Clock::time_point* next :
                 {queue_.empty() ? nullptr : &queue_.front().when,
                  arriving_.empty() ? nullptr : &arriving_.front().when}) {
                if (next != nullptr) {
                    const auto wait =
                        std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now())
                            .count();
                    timeout = static_cast<int>(
                        std::max<long long>(0, std::min<long long>(wait, timeout)));
                }
            }
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, timeout);
            if (ready > 0 && (p.revents & POLLIN)) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n > 0 && o_.pace) {
                    rxFree_ = onLine(rxFree_, static_cast<size_t>(n));
                    arriving_.push_back(
                        Arriving{rxFree_, std::string(reinterpret_cast<char*>(buffer), n)});
                } else if (n > 0) {
                    received(buffer, static_cast<size_t>(n));
                }
            } else if (ready > 0 && (p.revents & (POLLHUP | POLLERR))) {
                usleep(20000);  // nobody has the other side open right now
            }
            while (!arriving_.empty() && arriving_.front().when <= Clock::now()) {
                const std::string bytes = arriving_.front().bytes;
                arriving_.pop_front();
                received(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            }
            flushDue(fd);
        }
    }

  private:
    // When `bytes` bytes that start on the line at `from` (or now, when later) have
    // crossed it: 10 bits a byte at --baud.
    Clock::time_point onLine(Clock::time_point from, size_t bytes) const {
        const auto wire = std::chrono::duration<double, std::milli>(
            10000.0 * static_cast<double>(bytes) / o_.baud);
        return std::max(from, Clock::now()) + std::chrono::duration_cast<Clock::duration>(wire);
    }

    // Queues bytes to be written at `when`; with --pace, once they would have been sent.
    void enqueue(Clock::time_point when, std::string bytes, std::string kind, std::string text) {
        if (o_.pace) {
            when = txFree_ = onLine(std::max(when, txFree_), bytes.size());
        }
        queue_.push_back(Pending{when, std::move(bytes), std::move(kind), std::move(text)});
    }

    int lightLevel() const {
        if (!o_.wave)
            return o_.light;
        const double t = std::chrono::duration<double>(Clock::now() - start_).count();
        const double phase = std::fmod(t / o_.wavePeriod, 1.0);
        const double tri = phase < 0.5 ? phase * 2 : 2 - phase * 2;
        return static_cast<int>(std::lround(o_.waveMin + (o_.waveMax - o_.waveMin) * tri));
    }

    void log(const std::string& kind, const std::string& text, const std::string& bytes) {
        if (!transcript_)
            return;
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
        std::fprintf(transcript_, "%lld\t%s\t%s\t%s\n", ms, kind.c_str(), printable(text).c_str(),
                     towersim::hex(bytes).c_str());
        std::fflush(transcript_);
    }

    void received(const uint8_t* bytes, size_t n) {
        for (const towersim::ReceivedFrame& f : assembler_.feed(bytes, n)) {
            if (!f.checksumOk) {
                log("rx-bad", f.text, f.raw);
                continue;
            }
            log("rx", f.text, f.raw);
            const int light = lightLevel();
            towersim::followLight(state_, light);
            towersim::Answer a = towersim::execute(state_, f.text, light);
            for (const Options::Stuck& s : o_.stuck) {
                state_.display[s.row][s.digit] &= static_cast<uint8_t>(~s.towerBit);
            }
            answer(a);
            silenced_ = silenced_ || (!o_.silentAfter.empty() && f.text == o_.silentAfter);
        }
    }

    // The tower's manner of the moment under --cycle.
    enum class Manner { Answers, Silent, Corrupts, Splits };
    Manner manner() const {
        if (o_.cycleSeconds <= 0) {
            return Manner::Answers;
        }
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start_);
        return static_cast<Manner>((s.count() / o_.cycleSeconds) % 4);
    }

    void answer(towersim::Answer a) {
        const Manner m = manner();
        if (o_.silent || silenced_ || m == Manner::Silent)
            return;
        if (m == Manner::Corrupts && !a.isData) {
            a.bytes = "\x15";  // NAK
            a.text = "NAK";
        }
        ++answers_;
        if ((o_.dropEvery > 0 && answers_ % o_.dropEvery == 0) ||
            (o_.dropFraction > 0 &&
             std::uniform_real_distribution<double>(0, 1)(rng_) < o_.dropFraction)) {
            log("tx-drop", a.text, a.bytes);
            return;
        }
        if (a.isData) {
            ++dataAnswers_;
            if ((o_.badChecksumEvery > 0 && dataAnswers_ % o_.badChecksumEvery == 0) ||
                m == Manner::Corrupts) {
                char& digit = a.bytes[a.bytes.size() - 2];
                digit = digit == '0' ? '1' : '0';
            }
        }
        auto when = Clock::now() + std::chrono::milliseconds(o_.delayMs);
        if (o_.lateEvery > 0 && answers_ % o_.lateEvery == 0) {
            when += std::chrono::milliseconds(o_.lateMs);
        }
        if (!queue_.empty() && queue_.back().when > when)
            when = queue_.back().when;
        if (o_.noise > 0) {
            std::string noise;
            for (int i = 0; i < o_.noise; ++i) {
                noise += static_cast<char>("xZ\x7F\x55\x0A\x0D\x80\xFF"[i % 8]);
            }
            enqueue(when, noise, "tx-noise", "noise");
        }
        const int splitMs = m == Manner::Splits ? 15 : o_.splitMs;
        if (splitMs >= 0 && a.bytes.size() > 1) {
            const size_t half = a.bytes.size() / 2;
            // The transcript shows the whole answer when its first part goes out.
            enqueue(when, a.bytes.substr(0, half), "tx-split", a.text);
            enqueue(when + std::chrono::milliseconds(splitMs), a.bytes.substr(half), "", a.text);
            splitWhole_.push_back(a.bytes);
        } else {
            enqueue(when, a.bytes, "tx", a.text);
        }
    }

    void flushDue(int fd) {
        while (!queue_.empty() && queue_.front().when <= Clock::now()) {
            Pending p = queue_.front();
            queue_.pop_front();
            if (p.kind == "tx-split") {
                log("tx", p.text, splitWhole_.front());
                splitWhole_.pop_front();
            } else if (!p.kind.empty()) {
                log(p.kind, p.text, p.bytes);
            }
            size_t done = 0;
            while (done < p.bytes.size()) {
                const ssize_t w = write(fd, p.bytes.data() + done, p.bytes.size() - done);
                if (w <= 0)
                    break;
                done += static_cast<size_t>(w);
            }
        }
    }

    Options o_;
    towersim::TowerState state_;
    towersim::FrameAssembler assembler_;
    std::deque<Pending> queue_;
    std::deque<Arriving> arriving_;
    Clock::time_point rxFree_{};  // --pace: when the line has carried what was read
    Clock::time_point txFree_{};  // --pace: when the line has carried what was queued
    std::deque<std::string> splitWhole_;
    std::mt19937 rng_;
    Clock::time_point start_;
    FILE* transcript_ = nullptr;
    long answers_ = 0;
    long dataAnswers_ = 0;
    bool silenced_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    signal(SIGHUP, onSignal);
    signal(SIGPIPE, SIG_IGN);

    int fd = -1;
    int slaveKeeper = -1;
    std::string path;
    if (!o.device.empty()) {
        fd = open(o.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            fail("cannot open " + o.device + ": " + std::strerror(errno));
        makeRaw(fd, o, true);
        path = o.device;
    } else {
        fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0)
            fail("cannot create a pseudo-terminal");
        path = ptsname(fd);
        // Holding the slave side open keeps the pseudo-terminal alive while the program
        // closes and reopens its port, and lets us make it raw before anyone uses it.
        slaveKeeper = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (slaveKeeper >= 0)
            makeRaw(slaveKeeper, o, false);
        makeRaw(fd, o, false);
    }
    if (!o.link.empty()) {
        unlink(o.link.c_str());
        if (symlink(path.c_str(), o.link.c_str()) != 0)
            fail("cannot link " + o.link);
    }
    if (!o.pathFile.empty()) {
        FILE* f = std::fopen(o.pathFile.c_str(), "w");
        if (f == nullptr)
            fail("cannot write " + o.pathFile);
        std::fprintf(f, "%s\n", path.c_str());
        std::fclose(f);
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    if (!o.quiet) {
        std::fprintf(stderr, "tower-sim: price controller on %s\n", path.c_str());
    }

    Simulator sim(o);
    sim.run(fd);

    if (!o.link.empty())
        unlink(o.link.c_str());
    if (!o.pathFile.empty())
        unlink(o.pathFile.c_str());
    if (slaveKeeper >= 0)
        close(slaveKeeper);
    close(fd);
    return 0;
}
