// The tower simulator, driven over a real pseudo-terminal as the program drives the tower.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// The price text of three tower bytes, decoded as the program's read-back does it.
std::string priceText(const std::string& sixHex) {
    static const unsigned kTable[8] = {0x10, 0x20, 0x40, 0x01, 0x02, 0x08, 0x04, 0x80};
    static const unsigned kDigits[10] = {0x7B, 0x60, 0x37, 0x75, 0x6C,
                                         0x5D, 0x5F, 0x70, 0x7F, 0x7D};
    std::string text(6, ' ');
    size_t pos = 0;
    for (int d = 0; d < 3; ++d) {
        const unsigned tower =
            static_cast<unsigned>(std::stoul(sixHex.substr(2 * d, 2), nullptr, 16));
        unsigned code = 0;
        for (int bit = 7; bit >= 0; --bit) {
            if (tower & (1u << bit)) {
                code |= kTable[7 - bit];
            }
        }
        bool found = false;
        for (int k = 0; k < 10; ++k) {
            if ((code & 0x7F) == kDigits[k]) {
                text[pos++] = static_cast<char>('0' + k);
                found = true;
            }
        }
        if (!found && (code & 0x04)) {
            text[pos++] = '-';
        } else if (!found && (code & 0x7F) == 0) {
            ++pos;
        }
        if (code & 0x80) {
            text[pos++] = '.';
        }
    }
    text.resize(pos);
    return text.substr(0, 3) == "   " ? "" : text;
}

TEST_F(TowerSimTest, WorkedExampleFramesAreAcceptedAndAcknowledged) {
    start();
    line->write("\x02\x32\x30\x43\x33\x33\x03");  // "20C"
    EXPECT_EQ(line->readBytes(35).size(), 35u);
    line->write("\x02\x61\x62\x63\x31\x32\x03");  // "abc"
    EXPECT_EQ(line->readFor(150), ACK);
    line->write("\x02\x32\x31\x43\x35\x2E\x34\x39\x32\x34\x03");  // "21C5.49"
    EXPECT_EQ(line->readFor(150), ACK);
}

TEST_F(TowerSimTest, ReadsAnswerWithTheExactBytes) {
    start({"--light", "87", "--version-text", "3.1"});
    EXPECT_EQ(ask("21M5.49"), ACK);
    EXPECT_EQ(toHex(ask("20M")), "02 4D 31 30 30 30 30 30 45 03");
    EXPECT_EQ(ask("21C5.49"), ACK);
    EXPECT_EQ(ask("20C"), frameOf("CB766F6" + std::string(24, '0')));
    EXPECT_EQ(frameOf("CB766F6" + std::string(24, '0')).size(), 35u);
    EXPECT_EQ(toHex(frameOf("CB766F6" + std::string(24, '0'))).substr(96), "33 34 03");
    EXPECT_EQ(ask("20S"), frameOf("S87"));
    EXPECT_EQ(ask("20V"), frameOf("V3.1"));
    EXPECT_EQ(ask("20Z"), frameOf("Z0"));
    EXPECT_EQ(ask("20A"), frameOf("A0"));
    EXPECT_EQ(ask("20l"), frameOf("l50"));
}

TEST_F(TowerSimTest, SettingsAreAcknowledgedAndReadBack) {
    start();
    for (const char* command : {"20l10", "20o200", "20L100", "20O255", "20E"}) {
        EXPECT_EQ(ask(command), ACK) << command;
    }
    EXPECT_EQ(ask("20l"), frameOf("l10"));
    EXPECT_EQ(ask("20o"), frameOf("o200"));
    EXPECT_EQ(ask("20L"), frameOf("L100"));
    EXPECT_EQ(ask("20O"), frameOf("O255"));
    EXPECT_EQ(ask("20l300"), ACK);
    EXPECT_EQ(ask("20l"), frameOf("l10"));
}

TEST_F(TowerSimTest, AutomaticBacklightFollowsTheLightLevel) {
    start({"--light", "30"});
    EXPECT_EQ(ask("20Z1"), ACK);
    EXPECT_EQ(ask("20Z"), frameOf("Z1"));
    EXPECT_EQ(ask("20A1"), ACK);
    EXPECT_EQ(ask("20A"), frameOf("A1"));
    EXPECT_EQ(ask("20Z0"), ACK);
    EXPECT_EQ(ask("20Z"), frameOf("Z1"));  // 30 is below the low level 50: stays on
    EXPECT_EQ(ask("20L20"), ACK);
    EXPECT_EQ(ask("20l10"), ACK);
    EXPECT_EQ(ask("20Z"), frameOf("Z0"));  // now above the high level 20: off
}

