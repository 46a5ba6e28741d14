#include "controller/price_check.h"

#include <cstring>
#include <vector>

#include "protocol/commands.h"
#include "protocol/slots.h"

namespace vorda {

namespace {

// A text with "%1", "%2", ... replaced by the values.
std::string filledIn(std::string pattern, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string mark = "%" + std::to_string(i + 1);
        const size_t at = pattern.find(mark);
        if (at != std::string::npos) {
            pattern.replace(at, mark.size(), values[i]);
        }
    }
    return pattern;
}

// A row's price as the board spells it, with " (miga)" when it blinks.
std::string spelled(const uint8_t codes[3], bool blink) {
    return priceTextOfSegments(codes) + (blink ? messageText(Text::Blinking) : std::string());
}

bool isPriceSlot(int slot) {
    return slot >= kSlotPrice1 && slot <= kSlotPrice5;
}

}  // namespace

void PriceCheck::start(const SentRow rows[kPriceRows], const LocalTime& sentAt, uint64_t nowMs,
                       const std::string& source, OrderDone done, BatchDone batchDone) {
    batchDone_ = std::move(batchDone);
    source_ = source;
    state_ = State::Sending;
    ++serial_;
    deadline_ = nowMs + kCheckLimitMs;
    sentAt_ = sentAt;
    for (int row = 0; row < kPriceRows; ++row) {
        rows_[row] = rows[row];
        rowEnded_[row] = rows[row].command.empty();  // a row not sent is not waited for
    }
    endAgain_ = false;
    std::memset(shown_, 0, sizeof shown_);
    std::memset(shownBlink_, 0, sizeof shownBlink_);
    havePrices_ = haveBlinks_ = false;
    done_ = std::move(done);
}

bool PriceCheck::allRowsEnded() const {
    for (bool ended : rowEnded_) {
        if (!ended) {
            return false;
        }
    }
    return true;
}

CheckVerdict PriceCheck::commandEnded(int slot, const char* text, bool answered) {
    if (state_ == State::Sending) {
        if (isPriceSlot(slot) && rows_[slot - kSlotPrice1].command == text) {
            rowEnded_[slot - kSlotPrice1] = true;
            if (endAgain_ && allRowsEnded()) {
                // Its "20E" went before its rows (another group's, written over it): it
                // goes again now, next.
                endAgain_ = false;
                mailbox_.write(kSlotEnd, kEndOfGroup);
                mailbox_.presetLastServed(kSlotEnd - 1);
            }
            return {};
        }
        if (slot != kSlotEnd || mailbox_.pending(kSlotEnd)) {
            return {};  // a "20E" written again meanwhile is waited for
        }
        if (!allRowsEnded()) {
            endAgain_ = true;
            return {};
        }
        if (!answered) {
            return finish(false, CheckEnding::NoAnswer, std::string());
        }
        havePrices_ = haveBlinks_ = false;
        // Queued before the sender's next pass: an on-demand link stays open for them.
        mailbox_.write(kSlotReadPrices, kReadPrices);
        mailbox_.write(kSlotReadBlinks, kReadBlinks);
        mailbox_.presetLastServed(kSlotReadPrices - 1);
        state_ = State::Reading;
    } else if (state_ == State::Reading) {
        if (slot == kSlotReadPrices && std::strcmp(text, kReadPrices) == 0 && !answered) {
            return finish(false, CheckEnding::NoAnswer, std::string());
        }
        if (slot == kSlotReadBlinks && std::strcmp(text, kReadBlinks) == 0) {
            const bool readBack = answered && havePrices_ && haveBlinks_;
            return finish(readBack, CheckEnding::NoAnswer, std::string());
        }
    }
    return {};
}

void PriceCheck::pricesRead(const uint8_t codes[kPriceRows][3]) {
    if (state_ == State::Reading) {
        std::memcpy(shown_, codes, sizeof shown_);
        havePrices_ = true;
    }
}

void PriceCheck::blinksRead(const bool blink[kPriceRows]) {
    if (state_ == State::Reading) {
        std::memcpy(shownBlink_, blink, sizeof shownBlink_);
        haveBlinks_ = true;
    }
}

CheckVerdict PriceCheck::end(CheckEnding ending, const std::string& why) {
    if (state_ == State::Idle) {
        return {};
    }
    return finish(false, ending, why);
}

