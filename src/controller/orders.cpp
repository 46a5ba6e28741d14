// The Controller's price orders: taking them in (the dialog, the command line, the orders'
// folder), keeping them in the order book, and carrying each out at its time through the
// same path as "Wyślij".
#include <algorithm>
#include <cstdio>
#include <limits>

#include "controller/controller.h"
#include "orders/document.h"
#include "settings/cp1250.h"
#include "settings/files.h"

namespace vorda {

namespace {

// A folder written to is looked at again this soon (several changes come at once), a file
// still being written this often, and the folder anyway this often (a watch lost with its
// folder); a look takes in this many files at most, the rest at the next.
constexpr uint64_t kFolderSettleMs = 200;
constexpr uint64_t kFolderBusyMs = 1000;
constexpr uint64_t kFolderRescanMs = 60000;
constexpr size_t kFilesPerLook = 20;
// How long a due order waits for a box or dialog that nobody answers.
constexpr uint64_t kOperatorWaitMs = 5 * 60 * 1000;
constexpr int64_t kNoOrder = std::numeric_limits<int64_t>::max();

}  // namespace

void Controller::startOrders() {
    std::string why;
    if (!orderBook_.load(clock_.utcNow(), &why)) {
        display_.showMessage(why, Text::Error);
    }
    for (const std::string& fault : headOffice_.start()) {
        display_.showMessage(fault, Text::Error);
    }
    reportEndedOrders();  // ended while the program was not running, or not reported yet
    watchFolder();
    {
        // Files that came while the program was not running.
        std::lock_guard<std::mutex> lock(ordersMutex_);
        intakeTimer_ = timers_.schedule(timers_.now(), onFolderIntake, this, 0);
    }
    timers_.schedule(timers_.now() + kFolderRescanMs, onFolderRescan, this, 0);
    // Orders whose time passed while the program was not running fall due at once.
    scheduleNextOrder();
}

void Controller::stopOrders() {
    headOffice_.stop();
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        watchStopped_ = true;
        if (folderWatch_ != nullptr) {
            folderDriver_.stop(folderWatch_);
            folderWatch_ = nullptr;
        }
    }
    // The timers have stopped: the files whose orders the book holds now are filed.
    if (orderBook_.retrySave(clock_.utcNow())) {
        for (const std::string& name : unfiled_) {
            orderFolder_.settle(name);
        }
    }
}

void Controller::watchFolder() {
    std::lock_guard<std::mutex> lock(watchMutex_);
    orderFolder_.prepare();
    if (watchStopped_ || folderDriver_.start == nullptr) {
        return;
    }
    if (folderWatch_ != nullptr) {
        folderDriver_.stop(folderWatch_);
    }
    folderWatch_ =
        folderDriver_.start(folderDriver_.context, orderFolder_.path(), onFolderChanged, this);
}

std::vector<Order> Controller::orders() const {
    return orderBook_.orders();
}

int64_t Controller::nextOrderDue() const {
    return orderBook_.nextDue();
}

void Controller::scheduleNextOrder() {
    writeEndedResults();
    std::string tip = messageText(Text::Title);
    bool changed = false;
    {
        // The book is read under the lock: of two threads scheduling at once, the later
        // reads what the earlier changed.
        std::lock_guard<std::mutex> lock(ordersMutex_);
        const int64_t next = orderBook_.nextDue();
        timers_.cancel(ordersTimer_);
        ordersTimer_ = 0;
        if (next != kNoOrder) {
            const int64_t wait = std::max<int64_t>(0, next - clock_.utcNow());
            ordersTimer_ = timers_.schedule(timers_.now() + static_cast<uint64_t>(wait) * 1000,
                                            onOrdersDue, this, 0);
            // "07.12 06:00" of the next change, in local time.
            const std::string local = orderTimeText(next, clock_.offsetAt(next));
            tip += " \xE2\x80\x93 zmiana cen " + local.substr(8, 2) + "." + local.substr(5, 2) +
                   " " + local.substr(11, 5);
        }
        changed = tip != lastTip_;
        lastTip_ = tip;
    }
    // Told with no lock held; a tip shown after a newer one is followed by the newer again.
    while (changed) {
        display_.setTrayTip(tip);
        std::lock_guard<std::mutex> lock(ordersMutex_);
        changed = tip != lastTip_;
        tip = lastTip_;
    }
    display_.ordersChanged();
}

