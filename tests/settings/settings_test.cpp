// The settings file's bytes and reading rules, its safe save, the version text.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "settings/data_folder.h"
#include "settings/settings_file.h"
#include "settings/version.h"
#include "support/test_support.h"

namespace vorda {
namespace {

using test::readFile;
using test::writeFile;

const char kDefaultFile[] =
    "1\r\n19200\r\n8\r\n0\r\n0\r\n0\r\n"
    "255\r\n255\r\n255\r\n255\r\n20\r\n255\r\n255\r\n255\r\n255\r\n20\r\n255\r\n255\r\n255\r\n"
    "255\r\n0\r\n0\r\n"
    "AAA\r\n65280\r\nBBB\r\n65535\r\nCCC\r\n255\r\nDDD\r\n16777215\r\nEEE\r\n16711680\r\n";

// The default file with line `line` (1-based) replaced.
std::string withLine(int line, const std::string& value, std::string text = kDefaultFile) {
    size_t start = 0;
    for (int i = 1; i < line; ++i) {
        start = text.find("\r\n", start) + 2;
    }
    return text.replace(start, text.find("\r\n", start) - start, value);
}

Settings read(const std::string& text) {
    Settings s;
    readSettingsText(text, s);
    return s;
}

// The defaults written with CR LF and read back to the same bytes; line `line` of the file
// written again after reading `value` there: what was taken, only within its range.
TEST(SettingsFile, DefaultsEachItemWithinItsRangeTheFirstUnreadableEndsAndDescriptions) {
    test::TempDir dir;
    Settings s;
    EXPECT_FALSE(loadSettingsFile(dir.path(), s));
    EXPECT_TRUE(saveSettingsFile(dir.path(), s));
    EXPECT_EQ(readFile(dir.file("VordaCen.ini")), kDefaultFile);
    const struct {
        int line;
        const char* value;
        const char* taken;
    } cases[] = {{1, "12", "12"},         {1, "256", "1"},       {2, "57600", "57600"},
                 {2, "115200", "115200"}, {2, "12345", "19200"}, {2, "-1", "19200"},
                 {3, "4", "4"},           {3, "3", "8"},         {4, "5", "0"},
                 {5, "2", "2"},           {6, "7", "0"},         {7, "0", "0"},
                 {10, "9", "9"},          {11, "0", "20"},       {15, "7", "7"},
                 {17, "256", "255"},      {22, "2", "0"},        {24, "70000", "70000"}};
    for (const auto& c : cases) {
        const std::string text = settingsFileText(read(withLine(c.line, c.value)));
        EXPECT_EQ(text, withLine(c.line, c.taken)) << "line " << c.line << " = " << c.value;
    }
    // The first unreadable item ends the reading.
    s = read(withLine(23, "Diesel", withLine(4, "x1", withLine(1, "5"))));
    EXPECT_EQ(s.portNumber, 5);
    EXPECT_STREQ(s.labelText[0], "AAA");
    s = read("3\r\n9600\r\n7\r\n2\r\n1\r\n1\r\n");  // six lines: the port and logging only
    EXPECT_EQ(s.serial.baudRate, 9600u);
    EXPECT_TRUE(s.logToFile);
    EXPECT_EQ(s.labelColour[4], 0xFF0000u);
    // Descriptions are whole lines cut at 31 characters.
    s = Settings{};
    std::snprintf(s.labelText[0], kLabelSize, "%s", "ON 95 Super");
    s.labelText[1][0] = '\0';
    std::snprintf(s.labelText[2], kLabelSize, "%s", " LPG ");
    std::snprintf(s.labelText[3], kLabelSize, "%s", "\xA3\xF3\x64\xBC");  // code page 1250
    const std::string text = settingsFileText(s);
    EXPECT_EQ(settingsFileText(read(text)), text);
    EXPECT_EQ(std::string(read(withLine(23, std::string(40, 'x'))).labelText[0]),
              std::string(31, 'x'));
    // Line feeds alone and blank lines between the numbers are read too.
    std::string lf = withLine(1, "4\r\n\r\n", withLine(27, "C C"));
    for (size_t p; (p = lf.find("\r\n")) != std::string::npos;) {
        lf.replace(p, 2, "\n");
    }
    s = read(lf);
    EXPECT_EQ(s.portNumber, 4);
    EXPECT_STREQ(s.labelText[2], "C C");
    EXPECT_EQ(s.labelColour[4], 16711680u);
}

TEST(SettingsFile, AHugeFileIsReadOnlyUpToTheLimitAndAFailedSaveLeavesTheOldFile) {
    test::TempDir dir;
    const struct {
        std::string head;  // followed by NUL bytes up to 100 MB
        int port;
        const char* label;
    } cases[] = {
        {"", 1, "AAA"},
        {withLine(23, "Diesel", withLine(1, "7")), 7, "Diesel"},
        {std::string(kSettingsReadLimit - 1, '\n') + "35\r\n", 1, "AAA"},  // cut after "3"
    };
    for (const auto& c : cases) {
        writeFile(dir.file("VordaCen.ini"), c.head);
        std::filesystem::resize_file(dir.file("VordaCen.ini"), 100 << 20);
        Settings s;
        EXPECT_TRUE(loadSettingsFile(dir.path(), s));
        EXPECT_EQ(s.portNumber, c.port);
        EXPECT_STREQ(s.labelText[0], c.label);
    }
    // A failed save leaves the old file and no temporary file.
    const std::string path = dir.file("VordaCen.ini");
    writeFile(path, withLine(1, "7"));
    Settings s;
    s.portNumber = 9;
    EXPECT_EXIT(
        {
            // A file size limit stops the write part way, also for root.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = 50;
            setrlimit(RLIMIT_FSIZE, &limit);
            const bool kept = !saveSettingsFile(dir.path(), s) &&
                              readFile(path) == withLine(1, "7") &&
                              !test::fileExists(path + ".tmp");
            std::_Exit(kept ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(saveSettingsFile(dir.path(), s));
    EXPECT_EQ(readFile(path), withLine(1, "9"));
    // A file that cannot be replaced (a directory in its place) or created is skipped.
    std::filesystem::remove(path);
    std::filesystem::create_directories(path + "/in");
    EXPECT_FALSE(saveSettingsFile(dir.path(), s));
    EXPECT_FALSE(test::fileExists(path + ".tmp"));
    EXPECT_FALSE(saveSettingsFile(dir.file("missing/deeper"), s));
}

TEST(VersionText, IsTheTitleAndTheBuildDateAsYearMonthDay) {
    EXPECT_EQ(versionText("Vorda Cen", "Feb 12 2015"), "Vorda Cen :  ver." VORDA_VERSION ".150212");
    EXPECT_EQ(buildDatePart("Mar  5 2015"), "150305");
    const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    for (int m = 0; m < 12; ++m) {
        EXPECT_EQ(buildDatePart((months.substr(3 * m, 3) + " 28 2026").c_str()),
                  "26" + std::string(m < 9 ? "0" : "") + std::to_string(m + 1) + "28");
    }
    EXPECT_EQ(buildDatePart(coreBuildDate()).size(), 6u);
}

// Where the files live, by whether the start directory holds settings, is writable, is the
// program's folder, is inside Windows: a settings file there keeps them there whatever else
// holds; otherwise only a writable folder of the user's own does. (A portable copy, a working
// folder and the install folder: RunningProgram.DataFolderSecondStartAndSessionEnd.)
TEST(DataFolder, StartDirectoryOrTheLocalFolder) {
    const DataFolder start = DataFolder::StartDirectory, local = DataFolder::LocalAppData;
    const std::pair<StartDirectoryFacts, DataFolder> cases[] = {
        {{true, false, false, true}, start},    // an old install started in System32
        {{false, true, false, true}, local},    // Task Scheduler: System32
        {{false, false, false, false}, local},  // Program Files, read-only
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(chooseDataFolder(cases[i].first), cases[i].second) << "case " << i;
    }
}

}  // namespace
}  // namespace vorda
