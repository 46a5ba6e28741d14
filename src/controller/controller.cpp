#include "controller/controller.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "protocol/segments.h"
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

// A text with "%1", "%2", ... replaced by the values.
std::string filledIn(std::string pattern, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string mark = "%" + std::to_string(i + 1);
        const size_t at = pattern.find(mark);
        if (at != std::string::npos) {
            pattern.replace(at, mark.size(), values[i]);
        }
    }
    return pattern;
}

// A row's price as the board spells it, with " (miga)" when it blinks.
std::string spelled(const uint8_t codes[3], bool blink) {
    return priceTextOfSegments(codes) + (blink ? messageText(Text::Blinking) : std::string());
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
      clock_(platform.clock),
      board_(display_),
      logs_(platform.startDirectory, platform.clock),
      runner_(mailbox_, board_, display_, platform.clock, *this),
      link_(platform.serial, mailbox_, board_, runner_, logs_, display_, *this,
            platform.steadyClock) {
    {
        SpinGuard guard(settingsLock_);
        if (!loadSettingsFile(startDirectory_, settings_)) {
            saveSettingsFile(startDirectory_, settings_);
        }
        logs_.setEnabled(settings_.logToFile);
    }
    display_.setMenuStates(true, false, true);
}

Controller::~Controller() {
    // The sender first: its deadlines (the poll, a missing port's reopening) end with it.
    link_.stopSender();
    if (link_.connected()) {
        link_.close();
    }
    // Also waits for a runner that has ended by itself.
    runner_.stop();
    display_.killTimer(kBlinkTimer);
    link_.stopReceiver();
    abandonCheck(kOrderProgramEnded);
}

void Controller::startPanel(const char* buildDate) {
    {
        std::lock_guard<std::mutex> lock(versionMutex_);
        versionText_ = vorda::versionText(messageText(Text::Title), buildDate);
    }
    display_.setStatus(Text::Disconnected);
    display_.setStartStop(false);
    link_.startSender();
    display_.setTimer(kBlinkTimer, kBlinkPeriodMs);
}

void Controller::onTimer(int id) {
    if (id == kBlinkTimer) {
        board_.blinkTick();
    }
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
    // A file that cannot be written is skipped silently; the old one stays as it was.
    saveSettingsFile(startDirectory_, settings_);
}

// --- The link ---

void Controller::showConnected(Text status) {
    if (!link_.portMissing()) {
        display_.setStatus(status);
    }
}

std::string Controller::portOpenFailedText() const {
    return messageText(Text::ComOpenFailed) + std::to_string(link_.portNumber());
}

void Controller::showPortOpenFailed() {
    display_.showMessage(portOpenFailedText(), Text::Error);
}

bool Controller::connect() {
    abandonCheck(kOrderSuperseded);
    board_.reset();
    const Settings s = settings();
    if (link_.open(s.portNumber, s.serial) != Result::Ok) {
        showPortOpenFailed();
        return false;
    }
    // The lock counters are not reset: every holder releases what it takes.
    link_.startConnection(false);
    readFromTower();
    link_.pollTick();
    return true;
}

bool Controller::connectOnDemand(bool quiet) {
    const Settings s = settings();
    if (link_.open(s.portNumber, s.serial) != Result::Ok) {
        if (!quiet) {
            showPortOpenFailed();
        }
        return false;
    }
    link_.startConnection(true);
    return true;
}

// Steps shared by "Rozłącz" and "Test". The runner is stopped first, so that it can
// neither write a slot after the mailbox is cleared nor announce its own end over the
// closed link's status.
void Controller::closeLink() {
    if (runner_.stop()) {
        display_.setStartStop(false);
    }
    link_.shutDown();
    board_.reset();
    display_.setLightLevel("");
    abandonCheck(kOrderSuperseded);
}

void Controller::disconnect() {
    closeLink();
    if (link_.testMode()) {
        display_.setMenuStates(true, false, true);
        link_.setTestMode(false);
        display_.setStatus(Text::Disconnected);
    }
}

void Controller::enterTestMode() {
    closeLink();
    display_.setMenuStates(true, true, false);
    display_.setStatus(Text::TestMode);
    link_.setTestMode(true);
}

bool Controller::holdLinkForQueueing(bool quiet) {
    // The lock comes first: the sender then takes nothing from a link opened here (the
    // poll's reads included) before the caller's group is queued, and cannot close it.
    spinAcquire(mailbox_.lock());
    if (link_.connected() || link_.testMode() || connectOnDemand(quiet)) {
        return true;
    }
    release(mailbox_.lock());
    return false;
}

void Controller::readFromTower() {
    if (!holdLinkForQueueing()) {
        return;
    }
    HeldLock held(mailbox_.lock());
    if (link_.connected()) {
        mailbox_.write(kSlotReadPrices, "20C");
        mailbox_.write(kSlotReadBlinks, "20M");
        mailbox_.write(kSlotLowLightLevel, "20l");
        mailbox_.write(kSlotLowLevelBrightness, "20o");
        mailbox_.write(kSlotHighLightLevel, "20L");
        mailbox_.write(kSlotHighLevelBrightness, "20O");
        mailbox_.write(kSlotAutoBacklight, "20A");
        mailbox_.write(kSlotVersion, "20V");
        readBackRequested_ = true;
    } else {
        display_.showMessage(messageText(Text::LeaveTestMode), Text::Error);
    }
}

// --- The control panel ---

void Controller::sendPrices() {
    std::string texts[kPriceRows];
    bool blinks[kPriceRows];
    for (int row = 0; row < kPriceRows; ++row) {
        texts[row] = withDecimalPoint(display_.priceBoxText(row));
        blinks[row] = display_.blinkBoxChecked(row);
    }
    queuePrices(texts, blinks, nullptr);
}

void Controller::sendOrderedPrices(const PriceOrder& order, OrderDone done) {
    {
        std::lock_guard<std::mutex> guard(checkMutex_);
        if (checkStage_ != CheckStage::Idle && check_.done) {
            done(OrderExit::Refused, kOrderInProgress);
            return;
        }
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
            texts[row] = withDecimalPoint(display_.priceBoxText(row));
            blinks[row] = display_.blinkBoxChecked(row);
        }
    }
    queuePrices(texts, blinks, std::move(done));
}

