// The Controller's price orders: taking them in (the dialog, the command line, the orders'
// folder), keeping them in the order book, and carrying each out at its time through the
// same path as "Wyślij".
#include <algorithm>
#include <cstdio>
#include <limits>

#include "controller/controller.h"
#include "orders/document.h"
#include "settings/cp1250.h"

namespace vorda {

namespace {

// A folder written to is looked at again this soon (several changes come at once), and a
// file still being written this often.
constexpr uint64_t kFolderSettleMs = 200;
constexpr uint64_t kFolderBusyMs = 1000;
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
    orderFolder_.prepare();
    if (folderDriver_.start != nullptr) {
        folderWatch_ =
            folderDriver_.start(folderDriver_.context, orderFolder_.path(), onFolderChanged, this);
    }
    {
        // Files that came while the program was not running.
        std::lock_guard<std::mutex> lock(ordersMutex_);
        intakeTimer_ = timers_.schedule(timers_.now(), onFolderIntake, this, 0);
    }
    // Orders whose time passed while the program was not running fall due at once.
    scheduleNextOrder();
}

void Controller::stopOrders() {
    headOffice_.stop();
    if (folderWatch_ != nullptr) {
        folderDriver_.stop(folderWatch_);
        folderWatch_ = nullptr;
    }
}

std::vector<Order> Controller::orders() const {
    return orderBook_.orders();
}

int64_t Controller::nextOrderDue() const {
    return orderBook_.nextDue();
}

void Controller::scheduleNextOrder() {
    const int64_t next = orderBook_.nextDue();
    std::string tip = messageText(Text::Title);
    {
        std::lock_guard<std::mutex> lock(ordersMutex_);
        timers_.cancel(ordersTimer_);
        ordersTimer_ = 0;
        if (next != kNoOrder) {
            const int64_t wait = std::max<int64_t>(0, next - clock_.utcNow());
            ordersTimer_ = timers_.schedule(timers_.now() + static_cast<uint64_t>(wait) * 1000,
                                            onOrdersDue, this, 0);
        }
    }
    if (next != kNoOrder) {
        // "07.12 06:00" of the next change, in local time.
        const std::string local = orderTimeText(next, clock_.offsetAt(next));
        tip += " \xE2\x80\x93 zmiana cen " + local.substr(8, 2) + "." + local.substr(5, 2) + " " +
               local.substr(11, 5);
    }
    if (tip != lastTip_) {
        lastTip_ = tip;
        display_.setTrayTip(tip);
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

void Controller::onOrdersDue(void* controller, uint64_t) {
    static_cast<Controller*>(controller)->carryOutDueOrders();
}

// On the timers' thread: the due orders go out as one send, unless something the operator
// or an earlier order started is still under way (its end looks again).
void Controller::carryOutDueOrders() {
    bool checking = false;
    {
        std::lock_guard<std::mutex> guard(checkMutex_);
        checking = check_.active();
    }
    {
        std::lock_guard<std::mutex> lock(ordersMutex_);
        ordersTimer_ = 0;
        if (batchRunning_ || checking || runner_.running() || panel_.operatorBusy()) {
            return;
        }
    }
    const int64_t now = clock_.utcNow();
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
    std::string texts[kPriceRows];
    bool blinks[kPriceRows];
    for (int row = 0; row < kPriceRows; ++row) {
        if (batch.prices.named[row]) {
            texts[row] = batch.prices.text[row];
            blinks[row] = batch.prices.blink[row];
            display_.setPriceText(row, texts[row]);
            display_.setBlinkBox(row, blinks[row]);
        } else {
            texts[row] = withDecimalPoint(panel_.priceBoxText(row));
            blinks[row] = panel_.blinkBoxChecked(row);
        }
    }
    const char* kind = batch.newestSource == OrderSource::HeadOffice ? "CENTRALA " : "ZLECENIE ";
    const std::vector<std::string> ids = batch.ids;
    queuePrices(texts, blinks, kind + cp1250FromUtf8(batch.newestId), nullptr,
                [this, ids](OrderResult result, const OrderRow rows[kPriceRows]) {
                    ordersEnded(ids, result, rows);
                });
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
    std::vector<EndedOrders> ended;
    {
        std::lock_guard<std::mutex> lock(self->endedMutex_);
        ended.swap(self->ended_);
    }
    for (const EndedOrders& e : ended) {
        self->orderBook_.finish(e.ids, e.result, e.rows, self->clock_.utcNow());
        for (const std::string& id : e.ids) {
            bool found = false;
            const Order order = self->orderBook_.find(id, &found);
            if (found && order.source == OrderSource::Folder) {
                self->orderFolder_.writeResult(order);
            }
        }
    }
    self->reportEndedOrders();
    {
        std::lock_guard<std::mutex> lock(self->ordersMutex_);
        self->batchRunning_ = false;
    }
    self->wakeOrders();
    self->scheduleNextOrder();
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

void Controller::acceptOrders(std::vector<Order> orders) {
    orderBook_.accept(std::move(orders), clock_.utcNow());
    scheduleNextOrder();
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
    std::string why;
    if (!checkOrder(order, &why)) {
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

// On the timers' thread: each file in the orders' folder is taken in, or looked at again in
// a second while its writer still has it.
void Controller::takeInFolder() {
    bool busy = false;
    for (const std::string& name : orderFolder_.pending()) {
        std::vector<Order> orders;
        std::string why;
        switch (orderFolder_.takeIn(name, clock_.utcNow(), &orders, &why)) {
            case OrderFolder::Intake::Busy:
                busy = true;
                break;
            case OrderFolder::Intake::Accepted:
                acceptOrders(std::move(orders));
                break;
            case OrderFolder::Intake::Refused:
            case OrderFolder::Intake::Gone:
                break;
        }
    }
    std::lock_guard<std::mutex> lock(ordersMutex_);
    intakeTimer_ =
        busy ? timers_.schedule(timers_.now() + kFolderBusyMs, onFolderIntake, this, 0) : 0;
}

}  // namespace vorda
