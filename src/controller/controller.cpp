#include "controller/controller.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "protocol/commands.h"
#include "protocol/segments.h"
#include "settings/files.h"
#include "settings/settings_file.h"
#include "settings/version.h"

namespace vorda {

const uint32_t kOfferedBaudRates[13] = {110,   300,   600,   1200,  2400,   4800,  9600,
                                        14400, 19200, 38400, 56000, 128000, 256000};
const uint8_t kParityValues[5] = {0, 2, 1, 3, 4};
const uint8_t kStopBitValues[3] = {0, 1, 2};

namespace {

constexpr size_t kPriceTextMax = 8;
constexpr int kLabelMax = 15;
constexpr uint32_t kProbeHoldMs = 300;

int clampLight(uint32_t value, int previous) {
    return value <= 255 ? static_cast<int>(value) : previous;
}

Display displayOf(const DisplaySeam& seam) {
    Display d;
    d.seam = seam;
    return d;
}

PanelInput panelOf(const PanelSeam& seam) {
    PanelInput p;
    p.seam = seam;
    return p;
}

}  // namespace

uint32_t lightFieldValue(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), 0xFFFFFFFFu);
    }
    return static_cast<uint32_t>(value);
}

// --- Life ---

Controller::Controller(const Platform& platform)
    : startDirectory_(platform.startDirectory),
      display_(displayOf(platform.display)),
      panel_(panelOf(platform.panel)),
      clock_(platform.clock),
      board_(BoardRepaint{this,
                          [](void* c, PanelRect rect) {
                              static_cast<Controller*>(c)->display_.invalidate(rect, false);
                          }}),
      logs_(platform.startDirectory, platform.clock),
      runner_(mailbox_, board_, platform.clock, *this),
      timers_(platform.steadyClock),
      orderBook_(startDirectoryPath(platform.startDirectory, kOrderBookName)),
      orderFolder_(platform.startDirectory),
      folderDriver_(platform.folderWatch),
      headOffice_(platform.http, platform.centralStore, platform.startDirectory, platform.clock,
                  &orderBook_,
                  [this](bool) { timers_.schedule(timers_.now(), onHeadOfficeChanged, this, 0); }),
      check_(mailbox_, logs_),
      link_(platform.serial, mailbox_, logs_, *this, timers_) {
    {
        SpinGuard guard(settingsLock_);
        if (!loadSettingsFile(startDirectory_, settings_)) {
            saveSettings();
        }
        logs_.setEnabled(settings_.logToFile);
    }
    display_.setMenuStates(true, false, true);
}

Controller::~Controller() {
    ending_ = true;
    // The threads first: the sender's deadlines (the poll, a missing port's reopening) and
    // the check's limit end with them.
    timers_.stop();
    stopOrders();
    link_.stopSender();
    if (link_.connected()) {
        link_.close();
    }
    // Also waits for a runner that has ended by itself.
    runner_.stop();
    link_.stopReceiver();
    endCheck(CheckEnding::ProgramEnded);
    // A planned send whose check ended while the program closed (confirmed, or not) is
    // recorded as it ended, and a folder order's result written.
    recordEndedOrders();
    writeEndedResults();
    logs_.saveWaitingHistory();
}

void Controller::startPanel(const char* buildDate) {
    {
        std::lock_guard<std::mutex> lock(versionMutex_);
        versionText_ = vorda::versionText(messageText(Text::Title), buildDate);
    }
    display_.setStatus(Text::Disconnected);
    display_.setStartStop(false);
    timers_.start();
    link_.startSender();
    timers_.schedule(timers_.now() + kBlinkPeriodMs, &Controller::onBlinkTick, this,
                     timers_.now() + kBlinkPeriodMs);
    startOrders();
}

// The 330 ms tick, for the panel's whole life (on the timers' thread): blinking rows
// alternate, and the price history's waiting lines are tried again once 10 s have passed.
void Controller::onBlinkTick(void* controller, uint64_t due) {
    auto* self = static_cast<Controller*>(controller);
    self->board_.blinkTick();
    self->logs_.retryWaitingHistory();
    self->reportWriteFailures();
    self->retryOrderFiles(due);
    self->timers_.schedule(due + kBlinkPeriodMs, &Controller::onBlinkTick, self,
                           due + kBlinkPeriodMs);
}

