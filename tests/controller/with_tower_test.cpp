// The program's core with its real threads and the real POSIX serial driver, over a
// pseudo-terminal, against the tower simulator: what reached the tower (its transcript)
// and what the display shows.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "central_process.h"
#include "orders/document.h"
#include "support/rig.h"

namespace vorda {
namespace {

class WithTower : public ::testing::Test {
  protected:
    void start(const std::vector<std::string>& simOptions, const char* baudIndex = nullptr) {
        startTower(simOptions);
        setSerialPortDirectory(dir.path());
        if (baudIndex != nullptr) {  // the settings file of the start directory
            test::writeFile(dir.file("VordaCen.ini"), std::string("1\r\n") + baudIndex + "\r\n");
        }
        controller = std::make_unique<Controller>(Platform{
            platformSerialDriver(), ui.seam(), ui.panel(), systemClock(), dir.path(), SteadyClock{},
            platformFolderWatch(), platformHttpClient(), platformCentralStore()});
        controller->startPanel("Dec  5 2026");
    }
    // tower-sim on a new pseudo-terminal, with COM1 of the start directory linked to it.
    void startTower(const std::vector<std::string>& simOptions) {
        sim = std::make_unique<test::TowerSim>(simOptions);
        ASSERT_FALSE(sim->path().empty());
        unlink(dir.file("COM1").c_str());
        ASSERT_EQ(symlink(sim->path().c_str(), dir.file("COM1").c_str()), 0);
    }
    // Texts of the frames the tower received, in order.
    std::vector<std::string> received() {
        std::vector<std::string> out;
        for (const auto& line : sim->lines("rx")) {
            out.push_back(line.text);
        }
        return out;
    }
    long sent(const std::string& text) {
        const auto rx = received();
        return std::count(rx.begin(), rx.end(), text);
    }
    // The link shows itself closed just after it stops being connected: both are waited for.
    bool closed() {
        return ui.waitUntil(
            [this] { return !controller->link().connected() && ui.status() == "ROZŁĄCZONY"; },
            15000);
    }
    bool readBack() {
        return ui.waitUntil(
            [this] {
                return controller->priceControllerVersion() != "" &&
                       !controller->mailbox().pending(kSlotVersion);
            },
            8000);
    }

