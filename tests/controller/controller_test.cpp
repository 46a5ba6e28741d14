// The operator's actions over a recording display and serial driver: link states, menus
// and status texts, what each button queues, the dialogs' actions, control files started
// and stopped on their own thread, the stop races; and the main window's scrolling.
#include "controller/controller.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "controller/view.h"
#include "orders/document.h"
#include "support/rig.h"
#include "tower.h"

namespace vorda {
namespace {

using Clock = std::chrono::steady_clock;
using test::resultOf;

class Actions : public test::Rig {
  protected:
    void play(const std::string& text) {
        test::writeFile(dir.file("prices.txt"), text);
        ui.setControlFile(dir.file("prices.txt"));
        controller.startOrStopControlFile();
    }
    std::string startStop() { return ui.callsStartingWith("startstop").back(); }
};

TEST_F(Actions, ConnectDisconnectAndTestSetTheLinkStateMenuAndStatus) {
    ASSERT_TRUE(controller.connect());
    EXPECT_TRUE(link().connected());
    EXPECT_EQ(shown(), "0 1 1 POŁĄCZONY");
    EXPECT_EQ(pendingSlots(), (std::vector<int>{3, 4, 29, 30, 31, 32, 33, 35, 38, 40}));
    mailbox().clear();
    link().tick(4999);
    EXPECT_TRUE(pendingSlots().empty());
    link().tick(5000);  // the poll queries the light level and the backlight again
    EXPECT_EQ(pendingSlots(), (std::vector<int>{29, 38}));
    controller.enterTestMode();  // closes the port first
    link().stopReceiver();
    EXPECT_EQ(serial.closes, 1);
    EXPECT_EQ(serial.dtrClears, 1);
    EXPECT_TRUE(link().testMode());
    EXPECT_EQ(shown(), "1 1 0 TRYB TESTU");
    EXPECT_TRUE(pendingSlots().empty());
    EXPECT_FALSE(link().pollTimerOn());
    ASSERT_TRUE(controller.connect());  // leaves test mode
    EXPECT_FALSE(link().testMode());
    controller.disconnect();
    EXPECT_FALSE(link().connected());
    EXPECT_EQ(shown(), "1 0 1 ROZŁĄCZONY");
    EXPECT_EQ(ui.lightLevel(), "");
    controller.enterTestMode();
    controller.disconnect();
    EXPECT_EQ(shown(), "1 0 1 ROZŁĄCZONY");
}

// Present are the ports that open as serial ports or are in use; a missing one's error is
// shown with its number, and nothing is queued.
TEST_F(Actions, OnlyPortsThatOpenOrAreInUseArePresentAndAMissingOneIsToldByNumber) {
    serial.openError = OpenError::AccessDenied;
    EXPECT_EQ(controller.presentPorts().size(), 255u);
    serial.openError = OpenError::None;
    serial.notSerial = true;
    EXPECT_TRUE(controller.presentPorts().empty());
    serial.openError = OpenError::NotFound;
    EXPECT_TRUE(controller.presentPorts().empty());
    EXPECT_EQ(serial.openPorts, 0);
    const std::function<void()> presses[] = {
        [&] { controller.connect(); }, [&] { controller.sendPrices(); },
        [&] { controller.switchBacklight(true); }, [&] { controller.readFromTower(); }};
    for (const auto& press : presses) {
        ui.clearCalls();
        press();
        EXPECT_EQ(ui.messages(), std::vector<std::string>{"Błąd otwarcia COM1 | Błąd"});
        EXPECT_TRUE(pendingSlots().empty());
        EXPECT_FALSE(link().connected());
    }
}

// Test mode sends nothing and records each row at once; the history's bytes.
TEST_F(Actions, TestModeRecordsEveryRowInThePriceHistory) {
    clock.now = LocalTime{2026, 12, 5, 14, 3, 7};
    const std::string texts[5] = {"\xA3\xF3\x64\x9F ON", "", "a;\"b\"", "D", "E"};
    const uint32_t colours[5] = {};
    controller.applyProgramSettings(texts, colours, false);
    controller.enterTestMode();
    ui.setPriceBox(0, "5 49");
    ui.setPriceBox(1, "6,09");  // the decimal comma goes as the point
    ui.setBlinkBox(1, true);
    controller.sendPrices();
    clock.now.second = 8;
    controller.sendPrices();
    std::string expected = "Data;Godzina;Cena;Opis;Wys\263ano;Miga;Wynik;\217r\363d\263o\r\n";
    for (const char* second : {"07", "08"}) {
        for (const char* row : {"1;\xA3\xF3\x64\x9F ON;5 49;nie", "2;;6.09;tak",
                                "3;\"a;\"\"b\"\"\";;nie", "4;D;;nie", "5;E;;nie"}) {
            expected +=
                std::string("05.12.2026;14:03:") + second + ";" + row + ";TRYB TESTU;PANEL\r\n";
        }
    }
    EXPECT_EQ(test::readFile(dir.file("HistoriaCen.csv")), expected);
    EXPECT_TRUE(serial.opened.empty());
    const auto history = controller.priceHistory(3);  // newest first
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0], (std::vector<std::string>{"05.12.2026", "14:03:08", "5", "E", "", "nie",
                                                    "TRYB TESTU", "PANEL"}));
    EXPECT_EQ(history[2][3], "a;\"b\"");
}

