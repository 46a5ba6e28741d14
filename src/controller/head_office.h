// The head office: the station's order document fetched from `Adres` at start and every
// `Okres` seconds (spread by ±10 %), asked for with If-None-Match / If-Modified-Since so that
// an unchanged one costs a 304, and applied to the order book as the head office's current
// plan; the results of its orders posted to `Raport` from the outbox, oldest first, with
// growing pauses after failures (which end at once when the head office, unreachable
// before, answers a fetch again). All of it on a thread of its own: a slow or silent server
// never holds the window, the link or the timers.
//
// The thread and what it needs live in a state shared with it: at the program's end stop()
// does not wait for a request under way (it may take up to its time limit); the thread
// finds it was stopped when the answer comes and ends without touching the order book or the
// platform (its clock, its settings store): only a result the head office took (a 2xx) is
// still marked sent in the outbox, so that it does not go again at the next start.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/central_store.h"
#include "engine/http_client.h"
#include "orders/order_book.h"
#include "orders/outbox.h"
#include "settings/central_settings.h"
#include "settings/clock.h"

namespace vorda {

constexpr const char kCentralSettingsName[] = "Centrala.ini";
constexpr const char kOutboxName[] = "WynikiDoCentrali.json";
constexpr uint32_t kCentralTimeoutMs = 20000;  // one exchange with the head office, at most

// What the operator is shown of the link to the head office.
struct HeadOfficeContact {
    bool enabled = false;     // an `Adres` is set: the document is fetched
    int64_t at = 0;           // the last fetch's end (seconds since 1970 UTC); 0: none yet
    std::string text;         // "ZMIANY", "BEZ ZMIAN", or what went wrong
    std::string reportFault;  // the last post of a result that failed; "" after a 2xx
    std::vector<Outbox::Report> waiting;  // results still to be sent, oldest first
};

class HeadOffice {
  public:
    // `changed` is told, on the head office's thread with its lock held (so it must not call
    // back; it may hand the news to another thread), when the plan changed the order book or
    // the contact changed. `book` is only touched from start() to stop(): once stop()
    // returned, neither is called again.
    HeadOffice(HttpClient http, CentralStore store, const std::string& folder, Clock clock,
               OrderBook* book, std::function<void(bool planChanged)> changed);
    ~HeadOffice();
    HeadOffice(const HeadOffice&) = delete;
    HeadOffice& operator=(const HeadOffice&) = delete;

    // Reads "Centrala.ini" and the outbox, and starts the thread (it fetches at once when an
    // `Adres` is set). What went wrong (settings refused, a damaged outbox), for the operator;
    // a kept key that no header may carry (a line break, ...) is dropped, never sent.
    // Refused settings are never used: nothing is fetched or posted until change() gives
    // settings that pass; results meanwhile wait.
    std::vector<std::string> start();
    // The thread is told to end; a request under way is not waited for.
    void stop();

    CentralSettings settings() const;
    bool hasKey() const;
    // The dialog's "OK": the settings and a new key checked, the key protected for the user (`key`
    // null: the one kept stays), written to "Centrala.ini", and the document fetched at once. False
    // with the reason, nothing changed.
    bool change(CentralSettings settings, const std::string* key, std::string* why);
    // "Sprawdź": one fetch of the document with these settings (`key` null: the one kept),
    // nothing applied or kept. The returned call asks the server and gives the answer in
    // words; it waits for the answer (run it on a thread of its own) and holds copies of
    // what it needs (it may outlive the head office).
    std::function<std::string()> trial(const CentralSettings& settings,
                                       const std::string* key) const;

    // An order of the head office ended (any ending): its result is queued for the head
    // office, once per ending, when a `Raport` is set (not for an ending more than 90 days
    // old: that one was reported when it came).
    void orderEnded(const Order& order);

    // The wall clock changed: the waits are taken again.
    void clockChanged();

    HeadOfficeContact contact() const;
    bool outboxSaveFailed() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace vorda