    test::TempDir dir;
    test::FakeUi ui;
    std::unique_ptr<test::TowerSim> sim;
    std::unique_ptr<Controller> controller;
};

// "Wyślij" while disconnected opens the link, sends the rows as typed (a text cut at 8
// characters) and closes again; the tower is read back and each row compared as the tower
// shows it; every row goes to the history.
struct CheckCase {
    const char* name;
    const char* option;  // of the simulator, with its value
    const char* value;
    const char* status;  // the last before the on-demand link closes
    bool message;        // kMismatch shown
    const char* box2;    // price box 2 at the end
    const char* row2;    // the history's result of row 2, and of the others
    const char* others;
    size_t frames;  // the tower received
};
const char kMismatch[] =
    "Vorda pokazuje inne ceny niż wysłane:\nCena 2: wysłano 6.09 (miga), "
    "Vorda pokazuje 5.09 (miga) | Vorda Cen";
const CheckCase kChecks[] = {
    {"Shown", "--delay", "0", "CENY POTWIERDZONE", false, "6.09", "POTWIERDZONO", "POTWIERDZONO",
     10},
    {"StuckSegment", "--stuck-segment", "2:1:e", "CENY NIEZGODNE", true, "6.09",
     "NIEZGODNE: 5.09 (miga)", "POTWIERDZONO", 10},  // the box keeps what was asked for
    {"SilentAfterEnd", "--silent-after", "20E", "BŁĄD TRANSMISJI", false, "6.09", "BRAK ODPOWIEDZI",
     "BRAK ODPOWIEDZI", 14},  // "20C" and "20M" three times each
};
class PriceCheck : public WithTower, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(PriceCheck, PricesSentWhileDisconnectedAreReadBackComparedAndRecorded) {
    const CheckCase& c = GetParam();
    start({c.option, c.value});
    const char* prices[5] = {"5.49", "6.09", "", "123456789", "9 9"};
    for (int i = 0; i < 5; ++i) {
        ui.setPriceBox(i, prices[i]);
    }
    ui.setBlinkBox(1, true);
    controller->sendPrices();
    ASSERT_TRUE(closed());
    auto rx = received();
    EXPECT_EQ(rx.size(), c.frames);
    EXPECT_EQ(rx.back(), "20M");
    rx.resize(9);
    EXPECT_EQ(rx, (std::vector<std::string>{"21C5.49", "22M6.09", "23C", "24C12345678", "25C9 9",
                                            "20S", "20Z", "20E", "20C"}));
    const auto statuses = ui.callsStartingWith("status");
    EXPECT_EQ(statuses[1], "status POŁĄCZONY");
    EXPECT_EQ(statuses[statuses.size() - 2], std::string("status ") + c.status);
    EXPECT_EQ(statuses.back(), "status ROZŁĄCZONY");
    EXPECT_EQ(ui.menu(), "1 0 1");
    EXPECT_FALSE(controller->link().pollTimerOn());
    EXPECT_EQ(controller->board().segment(0, 0), 0xDD);  // acknowledged prices reach the board
    EXPECT_TRUE(controller->board().blinking(1));
    EXPECT_EQ(ui.messages(), std::vector<std::string>(c.message ? 1 : 0, kMismatch));
    EXPECT_EQ(ui.priceText(1), c.box2);
    const char* sent[5] = {"1;AAA;5.49;nie;", "2;BBB;6.09;tak;", "3;CCC;;nie;",
                           "4;DDD;12345678;nie;", "5;EEE;9 9;nie;"};
    std::string expected;
    for (int r = 0; r < 5; ++r) {
        expected += sent[r] + std::string(r == 1 ? c.row2 : c.others) + ";PANEL|";
    }
    EXPECT_EQ(test::historyRows(dir.file("HistoriaCen.csv")), expected);
}

INSTANTIATE_TEST_SUITE_P(Towers, PriceCheck, ::testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WithTower, ReadsQueuedIntoAnOnDemandLinkAllGoOutBeforeItCloses) {
    start({"--delay", "250"}, "9600");  // within every answer time-out (300 ms and more)
    // "Czytaj z Vordy" once the sender has passed slots 3 and 4 of a price send...
    controller->sendPrices();
    ASSERT_TRUE(ui.waitUntil([&] { return sent("23C") == 1; }, 8000));
    controller->readFromTower();
    ASSERT_TRUE(closed());
    const auto rx = received();
    for (const char* read : {"20C", "20M", "20l", "20V"}) {
        EXPECT_NE(std::find(std::find(rx.begin(), rx.end(), "23C"), rx.end(), read), rx.end());
    }
    // ...and "Włącz" pressed again while the first "20Z1" waits for its answer.
    ui.clearCalls();
    controller->switchBacklight(true);
    ASSERT_TRUE(ui.waitUntil([&] { return sent("20Z1") == 1; }, 8000));
    controller->switchBacklight(true);
    ASSERT_TRUE(closed());
    EXPECT_EQ(sent("20Z1"), 2);
    EXPECT_EQ(ui.callsStartingWith("status ROZŁĄCZONY").size(), 1u);
}

TEST_F(WithTower, ASilentTowerGetsEachCommandThreeTimesThenTheNextGoesOut) {
    start({"--silent"}, "9600");
    ASSERT_EQ(controller->link().open(1, controller->settings().serial), Result::Ok);
    controller->mailbox().write(5, "23C1.00");
    controller->mailbox().write(36, "20Z1");
    ASSERT_TRUE(sim->waitFor("rx", 4, 5000));
    const auto rx = sim->lines("rx");
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rx[i].text, i < 3 ? "23C1.00" : "20Z1");
        if (i > 0) {
            EXPECT_GE(rx[i].ms - rx[i - 1].ms, 250) << i;  // 300 ms at 9600 baud
            EXPECT_LE(rx[i].ms - rx[i - 1].ms, 800) << i;
        }
    }
    EXPECT_EQ(ui.status(), "BŁĄD TRANSMISJI");
    EXPECT_TRUE(ui.callsStartingWith("status BRAK").empty());  // a silent tower is no lost port
    // The port is not inherited by a program this one starts.
    int ports = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        char link[64], target[256] = "";
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        if (readlink(link, target, sizeof target - 1) > 0 && sim->path() == target) {
            ++ports;
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        }
    }
    EXPECT_EQ(ports, 1);
}