Settings Controller::settings() const {
    SpinGuard guard(settingsLock_);
    return settings_;
}

std::string Controller::versionText() const {
    std::lock_guard<std::mutex> lock(versionMutex_);
    return versionText_;
}

std::string Controller::priceControllerVersion() const {
    std::lock_guard<std::mutex> lock(versionMutex_);
    return priceControllerVersion_;
}

void Controller::saveSettings() {
    // A file that cannot be written leaves the old one as it was; the operator is told (by
    // the timers' thread, with no lock held).
    settingsSaveFailed_ = !saveSettingsFile(startDirectory_, settings_);
}

// On the timers' thread: each file that could not be written is told once, when its writes
// start failing (again).
void Controller::reportWriteFailures() {
    uint32_t failing = logs_.failingFiles();
    failing |= settingsSaveFailed_ ? kSettingsFileFailing : 0;
    failing |= orderBook_.saveFailed() ? kOrderBookFailing : 0;
    failing |= headOffice_.outboxSaveFailed() ? kOutboxFailing : 0;
    const uint32_t fresh = failing & ~reportedFailures_;
    reportedFailures_ = failing;
    const struct {
        uint32_t bit;
        const char* what;
    } files[] = {
        {kSettingsFileFailing, "ustawie\xC5\x84 (VordaCen.ini)"},
        {Logs::kTransmissionLogFile, "dziennika transmisji (VordaC.trm)"},
        {Logs::kLightLogFile,
         "dziennika \xC5\x9Bwiat\xC5\x82"
         "a (VordaSw.trm)"},
        {Logs::kHistoryFile,
         "historii cen (HistoriaCen.csv); jej wiersze czekaj\xC4\x85 i zostan\xC4\x85 "
         "zapisane p\xC3\xB3\xC5\xBAniej"},
        {kOrderBookFailing, "zlece\xC5\x84 (ZleceniaCen.json)"},
        {kOutboxFailing, "wynik\xC3\xB3w dla centrali (WynikiDoCentrali.json)"},
    };
    for (const auto& f : files) {
        if (fresh & f.bit) {
            display_.showMessage(std::string("Nie mo\xC5\xBCna zapisa\xC4\x87 ") + f.what +
                                     " w folderze " + startDirectory_,
                                 Text::Error);
        }
    }
}

// --- The link ---

void Controller::showConnected() {
    if (link_.portMissing()) {
        return;
    }
    if (link_.testMode()) {
        display_.setStatus(runner_.running() ? Text::TestModeScript : Text::TestMode);
    } else if (link_.connected()) {
        display_.setStatus(runner_.running() ? Text::ConnectedScript : Text::Connected);
    }
}

void Controller::onLinkState(LinkState state) {
    switch (state) {
        case LinkState::Closed:
            // A link that closes by itself (drained, or its port gone) ends a control file.
            stopControlFile();
            display_.setMenuStates(true, false, true);
            display_.setStatus(Text::Disconnected);
            break;
        case LinkState::Connected:
        case LinkState::ConnectedOnDemand:
            display_.setMenuStates(false, true, true);
            showConnected();
            break;
        case LinkState::PortMissing:
        case LinkState::PortMissingOnDemand:
            display_.setStatus(Text::PortMissing, link_.portNumber());
            break;
        case LinkState::TestMode:
            display_.setMenuStates(true, true, false);
            showConnected();
            break;
    }
}

void Controller::onAnswerTimeout(int) {
    display_.setStatus(Text::TransmissionError);
}

void Controller::onCommandEnded(int slot, const char* text, CommandEnd how) {
    const bool priceSlot = slot >= kSlotPrice1 && slot <= kSlotPrice5;
    switch (how) {
        case CommandEnd::Executed:
            if (priceSlot) {
                board_.showCommand(text);
            } else if (slot == kSlotLight) {
                display_.setLightLevel("");
            }
            return;
        case CommandEnd::Answered:
            if (priceSlot) {
                board_.showCommand(text);  // what the tower now shows
            }
            showConnected();
            break;
        case CommandEnd::GivenUp:
            display_.setStatus(Text::TransmissionError);
            display_.setLightLevel("");
            break;
    }
    CheckVerdict verdict;
    {
        std::lock_guard<std::mutex> guard(checkMutex_);
        verdict = check_.commandEnded(slot, text, how == CommandEnd::Answered);
        if (verdict.ended) {
            cancelCheckLimit();
        }
    }
    tell(std::move(verdict));
}