// The one place a check ends: its lines go to the price history, and the verdict says what
// the operator or the order's caller is told.
CheckVerdict PriceCheck::finish(bool readBack, CheckEnding ending, const std::string& why) {
    PriceOutcome outcomes[kPriceRows];
    std::string differences;
    for (int row = 0; row < kPriceRows; ++row) {
        outcomes[row] =
            ending == CheckEnding::TestMode ? PriceOutcome::TestMode : PriceOutcome::NoAnswer;
        if (!readBack || rows_[row].command.empty()) {
            continue;
        }
        // What the sent text makes the row show: the positions it does not reach keep
        // what the tower reported, so they always agree.
        uint8_t sent[3] = {shown_[row][0], shown_[row][1], shown_[row][2]};
        int sentRow = row;
        bool sentBlink = false;
        decodePriceCommand(rows_[row].command.c_str(), &sentRow, sent, &sentBlink);
        if (std::memcmp(sent, shown_[row], 3) == 0 && sentBlink == shownBlink_[row]) {
            outcomes[row] = PriceOutcome::Confirmed;
            continue;
        }
        outcomes[row] = PriceOutcome::Mismatch;
        differences += "\n" + filledIn(messageText(Text::MismatchRow),
                                       {std::to_string(row + 1), spelled(sent, sentBlink),
                                        spelled(shown_[row], shownBlink_[row])});
    }

    // Built in a buffer kept from check to check: a send allocates nothing here.
    lines_.clear();
    for (int row = 0; row < kPriceRows; ++row) {
        if (rows_[row].command.empty()) {
            continue;
        }
        HistoryEntry& e = entry_;
        e.sentAt = sentAt_;
        e.row = row;
        e.description = rows_[row].description;
        e.sent.assign(rows_[row].command, 3);
        e.blink = rows_[row].command[2] == 'M';
        e.outcome = outcomes[row];
        e.shown = priceTextOfSegments(shown_[row]);
        e.shownBlink = shownBlink_[row];
        e.source = source_;
        appendHistoryLine(lines_, e);
    }
    logs_.appendPriceHistory(lines_);

    CheckVerdict v;
    v.ended = true;
    v.done = std::move(done_);
    done_ = nullptr;
    state_ = State::Idle;
    if (batchDone_) {
        v.batchDone = std::move(batchDone_);
        batchDone_ = nullptr;
        v.result = readBack ? (differences.empty() ? OrderResult::Confirmed : OrderResult::Mismatch)
                   : ending == CheckEnding::TestMode ? OrderResult::TestMode
                                                     : OrderResult::NoAnswer;
        for (int row = 0; row < kPriceRows; ++row) {
            if (rows_[row].command.empty()) {
                continue;
            }
            v.rows[row].sent = rows_[row].command.substr(3);
            v.rows[row].blink = rows_[row].command[2] == 'M';
            v.rows[row].shown = readBack ? priceTextOfSegments(shown_[row]) : std::string();
        }
    }
    if (readBack) {
        v.setStatus = true;
        v.status = differences.empty() ? Text::PricesConfirmed : Text::PricesMismatch;
        v.code = differences.empty() ? OrderExit::Confirmed : OrderExit::Mismatch;
        if (!differences.empty()) {
            v.message = messageText(Text::MismatchIntro) + differences;
        }
        if (v.done) {
            v.lines = messageText(v.status) + differences;
        }
        return v;
    }
    const char* lines = "";
    switch (ending) {
        case CheckEnding::NoAnswer:
        case CheckEnding::PortGone:
            v.code = OrderExit::NoAnswer;
            lines = messageText(Text::TransmissionError).c_str();
            break;
        case CheckEnding::Interrupted:
            v.code = OrderExit::Refused;
            lines = kOrderSuperseded;
            break;
        case CheckEnding::TimedOut:
            v.code = OrderExit::NoAnswer;
            lines = kOrderNoResult;
            break;
        case CheckEnding::ProgramEnded:
            v.code = OrderExit::NoAnswer;
            lines = kOrderProgramEnded;
            break;
        case CheckEnding::TestMode:
            v.code = OrderExit::Refused;
            lines = messageText(Text::TestMode).c_str();
            break;
    }
    if (v.done) {  // only an order's caller reads them
        v.lines = why.empty() ? std::string(lines) : why;
    }
    return v;
}

}  // namespace vorda
