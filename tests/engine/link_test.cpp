// The mailbox's rotation; the link's sender and receiver threads over a recording serial
// driver, with the link's deadlines made due by hand: one command at a time, re-sends and
// give-up, answers and what they fill, the port's error counting, waking the sleeping
// threads, and a port whose device goes away and comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "support/rig.h"

namespace vorda {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::FakeSerial;
using test::frameOf;

const std::string kAck = "\x06";
const std::string kPricesAnswer = "CB766F6" + std::string(24, '0');  // price 1 at 5.49

// A slot written again while its older command is in flight stays pending for the newer.
TEST(MailboxTest, PendingSlotsAboveTheLastServedGoFirstThenTheScanStartsAgain) {
    Mailbox m;
    char buffer[kSendBufferSize];
    m.write(5, "23C1.00");
    m.write(30, "20l");
    m.presetLastServed(29);
    EXPECT_EQ(m.takeNext(buffer), 30);
    EXPECT_STREQ(buffer, "20l");
    m.finish(30);
    EXPECT_EQ(m.takeNext(buffer), 0);  // nothing above 30: the scan starts again
    EXPECT_TRUE(m.anyPending());
    EXPECT_EQ(m.takeNext(buffer), 5);
    m.write(5, "23C2.00");  // written again while in flight: the answer leaves it pending
    m.finish(5);
    EXPECT_TRUE(m.pending(5));
    EXPECT_EQ(m.takeNext(buffer) + m.takeNext(buffer), 5);
    EXPECT_STREQ(buffer, "23C2.00");
    m.finish(5);
    EXPECT_FALSE(m.anyPending());
    EXPECT_FALSE(m.write(41, "20E"));
    EXPECT_FALSE(m.write(3, std::string(31, '1')));
}

#ifndef NDEBUG
// A thread that would spin for ever on a lock it holds itself (a handler run inside a box's
// loop, say) stops a debug build at once.
TEST(LocksDeathTest, SpinningOnALockThisThreadHoldsStopsADebugBuild) {
    EXPECT_DEATH(
        {
            LockCounter lock;
            spinAcquire(lock);
            spinAcquire(lock);
        },
        "spins on a lock it holds");
}
#endif

class LinkTest : public test::Rig {
  protected:
    void start() {
        controller.applyTransmissionSettings({"COM1", 0, 6});  // 9600 baud
        ASSERT_EQ(link().open(1, controller.settings().serial), Result::Ok);
        controller.startPanel("Dec  5 2026");
    }
    bool idle() {
        return ui.waitUntil([&] { return link().slotInFlight() == 0 && !link().answerTimerOn(); });
    }
    // The sender armed the answer time-out of this length (it writes the frame first).
    bool armed(uint32_t periodMs) {
        return ui.waitUntil(
            [&] { return link().answerTimerOn() && link().answerPeriodMs() == periodMs; });
    }
    bool status(const std::string& text) {
        return ui.waitUntil([&] { return ui.status() == text; });
    }
    template <typename T>
    void set(T& field, T value) {
        std::lock_guard<std::mutex> lock(serial.mutex);
        field = value;
    }
};

TEST_F(LinkTest, OneCommandAtATimeSentThreeTimesToASilentTowerThenGivenUp) {
    start();
    mailbox().write(3, "21C4.59");
    mailbox().write(39, "20E");
    ASSERT_TRUE(armed(300));
    EXPECT_EQ(writes(), std::vector<std::string>{frameOf("21C4.59")});
    expireAnswerTimeout();
    EXPECT_EQ(link().answerDeadline(), 600u);  // sent at 0 of the still clock, re-sent at 300
    expireAnswerTimeout();
    EXPECT_EQ(writes(), std::vector<std::string>(3, frameOf("21C4.59")));
    EXPECT_TRUE(mailbox().pending(3));
    expireAnswerTimeout();  // given up: the next command goes out
    ASSERT_TRUE(armed(500));
    EXPECT_EQ(writes().at(3), frameOf("20E"));
    EXPECT_EQ(serial.discards, 2);  // before each command's first send, not before a re-send
    EXPECT_FALSE(mailbox().pending(3));
    EXPECT_EQ(link().errors().answerErrors, 3u);
    // Two time-outs and then an answer, among other bytes, keep the command.
    expireAnswerTimeout();
    expireAnswerTimeout();
    const uint64_t late = link().answerDeadline();
    serial.receive("xx\x15" + kAck + "yy");
    ASSERT_TRUE(idle());
    EXPECT_FALSE(mailbox().pending(39));
    EXPECT_EQ(writes().size(), 6u);
    link().tick(late);  // a deadline of a completed command does nothing
    EXPECT_EQ(link().errors().answerErrors, 5u);
    // A time-out that finds a link lock taken does nothing until the lock is free.
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(7));
    {
        LinkLocks held(link());
        expireAnswerTimeout();
    }
    EXPECT_EQ(link().errors().answerErrors, 5u);
    expireAnswerTimeout();
    EXPECT_EQ(link().errors().answerErrors, 6u);
    // Bytes left from an earlier command do not answer the next one.
    serial.receive(kAck);
    ASSERT_TRUE(idle());
    {
        std::lock_guard<std::mutex> lock(serial.mutex);
        serial.incoming.push_back(0x06);  // a late ACK, not yet read when the next goes
    }
    mailbox().write(36, "20Z1");
    ASSERT_TRUE(armed(300));
    serial.changed.notify_all();
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(link().slotInFlight(), 36);  // still waiting for its own answer
}