void Controller::wakeOrders() {
    std::lock_guard<std::mutex> lock(ordersMutex_);
    timers_.cancel(ordersTimer_);
    ordersTimer_ = timers_.schedule(timers_.now(), onOrdersDue, this, 0);
}

void Controller::operatorFree() {
    wakeOrders();
}

void Controller::clockChanged() {
    headOffice_.clockChanged();
    scheduleNextOrder();
}

bool Controller::plannedOrderUnderWay() {
    std::lock_guard<std::mutex> lock(ordersMutex_);
    return batchRunning_;
}

void Controller::onOrdersDue(void* controller, uint64_t) {
    static_cast<Controller*>(controller)->carryOutDueOrders();
}

// On the timers' thread: the due orders go out as one send, unless something the operator
// or an earlier order started is still under way (its end looks again). A box or dialog
// nobody answers holds them back kOperatorWaitMs at most.
void Controller::carryOutDueOrders() {
    bool checking = false;
    {
        std::lock_guard<std::mutex> guard(checkMutex_);
        checking = check_.active();
    }
    const int64_t now = clock_.utcNow();
    {
        std::lock_guard<std::mutex> lock(ordersMutex_);
        if (batchRunning_ || checking || runner_.running()) {
            return;
        }
        const uint64_t steady = timers_.now();
        if (orderBook_.nextDue() <= now && panel_.operatorBusy()) {
            if (!heldByOperator_) {
                heldByOperator_ = true;
                heldSince_ = steady;
            }
            if (steady - heldSince_ < kOperatorWaitMs) {
                timers_.cancel(ordersTimer_);
                ordersTimer_ = timers_.schedule(heldSince_ + kOperatorWaitMs, onOrdersDue, this, 0);
                return;
            }
        }
        heldByOperator_ = false;
    }
    OrderBook::Batch batch;
    if (orderBook_.nextDue() <= now) {
        batch = orderBook_.takeDue(now);
    }
    reportEndedOrders();  // those that ended skipped
    if (batch.ids.empty()) {
        scheduleNextOrder();  // not due yet (the clock went back): the time is taken again
        return;
    }
    {
        std::lock_guard<std::mutex> lock(ordersMutex_);
        batchRunning_ = true;
    }
    // Only the rows the orders name go to the tower; the others keep what it shows.
    for (int row = 0; row < kPriceRows; ++row) {
        if (batch.prices.named[row]) {
            display_.setPriceText(row, batch.prices.text[row]);
            display_.setBlinkBox(row, batch.prices.blink[row]);
        }
    }
    const char* kind = batch.newestSource == OrderSource::HeadOffice ? "CENTRALA " : "ZLECENIE ";
    const std::vector<std::string> ids = batch.ids;
    queuePrices(
        batch.prices.text, batch.prices.blink, kind + cp1250FromUtf8(batch.newestId), nullptr,
        [this, ids](OrderResult result, const OrderRow rows[kPriceRows]) {
            ordersEnded(ids, result, rows);
        },
        batch.prices.named);
    scheduleNextOrder();
}

// Told when the send of a batch ended (on whichever thread ended its check, possibly with
// the link's locks held): the book is written on the timers' thread.
void Controller::ordersEnded(const std::vector<std::string>& ids, OrderResult result,
                             const OrderRow rows[kPriceRows]) {
    EndedOrders ended{ids, result, {}};
    std::copy(rows, rows + kPriceRows, ended.rows);
    {
        std::lock_guard<std::mutex> lock(endedMutex_);
        ended_.push_back(std::move(ended));
    }
    timers_.schedule(timers_.now(), onOrdersEnded, this, 0);
}

void Controller::onOrdersEnded(void* controller, uint64_t) {
    auto* self = static_cast<Controller*>(controller);
    self->recordEndedOrders();
    self->reportEndedOrders();
    {
        std::lock_guard<std::mutex> lock(self->ordersMutex_);
        self->batchRunning_ = false;
    }
    self->wakeOrders();
    self->scheduleNextOrder();
}