void Controller::queuePrices(const std::string texts[kPriceRows], const bool blinks[kPriceRows],
                             OrderDone done) {
    const Settings s = settings();
    if (!holdLinkForQueueing(done != nullptr)) {
        if (done) {
            done(OrderExit::NoAnswer, portOpenFailedText());
        }
        return;
    }
    HeldLock group(mailbox_.lock());
    abandonCheck(kOrderSuperseded);  // an earlier send still being checked is superseded
    std::lock_guard<std::mutex> guard(checkMutex_);
    PriceCheck& c = check_;
    c = PriceCheck();
    c.sentAt = clock_.localTime ? clock_.localTime(clock_.context) : LocalTime();
    c.done = std::move(done);
    for (int row = 0; row < kPriceRows; ++row) {
        std::string text = "2";
        text += static_cast<char>('1' + row);
        text += blinks[row] ? 'M' : 'C';
        text += texts[row].substr(0, kPriceTextMax);
        // As the mailbox keeps it.
        text.erase(std::remove_if(text.begin(), text.end(),
                                  [](char ch) { return static_cast<uint8_t>(ch) < 0x20; }),
                   text.end());
        mailbox_.write(kSlotPrice1 + row, text);
        c.commands[row] = text;
        c.descriptions[row] = s.labelText[row];
    }
    mailbox_.write(kSlotEnd, "20E");
    mailbox_.presetLastServed(kSlotPrice1 - 1);
    if (link_.testMode()) {
        const PriceOutcome testMode[kPriceRows] = {PriceOutcome::TestMode, PriceOutcome::TestMode,
                                                   PriceOutcome::TestMode, PriceOutcome::TestMode,
                                                   PriceOutcome::TestMode};
        recordCheck(testMode);
        if (c.done) {
            c.done(OrderExit::Refused, messageText(Text::TestMode));
            c.done = nullptr;
        }
    } else {
        checkStage_ = CheckStage::Sending;
    }
}

