#include "storage/logs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace vorda {
namespace {

using test::readFile;

class Logs : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.now = LocalTime{2026, 12, 5, 14, 3, 7};
        clock.tick = 1000;
        test::prepareCore(core, dir.path(), &clock);
    }
    std::string log() const { return readFile(dir.file("VordaC.trm")); }
    void out(const std::string& bytes) {
        appendTransmissionEntry(core, 'O', reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
    }
    void in(const std::string& bytes) {
        appendTransmissionEntry(core, 'I', reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
    }
    // A sparse file of the given size.
    void makeFile(const std::string& name, int64_t size) {
        std::ofstream(dir.file(name), std::ios::binary).close();
        std::filesystem::resize_file(dir.file(name), static_cast<uintmax_t>(size));
    }

    test::TempDir dir;
    test::FixedClock clock;
    Core core;
};

const char kSummary[] = "\n 05/12/26 14:03:07  ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=0 ErrorS=0\n";

TEST_F(Logs, EntriesAreHeadsAndBytesWithOneSummaryLinePerMinute) {
    out("\x02"
        "20C33\x03");
    clock.tick += 62;
    in("\x06");
    EXPECT_EQ(log(), std::string(kSummary) +
                         "<1000_O>\x02"
                         "20C33\x03<62_I>\x06");

    clock.now.minute = 4;
    clock.now.second = 0;
    clock.tick += 1503;
    out("\x02"
        "20E\x03");
    EXPECT_EQ(log(), std::string(kSummary) +
                         "<1000_O>\x02"
                         "20C33\x03<62_I>\x06" +
                         "\n 05/12/26 14:04:00  ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=0 ErrorS=0\n" +
                         "<1503_O>\x02"
                         "20E\x03");
}

TEST_F(Logs, NoSummaryInTheFirstMinuteOfTheHourOfAFreshRun) {
    clock.now.minute = 0;
    out("A");
    EXPECT_EQ(log(), "<1000_O>A");
}

TEST_F(Logs, AReadThatFailsAtTheSystemLevelIsMarkedWithItsErrorCode) {
    out("x");
    core.errors.readErrorCode = 5;
    core.errors.errorRdCount++;
    core.errors.readStatusCount++;
    in("");
    EXPECT_EQ(log(), std::string(kSummary) + "<1000_O>x<0_I><ERD><ES_5>");

    // The next summary reports what the markers showed.
    clock.now.minute = 4;
    out("y");
    EXPECT_NE(log().find("ErrorR=0 ErrorL=0 ErrorWR=0 ErrorRD=1 ErrorS=1\n<0_O>y"),
              std::string::npos);
}

TEST_F(Logs, ACommErrorIsMarkedWithItsFlagsInHexAfterTheBytes) {
    core.errors.readErrorCode = 8;
    core.errors.errorRdCount++;
    in("\x06");
    core.errors.errorRdCount++;
    in("");
    EXPECT_EQ(log(), std::string(kSummary) + "<1000_I>\x06<ERD_0x8><0_I><ERD_0x8>");
}

TEST_F(Logs, AFailedWriteIsMarkedAfterTheBytesItTriedToSend) {
    core.errors.writeErrorCode = 995;
    core.errors.errorWrCount++;
    core.errors.writeStatusCount++;
    out("\x02"
        "21C4.59\x03");
    EXPECT_EQ(log(), std::string(kSummary) +
                         "<1000_O>\x02"
                         "21C4.59\x03<EWR><ES_995>");
    clock.now.minute = 5;
    out("z");
    EXPECT_NE(log().find("ErrorR=0 ErrorL=0 ErrorWR=1 ErrorRD=0 ErrorS=1\n"), std::string::npos);
}

TEST_F(Logs, AnAnswerErrorIsMarkedBeforeTheNextEntry) {
    out("a");
    core.errors.answerErrors++;
    out("a");
    EXPECT_EQ(log(), std::string(kSummary) + "<1000_O>a<ER><0_O>a");
}

TEST_F(Logs, ATransmissionLogAboveTwentyMillionBytesIsMovedToTheBackup) {
    makeFile("VordaC.trm", 20000001);
    test::writeFile(dir.file("VordaC_1.trm"), "old backup");
    clock.now.minute = 0;
    out("A");
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaC_1.trm")), 20000001u);
    EXPECT_EQ(log(), "<1000_O>A");
}

TEST_F(Logs, ATransmissionLogOfExactlyTwentyMillionBytesIsKept) {
    makeFile("VordaC.trm", 20000000);
    clock.now.minute = 0;
    out("A");
    EXPECT_FALSE(test::fileExists(dir.file("VordaC_1.trm")));
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaC.trm")), 20000000u + 9u);
}

TEST_F(Logs, ALogThatCannotBeOpenedLosesTheEntrySilently) {
    core.startDirectory = dir.file("missing");
    out("A");
    appendLightEntry(core, "87");
    EXPECT_FALSE(test::fileExists(dir.file("missing")));
}

TEST_F(Logs, LightLinesAreDatedWithTheValueRightAligned) {
    appendLightEntry(core, "87");
    clock.now.second = 12;
    appendLightEntry(core, "1234");
    appendLightEntry(core, "7");
    EXPECT_EQ(readFile(dir.file("VordaSw.trm")),
              "05/12/26 14:03:07  87\r\n05/12/26 14:03:12 1234\r\n05/12/26 14:03:12   7\r\n");
}

TEST_F(Logs, ALightLogAboveTwentyMillionBytesIsMovedToTheBackup) {
    makeFile("VordaSw.trm", 20000001);
    appendLightEntry(core, "87");
    EXPECT_EQ(std::filesystem::file_size(dir.file("VordaSw_1.trm")), 20000001u);
    EXPECT_EQ(readFile(dir.file("VordaSw.trm")), "05/12/26 14:03:07  87\r\n");
}

}  // namespace
}  // namespace vorda
