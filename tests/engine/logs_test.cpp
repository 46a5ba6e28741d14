// The transmission log's and the light log's bytes, with a fixed clock, and their rotation.
#include "engine/logs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

const char kSummary[] = "\n 05/12/26 14:03:07  ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=0 ErrorS=0\n";

TEST_F(LogsTest, EntriesAreHeadsAndBytesWithOneSummaryLinePerMinute) {
    entry('O', "\00220C33\003");
    clock.tick += 62;
    entry('I', "\x06");
    clock.now.minute = 4;
    clock.now.second = 0;
    clock.tick += 1503;
    entry('O', "E");
    EXPECT_EQ(log(), std::string(kSummary) + "<1000_O>\00220C33\003<62_I>\x06" +
                         "\n 05/12/26 14:04:00  ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=0 ErrorS=0\n" +
                         "<1503_O>E");
}

TEST_F(LogsTest, ErrorsAreMarkedAfterTheBytesAndCountedInTheNextSummary) {
    clock.now.minute = 0;  // no summary in the first minute of the hour of a fresh run
    entry('O', "x");
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
    clock.now.minute = 4;
    entry('O', "a");
    EXPECT_EQ(log(),
              "<1000_O>x<0_I><ERD><ES_5><0_I>\x06<ERD_0x8><0_O>w<EWR><ES_995><ER>"
              "\n 05/12/26 14:04:07  ErrorR=1 ErrorL=0 ErrorWR=1 ErrorRD=2 ErrorS=2\n"
              "<0_O>a");
}

TEST_F(LogsTest, LightLinesAreDatedWithTheValueRightAligned) {
    logs.appendLight("87");
    clock.now.second = 12;
    logs.appendLight("1234");
    logs.appendLight("7");
    EXPECT_EQ(readFile(dir.file("VordaSw.trm")),
              "05/12/26 14:03:07  87\r\n05/12/26 14:03:12 1234\r\n05/12/26 14:03:12   7\r\n");
}

TEST_F(LogsTest, ALogAboveTwentyMillionBytesIsMovedToItsBackup) {
    clock.now.minute = 0;
    makeFile("VordaC.trm", 20000000);  // exactly the limit: kept
    entry('O', "A");
    EXPECT_FALSE(test::fileExists(dir.file("VordaC_1.trm")));
    test::writeFile(dir.file("VordaC_1.trm"), "old backup");
    entry('O', "B");
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaC_1.trm")), 20000009u);
    EXPECT_EQ(log(), "<0_O>B");
    makeFile("VordaSw.trm", 20000001);
    logs.appendLight("87");
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaSw_1.trm")), 20000001u);
    EXPECT_EQ(readFile(dir.file("VordaSw.trm")), "05/12/26 14:00:07  87\r\n");
}

// Written whether logging is on or not; read from its end (and its backup's), newest first.
TEST_F(LogsTest, ThePriceHistoryRotatesLikeTheLogsAndIsReadFromItsEnd) {
    logs.setEnabled(false);
    for (const uintmax_t size : {20000000u, 20000001u}) {
        makeFile("HistoriaCen.csv", size - 7);
        std::ofstream(dir.file("HistoriaCen.csv"), std::ios::app | std::ios::binary)
            << "\r\nold\r\n";
        logs.appendPriceHistory("new\r\n");
        if (size > 20000000u) {
            EXPECT_EQ(std::filesystem::file_size(dir.file("HistoriaCen_1.csv")), size);
            EXPECT_EQ(readFile(dir.file("HistoriaCen.csv")),
                      "Data;Godzina;Cena;Opis;Wys\263ano;Miga;Wynik\r\nnew\r\n");
        } else {
            EXPECT_FALSE(test::fileExists(dir.file("HistoriaCen_1.csv")));
            EXPECT_EQ(std::filesystem::file_size(dir.file("HistoriaCen.csv")), size + 5);
        }
        EXPECT_EQ(logs.readPriceHistory(2), (std::vector<std::string>{"new", "old"}));
        EXPECT_EQ(logs.readPriceHistory(1), std::vector<std::string>{"new"});
    }
}

TEST_F(LogsTest, NothingIsWrittenWithLoggingOffOrWhereNoFileCanBeMade) {
    logs.setEnabled(false);
    entry('O', "A");
    logs.appendLight("87");
    EXPECT_FALSE(test::fileExists(dir.file("VordaC.trm")));
    EXPECT_FALSE(test::fileExists(dir.file("VordaSw.trm")));
    Logs nowhere(dir.file("missing"), clock.clock());
    nowhere.setEnabled(true);
    nowhere.appendLight("87");
    EXPECT_FALSE(test::fileExists(dir.file("missing")));
}

}  // namespace
}  // namespace vorda