// A looping control file sends its lines in order with its pauses. The real POSIX driver sees
// the pseudo-terminal vanish; the link heals on the same path, and the price queued meanwhile
// goes out and is read back through split, noisy answers.
TEST_F(WithTower, ALoopingFileGoesWithItsPausesAndATowerBackGetsThePriceQueuedMeanwhile) {
    start({});
    test::writeFile(dir.file("loop.txt"), "21C1.11\r\n{S300}\r\n22C2.22\r\n{S300}\r\n{G}\r\n");
    ui.setControlFile(dir.file("loop.txt"));
    controller->connect();
    ASSERT_TRUE(readBack());
    const size_t first = received().size();  // nothing else is queued meanwhile
    controller->startOrStopControlFile();
    EXPECT_EQ(ui.status(), "POŁĄCZONY SKRYPT");
    ASSERT_TRUE(sim->waitFor("rx", first + 4));
    controller->startOrStopControlFile();
    const auto rx = sim->lines("rx");
    for (size_t i = first; i < first + 4; ++i) {
        EXPECT_EQ(rx[i].text, (i - first) % 2 ? "22C2.22" : "21C1.11");
        if (i > first) {
            EXPECT_GE(rx[i].ms - rx[i - 1].ms, 250) << i;
            EXPECT_LE(rx[i].ms - rx[i - 1].ms, 1200) << i;
        }
    }
    sim.reset();  // tower-sim ends, and its pseudo-terminal with it
    ASSERT_TRUE(ui.waitUntil([this] { return ui.status() == "BRAK PORTU COM1"; }, 3000));
    ui.setPriceBox(0, "7.77");
    controller->sendPrices();
    ui.clearCalls();
    startTower({"--split", "15", "--noise", "4"});
    // Its read-back's "CENY POTWIERDZONE" follows soon: the status calls are looked at.
    EXPECT_TRUE(
        ui.waitUntil([this] { return !ui.callsStartingWith("status POŁĄCZONY").empty(); }, 5000));
    EXPECT_TRUE(ui.waitUntil(
        [this] { return !ui.callsStartingWith("status CENY POTWIERDZONE").empty(); }, 8000));
    EXPECT_EQ(sent("21C7.77"), 1);
    EXPECT_TRUE(ui.messages().empty());
}

