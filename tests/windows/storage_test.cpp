// The core's files as the Windows build writes them: the same bytes as on Linux, also
// in a start directory whose name is not ASCII.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/wide.h"
#include "program_driver.h"
#include "storage/logs.h"
#include "storage/settings_file.h"

namespace vorda::test {
namespace {

std::string readAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(WindowsFiles, SettingsAndLogsHaveTheSameBytesAsOnLinuxInAPolishNamedDirectory) {
    const std::wstring dir = makeTempDirectory(L"vorda-\u0142\u0105ka");
    Core core;
    core.record = std::make_unique<AppRecord>();
    core.startDirectory = win::toUtf8(dir);
    std::snprintf(core.labels.priceLabelText[0], kLabelSize, "%s", "ON 95");
    ASSERT_TRUE(saveSettings(core));
    const std::string saved = readAll(dir + L"\\VordaCen.ini");
    EXPECT_EQ(saved.substr(0, 9), "1\r\n19200\r");
    EXPECT_EQ(saved.find("\r\r"), std::string::npos);
    EXPECT_NE(saved.find("\r\nON 95\r\n65280\r\n"), std::string::npos);

    Core other;
    other.record = std::make_unique<AppRecord>();
    other.startDirectory = core.startDirectory;
    ASSERT_TRUE(loadSettings(other));
    EXPECT_STREQ(other.labels.priceLabelText[0], "ON 95");

    appendLightEntry(core, "87");
    const std::string light = readAll(dir + L"\\VordaSw.trm");
    ASSERT_GE(light.size(), 4u);
    EXPECT_EQ(light.substr(light.size() - 4), "87\r\n");
    EXPECT_EQ(light.find("\r\r"), std::string::npos);
}

}  // namespace
}  // namespace vorda::test
