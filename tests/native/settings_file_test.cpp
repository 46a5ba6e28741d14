#include "storage/settings_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/test_support.h"

namespace vorda {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const char kDefaultFile[] =
    "1\r\n19200\r\n8\r\n0\r\n0\r\n0\r\n"
    "255\r\n255\r\n255\r\n255\r\n20\r\n255\r\n255\r\n255\r\n255\r\n20\r\n255\r\n255\r\n255\r\n"
    "255\r\n0\r\n0\r\n"
    "AAA\r\n65280\r\nBBB\r\n65535\r\nCCC\r\n255\r\nDDD\r\n16777215\r\nEEE\r\n16711680\r\n";

// `text` with line `line` (1-based) replaced.
std::string replaceLine(std::string text, int line, const std::string& value) {
    size_t start = 0;
    for (int i = 1; i < line; ++i) {
        start = text.find("\r\n", start) + 2;
    }
    const size_t end = text.find("\r\n", start);
    return text.replace(start, end - start, value);
}

std::string withLine(int line, const std::string& value) {
    return replaceLine(kDefaultFile, line, value);
}

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override { test::prepareCore(core, dir.path()); }
    std::string path() const { return dir.file("VordaCen.ini"); }
    bool load(const std::string& text) {
        writeFile(path(), text);
        return loadSettings(core);
    }

    TempDir dir;
    Core core;
};

TEST_F(SettingsFile, FirstStartWritesTheDefaultsWithCrLfLineEnds) {
    EXPECT_FALSE(loadSettings(core));
    EXPECT_FALSE(test::fileExists(path()));
    EXPECT_TRUE(saveSettingsLocked(core));
    EXPECT_EQ(readFile(path()), kDefaultFile);
}

TEST_F(SettingsFile, DefaultFileLoadsAndSavesToTheSameBytes) {
    EXPECT_TRUE(load(kDefaultFile));
    saveSettings(core);
    EXPECT_EQ(readFile(path()), kDefaultFile);
}

TEST_F(SettingsFile, BaudRateIsTakenOnlyWhenItIsOneOfTheRates) {
    ASSERT_TRUE(load(withLine(2, "12345")));
    EXPECT_EQ(core.record->baudRate, 19200u);
    ASSERT_TRUE(load(withLine(2, "57600")));
    EXPECT_EQ(core.record->baudRate, 57600u);
    ASSERT_TRUE(load(withLine(2, "-1")));
    EXPECT_EQ(core.record->baudRate, 57600u);
    ASSERT_TRUE(load(withLine(2, "115200")));
    EXPECT_EQ(core.record->baudRate, 115200u);
}

TEST_F(SettingsFile, EachItemKeepsItsValueOutsideItsRange) {
    ASSERT_TRUE(load(withLine(11, "0")));
    EXPECT_EQ(core.light.scrollPeriod1, 20);
    ASSERT_TRUE(load(withLine(7, "0")));
    EXPECT_EQ(core.light.display1LowLightLevel, 0);
    ASSERT_TRUE(load(withLine(1, "256")));
    EXPECT_EQ(core.record->portNumber, 1);
    ASSERT_TRUE(load(withLine(1, "12")));
    EXPECT_EQ(core.record->portNumber, 12);
    ASSERT_TRUE(load(withLine(3, "3")));
    EXPECT_EQ(core.record->dataBits, 8);
    ASSERT_TRUE(load(withLine(3, "4")));
    EXPECT_EQ(core.record->dataBits, 4);
    ASSERT_TRUE(load(withLine(4, "5")));
    EXPECT_EQ(core.record->parity, 0);
    ASSERT_TRUE(load(withLine(5, "2")));
    EXPECT_EQ(core.record->stopBits, 2);
    ASSERT_TRUE(load(withLine(17, "256")));
    EXPECT_EQ(core.light.lowLightLevel, 255);
    ASSERT_TRUE(load(withLine(22, "2")));
    EXPECT_EQ(core.record->hideOnMinimise, 0);
}

