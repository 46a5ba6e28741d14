// The Win32 serial port against the tower simulator, through the Wine prefix's COM1.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/wide.h"
#include "common/fake_ui.h"
#include "link/link_ops.h"
#include "link/serial_port.h"
#include "protocol/mailbox.h"
#include "record/lifecycle.h"
#include "tower_sim_launcher.h"

namespace vorda::test {
namespace {

// Reads until `count` bytes arrived or two seconds passed.
std::string readAnswer(const SerialDriver& d, SerialPort* port, size_t count) {
    std::string out;
    for (int waited = 0; waited < 2000 && out.size() < count; waited += 5) {
        uint32_t flags = 0, queued = 0, error = 0;
        if (!d.queryErrors(port, &flags, &queued, &error)) {
            ADD_FAILURE() << "error query failed: " << error;
            break;
        }
        if (queued > 0) {
            uint8_t buffer[256];
            uint32_t got = 0;
            EXPECT_TRUE(d.read(port, buffer, std::min<uint32_t>(queued, 256), &got, &error));
            out.append(reinterpret_cast<char*>(buffer), got);
        } else {
            Sleep(5);
        }
    }
    return out;
}

TEST(Win32Serial, OpensConfiguresWritesAFrameAndReadsTheAnswer) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    SerialDriver d = platformSerialDriver();
    OpenError error = OpenError::Other;
    uint32_t systemError = 0;
    SerialPort* port = d.open(nullptr, "COM", 1, &error, &systemError);
    ASSERT_NE(port, nullptr) << systemError;
    EXPECT_EQ(error, OpenError::None);
    d.setupQueues(port, 4096, 4096);
    SerialSettings settings;
    settings.baudRate = 9600;
    settings.parity = 2;
    ASSERT_TRUE(d.configure(port, settings)) << GetLastError();

    const std::string price = buildFrame("21C5.49");
    ASSERT_TRUE(d.write(port, reinterpret_cast<const uint8_t*>(price.data()),
                        static_cast<uint32_t>(price.size()), &systemError));
    EXPECT_EQ(readAnswer(d, port, 1), "\x06");

    const std::string read = buildFrame("20C");
    ASSERT_TRUE(d.write(port, reinterpret_cast<const uint8_t*>(read.data()),
                        static_cast<uint32_t>(read.size()), &systemError));
    EXPECT_EQ(readAnswer(d, port, 35), buildFrame("CB766F6" + std::string(24, '0')));
    d.clearDtr(port);
    d.close(port);

    const auto rx = sim.lines("rx");
    ASSERT_EQ(rx.size(), 2u);
    EXPECT_EQ(rx[0].text, "21C5.49");
    EXPECT_EQ(rx[1].text, "20C");
}

TEST(Win32Link, APortThatIsNotASerialPortDoesNotConnect) {
    // COM7 is masked in the test prefix: it opens nothing of this machine, and under
    // Wine what it opens is not a serial port, so the link cannot use it.
    Core core;
    core.serial = platformSerialDriver();
    FakeUi ui(core);
    core.record = std::make_unique<AppRecord>();
    core.record->portNumber = 7;
    EXPECT_EQ(connectLink(core), 0);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"Błąd otwarcia COM7 | Błąd"});
    EXPECT_EQ(core.record->connected, 0);
}

TEST(Win32Link, ConnectReadsTheTowerBackThroughTheCoreThreads) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start({"--light", "87"}));
    Core core;
    core.serial = platformSerialDriver();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    core.startDirectory = win::toUtf8(temp);
    FakeUi ui(core, true);
    ASSERT_EQ(createApplicationRecord(core, nullptr), 1);
    ui.run([&] { initialisePanel(core, "Dec  5 2026"); });
    ui.run([&] { connectLink(core); });
    EXPECT_TRUE(ui.waitUntil([&] { return core.record->readBackRequested == 0; }, 10000));
    EXPECT_TRUE(ui.waitUntil([&] { return ui.lightLevel() == "87"; }, 5000));
    EXPECT_EQ(ui.status(), "POŁĄCZONY");
    ui.run([&] { destroyApplicationRecord(core); });
    EXPECT_GE(sim.lines("rx").size(), 10u);
}

}  // namespace
}  // namespace vorda::test