TEST_F(TowerSimTest, AWrongChecksumAndBytesOutsideFramesGetNoAnswer) {
    start();
    line->write(
        "\x02"
        "20C34\x03");
    EXPECT_EQ(line->readFor(300), "");
    line->write("junk\x03\x06");
    EXPECT_EQ(line->readFor(200), "");
    line->write("xx" + frameOf("20E") + "yy");
    EXPECT_EQ(line->readFor(200), ACK);
    ASSERT_EQ(sim->lines("rx-bad").size(), 1u);
    EXPECT_EQ(sim->lines("rx-bad")[0].text, "20C");
    ASSERT_EQ(sim->lines("rx").size(), 1u);
}

TEST_F(TowerSimTest, AnyControllerDigitAddressesThePriceDisplays) {
    start();
    EXPECT_EQ(ask("51C1.23"), ACK);
    EXPECT_EQ(ask("03B00FF60"), ACK);
    const std::string answer = ask("20C");
    ASSERT_EQ(answer.size(), 35u);
    EXPECT_EQ(priceText(answer.substr(2, 6)), "1.23");
    EXPECT_EQ(answer.substr(14, 6), "00FF60");
}

TEST_F(TowerSimTest, AnIndependentClientSetsPricesAndReadsThemBack) {
    start();
    const char* prices[5] = {"5.49", "6.09", "-.--", "12.3", ""};
    for (int k = 0; k < 5; ++k) {
        const std::string command =
            std::string("2") + char('1' + k) + (k == 1 ? "M" : "C") + prices[k];
        EXPECT_EQ(ask(command), ACK) << command;
    }
    EXPECT_EQ(ask("20E"), ACK);
    const std::string c = ask("20C");
    ASSERT_EQ(c.size(), 35u);
    EXPECT_EQ(c[1], 'C');
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(priceText(c.substr(2 + 6 * k, 6)), prices[k]) << k;
    }
    EXPECT_EQ(ask("20M"), frameOf("M01000"));
    EXPECT_EQ(ask("20Z1"), ACK);
    EXPECT_EQ(ask("20Z"), frameOf("Z1"));
    EXPECT_EQ(ask("20Z0"), ACK);
    EXPECT_EQ(ask("20Z"), frameOf("Z0"));
}

TEST_F(TowerSimTest, ASilentTowerAnswersNothingButHearsEverything) {
    start({"--silent"});
    EXPECT_EQ(ask("20E", 300), "");
    EXPECT_EQ(ask("20C", 300), "");
    EXPECT_EQ(sim->lines("rx").size(), 2u);
    EXPECT_EQ(sim->lines("tx").size(), 0u);
}

TEST_F(TowerSimTest, DropEveryNthAnswer) {
    start({"--drop-every", "2"});
    EXPECT_EQ(ask("20E"), ACK);
    EXPECT_EQ(ask("20E"), "");
    EXPECT_EQ(ask("20E"), ACK);
    EXPECT_EQ(sim->lines("tx-drop").size(), 1u);
}

TEST_F(TowerSimTest, DropAFractionWithASeedIsRepeatable) {
    auto pattern = [this](const char* seed) {
        start({"--drop-fraction", "0.5", "--seed", seed});
        std::string answered;
        for (int i = 0; i < 12; ++i) {
            answered += ask("20E", 60).empty() ? '-' : 'A';
        }
        return answered;
    };
    const std::string first = pattern("7");
    const std::string second = pattern("7");
    EXPECT_EQ(first, second);
    EXPECT_NE(first.find('-'), std::string::npos);
    EXPECT_NE(first.find('A'), std::string::npos);
}

TEST_F(TowerSimTest, BadChecksumSpoilsDataAnswersOnly) {
    start({"--bad-checksum", "1"});
    EXPECT_EQ(ask("20E"), ACK);
    const std::string answer = ask("20S");
    ASSERT_FALSE(answer.empty());
    EXPECT_NE(answer, frameOf("S120"));
    EXPECT_EQ(answer.substr(0, 5), frameOf("S120").substr(0, 5));
}

