// The control file: lines, brace codes, pauses and queueing, with a fixed clock and the
// pauses recorded instead of waited.
#include "script/runner.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/fake_ui.h"
#include "preview/price_preview.h"
#include "support/test_support.h"

namespace vorda {
namespace {

class Runner : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.now = LocalTime{2026, 12, 5, 12, 34, 56};
        test::prepareCore(core, dir.path(), &clock);
        ui = std::make_unique<test::FakeUi>(core);
    }
    // Plays `text` to its end (at most `maxSteps` lines), recording pauses.
    void play(const std::string& text, int maxSteps = 100) {
        buffer = text;
        RunnerState state;
        for (int i = 0; i < maxSteps && state.active; ++i) {
            ASSERT_TRUE(runnerStep(core, buffer.c_str(), state, recordPause));
        }
    }
    std::vector<std::string> queued() {
        std::vector<std::string> out;
        for (int n = 3; n <= 7; ++n) {
            if (slotPending(core, n)) {
                out.push_back(std::to_string(n) + ":" + slotText(core, n));
            }
        }
        return out;
    }

    test::TempDir dir;
    test::FixedClock clock;
    Core core;
    std::unique_ptr<test::FakeUi> ui;
    std::string buffer;
    std::vector<uint32_t> pauses;
    RunnerPause recordPause = [this](uint32_t ms) {
        pauses.push_back(ms);
        return true;
    };
};

TEST_F(Runner, APauseLineWaitsAndQueuesNothing) {
    play("{S1000}\r\n");
    EXPECT_EQ(pauses, (std::vector<uint32_t>{1, 1000, 1}));  // 1 ms before each line
    EXPECT_TRUE(queued().empty());
}

TEST_F(Runner, PriceTemperatureAndDateCodes) {
    ui->setPriceBox(0, "4.59");
    ui->setTemperature("23");
    play("21C{P}\r\n22C{T}\r\n23T{D}\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:21C4.59",
                                                  "4:22C23\x7F"
                                                  "C",
                                                  "5:23T05/12/2026"}));
    EXPECT_EQ(pauses, (std::vector<uint32_t>{1}));  // command lines follow without a pause
}

TEST_F(Runner, OnlyLinesWithAControllerDigitAndAPriceAreQueued) {
    play("20S\r\n01abc\r\n81C1\r\nprice board cycle\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:01abc"}));
}

TEST_F(Runner, ALineIsClassifiedAfterItsCodesAreExpanded) {
    play("{C} now\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"4:12:34:56 now"}));
}

TEST_F(Runner, SegmentLinesAreRebuiltFromThePriceBoard) {
    core.board.priceSegments[0][0] = 0x60;  // 1
    core.board.priceSegments[0][1] = 0x00;
    core.board.priceSegments[0][2] = 0x00;
    EXPECT_EQ(commandTextOf(core, "21B1"), "21BE00000");
    EXPECT_EQ(commandTextOf(core, "21B0x0"), "21B400000");  // 'x' uses up its bit
    EXPECT_EQ(commandTextOf(core, "21B" + std::string(24, '0')), "21B000000");
    EXPECT_EQ(commandTextOf(core, "23B" + std::string(24, '1')), "23BFFFFFF");
    EXPECT_EQ(commandTextOf(core, "23B" + std::string(24, '1') + "000"), "23BFFFFFF");
    play("23B111111111111111111111111\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"5:23BFFFFFF"}));
}

TEST_F(Runner, ALastLineWithoutCrLfIsStillPlayed) {
    play("21C1\r\n22C2");
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:21C1", "4:22C2"}));
}

TEST_F(Runner, RestartRepeatsTheTextPausingAtTheRestartAndAtEachNonCommandLine) {
    // A file of command lines alone would otherwise spin: {G} pauses 1 ms every pass.
    buffer = "21C1\r\n{G}\r\n";
    RunnerState state;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(state.active);
        ASSERT_TRUE(runnerStep(core, buffer.c_str(), state, recordPause));
    }
    EXPECT_TRUE(state.active);
    EXPECT_EQ(pauses, std::vector<uint32_t>(10, 1));
    pauses.clear();
    buffer = "21C{C}{G}";
    state = RunnerState();
    state.pauseBeforeNextLine = false;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(runnerStep(core, buffer.c_str(), state, recordPause));
    }
    EXPECT_EQ(pauses, std::vector<uint32_t>(3, 1));
}

TEST_F(Runner, TwoLinesForOnePriceLeaveTheSecondInTheSlot) {
    play("21C1\r\n21C2\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:21C2"}));
}

TEST_F(Runner, AnEmptyTemperatureSkipsTheCharacterAfterTheCode) {
    play("22C{T}{S5}\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"4:22C\x7F"
                                                  "C{S5}"}));
    EXPECT_EQ(pauses, (std::vector<uint32_t>{1}));
}

TEST_F(Runner, EmptyCodesAreRemovedAndTheTwoCharactersAfterThemAreNotExamined) {
    play("21C{}{S7}\r\n22C{}xy{S7}\r\n");
    EXPECT_EQ(pauses, (std::vector<uint32_t>{1, 7}));
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:21C{S7}", "4:22Cxy{S7}"}));
}

