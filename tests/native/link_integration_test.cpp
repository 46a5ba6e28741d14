// The link with its real threads over a real pseudo-terminal, against the tower
// simulator, asserting on what reached the tower (its transcript) and what the panel shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "link/link_ops.h"
#include "link/port.h"
#include "protocol/panel_actions.h"
#include "record/lifecycle.h"
#include "common/fake_ui.h"
#include "support/test_support.h"
#include "support/tower_sim_process.h"

namespace vorda {
namespace {

using test::TowerSim;

class LinkWithTower : public ::testing::Test {
  protected:
    void start(const std::vector<std::string>& simOptions, uint32_t baud = 19200) {
        sim = std::make_unique<TowerSim>(simOptions);
        ASSERT_FALSE(sim->path().empty());
        ASSERT_EQ(symlink(sim->path().c_str(), dir.file("COM1").c_str()), 0);
        setSerialPortDirectory(dir.path());
        core.startDirectory = dir.path();
        core.serial = platformSerialDriver();
        ui = std::make_unique<test::FakeUi>(core, true);
        ASSERT_EQ(createApplicationRecord(core, nullptr), 1);
        core.record->baudRate = baud;
        ui->run([this] { initialisePanel(core, "Dec  5 2026"); });
    }
    void TearDown() override {
        if (ui) {
            ui->run([this] { destroyApplicationRecord(core); });
            ui.reset();
        }
    }
    // Texts of the frames the tower received, in order.
    std::vector<std::string> received() {
        std::vector<std::string> out;
        for (const auto& line : sim->lines("rx")) {
            out.push_back(line.text);
        }
        return out;
    }
    size_t indexOf(const std::vector<std::string>& v, const std::string& s) {
        return static_cast<size_t>(std::find(v.begin(), v.end(), s) - v.begin());
    }

    test::TempDir dir;
    std::unique_ptr<TowerSim> sim;
    Core core;
    std::unique_ptr<test::FakeUi> ui;
};

TEST_F(LinkWithTower, PricesSentWhileDisconnectedOpenTheLinkAndItClosesAgain) {
    start({});
    const char* prices[5] = {"5.49", "6.09", "4.99", "3.15", "2.50"};
    for (int i = 0; i < 5; ++i) {
        ui->setPriceBox(i, prices[i]);
    }
    ui->setBlinkBox(3, true);
    ui->run([this] { sendPrices(core); });
    ASSERT_TRUE(ui->waitUntil([this] { return core.record->connected == 0; }, 8000));

    const auto rx = received();
    const std::vector<std::string> expectedPrices = {"21C5.49", "22C6.09", "23C4.99", "24M3.15",
                                                     "25C2.50"};
    ASSERT_EQ(rx.size(), 8u);
    for (size_t i = 1; i < expectedPrices.size(); ++i) {
        EXPECT_LT(indexOf(rx, expectedPrices[i - 1]), indexOf(rx, expectedPrices[i]));
    }
    EXPECT_LT(indexOf(rx, "25C2.50"), indexOf(rx, "20E"));
    EXPECT_LT(indexOf(rx, "20S"), rx.size());
    EXPECT_LT(indexOf(rx, "20Z"), rx.size());
    EXPECT_EQ(sim->lines("tx").size(), 8u);

    const auto statuses = ui->callsStartingWith("status");
    EXPECT_EQ(statuses.front(), "status ROZŁĄCZONY");  // from the panel's start
    EXPECT_EQ(statuses[1], "status POŁĄCZONY");
    EXPECT_EQ(statuses.back(), "status ROZŁĄCZONY");
    EXPECT_EQ(ui->menu(), "1 0 1");
    EXPECT_EQ(ui->timers().count(kPollTimer), 0u);
    EXPECT_EQ(core.board.priceSegments[0][0], 0xDD);  // acknowledged prices reach the board
    EXPECT_EQ(core.board.priceBlink[3], 1);
}

TEST_F(LinkWithTower, ReadsQueuedIntoAnOnDemandLinkAllGoOutBeforeItCloses) {
    start({"--delay", "100"});  // within every answer time-out
    auto sent = [this](const std::string& text) {
        const auto rx = received();
        return std::count(rx.begin(), rx.end(), text);
    };
    // "Czytaj z Vordy" once the sender has passed slots 3 and 4 of a price send...
    ui->run([this] { sendPrices(core); });
    ASSERT_TRUE(ui->waitUntil([&] { return sent("23C") == 1; }, 8000));
    ui->run([this] { readFromTower(core); });
    ASSERT_TRUE(ui->waitUntil([this] { return core.record->connected == 0; }, 15000));
    auto rx = received();
    for (const char* read : {"20C", "20M", "20V"}) {
        EXPECT_LT(indexOf(rx, "23C"), indexOf(rx, read)) << read;
    }
    // ...and "Włącz" pressed again while the first "20Z1" waits for its answer.
    ui->clearCalls();
    ui->run([this] { switchBacklight(core, true); });
    ASSERT_TRUE(ui->waitUntil([&] { return sent("20Z1") == 1; }, 8000));
    ui->run([this] { switchBacklight(core, true); });
    ASSERT_TRUE(ui->waitUntil([this] { return core.record->connected == 0; }, 15000));
    EXPECT_EQ(sent("20Z1"), 2);
    EXPECT_EQ(ui->callsStartingWith("status ROZŁĄCZONY").size(), 1u);
}

TEST_F(LinkWithTower, ConnectReadsTheTowerBack) {
    start({"--light", "87", "--version-text", "2.07"});
    {
        test::LineEnd line(sim->path());
        for (const char* command : {"21C5.49", "22M6.09", "20Z1", "20l10"}) {
            line.write(test::frameOf(command));
            ASSERT_EQ(line.readBytes(1), "\x06");
        }
    }
    ui->setPriceBox(0, "stale");
    ui->run([this] { connectLink(core); });
    ASSERT_TRUE(ui->waitUntil(
        [this] {
            return core.record->readBackRequested == 0 && !slotPending(core, 38) &&
                   !slotPending(core, 29);
        },
        8000));
    EXPECT_EQ(ui->priceText(0), "5.49");
    EXPECT_EQ(ui->priceText(1), "6.09");
    EXPECT_EQ(ui->priceText(2), "");
    EXPECT_FALSE(ui->blinkChecked(0));
    EXPECT_TRUE(ui->blinkChecked(1));
    EXPECT_EQ(ui->lightLevel(), "87");
    EXPECT_EQ(core.record->backlightOn, 1);
    EXPECT_EQ(core.light.lowLightLevel, 10);
    EXPECT_EQ(core.light.highLevelBrightness, 255);
    {
        std::lock_guard<std::mutex> lock(core.versionMutex);
        EXPECT_EQ(core.priceControllerVersion, "ver.2.07");
    }
    const std::string settings = test::readFile(dir.file("VordaCen.ini"));
    EXPECT_NE(settings.find("\r\n10\r\n40\r\n150\r\n255\r\n"), std::string::npos);
    EXPECT_EQ(ui->status(), "POŁĄCZONY");
    EXPECT_EQ(core.record->connected, 1);
    EXPECT_EQ(ui->timers().at(kPollTimer), 5000u);
}

TEST_F(LinkWithTower, ASilentTowerGetsEachCommandThreeTimesThenTheNextGoesOut) {
    start({"--silent"}, 9600);
    ui->run([this] {
        ASSERT_TRUE(openPort(core));
        writeSlot(core, 5, "23C1.00");
        writeSlot(core, 36, "20Z1");
    });
    ASSERT_TRUE(sim->waitFor("rx", 4, 5000));
    const auto rx = sim->lines("rx");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rx[static_cast<size_t>(i)].text, "23C1.00");
    }
    EXPECT_EQ(rx[3].text, "20Z1");
    for (int i = 1; i < 4; ++i) {
        const long gap = rx[static_cast<size_t>(i)].ms - rx[static_cast<size_t>(i) - 1].ms;
        EXPECT_GE(gap, 250) << i;
        EXPECT_LE(gap, 800) << i;
    }
    EXPECT_EQ(ui->status(), "BŁĄD TRANSMISJI");
    EXPECT_GE(core.errors.answerErrors, 3u);
}

