#include "orders/order_book.h"

#include <algorithm>
#include <climits>
#include <set>

#include "orders/document.h"
#include "orders/order_json.h"
#include "settings/files.h"

namespace vorda {

using orderjson::Json;
using orderjson::Written;

namespace {

constexpr size_t kBookFileMax = 16 << 20;

const OrderResult kResults[] = {
    OrderResult::Waiting,  OrderResult::Running,  OrderResult::Confirmed, OrderResult::Mismatch,
    OrderResult::NoAnswer, OrderResult::TestMode, OrderResult::Skipped,   OrderResult::Cancelled};
const OrderSource kSources[] = {OrderSource::Panel, OrderSource::Script, OrderSource::Folder,
                                OrderSource::HeadOffice};

bool ended(OrderResult result) {
    return result != OrderResult::Waiting && result != OrderResult::Running;
}

// Sent to the tower (or being sent): what it set stays until a newer order sets it again.
bool carriedOut(OrderResult result) {
    return result == OrderResult::Running || result == OrderResult::Confirmed ||
           result == OrderResult::Mismatch || result == OrderResult::NoAnswer ||
           result == OrderResult::TestMode;
}

// Ended long enough ago to be dropped when the book is saved (an order without a time that
// the head office's plan still holds stays, or the next reading would carry it out again).
bool expired(const Order& order, int64_t now) {
    return ended(order.result) && !order.planned &&
           std::max(order.due, order.endedAt) < now - kOrderKeptSeconds;
}

// The same order asked for again: its time, prices and description as held.
bool sameRequest(const Order& held, const Order& order) {
    return held.immediate == order.immediate && held.prices == order.prices &&
           held.description == order.description &&
           (order.immediate ||
            (held.due == order.due && held.offsetMinutes == order.offsetMinutes));
}

bool older(const Order& a, const Order& b) {
    return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
}

std::vector<Order> newestFirst(std::vector<Order> orders) {
    std::stable_sort(orders.begin(), orders.end(),
                     [](const Order& a, const Order& b) { return older(b, a); });
    return orders;
}

// The value of `all` whose text `value` is.
template <typename T, size_t N>
bool fromText(const Json& item, const char* name, const T (&all)[N], const char* (*text)(T),
              T* out) {
    const auto it = item.find(name);
    const std::string* s = it == item.end() ? nullptr : it->template get_ptr<const std::string*>();
    for (T value : all) {
        if (s != nullptr && *s == text(value)) {
            *out = value;
            return true;
        }
    }
    return false;
}

std::string bookText(const std::vector<Order>& orders) {
    Written list = Written::array();
    for (const Order& order : orders) {
        Written item = orderjson::documentFields(order);
        item["zrodlo"] = orderSourceText(order.source);
        item["wynik"] = orderResultText(order.result);
        if (order.endedAt != 0) {
            item["koniec"] = orderTimeText(order.endedAt, order.offsetMinutes);
        }
        item["kolejnosc"] = order.sequence;
        if (order.immediate) {
            item["natychmiast"] = true;
        }
        if (order.planned) {
            item["wplanie"] = true;
        }
        if (order.resultDue) {
            item["wynikDoZapisu"] = true;
        }
        bool which[kPriceRows] = {};
        bool any = false;
        for (int r = 0; r < kPriceRows; ++r) {
            const OrderRow& row = order.rows[r];
            which[r] = !row.sent.empty() || !row.shown.empty() || row.blink;
            any = any || which[r];
        }
        if (any) {
            item["wiersze"] = orderjson::rowsJson(order.rows, which);
        }
        list.push_back(std::move(item));
    }
    Written document = Written::object();
    document["zlecenia"] = std::move(list);
    return orderjson::text(document);
}

bool readBook(const std::string& bytes, int64_t now, std::vector<Order>* out, std::string* why) {
    const Json document = Json::parse(bytes, nullptr, false);
    const auto list = document.is_object() ? document.find("zlecenia") : document.end();
    if (document.is_discarded() || list == document.end() || !list->is_array()) {
        *why = "brak tablicy \"zlecenia\"";
        return false;
    }
    std::set<std::string> ids;
    for (size_t i = 0; i < list->size(); ++i) {
        const Json& item = (*list)[i];
        Order order;
        if (!orderjson::readDocumentFields(item, i, now, &order, why)) {
            return false;
        }
        const auto end = item.find("koniec");
        const auto sequence = item.find("kolejnosc");
        const auto immediate = item.find("natychmiast");
        const auto planned = item.find("wplanie");
        const auto resultDue = item.find("wynikDoZapisu");
        const auto rows = item.find("wiersze");
        int offset = 0;
        std::string fault;
        if (!fromText(item, "zrodlo", kSources, orderSourceText, &order.source)) {
            fault = "nieznane źródło \"zrodlo\"";
        } else if (!fromText(item, "wynik", kResults, orderResultText, &order.result)) {
            fault = "nieznany wynik \"wynik\"";
        } else if (end != item.end() &&
                   !orderjson::readTime(*end, "koniec", &order.endedAt, &offset, &fault)) {
        } else if (sequence == item.end() || !sequence->is_number_unsigned()) {
            fault = "brak numeru \"kolejnosc\"";
        } else if (immediate != item.end() && !immediate->is_boolean()) {
            fault = "pole \"natychmiast\" musi mieć wartość true lub false";
        } else if (planned != item.end() && !planned->is_boolean()) {
            fault = "pole \"wplanie\" musi mieć wartość true lub false";
        } else if (resultDue != item.end() && !resultDue->is_boolean()) {
            fault = "pole \"wynikDoZapisu\" musi mieć wartość true lub false";
        } else if (rows != item.end() && !orderjson::readRows(*rows, order.rows, &fault)) {
        } else if (!ids.insert(order.id).second) {
            fault = "identyfikator powtarza się";
        }
        if (!fault.empty()) {
            *why = orderjson::orderName(order.id, i) + fault;
            return false;
        }
        order.sequence = *sequence->get_ptr<const Json::number_unsigned_t*>();
        order.immediate = immediate != item.end() && *immediate->get_ptr<const bool*>();
        order.planned = planned != item.end() && *planned->get_ptr<const bool*>();
        order.resultDue = resultDue != item.end() && *resultDue->get_ptr<const bool*>();
        out->push_back(std::move(order));
    }
    return true;
}

}  // namespace

OrderBook::OrderBook(std::string path) : path_(std::move(path)) {}

bool OrderBook::load(int64_t now, std::string* why) {
    std::lock_guard<std::mutex> lock(mutex_);
    orders_.clear();
    endedIds_.clear();
    nextSequence_ = 1;
    saveFailed_ = keepFile_ = false;
    FileStatus status;
    if (!fileStatus(path_, &status)) {
        return true;
    }
    std::string bytes, fault;
    std::vector<Order> read;
    if (!readFileBytes(path_, kBookFileMax + 1, &bytes)) {
        fault = "nie da się go odczytać";
    } else if (bytes.size() > kBookFileMax) {
        fault = "ma więcej niż 16 MB";
    } else {
        readBook(bytes, now, &read, &fault);
    }
    if (!fault.empty()) {
        bool movedAside = false;
        *why = setDamagedFileAside(path_, fault, &movedAside);
        saveFailed_ = keepFile_ = !movedAside;
        return false;
    }
    orders_ = std::move(read);
    bool changed = false;
    for (Order& order : orders_) {
        nextSequence_ = std::max(nextSequence_, order.sequence + 1);
        if (order.result == OrderResult::Running) {
            endOrder(order, OrderResult::NoAnswer, now);
            changed = true;
        } else if (order.resultDue) {
            endedIds_.push_back(order.id);  // its result was not written before the end
        }
    }
    if (changed) {
        save(now);
    }
    return true;
}

OrderBook::Taken OrderBook::accept(std::vector<Order> orders, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    Taken taken;
    std::string why;
    orders_.erase(std::remove_if(orders_.begin(), orders_.end(),
                                 [&](const Order& order) { return expired(order, now); }),
                  orders_.end());
    for (Order& order : orders) {
        order.result = OrderResult::Waiting;
        order.endedAt = 0;
        std::fill(std::begin(order.rows), std::end(order.rows), OrderRow{});
        Order* held = byId(order.id);
        if ((held != nullptr &&
             (held->result != OrderResult::Waiting || held->source != order.source)) ||
            (held == nullptr && orders_.size() >= kOrderBookMax) ||
            order.due < now - kOrderKeptSeconds || !checkOrder(order, &why)) {
            ++taken.ignored;
            continue;
        }
        order.sequence = nextSequence_++;
        if (held != nullptr) {
            *held = std::move(order);
            ++taken.replaced;
        } else {
            orders_.push_back(std::move(order));
            ++taken.added;
        }
    }
    if (taken.added + taken.replaced > 0) {
        save(now);
    }
    return taken;
}

OrderBook::PlanChange OrderBook::applyPlan(std::vector<Order> orders, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    PlanChange change;
    std::set<std::string> planned;
    std::string why;
    for (Order& order : orders) {
        planned.insert(order.id);
        order.source = OrderSource::HeadOffice;
        order.result = OrderResult::Waiting;
        order.endedAt = 0;
        std::fill(std::begin(order.rows), std::end(order.rows), OrderRow{});
        Order* held = byId(order.id);
        const bool waitingOurs = held != nullptr && held->result == OrderResult::Waiting &&
                                 held->source == OrderSource::HeadOffice;
        if (waitingOurs && sameRequest(*held, order)) {
            continue;  // unchanged
        }
        if ((held != nullptr && !waitingOurs) ||
            (held == nullptr && orders_.size() >= kOrderBookMax) ||
            order.due < now - kOrderKeptSeconds || !checkOrder(order, &why)) {
            ++change.ignored;
            continue;
        }
        order.sequence = nextSequence_++;
        if (held != nullptr) {
            *held = std::move(order);
            ++change.replaced;
        } else {
            orders_.push_back(std::move(order));
            ++change.added;
        }
    }
    bool plannedChanged = false;
    for (Order& order : orders_) {
        if (order.source != OrderSource::HeadOffice) {
            continue;
        }
        const bool held = planned.count(order.id) > 0;
        if (order.result == OrderResult::Waiting && !held) {
            endOrder(order, OrderResult::Cancelled, now);
            ++change.cancelled;
        }
        plannedChanged = plannedChanged || order.planned != (held && order.immediate);
        order.planned = held && order.immediate;
    }
    if (change.added + change.replaced + change.cancelled > 0 || plannedChanged) {
        save(now);
    }
    return change;
}

bool OrderBook::cancel(const std::string& id, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    Order* order = byId(id);
    if (order == nullptr || order->result != OrderResult::Waiting) {
        return false;
    }
    endOrder(*order, OrderResult::Cancelled, now);
    save(now);
    return true;
}

OrderBook::Batch OrderBook::takeDue(int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Order*> due;
    for (Order& order : orders_) {
        if (order.result == OrderResult::Waiting && order.due <= now) {
            due.push_back(&order);
        }
    }
    Batch batch;
    if (due.empty()) {
        return batch;
    }
    std::sort(due.begin(), due.end(), [](const Order* a, const Order* b) { return older(*a, *b); });
    // Per row the newest order carried out: an older one that comes late does not undo it.
    const Order* sent[kPriceRows] = {};
    for (const Order& order : orders_) {
        for (int r = 0; r < kPriceRows; ++r) {
            const bool newer = sent[r] == nullptr || older(*sent[r], order);
            // One carried out at a time still to come (the clock was ahead then) cannot say
            // which price is newer: it holds nothing back.
            sent[r] = carriedOut(order.result) && order.prices.named[r] && order.due <= now && newer
                          ? &order
                          : sent[r];
        }
    }
    const Order* winner[kPriceRows] = {};
    for (const Order* order : due) {
        for (int r = 0; r < kPriceRows; ++r) {
            const bool newest = sent[r] == nullptr || older(*sent[r], *order);
            winner[r] = order->prices.named[r] && newest ? order : winner[r];
        }
    }
    for (Order* order : due) {
        order->result = OrderResult::Skipped;
        for (int r = 0; r < kPriceRows; ++r) {
            if (winner[r] == order) {
                order->result = OrderResult::Running;
                batch.prices.named[r] = true;
                batch.prices.text[r] = order->prices.text[r];
                batch.prices.blink[r] = order->prices.blink[r];
            }
        }
        if (order->result == OrderResult::Skipped) {
            endOrder(*order, OrderResult::Skipped, now);
        } else {
            batch.ids.push_back(order->id);
            batch.newestId = order->id;
            batch.newestSource = order->source;
        }
    }
    save(now);
    return batch;
}

void OrderBook::finish(const std::vector<std::string>& ids, OrderResult result,
                       const OrderRow rows[kPriceRows], int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool changed = false;
    for (const std::string& id : ids) {
        Order* order = byId(id);
        if (order == nullptr || order->result != OrderResult::Running || !ended(result)) {
            continue;
        }
        endOrder(*order, result, now);
        for (int r = 0; r < kPriceRows; ++r) {
            // The row went with this order's price only if no newer order of the send names it.
            bool sentIt = order->prices.named[r];
            for (const std::string& other : ids) {
                const Order* o = byId(other);
                sentIt = sentIt &&
                         !(o != nullptr && o != order && o->prices.named[r] && older(*order, *o));
            }
            order->rows[r] = sentIt ? rows[r] : OrderRow{};
        }
        changed = true;
    }
    if (changed) {
        save(now);
    }
}

int64_t OrderBook::nextDue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t next = INT64_MAX;
    for (const Order& order : orders_) {
        if (order.result == OrderResult::Waiting) {
            next = std::min(next, order.due);
        }
    }
    return next;
}

