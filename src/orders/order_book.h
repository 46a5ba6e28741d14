// The order book: every order the program accepted, waiting or ended, kept in a file (the
// data folder's "ZleceniaCen.json") that is written again, in one step, after every change.
// Callers on any thread: the book has its own mutex. Times are seconds since 1970 UTC, given
// by the caller.
//
// The file is the orders' document (document.h) with, per order, what the book needs
// besides: "zrodlo" (the source's text), "wynik" (the result's text), "koniec" (when it
// ended, in the order's offset; absent while it has not), "kolejnosc" (the order in which
// it was taken), "natychmiast" (true for an order without a time), "wplanie" (true for one
// of those that the head office's plan held at its last reading), "wynikDoZapisu" (true
// for an ended folder order whose result file is not yet written) and "wiersze" (the rows'
// results, as the result document's "ceny"). It is written indented, newest first.
//
// The book stays bounded: an ended order is dropped when the book is saved once both its
// time and its end lie more than 90 days back; an order offered whose time lies more than
// 90 days back is ignored, so that one forgotten so never comes back to be carried out. An
// order without a time is due "now" at every reading of the head office's plan: it is
// kept while the plan holds it, so that it is never carried out twice. The book holds at
// most kOrderBookMax orders, so that its file always stays within what load() reads back.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "orders/order.h"

namespace vorda {

constexpr int64_t kOrderKeptSeconds = 90 * 86400;
constexpr size_t kOrderBookMax = 2000;

class OrderBook {
  public:
    explicit OrderBook(std::string path);

    // Reads the file (none: an empty book, true). A damaged file leaves the book empty and is
    // moved aside as "<file>.uszkodzony" (or "<file>-1.uszkodzony", ...): false with the
    // reason in Polish. While such a file cannot be moved aside, nothing is written over it
    // (saveFailed()). Orders found Running (the program ended while carrying them out) end
    // as NoAnswer at `now`.
    bool load(int64_t now, std::string* why);

    struct Taken {
        int added = 0, replaced = 0, ignored = 0;
    };
    // Per order, by its id: a new one is added; one with the id of a waiting order of its
    // source replaces it; one with the id of an order of another source or of a running or
    // ended order, one that checkOrder refuses, one due
    // more than 90 days before `now` and a new one once the book is full are ignored. Each
    // taken order is Waiting, with the next `sequence`. Saved once.
    Taken accept(std::vector<Order> orders, int64_t now);
    // Why accept would not take all of `orders` (with `more` new orders taken before them),
    // in Polish naming the order: the id of an order of another source, of a running one or
    // of an ended one asked for otherwise, a fault checkOrder finds, a time more than 90 days
    // back, or no room. "" when it would take them all (an ended order asked for again as it
    // was is no refusal: it is the same order, and accept ignores it).
    std::string refusal(const std::vector<Order>& orders, int64_t now, size_t more = 0) const;

    struct PlanChange {
        int added = 0, replaced = 0, cancelled = 0, ignored = 0;
    };
    // The head office's current plan for this station (its document, read as HeadOffice
    // orders, the station checked), by id: a new id is added as accept adds it; a waiting
    // head-office order whose time, prices or description changed is replaced, an
    // unchanged one stays as it is (its `sequence` too); a waiting head-office order that
    // the plan no longer holds ends Cancelled at `now`. An id of a running or ended order,
    // of an order from another source, one that checkOrder refuses and one due more than
    // 90 days back are ignored. Saved once.
    PlanChange applyPlan(std::vector<Order> orders, int64_t now);

    // A waiting order ends Cancelled; false for any other.
    bool cancel(const std::string& id, int64_t now);

    // The waiting orders due at `now`, as one send: for each row the newest of them (by
    // `due`, then `sequence`) that names it wins, unless an order already carried out (or
    // under way) for that row is newer still (one whose time is still to come, carried out
    // while the clock was ahead, holds nothing back). Those none of whose rows win end Skipped;
    // the others become Running and are the batch, with the prices merged and the newest of
    // them named. Nothing due: `ids` empty. This is also the rule at start for orders whose
    // time passed while the program was not running.
    struct Batch {
        std::vector<std::string> ids;  // oldest first
        PriceOrder prices;
        std::string newestId;
        OrderSource newestSource = OrderSource::Panel;
    };
    Batch takeDue(int64_t now);

    // The running orders among `ids` end with `result` (Waiting and Running are no ending:
    // ignored), each keeping rows[r] for the rows it sent: those it named that no newer
    // order among `ids` names (the others' results are empty: not sent).
    void finish(const std::vector<std::string>& ids, OrderResult result,
                const OrderRow rows[kPriceRows], int64_t now);

    // The earliest `due` of a waiting order; INT64_MAX when none waits.
    int64_t nextDue() const;
    // All, newest first (by `due`, then `sequence`).
    std::vector<Order> orders() const;
    Order find(const std::string& id, bool* found) const;
    // The last save failed (or the file could not be moved aside).
    bool saveFailed() const;
    // After a failed save, the file is written again (not over a damaged file that could not
    // be moved aside); whether it is saved now.
    bool retrySave(int64_t now);
    // The orders that ended since the last call (as they are now), oldest end first: those
    // found running at load, cancelled, skipped, finished; at the first call after load also
    // the folder orders whose result file was not written before the program ended.
    std::vector<Order> takeEnded();
    // The folder orders' result files among `ids` are written ("wynikDoZapisu" goes).
    void resultsWritten(const std::vector<std::string>& ids, int64_t now);

  private:
    Order* byId(const std::string& id);
    const Order* byId(const std::string& id) const;
    void endOrder(Order& order, OrderResult result, int64_t now);
    void save(int64_t now);

    const std::string path_;
    mutable std::mutex mutex_;
    std::vector<Order> orders_;
    uint64_t nextSequence_ = 1;
    bool saveFailed_ = false;
    bool keepFile_ = false;              // a damaged file could not be moved aside
    std::vector<std::string> endedIds_;  // ended since the last takeEnded()
};

}  // namespace vorda
