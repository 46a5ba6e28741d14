// The control file: lines, brace codes, pauses and queueing, with a fixed clock and the
// pauses recorded instead of waited.
#include <gtest/gtest.h>

#include "common/fake_ui.h"
#include "engine/script_runner.h"
#include "support/test_support.h"

namespace vorda {
namespace {

// The panel's boxes, as the controller hands them on.
struct Boxes : ScriptListener {
    explicit Boxes(test::FakeUi& ui) : ui(ui) {}
    void onScriptStarted() override {}
    void onScriptEnded() override {}
    std::string priceBoxText(int row) override { return ui.priceText(row); }
    std::string temperatureText() override { return ui.temperature(); }
    test::FakeUi& ui;
};

class Runner : public ::testing::Test {
  protected:
    void SetUp() override { clock.now = LocalTime{2026, 12, 5, 12, 34, 56}; }
    // Plays `text` from its start for at most `steps` lines into an empty mailbox, recording
    // its pauses afresh.
    void play(const std::string& text, int steps = 100, bool pauseFirst = true) {
        mailbox.clear();
        pauses.clear();
        buffer = text;
        RunnerState state;
        state.pauseBeforeNextLine = pauseFirst;
        for (int i = 0; i < steps && state.active; ++i) {
            ASSERT_TRUE(runner.step(buffer.c_str(), state, recordPause));
        }
    }
    std::vector<std::string> queued() {
        std::vector<std::string> out;
        for (int n = 3; n <= 7; ++n) {
            if (mailbox.pending(n)) {
                out.push_back(std::to_string(n) + ":" + mailbox.text(n));
            }
        }
        return out;
    }

    test::FixedClock clock;
    test::FakeUi ui;
    Mailbox mailbox;
    PriceBoard board{BoardRepaint{}};
    Boxes listener{ui};
    ScriptRunner runner{mailbox, board, clock.clock(), listener};
    std::string buffer;
    std::vector<uint32_t> pauses;
    RunnerPause recordPause = [this](uint32_t ms) {
        pauses.push_back(ms);
        return true;
    };
};

using Lines = std::vector<std::string>;
using Pauses = std::vector<uint32_t>;

TEST_F(Runner, LinesAreExpandedQueuedPausedRepeatedAndRebuiltAndHaveTheirLimits) {
    ui.setPriceBox(0, "4,59");  // {P} gives the decimal comma as the point
    ui.setPriceBox(1, "123456789");
    ui.setTemperature("23");
    const struct {
        std::string text;
        Lines queued;
        Pauses pauses;  // 1 ms before each line that follows a non-command line
    } cases[] = {
        {"{S1000}\r\n", {}, {1, 1000, 1}},
        {"21C{P}\r\n22C{T}\r\n23T{D}\r\n", {"3:21C4.59", "4:22C23\177C", "5:23T05/12/2026"}, {1}},
        {"20S\r\n01abc\r\n81C1\r\nprice board cycle\r\n", {"3:01abc"}, {1, 1, 1}},
        {"{C} now\r\n", {"4:12:34:56 now"}, {1}},  // classified after expansion
        {"21C1\r\n22C2", {"3:21C1", "4:22C2"}, {1}},
        {"21C1\r\n21C2\r\n", {"3:21C2"}, {1}},
        {"21C{}{S7}\r\n22C{}xy{S7}\r\n", {"3:21C{S7}", "4:22Cxy{S7}"}, {1, 7}},
        {"21C{s1000}{X}\r\n", {"3:21C{s1000}{X}"}, {1}},
        {"2{P}1C5\r\n", {"3:21C5"}, {1}},      // {P} outside a price line is empty
        {"22C{P}\r\n", {"4:22C123456"}, {1}},  // at most six characters
        {"21C" + std::string(28, '1') + "\r\n22C" + std::string(27, '2') + "\r\n",
         {"4:22C" + std::string(27, '2')},
         {1}},                                  // too long for a slot: not queued
        {"21C\0025\003\r\n", {"3:21C5"}, {1}},  // control bytes never reach a frame
    };
    for (const auto& c : cases) {
        play(c.text);
        EXPECT_EQ(queued(), c.queued) << c.text;
        EXPECT_EQ(pauses, c.pauses) << c.text;
    }
    // The scan goes on behind the code as it stood: an empty temperature skips "{".
    ui.setTemperature("");
    play("22C{T}{S5}\r\n");
    EXPECT_EQ(queued(), Lines{"4:22C\177C{S5}"});
    EXPECT_EQ(pauses, Pauses{1});
    // A restart repeats the text and pauses every pass.
    play("21C1\r\n{G}\r\n", 10);
    EXPECT_EQ(pauses, Pauses(10, 1));
    play("21C{C}{G}", 3, false);  // command lines alone cannot spin
    EXPECT_EQ(pauses, Pauses(3, 1));
    // Segment lines are rebuilt from the price board.
    board.showCommand("21C1  ");
    EXPECT_EQ(runner.commandTextOf("21B1"), "21BE00000");
    EXPECT_EQ(runner.commandTextOf("21B0x0"), "21B400000");  // 'x' uses up its bit
    EXPECT_EQ(runner.commandTextOf("21B" + std::string(24, '0')), "21B000000");
    EXPECT_EQ(runner.commandTextOf("23B" + std::string(27, '1')), "23BFFFFFF");
    // Lines, pauses, buffers and the file have their limits.
    const struct {
        const char* argument;
        uint32_t ms;
    } pausesOf[] = {
        {"1000", 1000},      {"  250ms", 250}, {"\t \t250", 250},   {"+5", 5},
        {"-1", 4294967295u}, {"x", 0},         {"          12", 0}, {"123456789012", 1234567890u}};
    for (const auto& p : pausesOf) {
        EXPECT_EQ(ScriptRunner::pauseMilliseconds(p.argument), p.ms) << p.argument;
    }
    RunnerState state;
    const std::string text = "21Ca\nb\r\n22Cc\rjunk\n23C" + std::string(300, '1') + "\r\n24Cd";
    EXPECT_EQ(ScriptRunner::readLine(text.c_str(), state), "21Ca\nb");
    EXPECT_EQ(ScriptRunner::readLine(text.c_str(), state), "22Cc");
    EXPECT_EQ(ScriptRunner::readLine(text.c_str(), state).size(), 249u);
    EXPECT_EQ(ScriptRunner::readLine(text.c_str(), state), "24Cd");
    EXPECT_FALSE(state.active);
    std::string line = "2";
    for (int i = 0; i < 30; ++i) {
        line += "{D}";
    }
    ASSERT_TRUE(runner.expandBraceCodes(line, state, recordPause));
    EXPECT_EQ(line.size(), 255u);
    // The file is loaded up to its first NUL and 29999 bytes.
    test::TempDir dir;
    EXPECT_EQ(runner.start(""), Result::FileMissing);
    const std::string file = "{S60000}" + std::string(29990, 'x') + "yz";
    test::writeFile(dir.file("f.txt"), file);
    ASSERT_EQ(runner.start(dir.file("f.txt")), Result::Ok);
    EXPECT_EQ(std::string(runner.loadedText()), file.substr(0, 29999));
    EXPECT_TRUE(runner.stop());
    test::writeFile(dir.file("f.txt"), std::string("{S60000}\r\n\00022C2\r\n", 17));
    ASSERT_EQ(runner.start(dir.file("f.txt")), Result::Ok);
    EXPECT_STREQ(runner.loadedText(), "{S60000}\r\n");
    EXPECT_TRUE(runner.stop());
}

}  // namespace
}  // namespace vorda