TEST_F(LinkTest, SleepingThreadsWakeAtOnceForACommandACloseAndAStop) {
    start();
    link().startConnection(false);  // the poll falls due in 5 s: the sender sleeps until then
    std::this_thread::sleep_for(milliseconds(50));
    auto started = steady_clock::now();
    mailbox().write(39, "20E");
    ASSERT_TRUE(written(1));  // at once: a generous bound, far below the sleep of 5 s
    EXPECT_LT(steady_clock::now() - started, milliseconds(500));
    serial.receive(kAck);
    ASSERT_TRUE(idle());
    started = steady_clock::now();
    link().close();  // the waiting receiver holds the port until it wakes
    EXPECT_TRUE(ui.waitUntil([&] {
        std::lock_guard<std::mutex> lock(serial.mutex);
        return serial.closes == 1;
    }));
    link().stopSender();
    EXPECT_LT(steady_clock::now() - started, milliseconds(1000));
}

// Settings the driver refuses are not kept: the time-outs and a reopening use the last
// settings it accepted.
TEST_F(LinkTest, APortWhoseDeviceWentAwayIsOpenedAgainEveryTwoSecondsUntilItIsBack) {
    start();  // 9600 baud
    set(serial.refuseSettings, true);
    SerialSettings faster;
    faster.baudRate = 19200;
    EXPECT_EQ(link().configure(faster), Result::PortRefused);
    set(serial.refuseSettings, false);
    mailbox().write(3, "21C4.59");
    ASSERT_TRUE(armed(300));  // 200 at 19200 baud
    serial.openError = OpenError::NotFound;
    serial.failWaits(FakeSerial::kGone);  // unplugged while the command waits for its answer
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    serial.failWaits(0);
    EXPECT_EQ(link().errors().errorRdCount, 1u);
    mailbox().write(39, "20E");  // queued meanwhile
    expireAnswerTimeout();       // the time-out waits for the port
    link().tick(1999);
    EXPECT_EQ(serial.opened.size(), 1u);
    link().tick(2000);
    EXPECT_EQ(serial.opened.size(), 2u);
    serial.openError = OpenError::None;
    link().tick(4000);  // back: the command in flight goes again, afresh, then the rest
    EXPECT_EQ(ui.status(), "POŁĄCZONY");
    EXPECT_EQ(writes(), std::vector<std::string>(2, frameOf("21C4.59")));
    EXPECT_EQ(serial.configured.back().baudRate, 9600u);
    EXPECT_EQ(link().errors().answerErrors, 0u);
    serial.receive(kAck);
    ASSERT_TRUE(written(3));
    EXPECT_EQ(writes()[2], frameOf("20E"));
    serial.receive(kAck);
    // A read or a write that finds the device gone does the same.
    for (bool reading : {true, false}) {
        ASSERT_TRUE(idle());
        set(reading ? serial.readError : serial.writeError, FakeSerial::kGone);
        const size_t sent = writes().size();
        mailbox().write(39, "20E");
        ASSERT_TRUE(written(sent + 1));  // what came before its send would be discarded
        serial.receive(reading ? kAck : "");
        ASSERT_TRUE(status("BRAK PORTU COM1"));
        set(reading ? serial.readError : serial.writeError, 0u);
        link().tick(2000);
        EXPECT_EQ(ui.status(), "POŁĄCZONY");
        serial.receive(kAck);
    }
    // "Rozłącz" ends the attempts, also one under way: the port it opened closes again.
    serial.failWaits(FakeSerial::kGone);
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    serial.failWaits(0);
    serial.onOpen = [this] { controller.disconnect(); };
    link().tick(4000);
    serial.onOpen = nullptr;
    const size_t opens = serial.opened.size();
    link().tick(60000);
    EXPECT_EQ(serial.opened.size(), opens);
    EXPECT_EQ(ui.status(), "ROZŁĄCZONY");
    EXPECT_FALSE(link().connected());
    EXPECT_EQ(serial.openPorts, 0);
}

