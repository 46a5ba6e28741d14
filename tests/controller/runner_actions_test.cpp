// Start and Stop of a control file on its own thread, in test mode: what the panel shows,
// stopping inside pauses, a text that ends by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/rig.h"

namespace vorda {
namespace {

using Clock = std::chrono::steady_clock;

class RunnerActions : public test::Rig {
  protected:
    void play(const std::string& text) {
        test::writeFile(dir.file("prices.txt"), text);
        ui.setControlFile(dir.file("prices.txt"));
        controller.startOrStopControlFile();
    }
    std::string startStop() { return ui.callsStartingWith("startstop").back(); }
};

TEST_F(RunnerActions, StartNeedsAConnectionOrTestModeAndAFile) {
    play("21C1\r\n");
    ui.setControlFile(dir.file("missing.txt"));
    controller.enterTestMode();
    controller.startOrStopControlFile();
    EXPECT_EQ(ui.messages(),
              (std::vector<std::string>{
                  "Rozłączony !\nSkrypt wymaga stałego połączenia\n'Akcja->Połącz' | Błąd",
                  "Błąd otwarcia skryptu | Błąd"}));
    EXPECT_TRUE(ui.callsStartingWith("startstop 1").empty());
}

TEST_F(RunnerActions, ALoopingFileShowsItsPricesUntilStopped) {
    controller.startPanel("Dec  5 2026");
    controller.enterTestMode();
    play("set all five\r\n21C1.11\r\n22M2.22\r\n23C3.33\r\n24C4.44\r\n25M5.55\r\n{S20}\r\n{G}\r\n");
    EXPECT_EQ(startStop(), "startstop 1");
    EXPECT_EQ(ui.status(), "TRYB TESTU SKRYPTU");
    ASSERT_TRUE(ui.waitUntil([&] { return controller.board().blinking(4); }));
    EXPECT_EQ(controller.board().segment(0, 0), 0xE0);  // 1 with its point
    EXPECT_EQ(controller.board().segment(2, 2), 0x75);
    EXPECT_TRUE(controller.board().blinking(1));
    EXPECT_FALSE(controller.board().blinking(0));
    controller.startOrStopControlFile();
    EXPECT_FALSE(controller.runner().running());
    EXPECT_EQ(startStop(), "startstop 0");
    EXPECT_EQ(ui.status(), "TRYB TESTU");
}

TEST_F(RunnerActions, AStopInsideAPauseStopsAtOnce) {
    controller.enterTestMode();
    for (const char* pause : {"{S60000}", "{S-1}"}) {
        play(std::string(pause) + "\r\n21C1\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto start = Clock::now();
        controller.enterTestMode();  // like Stop, "Rozłącz" and "Połącz"
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << pause;
        EXPECT_FALSE(controller.runner().running());
        EXPECT_EQ(startStop(), "startstop 0");
        EXPECT_FALSE(mailbox().pending(3));
    }
}

TEST_F(RunnerActions, ATextThatEndsByItselfShowsStartAndThePlainStatusAgain) {
    controller.startPanel("Dec  5 2026");
    controller.enterTestMode();
    for (int i = 0; i < 20; ++i) {  // an empty file ends at once, every time
        play(i == 0 ? "21C7.77\r\n22C8.88" : "");
        // The runner tells its end just after it stops running.
        EXPECT_TRUE(ui.waitUntil([&] {
            return !controller.runner().running() && startStop() == "startstop 0" &&
                   ui.status() == "TRYB TESTU";
        }));
    }
    EXPECT_TRUE(ui.waitUntil([&] { return controller.board().segment(1, 0) == 0xFF; }));
}

}  // namespace
}  // namespace vorda