// --- The check of a price send ---

void Controller::onCommandEnded(int slot, bool answered) {
    if (checkStage_ == CheckStage::Idle) {
        return;
    }
    std::lock_guard<std::mutex> guard(checkMutex_);
    if (checkStage_ == CheckStage::Sending && slot == kSlotEnd) {
        // A "20E" written again meanwhile, or a price still to go, is waited for.
        for (int n = kSlotPrice1; n <= kSlotPrice5; ++n) {
            const std::string text = mailbox_.text(n);
            if (mailbox_.pending(n) && text != "20C" && text != "20M") {
                return;
            }
        }
        if (mailbox_.pending(kSlotEnd)) {
            return;
        }
        if (!answered) {
            finishCheck(false, messageText(Text::TransmissionError));
            return;
        }
        check_.havePrices = check_.haveBlinks = false;
        // Queued before the sender's next pass: an on-demand link stays open for them.
        mailbox_.write(kSlotReadPrices, "20C");
        mailbox_.write(kSlotReadBlinks, "20M");
        mailbox_.presetLastServed(kSlotReadPrices - 1);
        checkStage_ = CheckStage::Reading;
    } else if (checkStage_ == CheckStage::Reading) {
        if (slot == kSlotReadPrices && !answered) {
            finishCheck(false, messageText(Text::TransmissionError));
        } else if (slot == kSlotReadBlinks) {
            finishCheck(answered && check_.havePrices && check_.haveBlinks,
                        messageText(Text::TransmissionError));
        }
    }
}

void Controller::finishCheck(bool readBack, const std::string& why) {
    const PriceCheck& c = check_;
    PriceOutcome outcomes[kPriceRows];
    std::string differences;
    for (int row = 0; row < kPriceRows; ++row) {
        outcomes[row] = PriceOutcome::NoAnswer;
        if (!readBack) {
            continue;
        }
        // What the sent text makes the row show: the positions it does not reach keep
        // what the tower reported, so they always agree.
        uint8_t sent[3] = {c.shown[row][0], c.shown[row][1], c.shown[row][2]};
        int sentRow = row;
        bool sentBlink = false;
        decodePriceCommand(c.commands[row].c_str(), &sentRow, sent, &sentBlink);
        if (std::memcmp(sent, c.shown[row], 3) == 0 && sentBlink == c.shownBlink[row]) {
            outcomes[row] = PriceOutcome::Confirmed;
            continue;
        }
        outcomes[row] = PriceOutcome::Mismatch;
        differences += "\n" + filledIn(messageText(Text::MismatchRow),
                                       {std::to_string(row + 1), spelled(sent, sentBlink),
                                        spelled(c.shown[row], c.shownBlink[row])});
    }
    recordCheck(outcomes);
    if (readBack) {
        display_.setStatus(differences.empty() ? Text::PricesConfirmed : Text::PricesMismatch);
    }
    const OrderDone done = std::move(check_.done);
    check_.done = nullptr;
    if (done) {
        if (!readBack) {
            done(OrderExit::NoAnswer, why);
        } else if (differences.empty()) {
            done(OrderExit::Confirmed, messageText(Text::PricesConfirmed));
        } else {
            done(OrderExit::Mismatch, messageText(Text::PricesMismatch) + differences);
        }
    } else if (!differences.empty()) {
        display_.showMessage(messageText(Text::MismatchIntro) + differences, Text::Title);
    }
}

void Controller::recordCheck(const PriceOutcome outcomes[kPriceRows]) {
    const PriceCheck& c = check_;
    std::string lines;
    for (int row = 0; row < kPriceRows; ++row) {
        HistoryEntry e;
        e.sentAt = c.sentAt;
        e.row = row;
        e.description = c.descriptions[row];
        e.sent = c.commands[row].substr(3);
        e.blink = c.commands[row][2] == 'M';
        e.outcome = outcomes[row];
        e.shown = priceTextOfSegments(c.shown[row]);
        e.shownBlink = c.shownBlink[row];
        lines += historyLine(e);
    }
    logs_.appendPriceHistory(lines);
    checkStage_ = CheckStage::Idle;
}

