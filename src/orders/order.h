// A price order: the prices of some rows, to take effect now or at a set time, from the
// panel, a script, a folder or the head office. Whatever its source, a planned change
// enters the program as an Order, and is carried out as "Wyślij" sends, with its check and
// its lines in the price history.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/segments.h"

namespace vorda {

// The most characters a price box sends.
constexpr size_t kOrderPriceMax = 8;

// The rows an order names; the others keep what their boxes hold.
struct PriceOrder {
    bool named[kPriceRows] = {};
    std::string text[kPriceRows];  // ASCII, at most kOrderPriceMax characters; "" darkens
    bool blink[kPriceRows] = {};
};

// A price as an order or the command line writes it: a comma is the decimal point, a
// trailing '*' makes the row blink, the rest at most kOrderPriceMax printable ASCII
// characters ("" darkens the row). False, with what is wrong (Polish), when it is not one.
bool readOrderPrice(const std::string& written, std::string* text, bool* blink, std::string* why);

// Where an order came from.
enum class OrderSource : int {
    Panel,       // the "Zlecenia cen" dialog
    Script,      // "VordaCen.exe /ceny ... /od TIME"
    Folder,      // a file dropped into the data folder's "Zlecenia"
    HeadOffice,  // the head office's document
};

// How an order stands: waiting for its time, being carried out, or ended.
enum class OrderResult : int {
    Waiting,
    Running,    // sent, its check under way
    Confirmed,  // "POTWIERDZONO"
    Mismatch,   // "NIEZGODNE"
    NoAnswer,   // "BRAK ODPOWIEDZI"
    TestMode,   // "TRYB TESTU"
    Skipped,    // "POMINIĘTE": every row it named was set by a newer order due with it
    Cancelled,  // "ANULOWANE"
};

// The texts of the results ("OCZEKUJE" waiting, "W TOKU" running), and of the sources
// ("PANEL", "SKRYPT", "FOLDER", "CENTRALA"); UTF-8.
const char* orderResultText(OrderResult result);
const char* orderSourceText(OrderSource source);

// One row of an ended order: what was sent, and what the tower showed on read-back ("" when
// it was not read).
struct OrderRow {
    std::string sent;
    std::string shown;
    bool blink = false;
};

struct Order {
    std::string id;  // 1 to 64 printable characters, unique among the orders held
    // Its time as seconds since 1970-01-01 UTC, and the offset from UTC in minutes it was
    // written with (for showing it as written). An order without a time ("now") gets the
    // time it was taken in, and `immediate`.
    int64_t due = 0;
    int offsetMinutes = 0;
    bool immediate = false;
    PriceOrder prices;
    std::string description;  // "opis", UTF-8, may be empty
    OrderSource source = OrderSource::Panel;
    OrderResult result = OrderResult::Waiting;
    int64_t endedAt = 0;  // when it ended, seconds since 1970 UTC (0 while not ended)
    OrderRow rows[kPriceRows];
    uint64_t sequence = 0;  // the order in which the program took orders in (ties of `due`)
    // An order of the head office without a time that its plan held at its last reading: its
    // time is "now" at every reading, so the book keeps it, ended, while the plan holds it.
    bool planned = false;
    // A folder order's result file, not yet written.
    bool resultDue = false;
};

// Field by field (the texts of rows not named too).
bool operator==(const PriceOrder& a, const PriceOrder& b);
bool operator==(const OrderRow& a, const OrderRow& b);
bool operator==(const Order& a, const Order& b);

}  // namespace vorda
