// The tower simulator, driven over a real pseudo-terminal as the program drives the tower.
// (Its answers to the program's reads are also checked through the program in
// tests/controller/with_tower_test.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include "support/test_support.h"
#include "support/tower_sim_process.h"

namespace vorda::test {
namespace {

const std::string ACK = "\x06";

class TowerSimTest : public ::testing::Test {
  protected:
    void start(const std::vector<std::string>& options = {}) {
        sim = std::make_unique<TowerSim>(options);
        ASSERT_FALSE(sim->path().empty());
        line = std::make_unique<LineEnd>(sim->path());
    }
    // Sends a command and collects what comes back within `ms`.
    std::string ask(const std::string& text, int ms = 150) {
        line->write(frameOf(text));
        return line->readFor(ms);
    }
    std::unique_ptr<TowerSim> sim;
    std::unique_ptr<LineEnd> line;
};

// Each "command:answer", the answer the text of a frame, "ACK", or nothing.
TEST_F(TowerSimTest, AnswersAsTheTowerDoesFaultsSpoilDelaySplitAndSurroundThemAndItsLife) {
    const struct {
        std::vector<std::string> options, exchanges;
    } cases[] = {
        {{"--light", "87", "--version-text", "3.1"},
         {"abc:ACK", "21M5.49:ACK", "20M:M10000", "20S:S87", "20V:V3.1", "20Z:Z0", "20A:A0",
          "20l:l50", "20C:CB766F6000000000000000000000000"}},
        {{},
         {"20l10:ACK", "20o200:ACK", "20L100:ACK", "20O255:ACK", "20l300:ACK", "20l:l10",
          "20o:o200", "20L:L100", "20O:O255", "20Z1:ACK", "20Z:Z1", "20Z0:ACK", "20Z:Z0"}},
        // Automatic backlight follows the light level: on below the low level, off above
        // the high one, and the buttons are ignored meanwhile.
        {{"--light", "30"},
         {"20A1:ACK", "20A:A1", "20Z0:ACK", "20Z:Z1", "20L20:ACK", "20l10:ACK", "20Z:Z0"}},
        {{"--drop-every", "2"}, {"20E:ACK", "20E:", "20E:ACK"}},
    };
    for (const auto& c : cases) {
        start(c.options);
        for (const std::string& exchange : c.exchanges) {
            const size_t colon = exchange.find(':');
            const std::string answer = exchange.substr(colon + 1);
            EXPECT_EQ(toHex(ask(exchange.substr(0, colon))),
                      toHex(answer == "ACK"  ? ACK
                            : answer.empty() ? ""
                                             : frameOf(answer)))
                << exchange;
        }
    }
    EXPECT_EQ(sim->lines("tx-drop").size(), 1u);
    // A wrong checksum and bytes outside frames get no answer; the transcript has them.
    start();
    line->write("\x02" + std::string("20C34\x03junk\x03\x06") + "xx" + frameOf("21C4.59"));
    EXPECT_EQ(line->readFor(300), ACK);
    ASSERT_EQ(sim->lines("rx-bad").size(), 1u);
    EXPECT_EQ(sim->lines("rx-bad")[0].text, "20C");
    const auto t = sim->transcript();
    EXPECT_EQ(t.back().text, "ACK");
    EXPECT_EQ(t[t.size() - 2].hex, toHex(frameOf("21C4.59")));
    // Faults spoil, delay, split and surround the answers.
    start({"--bad-checksum", "1", "--noise", "3"});
    EXPECT_EQ(ask("20E").substr(3), ACK);  // three bytes of noise first
    const std::string spoilt = ask("20S");
    EXPECT_EQ(spoilt.substr(3, 5), frameOf("S120").substr(0, 5));
    EXPECT_NE(spoilt.substr(3), frameOf("S120"));
    start({"--split", "300"});
    line->write(frameOf("20V"));
    const std::string first = line->readFor(150);
    EXPECT_LT(first.size(), frameOf("V2.07").size());
    EXPECT_EQ(first + line->readFor(400), frameOf("V2.07"));
    start({"--delay", "200", "--late-every", "2", "--late-ms", "600"});
    for (int late : {0, 1}) {
        line->write(frameOf("20E"));
        EXPECT_EQ(line->readFor(late ? 500 : 120), "");
        EXPECT_EQ(line->readFor(late ? 800 : 400), ACK);
    }
    start({"--cycle", "1"});  // answers, is silent, corrupts, splits: a second each
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(ask("20E"), ACK);
    std::this_thread::sleep_until(begun + std::chrono::milliseconds(1400));
    EXPECT_EQ(ask("20E"), "");
    std::this_thread::sleep_until(begun + std::chrono::milliseconds(2400));
    EXPECT_EQ(ask("20E"), "\x15");
    start({"--pace", "--baud", "300"});  // a frame of 7 bytes and its ACK: 267 ms on the line
    line->write(frameOf("20E"));
    EXPECT_EQ(line->readFor(150), "");
    EXPECT_EQ(line->readFor(600), ACK);
    auto pattern = [this](const char* seed) {
        start({"--drop-fraction", "0.5", "--seed", seed});
        std::string answered;
        for (int i = 0; i < 12; ++i) {
            answered += ask("20E", 60).empty() ? '-' : 'A';
        }
        return answered;
    };
    const std::string once = pattern("7");
    EXPECT_EQ(once, pattern("7"));  // repeatable with its seed
    EXPECT_NE(once.find('-'), std::string::npos);
    EXPECT_NE(once.find('A'), std::string::npos);
    start({"--light-wave", "0:200:1"});
    std::set<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        seen.insert(ask("20S", 50));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_GT(seen.size(), 1u);
    // It ends when its lifetime file goes; a Windows path is refused rather than made a name.
    TempDir dir;
    writeFile(dir.file("alive"), "");
    FILE* p = popen((TOWER_SIM_PATH " --quiet --lifetime-file " + dir.file("alive")).c_str(), "r");
    ASSERT_NE(p, nullptr);
    char path[256] = {};
    ASSERT_NE(std::fgets(path, sizeof path, p), nullptr);
    EXPECT_EQ(std::string(path).substr(0, 9), "/dev/pts/");
    std::remove(dir.file("alive").c_str());
    EXPECT_EQ(pclose(p), 0);
    EXPECT_NE(std::system(("cd " + dir.path() +
                           " && " TOWER_SIM_PATH
                           " --quiet --max-seconds 1 --path-file 'Z:\\tmp\\p' 2>/dev/null")
                              .c_str()),
              0);
    EXPECT_FALSE(fileExists(dir.file("Z:\\tmp\\p")));
}

}  // namespace
}  // namespace vorda::test
