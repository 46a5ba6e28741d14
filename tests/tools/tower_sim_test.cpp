// The tower simulator, driven over a real pseudo-terminal as the program drives the tower.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "protocol/segments.h"
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

// The price text of three tower bytes in hex, as the program reads them back.
std::string priceText(const std::string& sixHex) {
    uint8_t codes[3];
    for (int d = 0; d < 3; ++d) {
        codes[d] = segmentCodeOfTowerByte(
            static_cast<uint8_t>(std::stoul(sixHex.substr(2 * d, 2), nullptr, 16)));
    }
    return priceTextOfSegments(codes);
}

TEST_F(TowerSimTest, AnswersAsTheTowerDoes) {
    const struct {
        std::vector<std::string> options;
        std::vector<std::pair<std::string, std::string>> exchanges;  // command, answer
    } cases[] = {
        {{"--light", "87", "--version-text", "3.1"},
         {{"abc", ACK},
          {"21M5.49", ACK},
          {"20M", "\x02M100000E\x03"},  // exact bytes
          {"20C", frameOf("CB766F6" + std::string(24, '0'))},
          {"20S", frameOf("S87")},
          {"20V", frameOf("V3.1")},
          {"20Z", frameOf("Z0")},
          {"20A", frameOf("A0")},
          {"20l", frameOf("l50")}}},
        {{},
         {{"20l10", ACK},
          {"20o200", ACK},
          {"20L100", ACK},
          {"20O255", ACK},
          {"20l300", ACK},
          {"20l", frameOf("l10")},
          {"20o", frameOf("o200")},
          {"20L", frameOf("L100")},
          {"20O", frameOf("O255")},
          {"20Z1", ACK},
          {"20Z", frameOf("Z1")},
          {"20Z0", ACK},
          {"20Z", frameOf("Z0")}}},
        // Automatic backlight follows the light level: on below the low level, off above
        // the high one, and the buttons are ignored meanwhile.
        {{"--light", "30"},
         {{"20A1", ACK},
          {"20A", frameOf("A1")},
          {"20Z0", ACK},
          {"20Z", frameOf("Z1")},
          {"20L20", ACK},
          {"20l10", ACK},
          {"20Z", frameOf("Z0")}}},
        {{"--silent"}, {{"20E", ""}, {"20C", ""}}},
        {{"--drop-every", "2"}, {{"20E", ACK}, {"20E", ""}, {"20E", ACK}}},
    };
    for (const auto& c : cases) {
        start(c.options);
        for (const auto& [command, answer] : c.exchanges) {
            EXPECT_EQ(toHex(ask(command)), toHex(answer)) << command;
        }
    }
    EXPECT_EQ(sim->lines("tx-drop").size(), 1u);
}

TEST_F(TowerSimTest, PricesAreShownAsAnyControllerDigitSetsThem) {
    start();
    const char* prices[5] = {"5.49", "6.09", "-.--", "12.3", ""};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(
            ask(std::string(k == 2 ? "5" : "2") + char('1' + k) + (k == 1 ? "M" : "C") + prices[k]),
            ACK);
    }
    std::string c = ask("20C");
    ASSERT_EQ(c.size(), 35u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(priceText(c.substr(2 + 6 * k, 6)), prices[k]) << k;
    }
    EXPECT_EQ(ask("20M"), frameOf("M01000"));
    EXPECT_EQ(ask("03B00FF60"), ACK);
    EXPECT_EQ(ask("20C").substr(14, 6), "00FF60");
}

TEST_F(TowerSimTest, AWrongChecksumAndBytesOutsideFramesGetNoAnswer) {
    start();
    line->write(
        "\x02"
        "20C34\x03junk\x03\x06");
    EXPECT_EQ(line->readFor(300), "");
    line->write("xx" + frameOf("21C4.59") + "yy");
    EXPECT_EQ(line->readFor(200), ACK);
    ASSERT_EQ(sim->lines("rx-bad").size(), 1u);
    EXPECT_EQ(sim->lines("rx-bad")[0].text, "20C");
    const auto t = sim->transcript();  // in order, with the bytes in hex
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1].kind, "rx");
    EXPECT_EQ(t[1].hex, toHex(frameOf("21C4.59")));
    EXPECT_EQ(t[2].kind, "tx");
    EXPECT_EQ(t[2].text, "ACK");
    EXPECT_LE(t[1].ms, t[2].ms);
}

TEST_F(TowerSimTest, FaultsSpoilDelaySplitAndSurroundTheAnswers) {
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
    line->write(frameOf("20E"));
    EXPECT_EQ(line->readFor(120), "");
    EXPECT_EQ(line->readFor(400), ACK);
    line->write(frameOf("20E"));
    EXPECT_EQ(line->readFor(500), "");
    EXPECT_EQ(line->readFor(800), ACK);
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
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        seen.push_back(ask("20S", 50));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_NE(seen.front(), seen.back());
}

TEST(TowerSimOptions, ItsLifeItsHelpAndItsPaths) {
    TempDir dir;
    const std::string keep = dir.file("alive");
    writeFile(keep, "");
    FILE* p =
        popen((std::string(TOWER_SIM_PATH) + " --quiet --lifetime-file " + keep).c_str(), "r");
    ASSERT_NE(p, nullptr);
    char path[256] = {};
    ASSERT_NE(std::fgets(path, sizeof path, p), nullptr);
    EXPECT_EQ(std::string(path).substr(0, 9), "/dev/pts/");
    std::remove(keep.c_str());
    EXPECT_EQ(pclose(p), 0);  // ends when its lifetime file is removed
    // A Windows path is refused rather than made a file name.
    const std::string command = "cd " + dir.path() +
                                " && " TOWER_SIM_PATH
                                " --quiet --max-seconds 1 --path-file 'Z:\\tmp\\p' 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(fileExists(dir.file("Z:\\tmp\\p")));
    p = popen(TOWER_SIM_PATH " --help", "r");
    std::string help(16384, '\0');
    help.resize(std::fread(&help[0], 1, help.size(), p));
    EXPECT_EQ(pclose(p), 0);
    for (const char* option :
         {"--link",         "--path-file",    "--device",         "--baud",
          "--data-bits",    "--parity",       "--stop-bits",      "--light",
          "--light-wave",   "--version-text", "--backlight",      "--delay",
          "--silent",       "--drop-every",   "--drop-fraction",  "--seed",
          "--bad-checksum", "--split",        "--noise",          "--late-every",
          "--late-ms",      "--transcript",   "Transcript lines", "How the controller",
          "--pace",         "--cycle"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace vorda::test
