#include "controller/head_office.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "orders/central.h"
#include "orders/document.h"
#include "settings/files.h"

namespace vorda {

namespace {

using Steady = std::chrono::steady_clock;

// A wait never longer than this: a failed save of the outbox is tried again, and a change of
// the wall clock (the outbox's pauses are wall-clock times) is noticed.
constexpr auto kLongestWait = std::chrono::seconds(60);

std::vector<std::pair<std::string, std::string>> keyHeader(const std::string& key) {
    if (key.empty()) {
        return {};
    }
    return {{"Authorization", "Bearer " + key}};
}

// A status that is not 2xx (nor 304), in words.
std::string statusText(int status) {
    std::string text = "HTTP " + std::to_string(status);
    if (status == 401 || status == 403) {
        text += ": odmowa dostępu (sprawdź klucz)";
    } else if (status == 404) {
        text += ": nie ma dokumentu pod tym adresem";
    } else if (status >= 500) {
        text += ": błąd serwera centrali";
    }
    return text;
}

bool isSuccess(int status) {
    return status >= 200 && status < 300;
}

std::string tryOut(const HttpClient& http, const CentralSettings& settings,
                   const std::string& key) {
    std::string why;
    if (!checkCentralSettings(settings, &why) || !checkCentralKey(key, &why)) {
        return why;
    }
    if (settings.documentUrl.empty()) {
        return "Brak adresu dokumentu: program nie pobiera zlece\xC5\x84 z centrali";
    }
    const HttpRequest request{"GET", settings.documentUrl, keyHeader(key), ""};
    const HttpResponse answer = http.send(http.context, request, kCentralTimeoutMs);
    if (answer.status == 0) {
        return answer.error;
    }
    if (!isSuccess(answer.status)) {
        return statusText(answer.status);
    }
    OrderDocument document;
    if (!readOrderDocument(answer.body, OrderSource::HeadOffice, 0, &document, &why) ||
        !checkPlanDocument(document, settings.station, &why)) {
        return "HTTP " + std::to_string(answer.status) + ", dokument odrzucony: " + why;
    }
    return "HTTP " + std::to_string(answer.status) + ", stacja " + document.station +
           ", zlece\xC5\x84: " + std::to_string(document.orders.size());
}

}  // namespace

struct HeadOffice::State {
    HttpClient http;
    CentralStore store;
    std::string settingsPath;
    Clock clock;
    std::function<void(bool)> changed;

    mutable std::mutex mutex;  // guards what follows
    std::condition_variable wake;
    OrderBook* book = nullptr;  // null once stopped
    Outbox outbox;
    CentralSettings settings;
    std::string key;     // unprotected, in memory only
    bool valid = false;  // the settings passed the check: only then does the thread use them
    bool enabled = false;
    bool fetchNow = true;
    bool stopping = false;
    bool unreachable = false;        // the last fetch got no answer
    std::string etag, lastModified;  // of the last document taken
    HeadOfficeContact contact;

    explicit State(std::string outboxPath) : outbox(std::move(outboxPath)) {}

    void run();
    // Each with the lock held on entry and on return; released while the server is asked.
    void fetch(std::unique_lock<std::mutex>& lock);
    void post(std::unique_lock<std::mutex>& lock, const Outbox::Report& report);
};

HeadOffice::HeadOffice(HttpClient http, CentralStore store, const std::string& folder, Clock clock,
                       OrderBook* book, std::function<void(bool)> changed)
    : state_(std::make_shared<State>(startDirectoryPath(folder, kOutboxName))) {
    state_->http = http;
    state_->store = store;
    state_->settingsPath = startDirectoryPath(folder, kCentralSettingsName);
    state_->clock = clock;
    state_->book = book;
    state_->changed = std::move(changed);
}

HeadOffice::~HeadOffice() {
    stop();
}

std::vector<std::string> HeadOffice::start() {
    State& s = *state_;
    std::vector<std::string> faults;
    std::string why;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.outbox.load(&why)) {
        faults.push_back(why);
    }
    if (s.store.load == nullptr || s.http.send == nullptr) {
        return faults;  // no head office on this platform
    }
    s.store.load(s.store.context, s.settingsPath, &s.settings);
    s.key = s.settings.protectedKey.empty()
                ? std::string()
                : s.store.unprotect(s.store.context, s.settings.protectedKey);
    const bool keyGood = checkCentralKey(s.key, &why);
    if (!keyGood) {  // never sent: the dialog offers to type it again
        s.key.clear();
        s.settings.protectedKey.clear();
    }
    if (!keyGood || !checkCentralSettings(s.settings, &why)) {
        faults.push_back("Ustawienia centrali (" + std::string(kCentralSettingsName) +
                         ") s\xC4\x85 b\xC5\x82\xC4\x99"
                         "dne: " +
                         why);
        s.contact.text = why;
    } else {
        s.valid = true;
        s.enabled = !s.settings.documentUrl.empty();
    }
    s.contact.enabled = s.enabled;
    std::thread([state = state_] { state->run(); }).detach();
    return faults;
}

