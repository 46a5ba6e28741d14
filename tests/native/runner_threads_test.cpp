// The control-file runner on its own thread, with the sender in test mode or against the
// tower simulator: Start and Stop, the end of a text, and the pauses on the line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "common/fake_ui.h"
#include "link/link_ops.h"
#include "record/lifecycle.h"
#include "script/runner.h"
#include "support/test_support.h"
#include "support/tower_sim_process.h"

namespace vorda {
namespace {

using Clock = std::chrono::steady_clock;

class RunnerThread : public ::testing::Test {
  protected:
    void SetUp() override {
        core.startDirectory = dir.path();
        ui = std::make_unique<test::FakeUi>(core, true);
        ASSERT_EQ(createApplicationRecord(core, nullptr), 1);
        ui->run([this] { initialisePanel(core, "Dec  5 2026"); });
    }
    void TearDown() override {
        ui->run([this] { destroyApplicationRecord(core); });
        ui.reset();
    }
    void controlFile(const std::string& text) {
        test::writeFile(dir.file("prices.txt"), text);
        ui->setControlFile(dir.file("prices.txt"));
    }
    void pressStartStop() {
        ui->run([this] { startOrStopControlFile(core); });
    }

    test::TempDir dir;
    Core core;
    std::unique_ptr<test::FakeUi> ui;
};

TEST_F(RunnerThread, ALoopingFileShowsItsPricesInTestModeUntilStopped) {
    controlFile(
        "set all five\r\n21C1.11\r\n22M2.22\r\n23C3.33\r\n24C4.44\r\n25M5.55\r\n{S20}\r\n{G}\r\n");
    ui->run([this] { enterTestMode(core); });
    pressStartStop();
    EXPECT_EQ(core.record->scriptRunning, 1);
    EXPECT_EQ(ui->callsStartingWith("startstop").back(), "startstop 1");
    EXPECT_EQ(ui->status(), "TRYB TESTU SKRYPTU");
    ASSERT_TRUE(ui->waitUntil([this] { return core.board.priceBlink[4] == 1; }));
    EXPECT_EQ(core.board.priceSegments[0][0], 0xE0);  // 1 with its point
    EXPECT_EQ(core.board.priceSegments[2][2], 0x75);
    EXPECT_EQ(core.board.priceBlink[1], 1);
    EXPECT_EQ(core.board.priceBlink[0], 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a few rounds
    pressStartStop();
    EXPECT_EQ(core.record->scriptRunning, 0);
    EXPECT_EQ(ui->callsStartingWith("startstop").back(), "startstop 0");
    EXPECT_EQ(ui->status(), "TRYB TESTU");
}

TEST_F(RunnerThread, StopInsideALongPauseStopsAtOnce) {
    controlFile("{S60000}\r\n21C1\r\n");
    ui->run([this] { enterTestMode(core); });
    pressStartStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Clock::now();
    pressStartStop();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(slotPending(core, 3));
    EXPECT_EQ(core.board.priceSegments[0][2], 0);
}

TEST_F(RunnerThread, APauseOfMinusOneWaitsUntilStopped) {
    controlFile("{S-1}\r\n21C1\r\n");
    ui->run([this] { enterTestMode(core); });
    pressStartStop();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(core.record->scriptRunning, 1);
    const auto start = Clock::now();
    ui->run([this] { disconnectLink(core); });  // disconnecting stops it too
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(core.record->scriptRunning, 0);
    EXPECT_EQ(ui->callsStartingWith("startstop").back(), "startstop 0");
}

TEST_F(RunnerThread, ATextThatEndsByItselfShowsStartAndThePlainStatusAgain) {
    controlFile("21C7.77\r\n22C8.88");
    ui->run([this] { enterTestMode(core); });
    pressStartStop();
    ASSERT_TRUE(ui->waitUntil([this] { return core.record->scriptRunning == 0; }));
    EXPECT_TRUE(ui->waitUntil([this] { return ui->status() == "TRYB TESTU"; }));
    EXPECT_EQ(ui->callsStartingWith("startstop").back(), "startstop 0");
    EXPECT_TRUE(ui->waitUntil([this] { return core.board.priceSegments[1][0] == 0xFF; }));
    // The next press starts the file again.
    const size_t started = ui->callsStartingWith("startstop 1").size();
    pressStartStop();
    EXPECT_EQ(ui->callsStartingWith("startstop 1").size(), started + 1);
}

TEST_F(RunnerThread, AnEmptyFileEndsAtOnceAndThePanelSaysSo) {
    controlFile("");
    ui->run([this] { enterTestMode(core); });
    for (int i = 0; i < 20; ++i) {
        pressStartStop();
        ASSERT_TRUE(ui->waitUntil([this] { return core.record->scriptRunning == 0; }));
        ui->run([] {});  // whatever the runner showed has been shown
        EXPECT_EQ(ui->callsStartingWith("startstop").back(), "startstop 0");
        EXPECT_EQ(ui->status(), "TRYB TESTU");
    }
}

TEST_F(RunnerThread, StartNeedsAConnectionOrTestMode) {
    controlFile("21C1\r\n");
    pressStartStop();
    EXPECT_EQ(ui->messages(),
              std::vector<std::string>{
                  "Rozłączony !\nSkrypt wymaga stałego połączenia\n'Akcja->Połącz' | Błąd"});
    EXPECT_EQ(core.record->scriptRunning, 0);
}

TEST_F(RunnerThread, AFileThatCannotBeOpenedIsReported) {
    ui->setControlFile(dir.file("missing.txt"));
    ui->run([this] { enterTestMode(core); });
    pressStartStop();
    EXPECT_EQ(ui->messages(), std::vector<std::string>{"Błąd otwarcia skryptu | Błąd"});
    EXPECT_TRUE(ui->callsStartingWith("startstop 1").empty());
}

TEST_F(RunnerThread, TestModeStopsTheRunner) {
    controlFile("{S-1}\r\n");
    ui->run([this] { enterTestMode(core); });
    pressStartStop();
    ui->run([this] { enterTestMode(core); });
    EXPECT_EQ(core.record->scriptRunning, 0);
}

TEST(RunnerWithTower, ALoopingFileSendsItsLinesInOrderWithItsPauses) {
    test::TempDir dir;
    test::TowerSim sim;
    ASSERT_EQ(symlink(sim.path().c_str(), dir.file("COM1").c_str()), 0);
    setSerialPortDirectory(dir.path());
    Core core;
    core.startDirectory = dir.path();
    core.serial = platformSerialDriver();
    test::FakeUi ui(core, true);
    ASSERT_EQ(createApplicationRecord(core, nullptr), 1);
    ui.run([&] { initialisePanel(core, "Dec  5 2026"); });
    test::writeFile(dir.file("loop.txt"), "21C1.11\r\n{S300}\r\n22C2.22\r\n{S300}\r\n{G}\r\n");
    ui.setControlFile(dir.file("loop.txt"));
    ui.run([&] { connectLink(core); });
    ASSERT_TRUE(ui.waitUntil([&] { return core.record->readBackRequested == 0; }, 8000));
    ASSERT_TRUE(sim.waitFor("rx", 10));
    ui.run([&] { startOrStopControlFile(core); });
    EXPECT_EQ(ui.status(), "POŁĄCZONY SKRYPT");
    ASSERT_TRUE(sim.waitFor("rx", 14, 5000));
    ui.run([&] { startOrStopControlFile(core); });
    ui.run([&] { destroyApplicationRecord(core); });

    std::vector<test::TranscriptLine> lines;
    for (const auto& l : sim.lines("rx")) {
        if (l.text[1] != '0') {
            lines.push_back(l);
        }
    }
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "21C1.11");
    EXPECT_EQ(lines[1].text, "22C2.22");
    EXPECT_EQ(lines[2].text, "21C1.11");
    EXPECT_EQ(lines[3].text, "22C2.22");
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_GE(lines[i].ms - lines[i - 1].ms, 280) << i;
        EXPECT_LE(lines[i].ms - lines[i - 1].ms, 900) << i;
    }
}

}  // namespace
}  // namespace vorda