TEST_F(Actions, BacklightAndReadBackQueueTheirReadsOrAreRefused) {
    controller.switchBacklight(true);
    controller.switchBacklight(true);  // the second press finds the link open
    EXPECT_EQ(serial.opened.size(), 1u);
    EXPECT_EQ(pendingSlots(), (std::vector<int>{29, 36, 38}));
    controller.switchBacklight(false);
    EXPECT_EQ(mailbox().text(37), "20Z0");
    controller.disconnect();
    LightFields automatic;
    automatic.autoBacklight = true;
    controller.applyLightSettings(automatic);
    controller.connect();
    mailbox().clear();
    controller.switchBacklight(true);
    EXPECT_TRUE(pendingSlots().empty());
    EXPECT_EQ(ui.messages().back(), messageText(Text::AutoBacklight) + " | Błąd");
    controller.enterTestMode();
    ui.clearCalls();
    controller.switchBacklight(true);
    controller.readFromTower();
    controller.sendLightSettings(automatic);
    EXPECT_EQ(ui.messages(), std::vector<std::string>(3, "Wyłącz tryb testu !    | Błąd"));
    EXPECT_TRUE(pendingSlots().empty());
}

TEST_F(Actions, TestOrDisconnectOnAnOnDemandLinkEndsTheSameWayEveryTime) {
    controller.startPanel("Dec  5 2026");
    controller.switchBacklight(true);
    controller.enterTestMode();
    written(2);
    EXPECT_TRUE(ui.waitUntil([&] { return !link().onDemand(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // sender passes
    EXPECT_TRUE(link().testMode());
    EXPECT_EQ(ui.status(), "TRYB TESTU");
    controller.disconnect();
    controller.switchBacklight(true);
    controller.disconnect();
    EXPECT_FALSE(link().onDemand());
    EXPECT_EQ(shown(), "1 0 1 ROZŁĄCZONY");
}

TEST_F(Actions, LightAndProgramSettings) {
    EXPECT_EQ(lightFieldValue("-5"), 0u);
    EXPECT_EQ(lightFieldValue("12a"), 0u);
    EXPECT_EQ(lightFieldValue("99999999999999"), 0xFFFFFFFFu);
    LightFields f;
    f.fields[0] = "7";
    f.fields[4] = "999";  // kept: only 0 to 255
    controller.applyLightSettings(f);
    EXPECT_EQ(controller.settings().light.display1LowLightLevel, 7);
    EXPECT_EQ(controller.settings().light.display2LowLightLevel, 255);
    EXPECT_EQ(controller.settings().light.display1LowLevelBrightness, 0);  // empty is 0
    EXPECT_TRUE(serial.opened.empty());
    LightFields send;
    send.fields[8] = "10";
    send.fields[9] = "200";
    send.fields[10] = "300";  // the previous value goes instead
    send.autoBacklight = true;
    controller.sendLightSettings(send);
    const char* expected[] = {"20l10", "20o200", "20L0", "20O0", "", "20A1"};
    for (int n = 30; n <= 35; ++n) {
        EXPECT_EQ(mailbox().text(n), expected[n - 30]) << n;
    }
    EXPECT_EQ(mailbox().lastServedSlot(), 8);
    EXPECT_NE(test::readFile(dir.file("VordaCen.ini")).find("\r\n10\r\n200\r\n0\r\n0\r\n1\r\n"),
              std::string::npos);
    const std::string texts[5] = {"Benzyna 95 Super Plus", "", "LPG", "ON", "\xA3\xF3\x64\xBC"};
    const uint32_t colours[5] = {1, 2, 3, 4, 5};
    controller.applyProgramSettings(texts, colours, true);
    EXPECT_NE(test::readFile(dir.file("VordaCen.ini"))
                  .find("\r\n1\r\nBenzyna 95 Supe\r\n1\r\n\r\n2\r\nLPG\r\n3\r\n"),
              std::string::npos);
}

TEST_F(Actions, TransmissionSettingsAreStoredAndSaved) {
    // "No Comm" keeps the port; the list entries "56k", "7", "Even" and "2", and the log box.
    controller.applyTransmissionSettings(TransmissionChoice{"No Comm", 0, 10, 2, 1, 2, true});
    EXPECT_EQ(test::readFile(dir.file("VordaCen.ini")).substr(0, 22),
              "1\r\n56000\r\n7\r\n2\r\n2\r\n1\r\n");
    EXPECT_TRUE(controller.logs().enabled());
    // An absent port's entry; nothing selected in the other lists keeps their values.
    controller.applyTransmissionSettings({"COM12 (brak)", 3});
    EXPECT_EQ(controller.settings().portNumber, 12);
    EXPECT_EQ(controller.settings().serial.baudRate, 56000u);
    ASSERT_TRUE(controller.connect());
    serial.refuseSettings = true;
    EXPECT_FALSE(controller.reapplyPortSettings());
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"Settings failed! | Vorda Cen"});
}

// A file that cannot be written is told once (by the timers' thread, no lock held), and
// again only after it was written in between.
TEST_F(Actions, AFileThatCannotBeWrittenIsToldOnce) {
    controller.startPanel("Dec  5 2026");
    const std::string texts[5] = {"A", "B", "C", "D", "E"};
    const uint32_t colours[5] = {};
    std::filesystem::create_directory(dir.file("VordaCen.ini.tmp"));  // the save's way
    std::filesystem::create_directory(dir.file("HistoriaCen.csv"));
    controller.applyProgramSettings(texts, colours, false);
    controller.enterTestMode();
    controller.sendPrices();
    // In test mode the check ends on the link's thread; its history line is tried there.
    ASSERT_TRUE(
        ui.waitUntil([&] { return (controller.logs().failingFiles() & Logs::kHistoryFile) != 0; }));
    at(330);
    controller.applyProgramSettings(texts, colours, false);
    at(660);
    const std::string where = " w folderze " + dir.path() + " | Błąd";
    EXPECT_EQ(ui.messages(),
              (std::vector<std::string>{
                  "Nie można zapisać ustawień (VordaCen.ini)" + where,
                  "Nie można zapisać historii cen (HistoriaCen.csv); jej wiersze czekają i "
                  "zostaną zapisane później" +
                      where}));
    std::filesystem::remove(dir.file("VordaCen.ini.tmp"));
    controller.applyProgramSettings(texts, colours, false);
    at(990);
    std::filesystem::create_directory(dir.file("VordaCen.ini.tmp"));
    controller.applyProgramSettings(texts, colours, false);
    at(1320);
    EXPECT_EQ(ui.messages().size(), 3u);
}

// Start and Stop of a control file: it needs a connection or test mode, and a file; a stop
// inside a pause stops at once; in test mode the panel shows a looping file's prices until it
// is stopped, and Start and the plain status again after a text that ends by itself.
TEST_F(Actions, AControlFileStartsStopsAtOnceAndShowsItsPricesInTestMode) {
    play("21C1\r\n");
    ui.setControlFile(dir.file("missing.txt"));
    controller.enterTestMode();
    controller.startOrStopControlFile();
    EXPECT_EQ(ui.messages(),
              (std::vector<std::string>{
                  "Rozłączony !\nSkrypt wymaga stałego połączenia\n'Akcja->Połącz' | Błąd",
                  "Błąd otwarcia skryptu | Błąd"}));
    EXPECT_TRUE(ui.callsStartingWith("startstop 1").empty());
    for (const char* pause : {"{S60000}", "{S-1}"}) {  // no sender yet: slot 3 stays pending
        play(std::string(pause) + "\r\n21C1\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto start = Clock::now();
        controller.enterTestMode();  // like Stop, "Rozłącz" and "Połącz"
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << pause;
        EXPECT_FALSE(controller.runner().running());
        EXPECT_EQ(startStop(), "startstop 0");
        EXPECT_FALSE(mailbox().pending(3));
    }
    controller.startPanel("Dec  5 2026");
    controller.enterTestMode();
    play("set all five\r\n21C1.11\r\n22M2.22\r\n23C3.33\r\n24C4.44\r\n25M5.55\r\n{S20}\r\n{G}\r\n");
    EXPECT_EQ(startStop(), "startstop 1");
    EXPECT_EQ(ui.status(), "TRYB TESTU SKRYPTU");
    ASSERT_TRUE(ui.waitUntil([&] { return controller.board().blinking(4); }));
    EXPECT_EQ(boardRow(0) + "|" + boardRow(1) + "|" + boardRow(2),
              "E0 60 60 0|B7 37 37 1|F5 75 75 0");
    controller.startOrStopControlFile();
    EXPECT_FALSE(controller.runner().running());
    EXPECT_EQ(startStop(), "startstop 0");
    EXPECT_EQ(ui.status(), "TRYB TESTU");
    EXPECT_TRUE(serial.opened.empty());  // test mode needs no port
    for (int i = 0; i < 20; ++i) {       // an empty file ends at once, every time
        play(i == 0 ? "21C7.77\r\n22C8.88" : "");
        // The runner tells its end just after it stops running.
        EXPECT_TRUE(ui.waitUntil([&] {
            return !controller.runner().running() && startStop() == "startstop 0" &&
                   ui.status() == "TRYB TESTU";
        }));
    }
    EXPECT_TRUE(ui.waitUntil([&] { return controller.board().segment(1, 0) == 0xFF; }));
}

// Holds the control-file runner inside the {P} of its last line until it is released:
// by the link's status turning "ROZŁĄCZONY", by a stop (with `leaveOnStop`), or after
// `holdMs`.
struct RunnerHold {
    static inline Controller* controller = nullptr;
    static inline std::atomic<bool> reached{false}, released{false};
    static inline int holdMs = 2000;
    static inline bool leaveOnStop = true;
    static inline std::string (*priceBox)(void*, int) = nullptr;
    static inline void (*setStatus)(void*, Text) = nullptr;

    static bool runnerGone() { return !controller->runner().running(); }
    static void waitFor(const std::function<bool()>& done) { test::waitUntil(done, holdMs); }
    static void install(Controller& c, int ms, bool leave) {
        controller = &c;
        holdMs = ms;
        leaveOnStop = leave;
        reached = released = false;
        DisplaySeam& seam = c.display().seam;
        PanelSeam& panel = c.panel().seam;
        priceBox = panel.priceBoxText;
        setStatus = seam.setStatus;
        panel.priceBoxText = [](void* context, int row) {
            reached = true;
            waitFor([] { return released || (leaveOnStop && runnerGone()); });
            return priceBox(context, row);
        };
        seam.setStatus = [](void* context, Text status) {
            setStatus(context, status);
            if (status == Text::Disconnected) {  // let a runner end by itself right now
                released = true;
                waitFor(runnerGone);
            }
        };
    }
};

// A control file ending while the link closes leaves the status "ROZŁĄCZONY"; two stops of
// the runner at once both return only once it has ended.
TEST_F(Actions, AControlFileEndingWhileTheLinkClosesAndTwoStopsAtOnce) {
    controller.connect();
    RunnerHold::install(controller, 2000, true);
    play("21C{P}");
    RunnerHold::waitFor([] { return RunnerHold::reached.load(); });
    controller.disconnect();
    EXPECT_EQ(shown(), "1 0 1 ROZŁĄCZONY");
    controller.connect();
    mailbox().clear();
    RunnerHold::holdMs = 300;  // a stop does not release it now: 300 ms
    RunnerHold::leaveOnStop = RunnerHold::reached = RunnerHold::released = false;
    play("21C{P}");
    RunnerHold::waitFor([] { return RunnerHold::reached.load(); });
    std::thread first([this] { controller.runner().stop(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    controller.runner().stop();
    const bool writtenBeforeTheSecondReturned = mailbox().pending(3);
    first.join();
    EXPECT_TRUE(writtenBeforeTheSecondReturned);
}

// A price order's check always ends and gives its result, whatever happens to the link
// meanwhile. The tower is played in-process behind the recording driver; the sender is
// stepped by hand (no sender thread), so every command goes when the test says.
class Orders : public test::Rig {
  protected:
    // The tower answers; `shown` spoils what it shows of a price command.
    void tower(std::function<std::string(std::string)> shown = nullptr) {
        serial.answer = [this, shown](const std::string& text) {
            return towersim::execute(state, shown ? shown(text) : text, 100).bytes;
        };
    }
    // A command-line order of row 2 (to `c`, else the program of the test).
    void order(const std::string& row2, Controller* c = nullptr) {
        PriceOrder o;
        o.named[1] = true;
        o.text[1] = row2;
        (c ? *c : controller)
            .sendOrderedPrices(o, [this](OrderExit code, const std::string& lines) {
                std::lock_guard<std::mutex> lock(resultMutex);
                result = std::to_string(static_cast<int>(code)) + " " + lines;
            });
    }
    // Plans row `row` (0 to 4) at `text`, due `in` seconds from now (at UTC+`offset` minutes);
    // its id.
    std::string plan(Controller& c, int row, const std::string& text = "", int64_t in = 0,
                     OrderSource source = OrderSource::Panel, int offset = 60) {
        PriceOrder p;
        p.named[row] = true;
        p.blink[row] = !text.empty() && text.back() == '*';  // "5.59*" blinks
        p.text[row] = text.substr(0, text.size() - p.blink[row]);
        std::string id;
        EXPECT_TRUE(c.addOrder(p, clock.utc + in, offset, source, &id));
        return id;
    }
    std::string takeResult() {
        std::lock_guard<std::mutex> lock(resultMutex);
        return std::exchange(result, "");
    }
    // Steps the sender at the clock's time until the order has its result (or 5 s pass).
    std::string stepUntilResult() {
        std::string r;
        ui.waitUntil([&] {
            link().tick(steadyNow);
            r = takeResult();
            return !r.empty();
        });
        return r;
    }
    // A file of orders in "Zlecenia" (each "id row price seconds-from-now"), last changed
    // long ago: taken in at the first look.
    void drop(const std::string& name, const std::vector<std::string>& orders) {
        std::string items;
        for (const std::string& o : orders) {
            std::istringstream words(o);
            std::string id, row, price;
            int64_t in = 0;
            words >> id >> row >> price >> in;
            items += std::string(items.empty() ? "" : ",") + R"({"id":")" + id + R"(","od":")" +
                     orderTimeText(clock.utc + in, 60) + R"(","ceny":{")" + row + R"(":")" + price +
                     "\"}}";
        }
        std::filesystem::create_directories(dir.file("Zlecenia"));
        test::writeFile(dir.file("Zlecenia/" + name), "{\"zlecenia\":[" + items + "]}");
        const utimbuf old{1000, 1000};
        utime(dir.file("Zlecenia/" + name).c_str(), &old);
    }
    bool runUntil(const std::function<bool()>& done) {
        return ui.waitUntil([&] {
            at(steadyNow);
            return done();
        });
    }
    // Row 2's result in the history's last send.
    std::string row2() {
        const auto h = controller.priceHistory(4);
        return h.size() == 4 ? h[3][6] : "";
    }

    towersim::TowerState state;
    std::mutex resultMutex;
    std::string result;
};

TEST_F(Orders, ConfirmedOrNotAsTheTowerShowsItWhateverHappensToTheLink) {
    tower();
    order("6.19");
    EXPECT_EQ(stepUntilResult(), "0 CENY POTWIERDZONE");
    tower([](std::string text) { return text == "22C6.09" ? "22C5.09" : text; });
    order("6.09");
    EXPECT_EQ(stepUntilResult(), "1 CENY NIEZGODNE\nCena 2: wysłano 6.09, Vorda pokazuje 5.09");
    EXPECT_EQ(row2(), "NIEZGODNE: 5.09");
    EXPECT_EQ(ui.priceText(1), "6.09");    // the box keeps what was asked for
    EXPECT_EQ(boardRow(1), "DD 7B 7D 0");  // the board shows the tower's 5.09
    // The port goes away and stays away under an order: the on-demand link gives it up.
    order("6.19");
    link().tick(0);
    serial.openError = OpenError::NotFound;
    serial.failWaits(test::FakeSerial::kGone);
    ASSERT_TRUE(ui.waitUntil([&] { return link().portMissing(); }));
    at(10000);
    EXPECT_EQ(takeResult(), "2 BRAK PORTU COM1");
    EXPECT_EQ(row2(), "BRAK ODPOWIEDZI");
    serial.failWaits(0);
    serial.openError = OpenError::None;
    // "Rozłącz" while the next is under way: interrupted by the operator.
    order("6.29");
    link().tick(10000);
    controller.disconnect();
    EXPECT_EQ(takeResult(), "5 Wysyłanie przerwane w programie przed potwierdzeniem");
    // A tower that never answers: the check ends at its limit, 30 s after its send.
    serial.answer = nullptr;
    order("6.39");
    at(39999);
    EXPECT_EQ(takeResult(), "");
    at(40000);
    EXPECT_EQ(takeResult(), "2 BRAK ODPOWIEDZI");
    EXPECT_EQ(row2(), "BRAK ODPOWIEDZI");
    controller.disconnect();
    // The light dialog's "20E" goes before the order's rows: the order still ends.
    tower();
    order("6.49");
    link().tick(40000);  // row 1 goes
    LightFields light;
    light.fields[8] = "10";
    controller.sendLightSettings(light);
    EXPECT_EQ(stepUntilResult(), "0 CENY POTWIERDZONE");
    EXPECT_TRUE(ui.messages().empty());
}

// At the program's end a check under way is recorded unanswered, without a message; a planned
// send the tower confirmed just before (the book's part not yet taken up by the timers'
// thread) is kept as confirmed, not as unanswered at the next start.
TEST_F(Orders, AtTheProgramsEndACheckUnderWayIsRecordedAndAConfirmedOneKeptConfirmed) {
    auto program = std::make_unique<Controller>(platform());
    order("6.19", program.get());
    ui.setPriceBox(0, "5.59");
    program->sendPrices();  // the operator's send supersedes the order
    EXPECT_EQ(takeResult(), "5 Wysyłanie przerwane w programie przed potwierdzeniem");
    program.reset();
    const std::string h = test::readFile(dir.file("HistoriaCen.csv"));
    EXPECT_NE(h.find(";1;AAA;5.59;nie;BRAK ODPOWIEDZI;PANEL\r\n"), std::string::npos);
    EXPECT_TRUE(ui.messages().empty());
    tower();
    program = std::make_unique<Controller>(platform());
    const std::string id = plan(*program, 0, "5.59");
    program->timers().runDue(steadyNow);  // not started: its timers run only when told
    ASSERT_TRUE(ui.waitUntil([&] {
        program->link().tick(steadyNow);
        return program->priceHistory(1)[0][7] == "ZLECENIE " + id;
    }));
    program.reset();
    OrderBook book(dir.file("ZleceniaCen.json"));
    std::string why;
    ASSERT_TRUE(book.load(clock.utc, &why)) << why;
    bool found = false;
    EXPECT_EQ(orderResultText(book.find(id, &found).result),
              std::string(orderResultText(OrderResult::Confirmed)));
}

// Only the operator's own read ("Połącz", "Czytaj z Vordy") fills the boxes: not a check's
// read-back that took over its slots, nor a late answer to it after an order set the boxes.
// A read or a control file that takes the slots of rows still to go interrupts that send.
TEST_F(Orders, OnlyTheOperatorsReadFillsTheBoxesAndNothingStrandsACheck) {
    tower([](std::string text) { return text == "22M6.09" ? "22C5.09" : text; });
    ASSERT_TRUE(controller.connect());  // its reads are queued, not yet sent
    ui.setPriceBox(1, "6.09");
    ui.setBlinkBox(1, true);
    controller.sendPrices();
    while (link().slotInFlight() != 0 || mailbox().anyPending()) {
        link().tick(0);
        ui.waitUntil([&] { return link().slotInFlight() == 0; });
    }
    EXPECT_EQ(ui.callsStartingWith("status CENY NIEZGODNE").size(), 1u);
    EXPECT_EQ(ui.priceText(1) + (ui.blinkChecked(1) ? "*" : ""), "6.09*");
    // The operator's read is in flight, its answer late, when an order sets box 1.
    std::string late;
    serial.answer = [&](const std::string& text) {
        return text == "20C" && late.empty()
                   ? (late = towersim::execute(state, text, 100).bytes, std::string())
                   : towersim::execute(state, text, 100).bytes;
    };
    towersim::execute(state, "21C4.99", 100);
    controller.readFromTower();
    ui.waitUntil([&] {
        link().tick(0);
        return link().slotInFlight() == kSlotReadPrices;
    });
    order("6.19");
    EXPECT_EQ(ui.priceText(1), "6.19");
    serial.receive(late);
    EXPECT_EQ(stepUntilResult(), "0 CENY POTWIERDZONE");
    EXPECT_EQ(ui.priceText(1), "6.19");
    // A read, then a control file, overtaking an order's rows interrupt it at once.
    tower();
    test::writeFile(dir.file("f.txt"), "22C1.11\r\n{S60000}\r\n");
    ui.setControlFile(dir.file("f.txt"));
    for (const auto& overtake : std::vector<std::function<void()>>{
             [&] { controller.readFromTower(); }, [&] { controller.startOrStopControlFile(); }}) {
        order("6.29");
        link().tick(0);  // row 1 goes; rows 2 to 5 wait
        overtake();
        EXPECT_EQ(takeResult(), "5 Wysyłanie przerwane w programie przed potwierdzeniem");
    }
    controller.startOrStopControlFile();
}

// Planned orders: each goes at its time (the wall clock and the deadlines' clock moved
// together), once; at a start, those that passed meanwhile go as one send, the newest per
// row, the fully superseded "POMINIĘTE"; a clock change takes the next time again; a
// cancelled order never goes.
TEST_F(Orders, PlannedOrdersGoAtTheirTimeOnceAndPassedOnesAtTheStart) {
    tower();
    auto later = [&](int64_t seconds) {
        clock.utc += seconds;
        at(steadyNow + static_cast<uint64_t>(seconds) * 1000);
    };
    auto results = [&] {
        std::string r;
        for (const Order& o : controller.orders()) {
            r += o.id.substr(o.id.size() - 2) + "=" + orderResultText(o.result) + " ";
        }
        return r;
    };
    {  // Taken while the program was not running: three passed, one waiting.
        Controller before(platform());
        plan(before, 0, "5.00", 60);
        plan(before, 0, "5.10", 120);
        plan(before, 1, "6.10", 120);
        EXPECT_EQ(plan(before, 2, "7.00", 3600), "panel-20261206-0800");  // local time, minutes
        ASSERT_TRUE(before.cancelOrder(plan(before, 4, "1.00", 7200)));
    }
    clock.utc += 180;
    controller.startPanel("Dec  5 2026");
    at(steadyNow);
    ASSERT_TRUE(ui.waitUntil([&] {
        return results() ==
               "00=ANULOWANE 00=OCZEKUJE -2=POTWIERDZONO 02=POTWIERDZONO 01=POMINI\u0118TE ";
    })) << results();
    const auto sent = controller.priceHistory(5);  // the rows named, and only they
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1][2] + sent[0][2] + " " + sent[0][7], "12 ZLECENIE panel-20261206-0702-2");
    EXPECT_EQ(ui.priceText(0) + " " + ui.priceText(1), "5.10 6.10");
    EXPECT_EQ(ui.trayTip(), "Vorda Cen \xE2\x80\x93 zmiana cen 06.12 08:00");
    // The waiting one at its time, not before; the clock set forward takes its time again.
    later(3600 - 180 - 1);
    EXPECT_EQ(results().substr(0, 25), "00=ANULOWANE 00=OCZEKUJE ");
    clock.utc += 1;
    controller.clockChanged();
    at(steadyNow);
    EXPECT_TRUE(ui.waitUntil([&] { return ui.priceText(2) == "7.00"; }));
    EXPECT_TRUE(ui.waitUntil([&] { return results().substr(13, 15) == "00=POTWIERDZONO"; }))
        << results();
    EXPECT_EQ(controller.nextOrderDue(), std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(ui.waitUntil([&] { return ui.trayTip() == "Vorda Cen"; }));
}

// A due order waits while a check is under way, and goes when it ends; in test mode it is
// recorded "TRYB TESTU" like a send; a box or dialog nobody answers holds it 5 minutes at most.
TEST_F(Orders, ADueOrderWaitsForTheCheckUnderWayOrABoxAndTestModeRecordsIt) {
    controller.startPanel("Dec  5 2026");  // a silent tower: the check stays under way
    controller.sendPrices();
    EXPECT_EQ(plan(controller, 3, "4.44", 0, OrderSource::Script, 0), "skrypt-20261206-0600");
    at(steadyNow);
    EXPECT_EQ(controller.orders()[0].result, OrderResult::Waiting);
    controller.enterTestMode();  // ends the check: the order goes, in test mode
    ASSERT_TRUE(ui.waitUntil([&] {
        at(steadyNow);
        return controller.orders()[0].result == OrderResult::TestMode;
    }));
    EXPECT_EQ(ui.priceText(3), "4.44");
    EXPECT_EQ(controller.priceHistory(1)[0],
              (std::vector<std::string>{"01.01.2000", "00:00:00", "4", "DDD", "4.44", "nie",
                                        "TRYB TESTU", "ZLECENIE skrypt-20261206-0600"}));
    // A box or dialog that nobody answers holds a due order back 5 minutes at most.
    test::TempDir own;  // of a program of its own
    Platform p = platform();
    p.startDirectory = own.path();
    p.panel.operatorBusy = [](void*) { return true; };
    Controller held(p);
    held.enterTestMode();
    const std::string id = plan(held, 0, "5.55");
    for (const uint64_t ms : {0, 299999, 1}) {
        steadyNow = steadyNow + ms;
        held.timers().runDue(steadyNow);
        EXPECT_EQ(resultOf(held, id), ms == 1 ? "TRYB TESTU" : "OCZEKUJE") << ms;
    }
}

// A planned order sends only the rows it names (a blinking one blinking, in its box too), and
// "20E": the tower's other rows stay as they are, and only its rows are checked and recorded.
// "/ceny" meanwhile is refused as while an earlier order is checked.
TEST_F(Orders, APlannedOrderSendsOnlyItsRowsAndACommandLineOrderWaitsForIt) {
    tower();
    for (const char* shown : {"21C5.49", "22C6.19", "23C6.89", "24C7.09", "25C3.19"}) {
        towersim::execute(state, shown, 100);
    }
    const auto before = state;
    const std::string id = plan(controller, 0, "5.59*");
    at(steadyNow);
    order("6.29");
    EXPECT_EQ(takeResult(), "5 Trwa już inne wysyłanie cen z wiersza poleceń");
    ASSERT_TRUE(runUntil([&] { return resultOf(controller, id) == "POTWIERDZONO"; }));
    std::string sent;
    for (const std::string& w : writes()) {
        sent += w.substr(1, w.size() - 4) + " ";
    }
    EXPECT_EQ(sent, "21M5.59 20S 20Z 20E 20C 20M ");  // with the link's own and the read-back
    EXPECT_EQ(ui.priceText(0) + (ui.blinkChecked(0) ? "*" : ""), "5.59*");
    EXPECT_EQ(std::memcmp(state.display[1], before.display[1], sizeof state.display[1] * 4), 0);
    EXPECT_EQ(controller.priceHistory(5).size(), 1u);
}

// The folder's orders: a file is filed only once the book holding its orders is saved (a
// failed save is tried again, on the blink tick and at the program's end); every ended
// order gets its result file, the skipped and the cancelled too; one offered again under an
// ended one's id is refused with the reason. The folder is looked at every minute.
TEST_F(Orders, AFolderFileIsFiledOnceItsOrdersAreSavedAndEachEndedOneGetsItsResult) {
    const std::string in = dir.file("Zlecenia/"), blocker = dir.file("ZleceniaCen.json.tmp");
    std::string kept;
    {
        Controller first(platform());
        std::filesystem::create_directory(blocker);  // its saves fail
        kept = plan(first, 4, "", 7200);
        std::filesystem::remove(blocker);
    }
    std::filesystem::create_directory(blocker);
    drop("a.json", {"stare 1 5.00 -120", "nowe 1 5.10 -60", "pozniej 2 6.00 3600"});
    controller.enterTestMode();
    controller.startPanel("Dec  5 2026");
    ASSERT_TRUE(runUntil([&] { return resultOf(controller, "nowe") == "TRYB TESTU"; }));
    EXPECT_EQ(resultOf(controller, kept), "OCZEKUJE");
    EXPECT_TRUE(test::fileExists(in + "a.json") && !test::fileExists(in + "przyjete/a.json"));
    std::filesystem::remove(blocker);
    at(steadyNow + kHistoryRetryMs + 330);  // saved, then filed at a later look
    EXPECT_TRUE(ui.waitUntil([&] {
        at(steadyNow + 100);
        return test::fileExists(in + "przyjete/a.json");
    }));
    EXPECT_FALSE(test::fileExists(in + "a.json"));
    ASSERT_TRUE(controller.cancelOrder("pozniej"));
    const std::string results[][2] = {
        {"stare", "POMINIĘTE"}, {"nowe", "TRYB TESTU"}, {"pozniej", "ANULOWANE"}};
    for (const auto& r : results) {
        EXPECT_NE(test::readFile(in + "wyniki/" + r[0] + ".json").find(r[1]), std::string::npos);
    }
    drop("b.json", {"nowe 1 5.20 86400"});
    steadyNow = steadyNow + 60000;
    ASSERT_TRUE(runUntil([&] { return test::fileExists(in + "odrzucone/b.json.txt"); }));
    EXPECT_EQ(test::readFile(in + "odrzucone/b.json.txt"),
              "\xEF\xBB\xBFZlecenie \"nowe\": zlecenie o tym identyfikatorze już się zakończyło "
              "(TRYB TESTU)\r\n");
}

// The watched folder, removed, is made again and watched again; a result that could not be
// written before the program ended is written at its next start; at most 20 files are taken
// in a look, the rest at the next.
TEST_F(Orders, TheFolderIsWatchedAgainResultsAreWrittenAtTheNextStartTwentyFilesALook) {
    const std::string in = dir.file("Zlecenia/");
    {
        Platform p = platform();
        p.folderWatch = platformFolderWatch();
        Controller watched(p);
        watched.enterTestMode();
        watched.startPanel("Dec  5 2026");
        const auto step = [&](const std::function<bool()>& done) {
            return ui.waitUntil([&] {
                steadyNow = steadyNow + 1;  // far from the next minute's look
                watched.timers().runDue(steadyNow);
                return done();
            });
        };
        std::filesystem::remove_all(dir.file("Zlecenia"));
        steadyNow = steadyNow + 60000;
        EXPECT_TRUE(step([&] { return std::filesystem::is_directory(in + "wyniki"); }));
        std::filesystem::create_directory(in + "wyniki/r.json.tmp");  // r's result write fails
        drop("b.json", {"b 2 6.00 3600", "r 1 5.00 -60"});
        EXPECT_TRUE(step([&] { return resultOf(watched, "r") == "TRYB TESTU"; }));
    }
    EXPECT_FALSE(test::fileExists(in + "wyniki/r.json"));
    std::filesystem::remove(in + "wyniki/r.json.tmp");
    for (int i = 0; i < 45; ++i) {
        drop("f" + std::to_string(i) + ".json", {"z" + std::to_string(i) + " 1 5.00 3600"});
    }
    controller.startPanel("Dec  5 2026");
    EXPECT_TRUE(runUntil([&] { return test::fileExists(in + "wyniki/r.json"); }));
    EXPECT_EQ(test::readFile(dir.file("ZleceniaCen.json")).find("wynikDoZapisu"),
              std::string::npos);
    for (const size_t orders : {22, 42, 47}) {
        EXPECT_TRUE(runUntil([&] { return controller.orders().size() >= orders; }));
        EXPECT_EQ(controller.orders().size(), orders);
        steadyNow = steadyNow + 1;
    }
    // Files kept but not filed ("przyjete" cannot be made) shut none of the others out.
    std::filesystem::remove_all(in + "przyjete");
    test::writeFile(in + "przyjete", "");
    for (int i = 0; i < 25; ++i) {
        drop("g" + std::to_string(i) + ".json", {"y" + std::to_string(i) + " 1 5.00 3600"});
    }
    EXPECT_TRUE(runUntil([&] {
        steadyNow = steadyNow + 1000;
        return controller.orders().size() == 72;
    })) << controller.orders().size();
}

// Two threads scheduling the next order at once (an order planned on the user-interface
// thread, the timers' look) never leave a newer order unscheduled.
TEST_F(Orders, ARacingLookNeverUnschedulesANewerOrder) {
    controller.enterTestMode();
    for (int i = 0; i < 30; ++i) {
        std::atomic<int> ready{0};
        std::thread timersSide([&] {
            for (++ready; ready < 2;) {
            }
            controller.operatorFree();
            controller.timers().runDue(steadyNow);
        });
        for (++ready; ready < 2;) {
        }
        const std::string id = plan(controller, i % 5, "", 10);
        timersSide.join();
        clock.utc += 10;
        steadyNow = steadyNow + 10000;
        controller.timers().runDue(steadyNow);
        ASSERT_NE(resultOf(controller, id), "OCZEKUJE") << i;
    }
}

// A control file started on a link opened on demand keeps it open while it plays; the link
// closes once the file is stopped and nothing is left.
TEST_F(Orders, AControlFileKeepsAnOnDemandLinkOpenWhileItPlays) {
    tower();
    controller.switchBacklight(true);
    test::writeFile(dir.file("wait.txt"), "21C1.11\r\n{S60000}\r\n");
    ui.setControlFile(dir.file("wait.txt"));
    controller.startOrStopControlFile();
    ASSERT_TRUE(ui.waitUntil([&] {
        link().tick(0);
        return writes().size() == 4 && link().slotInFlight() == 0;  // 20S 20Z1 20Z 21C1.11
    }));
    link().tick(0);
    EXPECT_TRUE(link().connected());
    EXPECT_TRUE(controller.runner().running());
    controller.startOrStopControlFile();
    link().tick(0);
    EXPECT_FALSE(link().connected());
}

// The main window's scrolling over the 623 x 512 view (and a larger one).
TEST(View, ScrollingStopsAtTheEndsAndFollowsTheSize) {
    ScrollView r;
    viewSizing(r, 700, 600);  // large enough: nothing to scroll
    EXPECT_EQ(r.hScrollMax + r.vScrollMax + r.hOffset + r.vOffset, 0);
    viewSizing(r, 300, 400);
    EXPECT_EQ(r.hScrollMax, 323);
    EXPECT_EQ(r.vScrollMax, 112);
    const struct {
        bool vertical;
        ScrollCode code;
        int thumb;
        int moved;
    } steps[] = {
        {true, ScrollCode::LineBack, 0, 0},         {true, ScrollCode::LineForward, 0, 1},
        {true, ScrollCode::PageForward, 0, 111},    {true, ScrollCode::PageForward, 0, 0},
        {true, ScrollCode::Start, 0, -112},         {false, ScrollCode::PageForward, 0, 300},
        {false, ScrollCode::PageForward, 0, 23},    {false, ScrollCode::PageBack, 0, -300},
        {true, ScrollCode::Other, 50, 0},           {true, ScrollCode::ThumbPosition, 50, 50},
        {true, ScrollCode::ThumbPosition, 500, 62}, {true, ScrollCode::End, 0, 0},
        {false, ScrollCode::End, 0, 300},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(viewScroll(r, s.vertical, s.code, s.thumb), s.moved)
            << s.vertical << " " << static_cast<int>(s.code);
    }
    // Enlarging the window brings the offsets back within the new range.
    const ViewShift shift = viewSizing(r, 600, 450);
    EXPECT_EQ(r.vOffset, 62);
    EXPECT_EQ(r.hOffset, 23);
    EXPECT_EQ(shift.dy, 50);
    EXPECT_EQ(shift.dx, 300);
    r.columns = 935;  // the surface at 144 DPI
    r.rows = 768;
    viewSizing(r, 600, 450);
    EXPECT_EQ(std::make_pair(r.hScrollMax, r.vScrollMax), std::make_pair(335, 318));
}

}  // namespace
}  // namespace vorda