void Controller::onCommandsDropped(DropReason why) {
    if (why == DropReason::PortGone) {
        display_.setStatus(Text::TransmissionError);
        display_.setLightLevel("");
        endCheck(CheckEnding::PortGone,
                 messageText(Text::PortMissing) + std::to_string(link_.portNumber()));
    } else {
        endCheck(CheckEnding::Interrupted);
    }
}

std::string Controller::portOpenFailedText() const {
    return messageText(Text::ComOpenFailed) + std::to_string(link_.portNumber());
}

void Controller::showPortOpenFailed() {
    display_.showMessage(portOpenFailedText(), Text::Error);
}

bool Controller::connect() {
    endCheck(CheckEnding::Interrupted);
    board_.reset();
    const Settings s = settings();
    display_.showWaitCursor();
    if (link_.open(s.portNumber, s.serial) != Result::Ok) {
        showPortOpenFailed();
        return false;
    }
    stopControlFile();
    // The lock counters are not reset: every holder releases what it takes.
    link_.startConnection(false);
    display_.setLightLevel("");
    readFromTower();
    link_.pollTick();
    return true;
}

Result Controller::connectOnDemand() {
    const Settings s = settings();
    display_.showWaitCursor();
    const Result opened = link_.open(s.portNumber, s.serial);
    if (opened != Result::Ok) {
        return opened;
    }
    stopControlFile();
    link_.startConnection(true);
    display_.setLightLevel("");
    return Result::Ok;
}

// Steps shared by "Rozłącz" and "Test". The runner is stopped first, so that it can
// neither write a slot after the mailbox is cleared nor announce its own end over the
// closed link's status.
void Controller::closeLink(LinkState next) {
    stopControlFile();
    link_.shutDown(next);
    board_.reset();
    display_.setLightLevel("");
    endCheck(CheckEnding::Interrupted);
}

void Controller::disconnect() {
    closeLink(LinkState::Closed);
}

void Controller::enterTestMode() {
    closeLink(LinkState::TestMode);
}

Result Controller::holdLinkForQueueing() {
    // The lock comes first: the sender then takes nothing from a link opened here (the
    // poll's reads included) before the caller's group is queued, and cannot close it.
    spinAcquire(mailbox_.lock());
    if (link_.connected() || link_.testMode()) {
        return Result::Ok;
    }
    const Result opened = connectOnDemand();
    if (opened != Result::Ok) {
        release(mailbox_.lock());
    }
    return opened;
}

void Controller::readFromTower() {
    if (holdLinkForQueueing() != Result::Ok) {
        showPortOpenFailed();
        return;
    }
    bool queued = false;
    CheckVerdict interrupted;
    {
        HeldLock held(mailbox_.lock());
        queued = link_.connected();
        if (queued) {
            {
                // The reads take the slots of rows 1 and 2: a send whose rows 1 or 2 are
                // still to go is interrupted.
                std::lock_guard<std::mutex> guard(checkMutex_);
                if (check_.waitsForRow(0) || check_.waitsForRow(1)) {
                    interrupted = check_.end(CheckEnding::Interrupted);
                    cancelCheckLimit();
                }
            }
            mailbox_.write(kSlotReadPrices, kReadPrices);
            mailbox_.write(kSlotReadBlinks, kReadBlinks);
            // Only these reads' answers fill the price and blink boxes.
            fillPricesWrite_ = mailbox_.writes(kSlotReadPrices);
            fillBlinksWrite_ = mailbox_.writes(kSlotReadBlinks);
            mailbox_.write(kSlotLowLightLevel, kReadLowLightLevel);
            mailbox_.write(kSlotLowLevelBrightness, kReadLowLevelBrightness);
            mailbox_.write(kSlotHighLightLevel, kReadHighLightLevel);
            mailbox_.write(kSlotHighLevelBrightness, kReadHighLevelBrightness);
            mailbox_.write(kSlotAutoBacklight, kReadAutoBacklight);
            mailbox_.write(kSlotVersion, kReadVersion);
            readBackRequested_ = true;
        }
    }
    tell(std::move(interrupted));
    if (!queued) {
        display_.showMessage(messageText(Text::LeaveTestMode), Text::Error);
    }
}