void HeadOffice::stop() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->book = nullptr;
    state_->wake.notify_all();
}

CentralSettings HeadOffice::settings() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->settings;
}

bool HeadOffice::hasKey() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return !state_->key.empty();
}

bool HeadOffice::change(CentralSettings settings, const std::string* key, std::string* why) {
    State& s = *state_;
    if (!checkCentralSettings(settings, why) || (key != nullptr && !checkCentralKey(*key, why))) {
        return false;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.store.save == nullptr) {
        *why = "Centrala nie jest dost\xC4\x99pna w tej wersji programu";
        return false;
    }
    const std::string newKey = key != nullptr ? *key : s.key;
    settings.protectedKey = key == nullptr   ? s.settings.protectedKey
                            : newKey.empty() ? std::string()
                                             : s.store.protect(s.store.context, newKey);
    if (!newKey.empty() && settings.protectedKey.empty()) {
        *why = "Nie uda\xC5\x82o si\xC4\x99 zabezpieczy\xC4\x87 klucza";
        return false;
    }
    if (!s.store.save(s.store.context, s.settingsPath, settings)) {
        *why =
            "Nie uda\xC5\x82o si\xC4\x99 zapisa\xC4\x87 pliku " + std::string(kCentralSettingsName);
        return false;
    }
    const bool sameDocument = settings.documentUrl == s.settings.documentUrl &&
                              settings.station == s.settings.station && newKey == s.key;
    s.settings = settings;
    s.key = newKey;
    s.valid = true;
    s.enabled = !settings.documentUrl.empty();
    s.contact.enabled = s.enabled;
    if (!sameDocument) {
        s.etag.clear();
        s.lastModified.clear();
        s.contact.at = 0;
        s.contact.text.clear();
    }
    s.fetchNow = true;
    s.wake.notify_all();
    return true;
}

std::function<std::string()> HeadOffice::trial(const CentralSettings& settings,
                                               const std::string* key) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return [http = state_->http, settings, key = key != nullptr ? *key : state_->key] {
        return tryOut(http, settings, key);
    };
}

void HeadOffice::orderEnded(const Order& order) {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (order.source != OrderSource::HeadOffice || s.settings.reportUrl.empty() || s.stopping) {
        return;
    }
    // An ending older than the outbox remembers having queued (an order without a time that
    // the plan keeps stays in the book for good) was reported when it came.
    if (std::max(order.due, order.endedAt) < s.clock.utcNow() - kOrderKeptSeconds) {
        return;
    }
    if (s.outbox.add(order.id, order.endedAt, order.due,
                     orderResultJson(order, s.settings.station))) {
        s.wake.notify_all();
    }
}

void HeadOffice::clockChanged() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->wake.notify_all();
}

HeadOfficeContact HeadOffice::contact() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    HeadOfficeContact contact = state_->contact;
    contact.waiting = state_->outbox.waiting();
    return contact;
}

bool HeadOffice::outboxSaveFailed() const {
    return state_->outbox.saveFailed();
}