TEST_F(LinkWithTower, TestModeShowsThePricesWithoutAByteOnTheLine) {
    start({});
    ui->setPriceBox(0, "4.59");
    ui->setPriceBox(4, "1.2");
    ui->setBlinkBox(4, true);
    ui->run([this] {
        enterTestMode(core);
        sendPrices(core);
    });
    ASSERT_TRUE(ui->waitUntil([this] { return !slotPending(core, 39); }));
    EXPECT_EQ(core.board.priceSegments[0][0], 0xEC);
    EXPECT_EQ(core.board.priceSegments[4][1], 0x37);
    EXPECT_EQ(core.board.priceBlink[4], 1);
    EXPECT_EQ(ui->status(), "TRYB TESTU");
    EXPECT_TRUE(sim->transcript().empty());
}

TEST_F(LinkWithTower, ThePollQueriesLightAndBacklightAndShowsTheLevel) {
    start({"--light", "64"});
    ui->run([this] { connectLink(core); });
    ASSERT_TRUE(ui->waitUntil([this] { return core.record->readBackRequested == 0; }, 8000));
    ASSERT_TRUE(sim->waitFor("rx", 10));
    core.panel.setLightLevel(core.panel.context, "");
    ui->fireTimer(kPollTimer);
    ASSERT_TRUE(sim->waitFor("rx", 12));
    const auto rx = received();
    EXPECT_EQ(rx[10], "20S");
    EXPECT_EQ(rx[11], "20Z");
    EXPECT_TRUE(ui->waitUntil([this] { return ui->lightLevel() == "64"; }));
}

TEST_F(LinkWithTower, SplitAnswersAndNoiseOnTheLineAreStillUnderstood) {
    start({"--split", "15", "--noise", "4"});
    {
        test::LineEnd line(sim->path());
        line.write(test::frameOf("21C7.77"));
        line.readFor(100);
    }
    ui->run([this] { connectLink(core); });
    ASSERT_TRUE(ui->waitUntil([this] { return core.record->readBackRequested == 0; }, 8000));
    EXPECT_EQ(ui->priceText(0), "7.77");
    EXPECT_EQ(core.errors.answerErrors, 0u);
}

}  // namespace
}  // namespace vorda