// --- The control panel ---

void Controller::sendPrices() {
    std::string texts[kPriceRows];
    bool blinks[kPriceRows];
    for (int row = 0; row < kPriceRows; ++row) {
        texts[row] = withDecimalPoint(panel_.priceBoxText(row));
        blinks[row] = panel_.blinkBoxChecked(row);
    }
    queuePrices(texts, blinks, kSourcePanel, nullptr);
}

void Controller::sendOrderedPrices(const PriceOrder& order, OrderDone done) {
    bool busy = false;
    {
        std::lock_guard<std::mutex> guard(checkMutex_);
        busy = check_.hasOrder();
    }
    // A planned order's send is refused as an earlier order's is, until its end is recorded.
    if (busy || plannedOrderUnderWay()) {
        done(OrderExit::Refused, kOrderInProgress);
        return;
    }
    if (link_.testMode()) {
        done(OrderExit::Refused, messageText(Text::TestMode));
        return;
    }
    if (runner_.running()) {
        done(OrderExit::Refused, kOrderScriptPlaying);
        return;
    }
    std::string texts[kPriceRows];
    bool blinks[kPriceRows];
    for (int row = 0; row < kPriceRows; ++row) {
        if (order.named[row]) {
            texts[row] = order.text[row];
            blinks[row] = order.blink[row];
            display_.setPriceText(row, texts[row]);
            display_.setBlinkBox(row, blinks[row]);
        } else {
            texts[row] = withDecimalPoint(panel_.priceBoxText(row));
            blinks[row] = panel_.blinkBoxChecked(row);
        }
    }
    queuePrices(texts, blinks, kSourceScript, std::move(done));
}

void Controller::queuePrices(const std::string texts[kPriceRows], const bool blinks[kPriceRows],
                             const std::string& source, OrderDone done, BatchDone batchDone,
                             const bool* named) {
    const Settings s = settings();
    if (holdLinkForQueueing() != Result::Ok) {
        if (batchDone) {
            OrderRow rows[kPriceRows];
            for (int row = 0; row < kPriceRows; ++row) {
                rows[row].sent = texts[row].substr(0, kPriceTextMax);
                rows[row].blink = blinks[row];
            }
            batchDone(OrderResult::NoAnswer, rows);
        }
        if (done) {
            done(OrderExit::NoAnswer, portOpenFailedText());
        } else if (!batchDone) {
            showPortOpenFailed();
        }
        return;
    }
    CheckVerdict superseded, testMode;
    {
        HeldLock group(mailbox_.lock());
        // The check's lock for the whole group: the last check cannot queue its read-back
        // (from the receiver) in between this group's writes.
        std::lock_guard<std::mutex> guard(checkMutex_);
        // The boxes hold what is sent now: an earlier read's answer no longer fills them.
        fillPricesWrite_ = 0;
        fillBlinksWrite_ = 0;
        SentRow rows[kPriceRows];
        for (int row = 0; row < kPriceRows; ++row) {
            if (named != nullptr && !named[row]) {
                continue;  // left as the tower shows it
            }
            std::string text = priceCommand(row, blinks[row], texts[row].substr(0, kPriceTextMax));
            // As the mailbox keeps it.
            text.erase(std::remove_if(text.begin(), text.end(),
                                      [](char ch) { return static_cast<uint8_t>(ch) < 0x20; }),
                       text.end());
            mailbox_.write(kSlotPrice1 + row, text);
            rows[row] = SentRow{text, s.labelText[row]};
        }
        mailbox_.write(kSlotEnd, kEndOfGroup);
        mailbox_.presetLastServed(kSlotPrice1 - 1);

        // An earlier send still being checked is superseded by this one.
        superseded = check_.end(CheckEnding::Interrupted);
        cancelCheckLimit();
        const LocalTime now = clock_.localTime ? clock_.localTime(clock_.context) : LocalTime();
        check_.start(rows, now, timers_.now(), source, std::move(done), std::move(batchDone));
        if (link_.testMode()) {
            testMode = check_.end(CheckEnding::TestMode);  // nothing to wait for
        } else {
            scheduleCheckLimit();
        }
    }
    tell(std::move(superseded));
    tell(std::move(testMode));
}

