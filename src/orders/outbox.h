// The outbox: results of head-office orders waiting to be posted to the head office, kept
// in a file (the data folder's "WynikiDoCentrali.json") that is written again, in one step,
// after every change, so that none is lost when the program ends and none is posted again
// once the head office took it. Reports go oldest first, one at a time: while the oldest
// waits out its pause after a failed post, none after it goes. A failed post waits 60 s,
// then twice as long after each further failure, at most an hour; a pause that ends more than an
// hour ahead (it began while the clock was ahead, or the file says so) is over. Callers on any
// thread: the outbox has its own mutex. Times are seconds since 1970 UTC, given by the caller.
//
// The file: {"wyniki": [{"id", "tresc" (the body, as text), "proby" (failed posts),
// "nastepna" (when it may be posted again)}, ...], oldest first, and "zgloszone": [{"id",
// "koniec", "termin"}, ...]: the endings ever queued, with the order's time ("termin"; absent
// in an older file: "koniec"), kept as long as the order book may keep the order (90 days
// after the later of the two) and a day more, so that none is queued twice, across restarts
// too.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vorda {

constexpr int64_t kOutboxFirstPause = 60;  // seconds, after the first failure
constexpr int64_t kOutboxLongestPause = 3600;

class Outbox {
  public:
    explicit Outbox(std::string path);

    // Reads the file (none: an empty outbox, true). A damaged file leaves the outbox empty
    // and is moved aside as "<file>.uszkodzony" (or "<file>-1.uszkodzony", ...): false with
    // the reason in Polish. While such a file cannot be moved aside, nothing is written over
    // it (saveFailed()).
    bool load(std::string* why);

    // Queues the result `body` (the result document, with "stacja") of order `id`, due at
    // `due`, that ended at `endedAt`, last; false when that ending was queued before (waiting
    // or sent).
    bool add(const std::string& id, int64_t endedAt, int64_t due, const std::string& body);

    struct Report {
        std::string id, body;
        int attempts = 0;       // failed posts so far
        int64_t notBefore = 0;  // not posted before this time
    };
    // The oldest waiting report, when it may be posted at `now`; false otherwise.
    bool next(int64_t now, Report* out) const;
    // The head office took it (a 2xx answer): removed.
    void sent(const std::string& id);
    // The post failed: one attempt more, and not posted again before `now` and the pause.
    void failed(const std::string& id, int64_t now);
    // The head office answers again after it could not be reached: every pause ends now
    // (the failed posts still count for the next pause).
    void retryNow(int64_t now);
    // When the oldest may be posted; INT64_MAX when none waits.
    int64_t nextAttempt() const;

    size_t size() const;
    std::vector<Report> waiting() const;  // oldest first
    // The last save failed (or a damaged file could not be moved aside).
    bool saveFailed() const;
    // Writes the file again after a failed save (not over a damaged file kept in place).
    void retrySave();

  private:
    void save();

    struct Queued {
        std::string id;
        int64_t endedAt = 0;
        int64_t due = 0;
    };

    const std::string path_;
    mutable std::mutex mutex_;
    std::vector<Report> reports_;
    std::vector<Queued> queued_;
    bool saveFailed_ = false;
    bool keepFile_ = false;
};

}  // namespace vorda
