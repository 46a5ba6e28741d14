#include "orders/outbox.h"

#include <algorithm>
#include <climits>

#include "orders/order_book.h"
#include "orders/order_json.h"
#include "settings/files.h"

namespace vorda {

using orderjson::Json;
using orderjson::Written;

namespace {

constexpr size_t kOutboxFileMax = 16 << 20;

struct Ending {
    std::string id;
    int64_t endedAt = 0, due = 0;
};

// The endings queued: "zgloszone" (absent in an older file: none).
bool readQueued(const Json& document, std::vector<Ending>* out) {
    const auto list = document.find("zgloszone");
    if (list == document.end()) {
        return true;
    }
    if (!list->is_array()) {
        return false;
    }
    for (const Json& item : *list) {
        const auto id = item.is_object() ? item.find("id") : item.end();
        const auto ended = item.is_object() ? item.find("koniec") : item.end();
        const auto due = item.is_object() ? item.find("termin") : item.end();
        if (id == item.end() || !id->is_string() || ended == item.end() ||
            !ended->is_number_integer() || (due != item.end() && !due->is_number_integer())) {
            return false;
        }
        const int64_t endedAt = ended->get<int64_t>();
        out->push_back(
            {id->get<std::string>(), endedAt, due == item.end() ? endedAt : due->get<int64_t>()});
    }
    return true;
}

bool readReports(const std::string& bytes, std::vector<Outbox::Report>* out,
                 std::vector<Ending>* queued, std::string* why) {
    const Json document = Json::parse(bytes, nullptr, false);
    const auto list = document.is_object() ? document.find("wyniki") : document.end();
    if (document.is_discarded() || list == document.end() || !list->is_array()) {
        *why = "brak tablicy \"wyniki\"";
        return false;
    }
    for (size_t i = 0; i < list->size(); ++i) {
        const Json& item = (*list)[i];
        const auto member = [&](const char* name) {
            const auto it = item.is_object() ? item.find(name) : item.end();
            return it == item.end() ? nullptr : &*it;
        };
        const Json *id = member("id"), *body = member("tresc"), *attempts = member("proby"),
                   *notBefore = member("nastepna");
        if (id == nullptr || !id->is_string() || body == nullptr || !body->is_string() ||
            attempts == nullptr || !attempts->is_number_unsigned() ||
            attempts->get<uint64_t>() > INT_MAX || notBefore == nullptr ||
            !notBefore->is_number_integer()) {
            *why = "wynik nr " + std::to_string(i + 1) + " jest uszkodzony";
            return false;
        }
        out->push_back({id->get<std::string>(), body->get<std::string>(), attempts->get<int>(),
                        notBefore->get<int64_t>()});
    }
    if (!readQueued(document, queued)) {
        *why = "uszkodzona tablica \"zgloszone\"";
        return false;
    }
    return true;
}

}  // namespace

Outbox::Outbox(std::string path) : path_(std::move(path)) {}

bool Outbox::load(std::string* why) {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.clear();
    queued_.clear();
    saveFailed_ = keepFile_ = false;
    FileStatus status;
    if (!fileStatus(path_, &status)) {
        return true;
    }
    std::string bytes, fault;
    std::vector<Report> read;
    std::vector<Ending> queued;
    if (!readFileBytes(path_, kOutboxFileMax + 1, &bytes)) {
        fault = "nie da się go odczytać";
    } else if (bytes.size() > kOutboxFileMax) {
        fault = "ma więcej niż 16 MB";
    } else if (readReports(bytes, &read, &queued, &fault)) {
        reports_ = std::move(read);
        for (Ending& q : queued) {
            queued_.push_back({std::move(q.id), q.endedAt, q.due});
        }
        return true;
    }
    bool movedAside = false;
    *why = setDamagedFileAside(path_, fault, &movedAside);
    saveFailed_ = keepFile_ = !movedAside;
    return false;
}

bool Outbox::add(const std::string& id, int64_t endedAt, int64_t due, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::any_of(queued_.begin(), queued_.end(),
                    [&](const Queued& q) { return q.id == id && q.endedAt == endedAt; })) {
        return false;
    }
    // Orders the book no longer keeps (both their time and their end older than it keeps
    // orders, and a day) can no longer come again.
    const int64_t forgotten = endedAt - kOrderKeptSeconds - 86400;
    queued_.erase(
        std::remove_if(queued_.begin(), queued_.end(),
                       [&](const Queued& q) { return std::max(q.endedAt, q.due) < forgotten; }),
        queued_.end());
    queued_.push_back({id, endedAt, due});
    reports_.push_back({id, body, 0, 0});
    save();
    return true;
}

bool Outbox::next(int64_t now, Report* out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reports_.empty()) {
        return false;
    }
    // A pause that ends more than the longest pause ahead began while the clock was ahead.
    const int64_t notBefore = reports_.front().notBefore;
    if (notBefore > now && notBefore - kOutboxLongestPause <= now) {
        return false;
    }
    *out = reports_.front();
    return true;
}

void Outbox::sent(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(reports_.begin(), reports_.end(),
                                 [&](const Report& report) { return report.id == id; });
    if (it != reports_.end()) {
        reports_.erase(it);
        save();
    }
}

void Outbox::failed(const std::string& id, int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Report& report : reports_) {
        if (report.id == id) {
            report.attempts = report.attempts < INT_MAX ? report.attempts + 1 : INT_MAX;
            int64_t pause = kOutboxFirstPause;
            for (int i = 1; i < report.attempts && pause < kOutboxLongestPause; ++i) {
                pause *= 2;
            }
            report.notBefore = now + std::min(pause, kOutboxLongestPause);
            save();
            return;
        }
    }
}

void Outbox::retryNow(int64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool changed = false;
    for (Report& report : reports_) {
        changed = changed || report.notBefore > now;
        report.notBefore = std::min(report.notBefore, now);
    }
    if (changed) {
        save();
    }
}

int64_t Outbox::nextAttempt() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_.empty() ? INT64_MAX : reports_.front().notBefore;
}

size_t Outbox::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_.size();
}

std::vector<Outbox::Report> Outbox::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

bool Outbox::saveFailed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return saveFailed_;
}

void Outbox::retrySave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (saveFailed_ && !keepFile_) {
        save();
    }
}

void Outbox::save() {
    Written list = Written::array();
    for (const Report& report : reports_) {
        Written item = Written::object();
        item["id"] = report.id;
        item["tresc"] = report.body;
        item["proby"] = report.attempts;
        item["nastepna"] = report.notBefore;
        list.push_back(std::move(item));
    }
    Written queued = Written::array();
    for (const Queued& q : queued_) {
        Written item = Written::object();
        item["id"] = q.id;
        item["koniec"] = q.endedAt;
        item["termin"] = q.due;
        queued.push_back(std::move(item));
    }
    Written document = Written::object();
    document["wyniki"] = std::move(list);
    document["zgloszone"] = std::move(queued);
    saveFailed_ = keepFile_ || !writeFileReplacing(path_, orderjson::text(document));
}

}  // namespace vorda