// --- The check of a price send ---

void Controller::scheduleCheckLimit() {
    checkLimit_ =
        timers_.schedule(check_.deadline(), &Controller::onCheckLimit, this, check_.serial());
}

void Controller::cancelCheckLimit() {
    timers_.cancel(checkLimit_);
    checkLimit_ = 0;
}

void Controller::onCheckLimit(void* controller, uint64_t serial) {
    auto* self = static_cast<Controller*>(controller);
    CheckVerdict verdict;
    {
        std::lock_guard<std::mutex> guard(self->checkMutex_);
        if (self->check_.serial() == serial) {
            self->checkLimit_ = 0;
            verdict = self->check_.end(CheckEnding::TimedOut);
        }
    }
    self->tell(std::move(verdict));
}

void Controller::endCheck(CheckEnding ending, const std::string& why) {
    CheckVerdict verdict;
    {
        std::lock_guard<std::mutex> guard(checkMutex_);
        verdict = check_.end(ending, why);
        if (verdict.ended) {
            cancelCheckLimit();
        }
    }
    tell(std::move(verdict));
}

void Controller::tell(CheckVerdict v) {
    if (!v.ended) {
        return;
    }
    if (v.batchDone) {
        v.batchDone(v.result, v.rows);
    }
    wakeOrders();  // an order that fell due meanwhile goes now
    if (v.setStatus) {
        display_.setStatus(v.status);
    }
    if (v.done) {
        v.done(v.code, v.lines);
    } else if (!v.message.empty() && !ending_) {
        display_.showMessage(v.message, Text::Title);
    }
}

std::vector<std::vector<std::string>> Controller::priceHistory(size_t max) {
    std::vector<std::vector<std::string>> rows;
    const std::string mark = kHistoryWaitingMark;
    for (std::string line : logs_.readPriceHistory(max)) {
        // A line not yet written is marked after its result.
        const bool waiting = line.size() > mark.size() &&
                             line.compare(line.size() - mark.size(), mark.size(), mark) == 0;
        line.resize(line.size() - (waiting ? mark.size() : 0));
        rows.push_back(historyFields(line));
        if (waiting && rows.back().size() > kHistoryResultField) {
            rows.back()[kHistoryResultField] += mark;
        }
    }
    return rows;
}

void Controller::switchBacklight(bool on) {
    if (holdLinkForQueueing() != Result::Ok) {
        showPortOpenFailed();
        return;
    }
    Text refused = Text::Title;
    {
        HeldLock held(mailbox_.lock());
        if (link_.testMode()) {
            refused = Text::LeaveTestMode;
        } else if (settings().autoBacklight) {
            refused = Text::AutoBacklight;
        } else {
            mailbox_.write(on ? kSlotBacklightOn : kSlotBacklightOff,
                           on ? kBacklightOn : kBacklightOff);
            mailbox_.write(kSlotBacklightState, kReadBacklight);
        }
    }
    if (refused != Text::Title) {
        display_.showMessage(messageText(refused), Text::Error);
    }
}

void Controller::startOrStopControlFile() {
    if (runner_.running()) {
        stopControlFile();
        showConnected();
        return;
    }
    Text refused = Text::Title;
    CheckVerdict interrupted;
    {
        // The sender cannot close an on-demand link meanwhile: the file starts on a link
        // that stays open for it.
        SpinGuard held(mailbox_.lock());
        if (!link_.connected() && !link_.testMode()) {
            refused = Text::ScriptNeedsLink;
        } else {
            {
                // Its lines take the price rows' slots: a send still checked is interrupted.
                std::lock_guard<std::mutex> guard(checkMutex_);
                interrupted = check_.end(CheckEnding::Interrupted);
                cancelCheckLimit();
            }
            if (runner_.start(panel_.controlFilePath()) != Result::Ok) {
                refused = Text::ScriptOpenFailed;
            }
        }
    }
    tell(std::move(interrupted));
    if (refused != Text::Title) {
        display_.showMessage(messageText(refused), Text::Error);
    }
}

void Controller::stopControlFile() {
    if (runner_.stop()) {
        display_.setStartStop(false);
        wakeOrders();
    }
    link_.holdOpen(false);
}