// An on-demand link gives its commands up 10 s after its port first went away, also when
// the port came back and went again meanwhile; and a command whose port keeps going away
// has three sends, like one the tower does not answer.
TEST_F(LinkTest, APortThatKeepsGoingAwayDoesNotHoldItsCommandsForEver) {
    controller.startPanel("Dec  5 2026");
    controller.switchBacklight(true);  // connects on demand: 20S, 20Z1, 20Z
    ASSERT_TRUE(written(1));
    serial.failWaits(FakeSerial::kGone);
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    serial.failWaits(0);
    at(2000);  // back: 20S goes again
    ASSERT_TRUE(written(2));
    steadyNow = 2100;  // before its answer's time-out
    serial.openError = OpenError::NotFound;
    serial.failWaits(FakeSerial::kGone);  // and away again
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    at(9999);
    EXPECT_TRUE(link().connected());
    EXPECT_EQ(pendingSlots(), (std::vector<int>{29, 36, 38}));
    at(10000);
    EXPECT_FALSE(link().connected());
    EXPECT_TRUE(pendingSlots().empty());
    EXPECT_EQ(shown(), "1 0 1 BŁĄD TRANSMISJI");

    serial.failWaits(0);
    serial.openError = OpenError::None;
    start();
    set(serial.writeError, FakeSerial::kGone);  // every write finds the device gone
    mailbox().write(3, "21C4.59");
    ASSERT_TRUE(status("BRAK PORTU COM1"));
    mailbox().write(39, "20E");
    at(12000);  // back, sent again, gone again
    at(14000);
    EXPECT_EQ(writes().size(), 5u);  // 20S twice before, 21C4.59 three times
    set(serial.writeError, 0u);
    at(16000);  // back: its three sends are over, the next command goes
    EXPECT_FALSE(mailbox().pending(3));
    ASSERT_TRUE(written(6));
    const auto w = writes();
    EXPECT_EQ(w.back(), frameOf("20E"));
    EXPECT_EQ(std::count(w.begin(), w.end(), frameOf("21C4.59")), 3);
}