void Controller::recordEndedOrders() {
    std::vector<EndedOrders> ended;
    {
        std::lock_guard<std::mutex> lock(endedMutex_);
        ended.swap(ended_);
    }
    for (const EndedOrders& e : ended) {
        orderBook_.finish(e.ids, e.result, e.rows, clock_.utcNow());
    }
}

void Controller::onHeadOfficeChanged(void* controller, uint64_t) {
    auto* self = static_cast<Controller*>(controller);
    self->reportEndedOrders();  // cancelled by the plan
    self->scheduleNextOrder();
}

void Controller::reportEndedOrders() {
    for (const Order& order : orderBook_.orders()) {
        if (order.source == OrderSource::HeadOffice && order.result != OrderResult::Waiting &&
            order.result != OrderResult::Running) {
            headOffice_.orderEnded(order);
        }
    }
}

void Controller::writeEndedResults() {
    std::vector<Order> ended = orderBook_.takeEnded();
    std::lock_guard<std::mutex> lock(resultsMutex_);
    for (Order& order : ended) {
        if (order.source == OrderSource::Folder) {
            resultsWaiting_.push_back(std::move(order));
        }
    }
    std::vector<Order> failed;
    std::vector<std::string> written;
    for (Order& order : resultsWaiting_) {
        if (orderFolder_.writeResult(order)) {
            written.push_back(order.id);
        } else {
            failed.push_back(std::move(order));
        }
    }
    resultsWaiting_.swap(failed);
    if (!written.empty()) {
        orderBook_.resultsWritten(written, clock_.utcNow());
    }
}

void Controller::retryOrderFiles(uint64_t nowMs) {
    bool results = false;
    {
        std::lock_guard<std::mutex> lock(resultsMutex_);
        results = !resultsWaiting_.empty();
    }
    if ((!results && !orderBook_.saveFailed()) || nowMs < orderRetryAt_) {
        return;
    }
    orderRetryAt_ = nowMs + kHistoryRetryMs;
    orderBook_.retrySave(clock_.utcNow());
    writeEndedResults();
}

bool Controller::addOrder(const PriceOrder& prices, int64_t due, int offsetMinutes,
                          OrderSource source, std::string* idOrWhy,
                          const std::string& description) {
    // "panel-20261207-0600", then "-2", "-3", ... while the id is taken.
    const std::string local = orderTimeText(due, offsetMinutes);
    const std::string stem = std::string(source == OrderSource::Script ? "skrypt-" : "panel-") +
                             local.substr(0, 4) + local.substr(5, 2) + local.substr(8, 2) + "-" +
                             local.substr(11, 2) + local.substr(14, 2);
    std::string id = stem;
    for (int n = 2;; ++n) {
        bool found = false;
        orderBook_.find(id, &found);
        if (!found) {
            break;
        }
        id = stem + "-" + std::to_string(n);
    }
    Order order;
    order.id = id;
    order.due = due;
    order.offsetMinutes = offsetMinutes;
    order.prices = prices;
    order.source = source;
    order.description = description;
    const std::string why = orderBook_.refusal({order}, clock_.utcNow());
    if (!why.empty()) {
        *idOrWhy = why;
        return false;
    }
    const OrderBook::Taken taken = orderBook_.accept({order}, clock_.utcNow());
    if (taken.added != 1) {
        *idOrWhy = "Zlecenie " + id + " nie zosta\xC5\x82o przyj\xC4\x99te";
        return false;
    }
    scheduleNextOrder();
    *idOrWhy = id;
    return true;
}

bool Controller::cancelOrder(const std::string& id) {
    const bool cancelled = orderBook_.cancel(id, clock_.utcNow());
    reportEndedOrders();
    scheduleNextOrder();
    return cancelled;
}

bool Controller::localOrderTime(const std::string& text, int64_t* utc, int* offsetMinutes) const {
    if (parseOrderTime(text, utc, offsetMinutes)) {
        return true;  // with its own offset
    }
    int64_t asUtc = 0;
    int none = 0;
    if (!parseOrderTime(text + "Z", &asUtc, &none)) {
        return false;
    }
    // The local time read as UTC, less the local offset at that moment (looked up twice,
    // for a time near a change of summer time).
    int offset = clock_.offsetAt(asUtc);
    offset = clock_.offsetAt(asUtc - int64_t{offset} * 60);
    *utc = asUtc - int64_t{offset} * 60;
    *offsetMinutes = offset;
    return true;
}