TEST_F(SettingsFile, AFileOfSixLinesSetsThePortItemsAndLoggingOnly) {
    ASSERT_TRUE(load("3\r\n9600\r\n7\r\n2\r\n1\r\n1\r\n"));
    EXPECT_EQ(core.record->portNumber, 3);
    EXPECT_EQ(core.record->baudRate, 9600u);
    EXPECT_EQ(core.record->dataBits, 7);
    EXPECT_EQ(core.record->parity, 2);
    EXPECT_EQ(core.record->stopBits, 1);
    EXPECT_EQ(core.record->logToFile, 1);
    EXPECT_EQ(core.loggingSwitch, 1);
    EXPECT_EQ(core.light.display1LowLightLevel, 255);
    EXPECT_STREQ(core.labels.priceLabelText[0], "AAA");
    EXPECT_EQ(core.labels.priceLabelColour[4], 0xFF0000u);
}

TEST_F(SettingsFile, LoggingSwitchFollowsTheRecordAfterItemSixEvenWhenItIsRejected) {
    core.record->logToFile = 1;
    ASSERT_TRUE(load("1\r\n19200\r\n8\r\n0\r\n0\r\n7\r\n"));
    EXPECT_EQ(core.record->logToFile, 1);
    EXPECT_EQ(core.loggingSwitch, 1);
}

TEST_F(SettingsFile, EveryLightSettingRoundTripsOnItsOwnLine) {
    const std::string text = replaceLine(withLine(10, "9"), 15, "7");
    ASSERT_TRUE(load(text));
    EXPECT_EQ(core.light.display1HighLevelBrightness, 9);
    EXPECT_EQ(core.light.display2HighLevelBrightness, 7);
    saveSettings(core);
    EXPECT_EQ(readFile(path()), text);
}

TEST_F(SettingsFile, ColoursAreTakenUnchecked) {
    ASSERT_TRUE(load(withLine(24, "70000")));
    EXPECT_EQ(core.labels.priceLabelColour[0], 70000u);
}

TEST_F(SettingsFile, ABadTokenStopsEveryLaterItemAndTheDescriptionsKeepTheirDefaults) {
    std::string text = replaceLine(replaceLine(withLine(1, "5"), 4, "x1"), 23, "Diesel");
    ASSERT_TRUE(load(replaceLine(text, 7, "10")));
    EXPECT_EQ(core.record->portNumber, 5);
    EXPECT_EQ(core.record->baudRate, 19200u);
    EXPECT_EQ(core.record->dataBits, 8);
    EXPECT_EQ(core.light.display1LowLightLevel, 255);
    EXPECT_STREQ(core.labels.priceLabelText[0], "AAA");
    EXPECT_EQ(core.labels.priceLabelColour[0], 0x00FF00u);
}

TEST_F(SettingsFile, DescriptionsWithBlanksAndEmptyDescriptionsRoundTrip) {
    std::snprintf(core.labels.priceLabelText[0], kLabelSize, "%s", "ON 95 Super");
    std::snprintf(core.labels.priceLabelText[1], kLabelSize, "%s", "");
    std::snprintf(core.labels.priceLabelText[2], kLabelSize, "%s", " LPG ");
    std::snprintf(core.labels.priceLabelText[3], kLabelSize, "%s", "\xA3\xF3\x64\xBC");  // cp1250
    core.labels.priceLabelColour[1] = 123;
    saveSettings(core);
    const std::string saved = readFile(path());

    Core other;
    test::prepareCore(other, dir.path());
    ASSERT_TRUE(loadSettings(other));
    EXPECT_STREQ(other.labels.priceLabelText[0], "ON 95 Super");
    EXPECT_STREQ(other.labels.priceLabelText[1], "");
    EXPECT_STREQ(other.labels.priceLabelText[2], " LPG ");
    EXPECT_STREQ(other.labels.priceLabelText[3], "\xA3\xF3\x64\xBC");
    EXPECT_STREQ(other.labels.priceLabelText[4], "EEE");
    EXPECT_EQ(other.labels.priceLabelColour[1], 123u);
    EXPECT_EQ(other.labels.priceLabelColour[2], 255u);
    saveSettings(other);
    EXPECT_EQ(readFile(path()), saved);
}