// The head office's document, fetched every second with the key, brings an order that goes
// at its time; its result reaches the head office even though the head office was down when
// the order ended. Then the plan drops a waiting order (cancelled, reported), and a document
// for another station or no JSON changes nothing. The key is in no file in clear.
TEST_F(WithTower, HeadOfficeOrdersGoAtTheirTimeAndTheirResultsGoBack) {
    const std::string doc = dir.file("centrala/stacje/S1.json");
    std::filesystem::create_directories(dir.file("centrala/stacje"));
    const auto publish = [&](const std::string& station, const std::string& orders) {
        test::writeFile(doc + ".new",
                        R"({"stacja": ")" + station + R"(", "zlecenia": [)" + orders + "]}");
        std::rename((doc + ".new").c_str(), doc.c_str());
    };
    const int64_t due = systemClock().utcNow() + 3;
    const std::string later = orderTimeText(due + 3600, 60);
    publish("S1", R"({"id": "c1", "od": ")" + orderTimeText(due, 60) +
                      R"(", "ceny": {"1": "5.55"}}, {"id": "c2", "od": ")" + later +
                      R"(", "ceny": {"2": "6.66"}})");
    const std::vector<std::string> key = {"--expect-key", "tajny-klucz"};
    auto central =
        std::make_unique<centralsim::Process>(CENTRAL_SIM_PATH, dir.file("centrala"), key);
    const int port = central->port();
    ASSERT_GT(port, 0);
    const CentralStore store = platformCentralStore();
    CentralSettings settings{central->url() + "/stacje/S1.json", central->url() + "/raporty", "S1",
                             1, store.protect(store.context, "tajny-klucz")};
    ASSERT_TRUE(store.save(store.context, dir.file("Centrala.ini"), settings));
    start({});
    const auto reported = [&](const char* id) {
        for (const auto& r : central->reports()) {
            if (r.id == id && r.station == "S1" && r.mark == "new" && r.authorization) {
                return r.body;
            }
        }
        return std::string();
    };
    const auto held = [&](const char* id) { return test::resultOf(*controller, id); };
    ASSERT_TRUE(ui.waitUntil([&] { return held("c2") == "OCZEKUJE"; }, 5000));
    central.reset();  // down when the order ends
    ASSERT_TRUE(ui.waitUntil([&] { return sent("21C5.55") == 1; }, 8000));
    EXPECT_GE(systemClock().utcNow(), due);
    ASSERT_TRUE(ui.waitUntil([&] { return held("c1") == "POTWIERDZONO"; }, 8000));
    EXPECT_EQ(controller->priceHistory(1)[0][7], "CENTRALA c1");
    EXPECT_TRUE(
        ui.waitUntil([&] { return controller->headOffice().contact().waiting.size() == 1; }));

    std::vector<std::string> again = key;  // back on its port: the result goes at once
    again.insert(again.end(), {"--port", std::to_string(port)});
    central = std::make_unique<centralsim::Process>(CENTRAL_SIM_PATH, dir.file("centrala"), again);
    ASSERT_TRUE(ui.waitUntil([&] { return !reported("c1").empty(); }, 8000));
    EXPECT_NE(reported("c1").find(R"("wynik": "POTWIERDZONO")"), std::string::npos);
    ASSERT_TRUE(ui.waitUntil([&] {
        const auto t = central->transcript();
        return t.size() >= 2 && t.back().status == "304" && t.back().ifNoneMatch;
    }));

    publish("S1", "");  // c2 is no longer planned
    ASSERT_TRUE(ui.waitUntil([&] { return !reported("c2").empty(); }, 8000));
    EXPECT_EQ(held("c2"), "ANULOWANE");
    EXPECT_NE(reported("c2").find(R"("wynik": "ANULOWANE")"), std::string::npos);
    for (const char* refused : {"S2", "\""}) {  // another station's document, and no JSON
        publish(refused, R"({"id": "c3", "ceny": {"3": "7.77"}})");
        ASSERT_TRUE(ui.waitUntil([&] {
            return controller->headOffice().contact().text.rfind("dokument odrzucony", 0) == 0;
        })) << refused;
        EXPECT_EQ(held("c3"), "") << refused;
        publish("S1", "");
        ASSERT_TRUE(
            ui.waitUntil([&] { return controller->headOffice().contact().text == "BEZ ZMIAN"; }));
    }
    controller.reset();
    for (const auto& file : std::filesystem::directory_iterator(dir.path())) {
        if (file.is_regular_file()) {
            EXPECT_EQ(test::readFile(file.path()).find("tajny"), std::string::npos) << file.path();
        }
    }
    // A kept key with a line break (the file made elsewhere) is refused at the start, never sent.
    settings.protectedKey = store.protect(store.context, "tajny-klucz\r\nX-Inny: 1");
    ASSERT_TRUE(store.save(store.context, dir.file("Centrala.ini"), settings));
    const size_t asked = central->transcript().size();
    ui.clearCalls();
    start({});
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"Ustawienia centrali (Centrala.ini) są "
                                                      "błędne: Klucz: dozwolone są tylko znaki "
                                                      "ASCII, bez spacji i znaków sterujących | "
                                                      "Błąd"});
    EXPECT_FALSE(controller->headOffice().hasKey());
    EXPECT_FALSE(ui.waitUntil([&] { return central->transcript().size() > asked; }, 1500));
}

}  // namespace
}  // namespace vorda
