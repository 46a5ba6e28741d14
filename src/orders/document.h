// The price orders' document, one form wherever orders come from (a file in "Zlecenia", the
// head office) and in the order book's file:
//
//   { "stacja": "optional station id",
//     "zlecenia": [
//       { "id": "2026-12-07-rano", "od": "2026-12-07T06:00:00+01:00",
//         "ceny": { "1": "5.49", "2": "6.19*", "4": "" }, "opis": "Zmiana poranna" } ] }
//
// "id": 1 to 64 printable characters (UTF-8, no control characters), unique in the
// document. "od": ISO 8601 date and time with its offset (seconds and their fraction
// optional; "+01:00", "+0100", "-05:30", "Z"), absent for "now". "ceny": at least one of the
// rows "1" to "5", each a price as readOrderPrice reads it; rows not named keep their boxes.
// "opis": optional text of at most kOrderDescriptionMax characters. Other fields are passed
// over. The document is UTF-8 (a byte order mark allowed). A document with any fault is
// refused whole, with the reason in Polish naming the order and the field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orders/order.h"

namespace vorda {

constexpr size_t kOrderDocumentMax = 65536;   // bytes
constexpr size_t kOrderDescriptionMax = 500;  // characters of "opis"

struct OrderDocument {
    std::string station;  // "stacja", "" when absent
    std::vector<Order> orders;
};

// The document's orders, each Waiting from `source`; an order without "od" gets `now`
// (seconds since 1970 UTC) with `immediate`. False, `out` untouched and the reason in
// `why`, when anything in it is wrong.
bool readOrderDocument(std::string_view json, OrderSource source, int64_t now, OrderDocument* out,
                       std::string* why);

// Whether a head-office document is this station's plan: its "stacja" must be exactly the
// configured `station` (which must not be empty). False with the reason (Polish).
bool checkPlanDocument(const OrderDocument& doc, const std::string& station, std::string* why);

// "YYYY-MM-DDTHH:MM[:SS[.fraction]]" and an offset ("Z", "+HH:MM", "+HHMM", "-..."), years
// 0000 to 9999, a fraction of 1 to 9 digits, offsets below 24 hours: the moment as seconds
// since 1970 UTC (a fraction is dropped) and the offset in minutes. False when it is not one.
bool parseOrderTime(std::string_view text, int64_t* utc, int* offsetMinutes);
// The moment as written in its offset: "2026-12-07T06:00:00+01:00", "...Z" for offset 0.
std::string orderTimeText(int64_t utc, int offsetMinutes);

// Whether the order can be written as a document and read back as it is: a valid id, at
// least one row, prices as readOrderPrice leaves them, times and offsets that
// orderTimeText writes and parseOrderTime reads back. The first fault in `why`.
bool checkOrder(const Order& order, std::string* why);

// An ended order's result: {"stacja" (when not empty), "id", "wynik", "czas" (endedAt in the
// order's offset), "ceny": {"<row>": {"wysłano", "vorda", "miga"}, ...}} for the rows it
// named; indented by two spaces, ending with a line break.
std::string orderResultJson(const Order& order, const std::string& station);

}  // namespace vorda