TEST_F(SettingsFile, ADescriptionLongerThanItsFieldIsCut) {
    const std::string longText(40, 'x');
    ASSERT_TRUE(load(withLine(23, longText)));
    EXPECT_EQ(std::string(core.labels.priceLabelText[0]), std::string(31, 'x'));
    EXPECT_EQ(core.labels.priceLabelColour[0], 65280u);
    EXPECT_STREQ(core.labels.priceLabelText[1], "BBB");
}

TEST_F(SettingsFile, LineFeedOnlyFilesAndBlankLinesBetweenNumbersAreRead) {
    std::string text = kDefaultFile;
    for (size_t p; (p = text.find("\r\n")) != std::string::npos;) {
        text.replace(p, 2, "\n");
    }
    text.replace(0, 2, "4\n\n\n");
    text.replace(text.find("CCC"), 3, "C C");
    ASSERT_TRUE(load(text));
    EXPECT_EQ(core.record->portNumber, 4);
    EXPECT_EQ(core.record->baudRate, 19200u);
    EXPECT_STREQ(core.labels.priceLabelText[2], "C C");
    EXPECT_EQ(core.labels.priceLabelColour[4], 16711680u);
}

TEST_F(SettingsFile, AFileThatCannotBeCreatedIsSkippedSilently) {
    core.startDirectory = dir.file("missing/deeper");
    EXPECT_TRUE(saveSettings(core));
    EXPECT_FALSE(test::fileExists(dir.file("missing")));
}

TEST_F(SettingsFile, ASaveThatFailsHalfWayLeavesTheOldFileAndNoTemporaryFile) {
    const std::string old = withLine(1, "7");
    writeFile(path(), old);
    core.record->portNumber = 9;
    EXPECT_EXIT(
        {
            // A file size limit stops the write part way, also for root.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = 50;
            setrlimit(RLIMIT_FSIZE, &limit);
            const bool kept =
                saveSettings(core) && readFile(path()) == old && !test::fileExists(path() + ".tmp");
            std::_Exit(kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(saveSettings(core));
    EXPECT_EQ(readFile(path()), withLine(1, "9"));
    EXPECT_FALSE(test::fileExists(path() + ".tmp"));
}

TEST_F(SettingsFile, ASaveThatCannotReplaceTheFileRemovesItsTemporaryFile) {
    std::filesystem::create_directories(path() + "/in");
    EXPECT_TRUE(saveSettings(core));
    EXPECT_TRUE(test::fileExists(path() + "/in"));
    EXPECT_FALSE(test::fileExists(path() + ".tmp"));
}

TEST_F(SettingsFile, AHugeFileIsReadOnlyUpToTheReadLimitAndNotIntoTheLineItCuts) {
    const struct {
        std::string head;  // followed by NUL bytes up to 100 MB
        int port;
        const char* label;
    } cases[] = {
        {"", 1, "AAA"},
        {replaceLine(withLine(1, "7"), 23, "Diesel"), 7, "Diesel"},
        {std::string(kSettingsReadLimit - 1, '\n') + "35\r\n", 1, "AAA"},  // cut after "3"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head.substr(0, 8));
        Core fresh;
        test::prepareCore(fresh, dir.path());
        writeFile(path(), c.head);
        std::filesystem::resize_file(path(), 100 << 20);
        EXPECT_TRUE(loadSettings(fresh));
        EXPECT_EQ(fresh.record->portNumber, c.port);
        EXPECT_EQ(fresh.record->baudRate, 19200u);
        EXPECT_STREQ(fresh.labels.priceLabelText[0], c.label);
        EXPECT_EQ(fresh.labels.priceLabelColour[4], 0xFF0000u);
    }
}

TEST_F(SettingsFile, NothingHappensWithoutARecord) {
    core.record.reset();
    EXPECT_FALSE(saveSettings(core));
    writeFile(path(), kDefaultFile);
    EXPECT_FALSE(loadSettings(core));
}

TEST_F(SettingsFile, ALockedSaveWaitsForTheOtherHolderOfTheSettingsLock) {
    spinAcquire(core.locks.settingsLock);
    std::thread saver([this] { saveSettingsLocked(core); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(test::fileExists(path()));
    release(core.locks.settingsLock);
    saver.join();
    EXPECT_EQ(readFile(path()), kDefaultFile);
    EXPECT_EQ(core.locks.settingsLock, 0);
}

}  // namespace
}  // namespace vorda
