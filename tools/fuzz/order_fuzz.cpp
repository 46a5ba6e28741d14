// Order documents into the order book and back. Input: a document, read as a file of the
// orders' folder at a fixed time. What it holds goes into an order book on a file, which a
// second book loads: the orders come back exactly. The waiting orders are then carried out
// at a few times, each time holding takeDue's rule (every waiting order due ends running or
// skipped, once; each row the newest's) and the round trip again.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

#include "fuzz_support.h"
#include "orders/document.h"
#include "orders/order_book.h"
#include "settings/files.h"

using namespace vorda;

namespace {

constexpr int64_t kNow = 1796619600;  // 2026-12-07T05:00:00Z

const std::string& bookPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/vorda-orders-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        return pattern + "/ZleceniaCen.json";
    }();
    return path;
}

bool waiting(const Order& order) {
    return order.result == OrderResult::Waiting;
}

void checkReloaded(const OrderBook& book) {
    OrderBook again(bookPath());
    std::string why;
    FUZZ_CHECK(!book.saveFailed() && again.load(kNow, &why));
    FUZZ_CHECK(again.orders() == book.orders());
}

// One takeDue at `at` against what the book held before it.
void checkTakeDue(OrderBook& book, int64_t at) {
    const std::vector<Order> before = book.orders();  // newest first
    const OrderBook::Batch batch = book.takeDue(at);
    const std::set<std::string> ids(batch.ids.begin(), batch.ids.end());
    FUZZ_CHECK(ids.size() == batch.ids.size());
    const Order* winner[kPriceRows] = {};
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
        for (int r = 0; r < kPriceRows; ++r) {
            const bool wins = waiting(*it) && it->due <= at && it->prices.named[r];
            winner[r] = wins ? &*it : winner[r];
        }
    }
    for (int r = 0; r < kPriceRows; ++r) {
        FUZZ_CHECK(batch.prices.named[r] == (winner[r] != nullptr));
        FUZZ_CHECK(!winner[r] || (batch.prices.text[r] == winner[r]->prices.text[r] &&
                                  batch.prices.blink[r] == winner[r]->prices.blink[r]));
    }
    bool anyDue = false;
    for (const Order& order : before) {
        bool found = false;
        const Order now = book.find(order.id, &found);
        if (!found) {  // ended long enough before: dropped when the book was saved
            FUZZ_CHECK(!waiting(order) && order.result != OrderResult::Running &&
                       std::max(order.due, order.endedAt) < at - kOrderKeptSeconds);
            continue;
        }
        const bool wins = std::count(winner, winner + kPriceRows, &order) > 0;
        if (!waiting(order) || order.due > at) {
            FUZZ_CHECK(now == order && ids.count(order.id) == 0);
            continue;
        }
        anyDue = true;
        FUZZ_CHECK(now.result == (wins ? OrderResult::Running : OrderResult::Skipped));
        FUZZ_CHECK(ids.count(order.id) == (wins ? 1u : 0u));
        FUZZ_CHECK(wins || now.endedAt == at);
    }
    FUZZ_CHECK(batch.ids.empty() == !anyDue);
    FUZZ_CHECK(batch.ids.empty() || batch.newestId == batch.ids.back());
    OrderRow rows[kPriceRows];
    for (int r = 0; r < kPriceRows; ++r) {
        rows[r] = {batch.prices.text[r], batch.prices.text[r], batch.prices.blink[r]};
    }
    book.finish(batch.ids, OrderResult::Confirmed, rows, at);
    int64_t nextDue = INT64_MAX;
    for (const Order& order : book.orders()) {
        FUZZ_CHECK(order.result != OrderResult::Running);
        nextDue = waiting(order) ? std::min(nextDue, order.due) : nextDue;
        auto result = nlohmann::json::parse(orderResultJson(order, "S"), nullptr, false);
        FUZZ_CHECK(result.is_object() && result["id"] == order.id && result["stacja"] == "S");
    }
    FUZZ_CHECK(book.nextDue() == nextDue);
    checkReloaded(book);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    OrderDocument document;
    std::string why;
    if (!readOrderDocument(input, OrderSource::Folder, kNow, &document, &why)) {
        FUZZ_CHECK(!why.empty() && document.orders.empty());
        return 0;
    }
    for (const Order& order : document.orders) {
        int64_t utc = 0;
        int offset = 0;
        FUZZ_CHECK(checkOrder(order, &why) && waiting(order));
        FUZZ_CHECK(parseOrderTime(orderTimeText(order.due, order.offsetMinutes), &utc, &offset));
        FUZZ_CHECK(utc == order.due && offset == order.offsetMinutes);
    }
    removeFile(bookPath());
    OrderBook book(bookPath());
    FUZZ_CHECK(book.load(kNow, &why));
    const OrderBook::Taken taken = book.accept(document.orders, kNow);
    FUZZ_CHECK(taken.replaced == 0 &&
               taken.added + taken.ignored == static_cast<int>(document.orders.size()));
    FUZZ_CHECK(static_cast<int>(book.orders().size()) == taken.added);
    if (taken.added > 0) {
        checkReloaded(book);
    }
    if (document.orders.size() > 1) {
        bool held = false;
        book.find(document.orders[1].id, &held);
        FUZZ_CHECK(book.cancel(document.orders[1].id, kNow) == held);
    }
    // A year before, now, a month on, and near the end of the year 9999 (the latest moment
    // every offset still writes with four digits of the year).
    for (int64_t at : {kNow - 365 * 86400, kNow, kNow + 30 * 86400, int64_t{253402128000}}) {
        checkTakeDue(book, at);
    }
    return 0;
}
