// The Win32 serial driver against the tower simulator through the Wine prefix's COM1, and
// the log files as the Windows build writes them.
#include <algorithm>

#include "engine/logs.h"
#include "protocol/frame.h"
#include "support.h"

namespace vorda::test {
namespace {

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
    settings.parity = 2;
    ASSERT_TRUE(d.configure(port, settings)) << GetLastError();
    // Writes a frame of each text and reads until its answer's bytes arrived.
    for (const auto& [text, answer] : {std::pair<std::string, std::string>{"21C5.49", "\x06"},
                                       {"20C", buildFrame("CB766F6" + std::string(24, '0'))}}) {
        const std::string frame = buildFrame(text);
        EXPECT_TRUE(d.write(port, reinterpret_cast<const uint8_t*>(frame.data()),
                            static_cast<uint32_t>(frame.size()), &systemError));
        std::string got;
        waitUntil(
            [&] {
                uint32_t flags = 0, queued = 0, n = 0;
                uint8_t buffer[256];
                if (d.queryErrors(port, &flags, &queued, &systemError) && queued > 0 &&
                    d.read(port, buffer, std::min<uint32_t>(queued, 256), &n, &systemError)) {
                    got.append(reinterpret_cast<char*>(buffer), n);
                }
                return got.size() >= answer.size();
            },
            2000, 5);
        EXPECT_EQ(got, answer);
    }
    d.clearDtr(port);
    d.close(port);
    EXPECT_EQ(sim.received(), "21C5.49 20C ");
}

// As on Linux (the settings file's lines are checked in the window tests).
TEST(WindowsFiles, LogLinesEndInCrLfAlsoInAPolishNamedDirectory) {
    const std::wstring dir = makeTempDirectory(L"-\u0142\u0105ka");
    Logs logs(win::toUtf8(dir), systemClock());
    logs.setEnabled(true);
    logs.appendLight("87");
    const std::string light = fileBytes(dir + L"\\VordaSw.trm");
    EXPECT_EQ(light.substr(std::max<size_t>(light.size(), 4) - 4), "87\r\n");
    EXPECT_EQ(light.find("\r\r"), std::string::npos);
}

}  // namespace
}  // namespace vorda::test