TEST_F(LinkTest, DataAnswersFillTheBoxesTheBoardAndTheSettings) {
    static const std::map<std::string, std::string> answers = {
        {"20C", "\x06" + frameOf(kPricesAnswer.substr(0, 30)) + frameOf(kPricesAnswer + "0") +
                    frameOf(kPricesAnswer)},  // wrong lengths are ignored
        {"20M", frameOf("M10000")},
        {"20S", frameOf("S1234") + frameOf("S7")},  // the first is too long
        {"20l", frameOf("l42x")},
        {"20L", frameOf("L100")},
        {"20O", frameOf("O999")},                   // no setting holds it: kept
        {"20o", frameOf("o9").replace(3, 1, "8")},  // a wrong checksum
        {"20A", frameOf("A1")},
        {"20Z", frameOf("Z1")},
        {"20V", frameOf("V2.07")}};
    serial.answer = [](const std::string& text) {
        return answers.count(text) ? answers.at(text) : std::string();
    };
    start();
    controller.readFromTower();
    controller.link().pollTick();
    ASSERT_TRUE(ui.waitUntil([&] { return link().errors().answerErrors == 1; }));
    EXPECT_EQ(ui.priceText(0) + "|" + ui.priceText(1), "5.49|");
    EXPECT_TRUE(ui.blinkChecked(0));
    EXPECT_FALSE(ui.blinkChecked(1));
    EXPECT_EQ(boardRow(0), "DD 6C 7D 1");
    EXPECT_EQ(ui.lightLevel(), "7");
    EXPECT_EQ(link().slotInFlight(), 31);  // a wrong checksum leaves it to the time-out
    for (int i = 0; i < 3; ++i) {
        expireAnswerTimeout();
    }
    ASSERT_TRUE(ui.waitUntil([&] { return !mailbox().anyPending(); }));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(controller.board().backlightShown());
    EXPECT_EQ(ui.callsStartingWith("invalidate 224").size(), 1u);
    EXPECT_EQ(controller.priceControllerVersion(), "ver.2.07");
    // The version answer after a read-back saves the settings (42 taken, 999 kept out), once.
    EXPECT_NE(test::readFile(dir.file("VordaCen.ini")).find("\r\n42\r\n255\r\n100\r\n255\r\n1\r\n"),
              std::string::npos);
    std::remove(dir.file("VordaCen.ini").c_str());
    mailbox().write(40, "20V");
    ASSERT_TRUE(idle());
    EXPECT_FALSE(test::fileExists(dir.file("VordaCen.ini")));
}

TEST_F(LinkTest, ThePortCountsAndMarksItsErrors) {
    TransmissionChoice logOn;
    logOn.logToFile = true;
    controller.applyTransmissionSettings(logOn);
    ASSERT_EQ(link().open(1, SerialSettings{}), Result::Ok);
    {
        LinkLocks held(link());           // the receiver stays out of the way
        serial.commFlags = kCommOverrun;  // a comm error with bytes queued still returns them
        serial.receive(std::string(300, 'a'));
        uint8_t buffer[kReadMax];
        bool gone = false;
        Port& port = link().port();
        EXPECT_EQ(port.read(buffer, kReadMax, &gone), 256);  // at most 256 at a time
        EXPECT_EQ(port.read(buffer, kReadMax, &gone), 44);
        port.read(buffer, kReadMax, &gone);  // nothing left: no entry in the log
        serial.queryError = 5;               // a failed query or read counts its system error
        EXPECT_EQ(port.read(buffer, kReadMax, &gone), 0);
        serial.queryError = 0;
        serial.writeError = 31;  // a failed write counts also when the query succeeds
        port.write(reinterpret_cast<const uint8_t*>("w"), 1, &gone);
        serial.commFlags = kCommFrame;
        port.write(reinterpret_cast<const uint8_t*>("v"), 1, &gone);
        EXPECT_FALSE(gone);
    }
    const ErrorCounts e = link().errors().snapshot();
    EXPECT_EQ((std::vector<uint32_t>{e.errorRdCount, e.readStatusCount, e.errorWrCount,
                                     e.writeErrorCode}),
              (std::vector<uint32_t>{2, 1, 2, 8}));
    const std::string log = test::readFile(dir.file("VordaC.trm"));
    EXPECT_NE(
        log.find(std::string(44, 'a') + "<0_I><ERD><ES_5><0_O>w<EWR><ES_31><0_O>v<EWR><ES_8>"),
        std::string::npos);
    EXPECT_NE(log.find("<0_I>" + std::string(256, 'a') + "<ERD_0x2>"), std::string::npos);
    link().close();
    link().stopReceiver();
    EXPECT_EQ(serial.dtrClears, 1);
    EXPECT_EQ(serial.closes, 1);
    serial.refuseSettings = true;  // refused settings close the port again
    EXPECT_EQ(link().open(1, SerialSettings{}), Result::PortRefused);
    EXPECT_EQ(serial.closes, 2);
    EXPECT_FALSE(link().connected());
}

}  // namespace
}  // namespace vorda
