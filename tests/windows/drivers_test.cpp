// The Win32 serial driver against the tower simulator through the Wine prefix's COM1, and
// the files as the Windows build writes them: the same bytes as on Linux, also in a start
// directory whose name is not ASCII.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/logs.h"
#include "engine/serial_driver.h"
#include "protocol/frame.h"
#include "settings/settings_file.h"
#include "support.h"
#include "win32/wide.h"

namespace vorda::test {
namespace {

// Writes a frame of `text` and reads until `count` bytes arrived or two seconds passed.
std::string exchange(const SerialDriver& d, SerialPort* port, const std::string& text,
                     size_t count) {
    const std::string frame = buildFrame(text);
    uint32_t error = 0;
    EXPECT_TRUE(d.write(port, reinterpret_cast<const uint8_t*>(frame.data()),
                        static_cast<uint32_t>(frame.size()), &error))
        << error;
    std::string answer;
    waitUntil(
        [&] {
            uint32_t flags = 0, queued = 0, got = 0;
            uint8_t buffer[256];
            if (d.queryErrors(port, &flags, &queued, &error) && queued > 0 &&
                d.read(port, buffer, std::min<uint32_t>(queued, 256), &got, &error)) {
                answer.append(reinterpret_cast<char*>(buffer), got);
            }
            return answer.size() >= count;
        },
        2000, 5);
    return answer;
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
    EXPECT_TRUE(d.isSerialPort(port));
    d.setupQueues(port, 4096, 4096);
    SerialSettings settings;
    settings.baudRate = 9600;
    settings.parity = 2;
    ASSERT_TRUE(d.configure(port, settings)) << GetLastError();
    EXPECT_EQ(exchange(d, port, "21C5.49", 1), "\x06");
    EXPECT_EQ(exchange(d, port, "20C", 35), buildFrame("CB766F6" + std::string(24, '0')));
    d.clearDtr(port);
    d.close(port);
    EXPECT_EQ(sim.received(), (std::vector<std::string>{"21C5.49", "20C"}));
}

TEST(WindowsFiles, SettingsAndLogsHaveTheSameBytesAsOnLinuxInAPolishNamedDirectory) {
    const std::wstring dir = makeTempDirectory(L"vorda-\u0142\u0105ka");
    const std::string directory = win::toUtf8(dir);
    Settings settings;
    std::snprintf(settings.labelText[0], kLabelSize, "%s", "ON 95");
    ASSERT_TRUE(saveSettingsFile(directory, settings));
    const std::string saved = fileBytes(dir + L"\\VordaCen.ini");
    EXPECT_EQ(saved.substr(0, 9), "1\r\n19200\r");
    EXPECT_EQ(saved.find("\r\r"), std::string::npos);
    EXPECT_NE(saved.find("\r\nON 95\r\n65280\r\n"), std::string::npos);
    Settings other;
    ASSERT_TRUE(loadSettingsFile(directory, other));
    EXPECT_STREQ(other.labelText[0], "ON 95");

    Logs logs(directory, systemClock());
    logs.setEnabled(true);
    logs.appendLight("87");
    const std::string light = fileBytes(dir + L"\\VordaSw.trm");
    ASSERT_GE(light.size(), 4u);
    EXPECT_EQ(light.substr(light.size() - 4), "87\r\n");
    EXPECT_EQ(light.find("\r\r"), std::string::npos);
}

}  // namespace
}  // namespace vorda::test