void HeadOffice::State::run() {
    std::mt19937 random{std::random_device{}()};
    std::unique_lock<std::mutex> lock(mutex);
    Steady::time_point nextFetch = Steady::now();
    while (!stopping) {
        if (enabled && (fetchNow || Steady::now() >= nextFetch)) {
            fetchNow = false;
            fetch(lock);
            nextFetch =
                Steady::now() + std::chrono::milliseconds(nextFetchDelayMs(
                                    settings.periodSeconds, static_cast<uint32_t>(random())));
            continue;
        }
        outbox.retrySave();
        Outbox::Report report;
        const int64_t now = clock.utcNow();
        const bool reporting = valid && !settings.reportUrl.empty();
        if (reporting && outbox.next(now, &report)) {
            post(lock, report);
            continue;
        }
        Steady::time_point until = Steady::now() + kLongestWait;
        if (enabled) {
            until = std::min(until, nextFetch);
        }
        const int64_t attempt = outbox.nextAttempt();
        if (reporting && attempt != INT64_MAX) {  // next() bounds it by the longest pause
            until = std::min(until, Steady::now() + std::chrono::seconds(std::clamp<int64_t>(
                                                        attempt - now, 0, kOutboxLongestPause)));
        }
        wake.wait_until(lock, until);
    }
}

void HeadOffice::State::fetch(std::unique_lock<std::mutex>& lock) {
    const CentralSettings asked = settings;
    auto headers = keyHeader(key);
    if (!etag.empty()) {
        headers.emplace_back("If-None-Match", etag);
    }
    if (!lastModified.empty()) {
        headers.emplace_back("If-Modified-Since", lastModified);
    }
    lock.unlock();
    const HttpResponse answer =
        http.send(http.context, {"GET", asked.documentUrl, headers, ""}, kCentralTimeoutMs);
    lock.lock();
    if (stopping || !(asked == settings)) {
        return;  // ended, or the settings changed meanwhile: their own fetch comes next
    }
    const int64_t now = clock.utcNow();
    OrderDocument document;
    std::string text, why;
    bool taken = false;
    if (answer.status == 304) {
        text = "BEZ ZMIAN";
    } else if (answer.status == 0) {
        text = answer.error;
    } else if (!isSuccess(answer.status)) {
        text = statusText(answer.status);
    } else if (!readOrderDocument(answer.body, OrderSource::HeadOffice, now, &document, &why) ||
               !checkPlanDocument(document, asked.station, &why)) {
        text = "dokument odrzucony: " + why;
    } else {
        taken = true;
    }
    if (unreachable && answer.status != 0) {
        outbox.retryNow(now);  // back: the results waiting need not wait out their pauses
    }
    unreachable = answer.status == 0;
    bool planChanged = false;
    if (taken) {
        const OrderBook::PlanChange change = book->applyPlan(std::move(document.orders), now);
        planChanged = change.added + change.replaced + change.cancelled > 0;
        text = planChanged ? "ZMIANY" : "BEZ ZMIAN";
        etag = headerValue(answer, "ETag");
        lastModified = headerValue(answer, "Last-Modified");
    }
    const bool contactChanged = planChanged || text != contact.text;
    contact.at = now;
    contact.text = text;
    if (contactChanged && changed) {
        changed(planChanged);
    }
}

void HeadOffice::State::post(std::unique_lock<std::mutex>& lock, const Outbox::Report& report) {
    auto headers = keyHeader(key);
    headers.emplace_back("Content-Type", "application/json; charset=utf-8");
    const HttpRequest request{"POST", settings.reportUrl, headers, report.body};
    lock.unlock();
    const HttpResponse answer = http.send(http.context, request, kCentralTimeoutMs);
    lock.lock();
    if (stopping) {  // the head office took it: not sent again at the next start
        if (isSuccess(answer.status)) {
            outbox.sent(report.id);
        }
        return;
    }
    const std::string fault = isSuccess(answer.status) ? std::string()
                              : answer.status == 0     ? answer.error
                                                       : statusText(answer.status);
    if (fault.empty()) {
        outbox.sent(report.id);
    } else {
        outbox.failed(report.id, clock.utcNow());
    }
    contact.reportFault = fault;
    if (changed) {
        changed(false);
    }
}

}  // namespace vorda