void Controller::abandonCheck(const std::string& why) {
    std::lock_guard<std::mutex> guard(checkMutex_);
    if (checkStage_ != CheckStage::Idle) {
        finishCheck(false, why);
    }
}

std::vector<std::vector<std::string>> Controller::priceHistory(size_t max) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : logs_.readPriceHistory(max)) {
        rows.push_back(historyFields(line));
    }
    return rows;
}

void Controller::switchBacklight(bool on) {
    if (!holdLinkForQueueing()) {
        return;
    }
    HeldLock held(mailbox_.lock());
    if (link_.testMode()) {
        display_.showMessage(messageText(Text::LeaveTestMode), Text::Error);
    } else if (settings().autoBacklight) {
        display_.showMessage(messageText(Text::AutoBacklight), Text::Error);
    } else {
        mailbox_.write(on ? kSlotBacklightOn : kSlotBacklightOff, on ? "20Z1" : "20Z0");
        mailbox_.write(kSlotBacklightState, "20Z");
    }
}

void Controller::startOrStopControlFile() {
    if (!link_.connected() && !link_.testMode()) {
        display_.showMessage(messageText(Text::ScriptNeedsLink), Text::Error);
    } else if (runner_.running()) {
        if (runner_.stop()) {
            display_.setStartStop(false);
        }
        showConnected(link_.testMode() ? Text::TestMode : Text::Connected);
    } else if (runner_.start(display_.controlFilePath()) != Result::Ok) {
        display_.showMessage(messageText(Text::ScriptOpenFailed), Text::Error);
    }
}

void Controller::onScriptStarted() {
    display_.setStartStop(true);
    showConnected(link_.testMode() ? Text::TestModeScript : Text::ConnectedScript);
}

void Controller::onScriptEnded() {
    // A link that is being closed meanwhile says so itself; its status is not overwritten.
    display_.setStartStop(false);
    if (link_.testMode()) {
        display_.setStatus(Text::TestMode);
    } else if (link_.connected()) {
        showConnected(Text::Connected);
    }
}

// --- The tower's answers (receiver thread) ---

void Controller::onAnswer(char letter, std::string_view value) {
    switch (letter) {
        case 'C': {
            uint8_t codes[kPriceRows][3];
            decodePricesAnswer(value, codes);
            board_.showTowerPrices(codes);
            for (int row = 0; row < kPriceRows; ++row) {
                display_.setPriceText(row, priceTextOfSegments(codes[row]));
            }
            if (checkStage_ == CheckStage::Reading) {
                std::lock_guard<std::mutex> guard(checkMutex_);
                std::memcpy(check_.shown, codes, sizeof codes);
                check_.havePrices = true;
            }
            break;
        }
        case 'M': {
            bool blink[kPriceRows];
            for (int row = 0; row < kPriceRows; ++row) {
                blink[row] = value[static_cast<size_t>(row)] == '1';
            }
            board_.showTowerBlinks(blink);
            for (int row = 0; row < kPriceRows; ++row) {
                display_.setBlinkBox(row, blink[row]);
            }
            if (checkStage_ == CheckStage::Reading) {
                std::lock_guard<std::mutex> guard(checkMutex_);
                std::memcpy(check_.shownBlink, blink, sizeof blink);
                check_.haveBlinks = true;
            }
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
    if (!holdLinkForQueueing()) {
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
                char text[16];
                std::snprintf(text, sizeof text, "20%c%d", items[i].letter,
                              static_cast<int>(*items[i].setting));
                mailbox_.write(items[i].slot, text);
            }
            settings_.autoBacklight = input.autoBacklight;
            mailbox_.write(kSlotAutoBacklight, input.autoBacklight ? "20A1" : "20A0");
            mailbox_.write(kSlotEnd, "20E");
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
