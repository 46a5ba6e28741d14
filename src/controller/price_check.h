// The check of a price send: its five rows and "20E" go out, the tower's prices are read
// back ("20C", "20M") and each row is compared with what was sent. A check follows its own
// commands through the link, and it always ends: read back, given up by the link, dropped,
// interrupted by the operator, past its limit of 30 s, or at the program's end. Every
// ending goes through finish(), which records the send's lines in the price history and
// says what the operator or the order's caller is to be told; the caller tells it once it
// has released its locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "controller/price_order.h"
#include "orders/order.h"
#include "engine/logs.h"
#include "engine/mailbox.h"
#include "protocol/segments.h"
#include "settings/clock.h"
#include "settings/history.h"
#include "settings/messages.h"

namespace vorda {

// How long a check may take from its send.
constexpr uint64_t kCheckLimitMs = 30000;

// Where a send came from, as the price history's "Źródło" says.
constexpr const char kSourcePanel[] = "PANEL";
constexpr const char kSourceScript[] = "SKRYPT";

// Where the result of a price order goes: its exit code and the lines to print (UTF-8).
// Called once, from any thread, with no lock of the controller held; it hands the result
// on and returns.
using OrderDone = std::function<void(OrderExit code, const std::string& lines)>;
// Where a planned order's send hears how it ended: its result, and per row what was sent
// and what the tower showed on read-back. Called like OrderDone.
using BatchDone = std::function<void(OrderResult result, const OrderRow rows[kPriceRows])>;

// How a check ended without a read-back.
enum class CheckEnding {
    NoAnswer,     // the tower did not answer "20E", "20C" or "20M"
    PortGone,     // the link gave its commands up: the port stayed away
    Interrupted,  // the operator's "Wyślij", "Połącz", "Rozłącz" or "Test" came first
    TimedOut,     // not done within kCheckLimitMs
    ProgramEnded,
    TestMode,  // nothing was sent: test mode records the rows at once
};

// What the end of a check tells: the status, a message for the operator, or an order's
// result. Told once the caller's locks are released.
struct CheckVerdict {
    bool ended = false;
    bool setStatus = false;
    Text status = Text::PricesConfirmed;
    std::string message;  // UTF-8, a box for the operator ("" for none)
    OrderDone done;       // an order's caller, with its code and lines
    OrderExit code = OrderExit::NoAnswer;
    std::string lines;
    BatchDone batchDone;  // a planned order's send, with its result and rows
    OrderResult result = OrderResult::NoAnswer;
    OrderRow rows[kPriceRows];
};

// One row of a send, as it went out.
struct SentRow {
    std::string command;      // "21C5.49", as the mailbox keeps it
    std::string description;  // the row's label, code page 1250
};

class PriceCheck {
  public:
    enum class State { Idle, Sending, Reading };

    PriceCheck(Mailbox& mailbox, Logs& logs) : mailbox_(mailbox), logs_(logs) {}
    PriceCheck(const PriceCheck&) = delete;
    PriceCheck& operator=(const PriceCheck&) = delete;

    // A send whose rows and "20E" were just queued: the check follows them from now (its
    // limit counts from `nowMs`); `source` is where the send came from, for the history
    // (code page 1250); `done`, when set, gets an order's result. A row whose command is
    // empty was not sent: it is neither waited for, compared nor recorded.
    void start(const SentRow rows[kPriceRows], const LocalTime& sentAt, uint64_t nowMs,
               const std::string& source, OrderDone done, BatchDone batchDone = nullptr);

    State state() const { return state_; }
    bool active() const { return state_ != State::Idle; }
    // Whether the check under way still waits for its row `row` (0 to 4) to be sent.
    bool waitsForRow(int row) const { return state_ == State::Sending && !rowEnded_[row]; }
    // Whether the check under way has an order's caller or a planned order waiting for it.
    bool hasOrder() const { return active() && (done_ != nullptr || batchDone_ != nullptr); }
    // The check under way: its number (each start counts), and when its limit falls due.
    uint64_t serial() const { return serial_; }
    uint64_t deadline() const { return deadline_; }

    // The link's command from `slot` ended: the check moves on (the read-back queued, its
    // "20E" queued again behind its rows) or ends.
    CheckVerdict commandEnded(int slot, const char* text, bool answered);
    // The tower's answers to the read-back.
    void pricesRead(const uint8_t codes[kPriceRows][3]);
    void blinksRead(const bool blink[kPriceRows]);
    // Ends the check under way without a read-back (nothing when none is). `why` goes to
    // an order's caller with the ending's code; "" takes the ending's own text.
    CheckVerdict end(CheckEnding ending, const std::string& why = std::string());

  private:
    CheckVerdict finish(bool readBack, CheckEnding ending, const std::string& why);
    bool allRowsEnded() const;

    Mailbox& mailbox_;
    Logs& logs_;
    State state_ = State::Idle;
    uint64_t serial_ = 0;
    uint64_t deadline_ = 0;
    LocalTime sentAt_;
    std::string source_;  // the history's "Źródło", code page 1250
    SentRow rows_[kPriceRows];
    bool rowEnded_[kPriceRows] = {};
    bool endAgain_ = false;  // its "20E" went before all its rows: queued again after them
    uint8_t shown_[kPriceRows][3] = {};
    bool shownBlink_[kPriceRows] = {};
    bool havePrices_ = false;
    bool haveBlinks_ = false;
    OrderDone done_;
    BatchDone batchDone_;
    std::string lines_;   // the history's lines of the check that ends
    HistoryEntry entry_;  // kept, like lines_, with its room
};

}  // namespace vorda