void Controller::onScriptStarted() {
    // A link opened on demand stays open while the file plays.
    link_.holdOpen(true);
    display_.setStartStop(true);
    showConnected();
}

void Controller::onScriptEnded() {
    // A link that is being closed meanwhile says so itself; its status is not overwritten.
    display_.setStartStop(false);
    showConnected();
    link_.holdOpen(false);
    wakeOrders();
}

// --- The tower's answers (receiver thread) ---

void Controller::onAnswer(char letter, std::string_view value) {
    switch (letter) {
        case 'C': {
            uint8_t codes[kPriceRows][3];
            decodePricesAnswer(value, codes);
            board_.showTowerPrices(codes);
            if (mailbox_.takenWrites() == fillPricesWrite_) {  // the operator's own read
                for (int row = 0; row < kPriceRows; ++row) {
                    display_.setPriceText(row, priceTextOfSegments(codes[row]));
                }
            }
            std::lock_guard<std::mutex> guard(checkMutex_);
            check_.pricesRead(codes);
            break;
        }
        case 'M': {
            bool blink[kPriceRows];
            for (int row = 0; row < kPriceRows; ++row) {
                blink[row] = value[static_cast<size_t>(row)] == '1';
            }
            board_.showTowerBlinks(blink);
            if (mailbox_.takenWrites() == fillBlinksWrite_) {
                for (int row = 0; row < kPriceRows; ++row) {
                    display_.setBlinkBox(row, blink[row]);
                }
            }
            std::lock_guard<std::mutex> guard(checkMutex_);
            check_.blinksRead(blink);
            break;
        }
        case 'S':
            if (link_.connected()) {
                display_.setLightLevel(std::string(value));
            }
            logs_.appendLight(std::string(value));
            break;
        case 'l':
        case 'o':
        case 'L':
        case 'O': {
            // A value no light setting can hold keeps the previous one, as the light
            // dialog's own reading does.
            const int level = leadingDecimal(value);
            if (level <= 255) {
                SpinGuard guard(settingsLock_);
                LightLevels& l = settings_.light;
                int32_t& field = letter == 'l'   ? l.lowLightLevel
                                 : letter == 'o' ? l.lowLevelBrightness
                                 : letter == 'L' ? l.highLightLevel
                                                 : l.highLevelBrightness;
                field = level;
            }
            break;
        }
        case 'Z':
            board_.showBacklight(value[0] == '1');
            break;
        case 'A': {
            SpinGuard guard(settingsLock_);
            settings_.autoBacklight = value[0] == '1';
            break;
        }
        case 'V': {
            std::lock_guard<std::mutex> lock(versionMutex_);
            priceControllerVersion_ = "ver." + std::string(value);
        }
            if (readBackRequested_.exchange(false)) {
                SpinGuard guard(settingsLock_);
                saveSettings();
            }
            break;
        default:
            break;
    }
}

// --- The dialogs ---

std::vector<int> Controller::presentPorts() {
    std::vector<int> ports;
    const SerialDriver& driver = link_.driver();
    if (driver.open == nullptr) {
        return ports;
    }
    const std::string com = messageText(Text::Com);
    for (int n = 1; n <= 255; ++n) {
        OpenError error = OpenError::None;
        uint32_t systemError = 0;
        SerialPort* port = driver.open(driver.context, com, n, &error, &systemError);
        if (port != nullptr) {
            // A name that opens something other than a serial port is not a port.
            const bool serial = driver.isSerialPort == nullptr || driver.isSerialPort(port);
            if (serial) {
                ports.push_back(n);
                std::this_thread::sleep_for(std::chrono::milliseconds(kProbeHoldMs));
            }
            driver.close(port);
        } else if (error == OpenError::AccessDenied) {
            ports.push_back(n);
        }
    }
    return ports;
}