TEST_F(Runner, CodesAreUpperCaseOnlyAndUnknownOnesStay) {
    play("21C{s1000}{X}\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:21C{s1000}{X}"}));
    EXPECT_EQ(pauses, (std::vector<uint32_t>{1}));
}

TEST_F(Runner, PauseArguments) {
    EXPECT_EQ(pauseMilliseconds("1000"), 1000u);
    EXPECT_EQ(pauseMilliseconds("  250ms"), 250u);
    EXPECT_EQ(pauseMilliseconds("\t \t250"), 250u);  // blanks as a C conversion skips them
    EXPECT_EQ(pauseMilliseconds("+5"), 5u);
    EXPECT_EQ(pauseMilliseconds("-1"), 4294967295u);
    EXPECT_EQ(pauseMilliseconds("x"), 0u);
    EXPECT_EQ(pauseMilliseconds("          12"), 0u);  // only ten characters are read
    EXPECT_EQ(pauseMilliseconds("123456789012"), 1234567890u);
}

TEST_F(Runner, APriceCodeOutsideAPriceLineIsEmpty) {
    ui->setPriceBox(0, "9.99");
    play("2{P}1C5\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"3:21C5"}));
}

TEST_F(Runner, PriceCodesTakeAtMostSixCharacters) {
    ui->setPriceBox(1, "123456789");
    play("22C{P}\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"4:22C123456"}));
}

TEST_F(Runner, LinesEndAtCrLfAndALineFeedAloneStaysInTheLine) {
    buffer = "21Ca\nb\r\n22Cc\rjunk\n23Cd\r\n";
    RunnerState state;
    EXPECT_EQ(readScriptLine(buffer.c_str(), state), "21Ca\nb");
    EXPECT_EQ(readScriptLine(buffer.c_str(), state), "22Cc");
    EXPECT_EQ(readScriptLine(buffer.c_str(), state), "23Cd");
    EXPECT_TRUE(state.active);
    EXPECT_EQ(readScriptLine(buffer.c_str(), state), "");
    EXPECT_FALSE(state.active);
}

TEST_F(Runner, ALineFeedOnlyFileIsOneLineOfAtMost249Characters) {
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text += "21C1\n";
    }
    RunnerState state;
    const std::string line = readScriptLine(text.c_str(), state);
    EXPECT_EQ(line, text.substr(0, 249));
    // The rest of it, up to the next line feed, is passed over.
    EXPECT_EQ(state.readPosition, 250u);
}

TEST_F(Runner, ALongLineIsCutAndItsRestSkipped) {
    const std::string text = "21C" + std::string(300, '1') + "\r\n22C2\r\n";
    RunnerState state;
    EXPECT_EQ(readScriptLine(text.c_str(), state).size(), 249u);
    EXPECT_EQ(readScriptLine(text.c_str(), state), "22C2");
}

TEST_F(Runner, ACommandTooLongForASlotIsNotQueued) {
    play("21C" + std::string(28, '1') + "\r\n22C" + std::string(27, '2') + "\r\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"4:22C" + std::string(27, '2')}));
}

TEST_F(Runner, ALineGrowingPastItsBufferIsCut) {
    std::string text = "2";
    for (int i = 0; i < 30; ++i) {
        text += "{D}";
    }
    std::string line = text;
    RunnerState state;
    ASSERT_TRUE(expandBraceCodes(core, line, state, recordPause));
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line.substr(0, 11), "205/12/2026");
}

TEST_F(Runner, AStopInAPauseEndsTheStep) {
    buffer = "{S5000}21C1\r\n";
    RunnerState state;
    state.pauseBeforeNextLine = false;
    RunnerPause stopped = [](uint32_t) { return false; };
    EXPECT_FALSE(runnerStep(core, buffer.c_str(), state, stopped));
    EXPECT_TRUE(queued().empty());
}

class RunnerFiles : public Runner {
  protected:
    void TearDown() override { stopControlFileRunner(core, false); }
};

TEST_F(RunnerFiles, AFileOf30000BytesKeepsItsFirst29999) {
    std::string text(30000, 'x');
    text[29998] = 'y';
    text[29999] = 'z';
    test::writeFile(dir.file("big.txt"), text);
    ui->setControlFile(dir.file("big.txt"));
    ASSERT_TRUE(startControlFileRunner(core));
    EXPECT_EQ(std::strlen(core.script.scriptText), 29999u);
    EXPECT_EQ(core.script.scriptText[29998], 'y');
}

TEST_F(RunnerFiles, TheFirstNulEndsTheText) {
    test::writeFile(dir.file("nul.txt"), std::string("21C1\r\n\0"
                                                     "22C2\r\n",
                                                     13));
    ui->setControlFile(dir.file("nul.txt"));
    ASSERT_TRUE(startControlFileRunner(core));
    EXPECT_STREQ(core.script.scriptText, "21C1\r\n");
}

TEST_F(RunnerFiles, AnEmptyPathOrAMissingFileIsRefused) {
    ui->setControlFile("");
    EXPECT_FALSE(startControlFileRunner(core));
    ui->setControlFile(dir.file("missing.txt"));
    EXPECT_FALSE(startControlFileRunner(core));
    EXPECT_EQ(core.record->scriptRunning, 0);
    EXPECT_EQ(core.script.scriptText[0], '\0');
}

}  // namespace
}  // namespace vorda