std::vector<Order> OrderBook::orders() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return newestFirst(orders_);
}

Order OrderBook::find(const std::string& id, bool* found) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(orders_.begin(), orders_.end(),
                                 [&](const Order& order) { return order.id == id; });
    *found = it != orders_.end();
    return *found ? *it : Order{};
}

bool OrderBook::saveFailed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return saveFailed_;
}

bool OrderBook::retrySave(int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (saveFailed_ && !keepFile_) {
        save(now);
    }
    return !saveFailed_;
}

std::vector<Order> OrderBook::takeEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Order> out;
    for (const std::string& id : endedIds_) {
        if (const Order* order = byId(id)) {
            out.push_back(*order);
        }
    }
    endedIds_.clear();
    return out;
}

std::string OrderBook::refusal(const std::vector<Order>& orders, int64_t now, size_t more) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t held = 0;
    for (const Order& order : orders_) {
        held += !expired(order, now);
    }
    size_t adding = more;
    for (size_t i = 0; i < orders.size(); ++i) {
        const Order& order = orders[i];
        const Order* same = byId(order.id);
        const std::string name = orderjson::orderName(order.id, i);
        std::string why;
        if (same != nullptr && same->source != order.source) {
            return name + "zlecenie o tym identyfikatorze pochodzi z innego źródła (" +
                   orderSourceText(same->source) + ")";
        }
        if (same != nullptr && same->result != OrderResult::Waiting && !sameRequest(*same, order)) {
            return name +
                   (same->result == OrderResult::Running
                        ? std::string("zlecenie o tym identyfikatorze jest w toku")
                        : std::string("zlecenie o tym identyfikatorze już się zakończyło (") +
                              orderResultText(same->result) + ")");
        }
        if (order.due < now - kOrderKeptSeconds) {
            return name + "czas \"od\" minął ponad 90 dni temu";
        }
        if (!checkOrder(order, &why)) {
            return why;
        }
        adding += same == nullptr;
    }
    if (held + adding > kOrderBookMax) {
        return "brak miejsca na nowe zlecenia: " + path_.substr(path_.find_last_of("/\\") + 1) +
               " ma ich " + std::to_string(held) + ", najwięcej " + std::to_string(kOrderBookMax);
    }
    return std::string();
}

Order* OrderBook::byId(const std::string& id) {
    for (Order& order : orders_) {
        if (order.id == id) {
            return &order;
        }
    }
    return nullptr;
}

const Order* OrderBook::byId(const std::string& id) const {
    return const_cast<OrderBook*>(this)->byId(id);
}

void OrderBook::endOrder(Order& order, OrderResult result, int64_t now) {
    order.result = result;
    order.endedAt = now;
    order.resultDue = order.source == OrderSource::Folder;
    endedIds_.push_back(order.id);
}

void OrderBook::resultsWritten(const std::vector<std::string>& ids, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool changed = false;
    for (const std::string& id : ids) {
        Order* order = byId(id);
        if (order != nullptr && order->resultDue) {
            order->resultDue = false;
            changed = true;
        }
    }
    if (changed) {
        save(now);
    }
}

void OrderBook::save(int64_t now) {
    orders_.erase(std::remove_if(orders_.begin(), orders_.end(),
                                 [&](const Order& order) { return expired(order, now); }),
                  orders_.end());
    saveFailed_ = keepFile_ || !writeFileReplacing(path_, bookText(newestFirst(orders_)));
}

}  // namespace vorda