void Controller::onFolderChanged(void* controller) {
    auto* self = static_cast<Controller*>(controller);
    std::lock_guard<std::mutex> lock(self->ordersMutex_);
    self->timers_.cancel(self->intakeTimer_);
    self->intakeTimer_ =
        self->timers_.schedule(self->timers_.now() + kFolderSettleMs, onFolderIntake, self, 0);
}

void Controller::onFolderIntake(void* controller, uint64_t) {
    static_cast<Controller*>(controller)->takeInFolder();
}

// Every minute: the folder made again and watched afresh (a watch is lost with its folder),
// and looked at.
void Controller::onFolderRescan(void* controller, uint64_t) {
    auto* self = static_cast<Controller*>(controller);
    self->watchFolder();
    self->takeInFolder();
    self->timers_.schedule(self->timers_.now() + kFolderRescanMs, onFolderRescan, self, 0);
}

// On the timers' thread: up to kFilesPerLook files of the orders' folder are taken in, their
// orders kept in the book with one save, and only then each file filed in "przyjete"; a file
// whose orders the book would not take is refused with the reason. A file still being
// written is looked at again in a second; one whose orders wait for the book's save is
// filed once it is saved (not read again: its orders may have been carried out meanwhile).
// Files beyond the first kFilesPerLook read (files that only wait to be filed or are still
// being written do not count, so that they shut no other out) go a millisecond after the
// look began, after what else is due.
void Controller::takeInFolder() {
    if (!isDirectory(orderFolder_.path())) {
        watchFolder();  // removed: made again, and watched again (the old watch went with it)
    }
    const int64_t now = clock_.utcNow();
    const uint64_t began = timers_.now();
    const std::vector<std::string> names = orderFolder_.pending();
    bool busy = false;
    std::vector<std::string> taken;
    std::vector<Order> all;
    size_t adding = 0;
    size_t read = 0;  // files read this look; those only waiting to be filed do not count
    size_t i = 0;
    for (; i < names.size() && read < kFilesPerLook; ++i) {
        if (unfiled_.count(names[i]) != 0) {
            if (!orderBook_.saveFailed() && orderFolder_.settle(names[i])) {
                unfiled_.erase(names[i]);
            }
            busy = busy || unfiled_.count(names[i]) != 0;
            continue;
        }
        std::vector<Order> orders;
        std::string why;
        switch (orderFolder_.takeIn(names[i], now, &orders, &why)) {
            case OrderFolder::Intake::Busy:
                busy = true;
                break;
            case OrderFolder::Intake::Accepted:
                ++read;
                why = orderBook_.refusal(orders, now, adding);
                if (!why.empty()) {
                    busy = !orderFolder_.settle(names[i], why) || busy;
                    break;
                }
                adding += orders.size();
                taken.push_back(names[i]);
                all.insert(all.end(), orders.begin(), orders.end());
                break;
            case OrderFolder::Intake::Refused:
                ++read;
                break;
            case OrderFolder::Intake::Gone:
                break;
        }
    }
    if (!all.empty()) {
        orderBook_.accept(std::move(all), now);
    }
    // A file filed before its orders are saved would be lost with them.
    const bool saved = !orderBook_.saveFailed();
    for (const std::string& name : taken) {
        if (!saved || !orderFolder_.settle(name)) {
            unfiled_.insert(name);
            busy = true;
        }
    }
    {
        // The rest a millisecond after this look began (what else is due goes first), unless
        // nothing can be kept.
        const bool more = i < names.size() && saved;
        std::lock_guard<std::mutex> lock(ordersMutex_);
        timers_.cancel(intakeTimer_);
        intakeTimer_ =
            more   ? timers_.schedule(began + 1, onFolderIntake, this, 0)
            : busy ? timers_.schedule(timers_.now() + kFolderBusyMs, onFolderIntake, this, 0)
                   : 0;
    }
    if (!taken.empty()) {
        scheduleNextOrder();
    }
}

}  // namespace vorda
