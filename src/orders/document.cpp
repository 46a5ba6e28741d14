#include "orders/document.h"

#include <algorithm>
#include <set>

#include "orders/order_json.h"

namespace vorda {

using orderjson::Json;
using orderjson::Written;

namespace {

constexpr size_t kOrderIdMax = 64;
constexpr size_t kTimeFractionMax = 9;
const char kBadId[] = "identyfikator \"id\" musi mieć od 1 do 64 znaków drukowalnych";
const char kLongDescription[] = "pole \"opis\" może mieć najwyżej 500 znaków";

// Counts the characters of UTF-8 text; false when it is not UTF-8, or, with `printable`,
// when it holds a control character (C0, DEL or C1).
bool countCharacters(std::string_view s, bool printable, size_t* count) {
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};  // no overlong forms
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const size_t length = lead < 0x80         ? 1
                              : (lead >> 5) == 6  ? 2
                              : (lead >> 4) == 14 ? 3
                              : (lead >> 3) == 30 ? 4
                                                  : 0;
        if (length == 0 || i + length > s.size()) {
            return false;
        }
        uint32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = c << 6 | (next & 0x3Fu);
        }
        if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ||
            (printable && (c < 0x20 || (c >= 0x7F && c <= 0x9F)))) {
            return false;
        }
        i += length;
    }
    *count = n;
    return true;
}

bool goodId(std::string_view id) {
    size_t count = 0;
    return countCharacters(id, true, &count) && count >= 1 && count <= kOrderIdMax;
}

