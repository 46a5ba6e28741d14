// The transmission log's and the light log's bytes, with a fixed clock, and their rotation;
// the price history's lines, written late when the file cannot take them now.
#include "engine/logs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "settings/history.h"
#include "support/test_support.h"

namespace vorda {
namespace {

using test::readFile;

class LogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.now = LocalTime{2026, 12, 5, 14, 3, 7};
        clock.tick = 1000;
        logs.setEnabled(true);
    }
    std::string log() const { return readFile(dir.file("VordaC.trm")); }
    void entry(char direction, const std::string& bytes) {
        logs.appendTransmission(direction, reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size(), counts);
    }
    void makeFile(const std::string& name, uintmax_t size) {
        test::writeFile(dir.file(name), "");
        std::filesystem::resize_file(dir.file(name), size);
    }

    test::TempDir dir;
    test::FixedClock clock;
    Logs logs{dir.path(), clock.clock()};
    ErrorCounts counts;
};

const std::string kHeader = kHistoryHeader + std::string("\r\n");

// Sets or clears a file's immutable flag, which stops root too from writing or moving it.
bool immutable(const std::string& path, bool on) {
    int flags = 0, fd = open(path.c_str(), O_RDONLY);
    const bool read = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    return read && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 && close(fd) == 0;
}

const char kSummary[] = "\n 05/12/26 14:03:07  ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=0 ErrorS=0\n";

// A summary line opens each minute but the first of the hour of a fresh run (the rotation
// test starts there); error marks follow the entry's bytes and are counted in the next one.
TEST_F(LogsTest, EntriesAreHeadsAndBytesWithTheirErrorsAndOneSummaryLinePerMinute) {
    entry('O', "\00220C33\003");
    clock.tick += 62;
    entry('I', "\x06");
    clock.now.minute = 4;
    clock.now.second = 0;
    clock.tick += 1503;
    entry('O', "E");
    counts.readErrorCode = 5;  // a read that failed at the system level
    counts.errorRdCount = counts.readStatusCount = 1;
    entry('I', "");
    counts.readErrorCode = 8;  // a comm error: its flags in hex
    counts.errorRdCount = 2;
    entry('I', "\x06");
    counts.writeErrorCode = 995;
    counts.errorWrCount = counts.writeStatusCount = 1;
    entry('O', "w");
    counts.answerErrors = 1;
    clock.now.minute = 5;
    entry('O', "a");
    EXPECT_EQ(log(), std::string(kSummary) + "<1000_O>\00220C33\003<62_I>\x06" +
                         "\n 05/12/26 14:04:00  ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=0 ErrorS=0\n" +
                         "<1503_O>E<0_I><ERD><ES_5><0_I>\x06<ERD_0x8><0_O>w<EWR><ES_995><ER>"
                         "\n 05/12/26 14:05:00  ErrorR=1 ErrorL=0 ErrorWR=1 ErrorRD=2 ErrorS=2\n"
                         "<0_O>a");
}

TEST_F(LogsTest, ALogAboveTwentyMillionBytesIsMovedToItsBackup) {
    clock.now.minute = 0;
    makeFile("VordaC.trm", 20000000);  // exactly the limit: kept
    entry('O', "A");
    test::writeFile(dir.file("VordaC_1.trm"), "old backup");
    entry('O', "B");
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaC_1.trm")), 20000009u);
    EXPECT_EQ(log(), "<0_O>B");
    makeFile("VordaSw.trm", 20000001);
    logs.appendLight("87");
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaSw_1.trm")), 20000001u);
    clock.now.second = 12;  // dated lines, the value right-aligned
    logs.appendLight("1234");
    logs.appendLight("7");
    EXPECT_EQ(readFile(dir.file("VordaSw.trm")),
              "05/12/26 14:00:07  87\r\n05/12/26 14:00:12 1234\r\n05/12/26 14:00:12   7\r\n");
}

// Written with logging off too, when the logs are not (nor where no file can be made). Lines that
// cannot be written wait, listed first and marked; the next append or the timer's retry 10 s after
// the last failed try writes them in order; at the end they go to a file named after the local
// time. Held (immutable stops root too), the history keeps its backup; a long line stops the reader
// before the backup; a full disk cuts a line, written again after a CR LF; a directory in the
// file's place is no file.
TEST_F(LogsTest, HistoryLinesThatCannotBeWrittenWaitAndFormulaFieldsAreWrittenAsText) {
    logs.setEnabled(false);
    entry('O', "A");
    logs.appendLight("87");
    Logs nowhere(dir.file("missing"), clock.clock());
    nowhere.setEnabled(true);
    nowhere.appendLight("87");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
    const std::string file = dir.file("HistoriaCen.csv"), backup = dir.file("HistoriaCen_1.csv");
    makeFile("HistoriaCen.csv", 20000000);
    std::ofstream(file, std::ios::app | std::ios::binary) << "\r\nold\r\n";
    test::writeFile(backup, "backup\r\n");
    EXPECT_TRUE(immutable(file, true));
    logs.appendPriceHistory("a\r\n");
    clock.tick += 5000;
    logs.appendPriceHistory("b\r\n");
    EXPECT_TRUE(immutable(file, false));
    EXPECT_EQ(readFile(backup), "backup\r\n");
    EXPECT_EQ(logs.readPriceHistory(4),
              (std::vector<std::string>{"b (czeka na zapis)", "a (czeka na zapis)", "old"}));
    clock.tick += 9999;
    logs.retryWaitingHistory();
    EXPECT_EQ(std::filesystem::file_size(file), 20000007u);
    clock.tick += 1;
    logs.retryWaitingHistory();
    EXPECT_EQ(readFile(file), kHeader + "a\r\nb\r\n");
    EXPECT_EQ(logs.readPriceHistory(4), (std::vector<std::string>{"b", "a", "old"}));
    std::signal(SIGXFSZ, SIG_IGN);  // the disk is full after 5 more bytes
    rlimit limit{std::filesystem::file_size(file) + 5, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    logs.appendPriceHistory("c\r\ncut\r\n");
    limit.rlim_cur = RLIM_INFINITY;
    setrlimit(RLIMIT_FSIZE, &limit);
    logs.appendPriceHistory("d\r\n");
    EXPECT_EQ(readFile(file), kHeader + "a\r\nb\r\nc\r\ncu\r\ncut\r\nd\r\n");
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    logs.appendPriceHistory("e\r\n");
    EXPECT_EQ(logs.readPriceHistory(2), std::vector<std::string>{"e (czeka na zapis)"});
    logs.saveWaitingHistory();
    EXPECT_EQ(readFile(dir.file("HistoriaCen-20261205-140307.csv")), kHeader + "e\r\n");
    // A field that a spreadsheet would take for a formula is written after an apostrophe, which
    // reading takes away; nothing else changes.
    const std::pair<std::string, std::string> cases[] = {
        {"=1", "'=1"},   {"+1", "'+1"},         {"-.--", "'-.--"}, {"@A", "'@A"},
        {"\tA", "'\tA"}, {"\r;A", "\"'\r;A\""}, {"'=1", "''=1"},   {"1=-@", "1=-@"}};
    HistoryEntry e;
    e.source = "ZLECENIE =x";
    for (const auto& [text, field] : cases) {
        e.description = text;
        EXPECT_EQ(historyLine(e),
                  "01.01.2000;00:00:00;1;" + field + ";;nie;BRAK ODPOWIEDZI;ZLECENIE =x\r\n");
        EXPECT_EQ(historyFields(historyLine(e))[3], text);
    }
}

}  // namespace
}  // namespace vorda