void Controller::applyTransmissionSettings(const TransmissionChoice& c) {
    SpinGuard guard(settingsLock_);
    Settings& s = settings_;
    if (c.portIndex >= 0) {
        // "COM7", "COM7 (brak)"; "No Comm" names no port and keeps the saved one.
        const char* digits = c.portText.size() > 3 ? c.portText.c_str() + 3 : "";
        const int port = std::atoi(digits);
        if (port >= 1 && port <= 255) {
            s.portNumber = static_cast<uint8_t>(port);
        }
    }
    // A value the lists do not offer (one from an edited settings file) leaves its list
    // without a selection and keeps its value.
    if (c.baudIndex >= 0 && c.baudIndex < 13) {
        s.serial.baudRate = kOfferedBaudRates[c.baudIndex];
    }
    if (c.dataBitsIndex >= 0 && c.dataBitsIndex < 4) {
        s.serial.dataBits = static_cast<uint8_t>(c.dataBitsIndex + 5);
    }
    if (c.parityIndex >= 0 && c.parityIndex < 5) {
        s.serial.parity = kParityValues[c.parityIndex];
    }
    if (c.stopBitsIndex >= 0 && c.stopBitsIndex < 3) {
        s.serial.stopBits = kStopBitValues[c.stopBitsIndex];
    }
    s.logToFile = c.logToFile;
    logs_.setEnabled(s.logToFile);
    saveSettings();
}

bool Controller::reapplyPortSettings() {
    if (!link_.connected() || link_.configure(settings().serial) == Result::Ok) {
        return true;
    }
    display_.showMessage("Settings failed!", Text::Title);
    return false;
}

void Controller::applyLightSettings(const LightFields& input) {
    SpinGuard guard(settingsLock_);
    LightLevels& l = settings_.light;
    int32_t* fields[12] = {&l.display1LowLightLevel,  &l.display1LowLevelBrightness,
                           &l.display1HighLightLevel, &l.display1HighLevelBrightness,
                           &l.display2LowLightLevel,  &l.display2LowLevelBrightness,
                           &l.display2HighLightLevel, &l.display2HighLevelBrightness,
                           &l.lowLightLevel,          &l.lowLevelBrightness,
                           &l.highLightLevel,         &l.highLevelBrightness};
    for (int i = 0; i < 12; ++i) {
        *fields[i] = clampLight(lightFieldValue(input.fields[i]), *fields[i]);
    }
    settings_.autoBacklight = input.autoBacklight;
    saveSettings();
}

void Controller::sendLightSettings(const LightFields& input) {
    if (holdLinkForQueueing() != Result::Ok) {
        showPortOpenFailed();
        return;
    }
    bool queued = false;
    {
        HeldLock group(mailbox_.lock());
        if (link_.connected()) {
            queued = true;
            SpinGuard guard(settingsLock_);
            LightLevels& l = settings_.light;
            struct Item {
                int32_t* setting;
                char letter;
                int slot;
            };
            const Item items[4] = {{&l.lowLightLevel, 'l', kSlotLowLightLevel},
                                   {&l.lowLevelBrightness, 'o', kSlotLowLevelBrightness},
                                   {&l.highLightLevel, 'L', kSlotHighLightLevel},
                                   {&l.highLevelBrightness, 'O', kSlotHighLevelBrightness}};
            for (int i = 0; i < 4; ++i) {
                *items[i].setting =
                    clampLight(lightFieldValue(input.fields[8 + i]), *items[i].setting);
                mailbox_.write(items[i].slot,
                               lightCommand(items[i].letter, static_cast<int>(*items[i].setting)));
            }
            settings_.autoBacklight = input.autoBacklight;
            mailbox_.write(kSlotAutoBacklight,
                           input.autoBacklight ? kAutoBacklightOn : kAutoBacklightOff);
            mailbox_.write(kSlotEnd, kEndOfGroup);
            mailbox_.presetLastServed(kLightGroupPreset);
        }
    }
    if (queued) {
        SpinGuard guard(settingsLock_);
        saveSettings();
    } else {
        display_.showMessage(messageText(Text::LeaveTestMode), Text::Error);
    }
}

void Controller::applyProgramSettings(const std::string texts[kSettingsRows],
                                      const uint32_t colours[kSettingsRows], bool hideOnMinimise) {
    SpinGuard guard(settingsLock_);
    for (int i = 0; i < kSettingsRows; ++i) {
        const std::string text = texts[i].substr(0, kLabelMax);
        std::memcpy(settings_.labelText[i], text.c_str(), text.size() + 1);
        settings_.labelColour[i] = colours[i];
    }
    settings_.hideOnMinimise = hideOnMinimise;
    saveSettings();
}

}  // namespace vorda
