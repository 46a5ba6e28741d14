// The check of a price send on its own: the link's events played to it by hand, what it
// queues, how each way of ending is recorded in the price history and what it tells.
#include "controller/price_check.h"

#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "protocol/slots.h"
#include "support/test_support.h"

namespace vorda {
namespace {

const char* const kRows[kPriceRows] = {"21C5.49", "22M6.09", "23C", "24C1", "25C2"};

struct Step {
    enum Kind { Ended, GivenUp, Prices, Blinks, End } kind;
    int slot = 0;
    const char* text = "";
    CheckEnding ending = CheckEnding::NoAnswer;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    bool blinkRow2 = true;  // what the tower's blink answer says of row 2
    std::string result;     // "<code> <lines>" of the order
    const char* outcome;    // the history's result of row 1
};

std::vector<Step> rowsEnded() {
    std::vector<Step> steps;
    for (int r = 0; r < kPriceRows; ++r) {
        steps.push_back({Step::Ended, kSlotPrice1 + r, kRows[r]});
    }
    return steps;
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<Step> kReadBack = {{Step::Ended, kSlotEnd, "20E"},
                                     {Step::Prices},
                                     {Step::Ended, kSlotReadPrices, "20C"},
                                     {Step::Blinks},
                                     {Step::Ended, kSlotReadBlinks, "20M"}};

const Case kCases[] = {
    {"Confirmed", rowsEnded() + kReadBack, true, "0 CENY POTWIERDZONE", "POTWIERDZONO"},
    {"BlinkDiffers", rowsEnded() + kReadBack, false,
     "1 CENY NIEZGODNE\nCena 2: wysłano 6.09 (miga), Vorda pokazuje 6.09", "POTWIERDZONO"},
    {"EndGivenUp", rowsEnded() + std::vector<Step>{{Step::GivenUp, kSlotEnd, "20E"}}, true,
     "2 BŁĄD TRANSMISJI", "BRAK ODPOWIEDZI"},
    {"PricesGivenUp",
     rowsEnded() +
         std::vector<Step>{{Step::Ended, kSlotEnd, "20E"}, {Step::GivenUp, kSlotReadPrices, "20C"}},
     true, "2 BŁĄD TRANSMISJI", "BRAK ODPOWIEDZI"},
    {"Interrupted",
     {{Step::End, 0, "", CheckEnding::Interrupted}},
     true,
     "5 Wysyłanie przerwane w programie przed potwierdzeniem",
     "BRAK ODPOWIEDZI"},
    {"PastItsLimit", rowsEnded() + std::vector<Step>{{Step::End, 0, "", CheckEnding::TimedOut}},
     true, "2 BRAK ODPOWIEDZI", "BRAK ODPOWIEDZI"},
    {"ProgramEnded",
     {{Step::End, 0, "", CheckEnding::ProgramEnded}},
     true,
     "2 Vorda Cen zakończył pracę przed wynikiem",
     "BRAK ODPOWIEDZI"},
};

class CheckTest : public ::testing::TestWithParam<Case> {
  protected:
    void start() {
        const SentRow rows[kPriceRows] = {
            {"21C5.49", "ON"}, {"22M6.09", "PB"}, {"23C", ""}, {"24C1", "D"}, {"25C2", "E"}};
        check.start(rows, LocalTime{2026, 12, 6, 6, 0, 0}, 1000, "PANEL",
                    [this](OrderExit c, auto& l) {
                        result += std::to_string(static_cast<int>(c)) + " " + l;
                    });
    }
    CheckVerdict play(const Step& s, bool blinkRow2 = true) {
        const bool blinks[kPriceRows] = {false, blinkRow2, false, false, false};
        switch (s.kind) {
            case Step::Prices: {
                uint8_t shown[kPriceRows][3] = {};  // the tower shows what was sent
                for (int r = 0; r < kPriceRows; ++r) {
                    int row = r;
                    bool blink = false;
                    decodePriceCommand(kRows[r], &row, shown[r], &blink);
                }
                check.pricesRead(shown);
                return {};
            }
            case Step::Blinks:
                check.blinksRead(blinks);
                return {};
            case Step::End:
                return check.end(s.ending);
            default:
                mailbox.free(s.slot);  // as the link finishes it before it tells
                return check.commandEnded(s.slot, s.text, s.kind == Step::Ended);
        }
    }

    test::TempDir dir;
    test::FixedClock clock;
    Mailbox mailbox;
    Logs logs{dir.path(), clock.clock()};
    PriceCheck check{mailbox, logs};
    std::string result;
};

TEST_P(CheckTest, EveryWayOfEndingIsRecordedAndTold) {
    const Case& c = GetParam();
    start();
    CheckVerdict verdict;
    for (const Step& s : c.steps) {
        ASSERT_FALSE(verdict.ended) << "ended before its last step";
        verdict = play(s, c.blinkRow2);
    }
    ASSERT_TRUE(verdict.ended);
    EXPECT_FALSE(check.active());
    verdict.done(verdict.code, verdict.lines);
    EXPECT_EQ(result, c.result);
    const std::string history = test::historyRows(dir.file("HistoriaCen.csv"));
    EXPECT_EQ(history.substr(0, history.find('|')),
              std::string("1;ON;5.49;nie;") + c.outcome + ";PANEL");
    EXPECT_EQ(check.end(CheckEnding::Interrupted).ended, false);  // it ended once
}

INSTANTIATE_TEST_SUITE_P(Endings, CheckTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Another group's "20E" written over the check's before its rows went: the check waits
// for its rows and queues its own "20E" again behind them; then it reads back.
TEST_F(CheckTest, ItsEndOfGroupGoesAgainWhenAnotherWentBeforeItsRows) {
    start();
    auto rows = rowsEnded();
    play(rows[0]);
    play({Step::Ended, kSlotEnd, "20E"});  // the light dialog's group, taken first
    EXPECT_FALSE(mailbox.pending(kSlotEnd));
    for (size_t r = 1; r < rows.size(); ++r) {
        play(rows[r]);
    }
    EXPECT_TRUE(mailbox.pending(kSlotEnd));
    EXPECT_EQ(mailbox.lastServedSlot(), kSlotEnd - 1);  // next
    play({Step::Ended, kSlotEnd, "20E"});
    EXPECT_EQ(mailbox.text(kSlotReadPrices) + mailbox.text(kSlotReadBlinks), "20C20M");
    EXPECT_EQ(check.state(), PriceCheck::State::Reading);
    // A row of someone else's in the check's slot is not the check's row.
    start();
    play({Step::Ended, kSlotPrice1, "21C9.99"});
    for (size_t r = 1; r < rows.size(); ++r) {
        play(rows[r]);
    }
    play({Step::Ended, kSlotEnd, "20E"});
    EXPECT_EQ(check.state(), PriceCheck::State::Sending);
}

}  // namespace
}  // namespace vorda