TEST_F(TowerSimTest, SplitAnswersArriveInTwoParts) {
    start({"--split", "300"});
    line->write(frameOf("20V"));
    const std::string first = line->readFor(150);
    EXPECT_FALSE(first.empty());
    EXPECT_LT(first.size(), frameOf("V2.07").size());
    EXPECT_EQ(first + line->readFor(400), frameOf("V2.07"));
}

TEST_F(TowerSimTest, NoiseComesBeforeTheAnswer) {
    start({"--noise", "3"});
    const std::string answer = ask("20E");
    ASSERT_EQ(answer.size(), 4u);
    EXPECT_EQ(answer.substr(3), ACK);
    for (char c : answer.substr(0, 3)) {
        EXPECT_NE(c, '\x02');
        EXPECT_NE(c, '\x03');
        EXPECT_NE(c, '\x06');
    }
}

TEST_F(TowerSimTest, DelayedAndLateAnswers) {
    start({"--delay", "200", "--late-every", "2", "--late-ms", "600"});
    line->write(frameOf("20E"));
    EXPECT_EQ(line->readFor(120), "");
    EXPECT_EQ(line->readFor(400), ACK);
    line->write(frameOf("20E"));
    EXPECT_EQ(line->readFor(500), "");
    EXPECT_EQ(line->readFor(800), ACK);
    const auto rx = sim->lines("rx");
    const auto tx = sim->lines("tx");
    ASSERT_EQ(rx.size(), 2u);
    ASSERT_EQ(tx.size(), 2u);
    EXPECT_GE(tx[0].ms - rx[0].ms, 190);
    EXPECT_GE(tx[1].ms - rx[1].ms, 790);
}

TEST_F(TowerSimTest, TranscriptListsFramesAndAnswersInOrder) {
    start();
    ask("21C4.59");
    ask("20S");
    const auto t = sim->transcript();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].kind, "rx");
    EXPECT_EQ(t[0].text, "21C4.59");
    EXPECT_EQ(t[0].hex, toHex(frameOf("21C4.59")));
    EXPECT_EQ(t[1].kind, "tx");
    EXPECT_EQ(t[1].text, "ACK");
    EXPECT_EQ(t[1].hex, "06");
    EXPECT_EQ(t[2].text, "20S");
    EXPECT_EQ(t[3].text, "S120");
    EXPECT_LE(t[0].ms, t[1].ms);
    EXPECT_LE(t[1].ms, t[2].ms);
}

TEST_F(TowerSimTest, TheLightLevelCanMoveOverTime) {
    start({"--light-wave", "0:200:1"});
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        seen.push_back(ask("20S", 50));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_NE(seen.front(), seen.back());
}

TEST(TowerSimLife, EndsWhenItsLifetimeFileIsRemoved) {
    const std::string keep = "/tmp/vorda-sim-life-" + std::to_string(getpid());
    FILE* f = std::fopen(keep.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    FILE* p =
        popen((std::string(TOWER_SIM_PATH) + " --quiet --lifetime-file " + keep).c_str(), "r");
    ASSERT_NE(p, nullptr);
    char path[256] = {};
    ASSERT_NE(std::fgets(path, sizeof path, p), nullptr);
    EXPECT_EQ(std::string(path).substr(0, 9), "/dev/pts/");
    std::remove(keep.c_str());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pclose(p), 0);  // waits for the simulator to end
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(TowerSimOptions, AWindowsPathIsRefusedRatherThanMadeAFileName) {
    test::TempDir dir;
    const std::string command = "cd " + dir.path() + " && " TOWER_SIM_PATH
                                " --quiet --max-seconds 1 --path-file 'Z:\\tmp\\p' 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(test::fileExists(dir.file("Z:\\tmp\\p")));
}

TEST(TowerSimHelp, DocumentsEveryOption) {
    FILE* p = popen(TOWER_SIM_PATH " --help", "r");
    ASSERT_NE(p, nullptr);
    std::string help;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) {
        help.append(buffer, n);
    }
    EXPECT_EQ(pclose(p), 0);
    for (const char* option :
         {"--link",         "--path-file",    "--device",         "--baud",
          "--data-bits",    "--parity",       "--stop-bits",      "--light",
          "--light-wave",   "--version-text", "--backlight",      "--delay",
          "--silent",       "--drop-every",   "--drop-fraction",  "--seed",
          "--bad-checksum", "--split",        "--noise",          "--late-every",
          "--late-ms",      "--transcript",   "Transcript lines", "How the controller"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace vorda::test