// The member `name` of an object, or nullptr.
const Json* field(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

void civilFromDays(int64_t z, int64_t* y, int* m, int* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

int daysInMonth(int y, int m) {
    const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    return m == 2 ? (leap ? 29 : 28) : 30 + ((m + (m > 7)) & 1);
}

std::string padded(int64_t value, size_t width) {
    std::string s = std::to_string(value);
    return std::string(s.size() < width ? width - s.size() : 0, '0') + s;
}

bool timeRoundTrips(int64_t utc, int offsetMinutes) {
    int64_t back = 0;
    int offset = 0;
    return parseOrderTime(orderTimeText(utc, offsetMinutes), &back, &offset) && back == utc &&
           offset == offsetMinutes;
}

// What keeps the order from being written and read back as it is; "" when nothing.
std::string orderFault(const Order& order) {
    if (!goodId(order.id)) {
        return kBadId;
    }
    const PriceOrder& prices = order.prices;
    bool any = false;
    for (int r = 0; r < kPriceRows; ++r) {
        std::string text, fault;
        bool blink = false;
        if (prices.named[r] && (!readOrderPrice(prices.text[r] + (prices.blink[r] ? "*" : ""),
                                                &text, &blink, &fault) ||
                                text != prices.text[r] || blink != prices.blink[r])) {
            return "cena wiersza " + std::to_string(r + 1) +
                   (fault.empty() ? " nie da się zapisać" : ": " + fault);
        }
        any = any || prices.named[r];
    }
    size_t count = 0;
    return !any                                              ? "brak cen \"ceny\""
           : !timeRoundTrips(order.due, order.offsetMinutes) ? "czas \"od\" poza zakresem"
           : order.endedAt != 0 && !timeRoundTrips(order.endedAt, order.offsetMinutes)
               ? "czas \"koniec\" poza zakresem"
           : !countCharacters(order.description, false, &count)
               ? "pole \"opis\" nie jest tekstem UTF-8"
           : count > kOrderDescriptionMax ? kLongDescription
                                          : "";
}

}  // namespace

bool parseOrderTime(std::string_view t, int64_t* utc, int* offsetMinutes) {
    size_t pos = 0;
    const auto number = [&](size_t digits, int* value) {
        if (pos + digits > t.size()) {
            return false;
        }
        *value = 0;
        for (size_t i = 0; i < digits; ++i, ++pos) {
            if (t[pos] < '0' || t[pos] > '9') {
                return false;
            }
            *value = *value * 10 + (t[pos] - '0');
        }
        return true;
    };
    const auto skip = [&](char c) {
        const bool there = pos < t.size() && t[pos] == c;
        pos += there;
        return there;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, oh = 0, om = 0;
    if (!(number(4, &y) && skip('-') && number(2, &mo) && skip('-') && number(2, &d) && skip('T') &&
          number(2, &h) && skip(':') && number(2, &mi))) {
        return false;
    }
    if (skip(':')) {
        if (!number(2, &s)) {
            return false;
        }
        if (skip('.')) {
            const size_t start = pos;
            while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9') {
                ++pos;
            }
            if (pos == start || pos - start > kTimeFractionMax) {
                return false;
            }
        }
    }
    int offset = 0;
    if (!skip('Z')) {
        const bool minus = skip('-');
        if ((!minus && !skip('+')) || !number(2, &oh)) {
            return false;
        }
        skip(':');
        if (!number(2, &om) || oh > 23 || om > 59) {
            return false;
        }
        offset = (minus ? -1 : 1) * (oh * 60 + om);
    }
    if (pos != t.size() || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 ||
        mi > 59 || s > 59) {
        return false;
    }
    *utc = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s - offset * 60;
    *offsetMinutes = offset;
    return true;
}

std::string orderTimeText(int64_t utc, int offsetMinutes) {
    // Far beyond the year 9999 either way: keeps the sums below in range for any input.
    constexpr int64_t kFar = int64_t{1} << 50;
    const int offset = std::clamp(offsetMinutes, -100000, 100000);
    const int64_t local = std::clamp(utc, -kFar, kFar) + int64_t{offset} * 60;
    int64_t days = local / 86400;
    int64_t seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    int64_t y = 0;
    int m = 0, d = 0;
    civilFromDays(days, &y, &m, &d);
    std::string text = padded(y, 4) + "-" + padded(m, 2) + "-" + padded(d, 2) + "T" +
                       padded(seconds / 3600, 2) + ":" + padded(seconds / 60 % 60, 2) + ":" +
                       padded(seconds % 60, 2);
    if (offset == 0) {
        return text + "Z";
    }
    const int size = offset < 0 ? -offset : offset;
    return text + (offset < 0 ? "-" : "+") + padded(size / 60, 2) + ":" + padded(size % 60, 2);
}

bool checkOrder(const Order& order, std::string* why) {
    const std::string fault = orderFault(order);
    if (!fault.empty()) {
        *why = (goodId(order.id) ? orderjson::orderName(order.id, 0) : "Zlecenie: ") + fault;
    }
    return fault.empty();
}

std::string orderResultJson(const Order& order, const std::string& station) {
    Written result = Written::object();
    if (!station.empty()) {
        result["stacja"] = station;
    }
    result["id"] = order.id;
    result["wynik"] = orderResultText(order.result);
    result["czas"] = orderTimeText(order.endedAt, order.offsetMinutes);
    result["ceny"] = orderjson::rowsJson(order.rows, order.prices.named);
    return orderjson::text(result);
}

bool readOrderDocument(std::string_view json, OrderSource source, int64_t now, OrderDocument* out,
                       std::string* why) {
    if (json.size() > kOrderDocumentMax) {
        *why = "dokument ma więcej niż 65536 bajtów";
        return false;
    }
    size_t count = 0;
    const bool wide = json.substr(0, 2) == "\xFF\xFE" || json.substr(0, 2) == "\xFE\xFF" ||
                      json.find('\0') != std::string_view::npos;
    if (wide || !countCharacters(json, false, &count)) {
        *why = wide ? "dokument jest zapisany w UTF-16; zapisz go w UTF-8"
                    : "dokument nie jest zapisany w UTF-8; zapisz go w UTF-8";
        return false;
    }
    const Json document = Json::parse(json.begin(), json.end(), nullptr, false);
    if (document.is_discarded()) {
        *why = "dokument nie jest poprawnym JSON";
        return false;
    }
    const Json* list = document.is_object() ? field(document, "zlecenia") : nullptr;
    if (list == nullptr || !list->is_array()) {
        *why = "brak tablicy \"zlecenia\"";
        return false;
    }
    OrderDocument read;
    if (const Json* station = field(document, "stacja")) {
        if (!station->is_string()) {
            *why = "pole \"stacja\" musi być tekstem";
            return false;
        }
        read.station = *station->get_ptr<const std::string*>();
    }
    std::set<std::string> ids;
    for (size_t i = 0; i < list->size(); ++i) {
        Order order;
        if (!orderjson::readDocumentFields((*list)[i], i, now, &order, why)) {
            return false;
        }
        if (!ids.insert(order.id).second) {
            *why = orderjson::orderName(order.id, i) + "identyfikator powtarza się w dokumencie";
            return false;
        }
        order.source = source;
        read.orders.push_back(std::move(order));
    }
    *out = std::move(read);
    return true;
}

bool checkPlanDocument(const OrderDocument& doc, const std::string& station, std::string* why) {
    if (station.empty()) {
        *why = "nie ustawiono identyfikatora stacji \"Stacja\"";
    } else if (doc.station.empty()) {
        *why = "dokument nie podaje stacji \"stacja\"";
    } else if (doc.station != station) {
        *why = "dokument jest dla stacji \"" + doc.station + "\", a nie \"" + station + "\"";
    }
    return !station.empty() && doc.station == station;
}

namespace orderjson {

std::string text(const Written& json) {
    return json.dump(2, ' ', false, Written::error_handler_t::replace) + "\n";
}

std::string orderName(const std::string& id, size_t index) {
    return id.empty() ? "Zlecenie nr " + std::to_string(index + 1) + ": "
                      : "Zlecenie \"" + id + "\": ";
}

bool readTime(const Json& value, const char* name, int64_t* utc, int* offsetMinutes,
              std::string* why) {
    const std::string* text = value.get_ptr<const std::string*>();
    if (text == nullptr || !parseOrderTime(*text, utc, offsetMinutes)) {
        *why = std::string("czas \"") + name + "\" musi mieć postać 2026-12-07T06:00:00+01:00";
        return false;
    }
    return true;
}

Written documentFields(const Order& order) {
    Written fields = Written::object();
    fields["id"] = order.id;
    fields["od"] = orderTimeText(order.due, order.offsetMinutes);
    Written prices = Written::object();
    for (int r = 0; r < kPriceRows; ++r) {
        if (order.prices.named[r]) {
            prices[std::to_string(r + 1)] =
                order.prices.text[r] + (order.prices.blink[r] ? "*" : "");
        }
    }
    fields["ceny"] = prices;
    if (!order.description.empty()) {
        fields["opis"] = order.description;
    }
    return fields;
}

bool readDocumentFields(const Json& item, size_t index, int64_t now, Order* order,
                        std::string* why) {
    const std::string* id = item.is_object() && field(item, "id") != nullptr
                                ? field(item, "id")->get_ptr<const std::string*>()
                                : nullptr;
    if (id == nullptr || !goodId(*id)) {
        *why = orderName("", index) + (item.is_object() ? kBadId : "zlecenie nie jest obiektem");
        return false;
    }
    const std::string name = orderName(*id, index);
    Order read;
    read.id = *id;
    read.due = now;
    read.immediate = true;
    if (const Json* od = field(item, "od")) {
        read.immediate = false;
        if (!readTime(*od, "od", &read.due, &read.offsetMinutes, why)) {
            *why = name + *why;
            return false;
        }
    }
    const Json* prices = field(item, "ceny");
    if (prices == nullptr || !prices->is_object() || prices->empty()) {
        *why = name + "brak cen \"ceny\"";
        return false;
    }
    for (auto it = prices->begin(); it != prices->end(); ++it) {
        const std::string& key = it.key();
        const std::string* price = it.value().get_ptr<const std::string*>();
        const int r = key.size() == 1 && key[0] >= '1' && key[0] <= '5' ? key[0] - '1' : -1;
        const std::string row = "cena wiersza " + key;
        std::string fault;
        if (r < 0) {
            const bool shown = key.size() <= 8 && std::all_of(key.begin(), key.end(), [](char c) {
                                   return c >= 0x20 && c < 0x7F;
                               });
            *why = name + "wiersz cen " + (shown ? "\"" + key + "\" " : "") + "spoza zakresu 1–5";
            return false;
        }
        if (price == nullptr) {
            *why = name + row + " musi być tekstem";
            return false;
        }
        if (!readOrderPrice(*price, &read.prices.text[r], &read.prices.blink[r], &fault)) {
            *why = name + row + ": " + fault;
            return false;
        }
        read.prices.named[r] = true;
    }
    if (const Json* description = field(item, "opis")) {
        if (!description->is_string()) {
            *why = name + "pole \"opis\" musi być tekstem";
            return false;
        }
        read.description = *description->get_ptr<const std::string*>();
        size_t count = 0;
        if (countCharacters(read.description, false, &count) && count > kOrderDescriptionMax) {
            *why = name + kLongDescription;
            return false;
        }
    }
    *order = std::move(read);
    return true;
}

Written rowsJson(const OrderRow rows[], const bool which[]) {
    Written json = Written::object();
    for (int r = 0; r < kPriceRows; ++r) {
        if (which[r]) {
            Written row = Written::object();
            row["wysłano"] = rows[r].sent;
            row["vorda"] = rows[r].shown;
            row["miga"] = rows[r].blink;
            json[std::to_string(r + 1)] = row;
        }
    }
    return json;
}

bool readRows(const Json& value, OrderRow rows[], std::string* why) {
    *why = "pole \"wiersze\" jest uszkodzone";
    if (!value.is_object()) {
        return false;
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string& key = it.key();
        const Json& row = it.value();
        if (key.size() != 1 || key[0] < '1' || key[0] > '5' || !row.is_object()) {
            return false;
        }
        const Json* sent = field(row, "wysłano");
        const Json* shown = field(row, "vorda");
        const Json* blink = field(row, "miga");
        if (sent == nullptr || !sent->is_string() || shown == nullptr || !shown->is_string() ||
            blink == nullptr || !blink->is_boolean()) {
            return false;
        }
        OrderRow& out = rows[key[0] - '1'];
        out.sent = *sent->get_ptr<const std::string*>();
        out.shown = *shown->get_ptr<const std::string*>();
        out.blink = *blink->get_ptr<const bool*>();
    }
    why->clear();
    return true;
}

}  // namespace orderjson

}  // namespace vorda
