// The operator's actions: what each menu command, panel button and dialog button does.
// The Controller owns the settings and the engine (mailbox, price board, logs, control-
// file runner, link), takes the tower's answers and tells the display what to show. The
// windows call it; it calls no window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "controller/display.h"
#include "controller/price_check.h"
#include "controller/head_office.h"
#include "controller/price_order.h"
#include "engine/link.h"
#include "engine/logs.h"
#include "engine/mailbox.h"
#include "engine/price_board.h"
#include "engine/folder_watch.h"
#include "engine/script_runner.h"
#include "engine/timers.h"
#include "orders/order_book.h"
#include "orders/order_folder.h"
#include "engine/serial_driver.h"
#include "settings/clock.h"
#include "settings/history.h"
#include "settings/settings.h"

namespace vorda {

// The timers of the panel that the controller handles.
constexpr uint32_t kBlinkPeriodMs = 330;
// The file of the order book, in the data folder.
constexpr const char kOrderBookName[] = "ZleceniaCen.json";

// Transmission settings: the speeds the dialog offers, and the values of the parity and
// stop-bit lists in their order.
extern const uint32_t kOfferedBaudRates[13];
extern const uint8_t kParityValues[5];
extern const uint8_t kStopBitValues[3];

struct TransmissionChoice {
    std::string portText;  // the selected entry of the port list, "COM3" or "No Comm"
    int portIndex = -1;    // -1: nothing selected
    int baudIndex = -1;    // positions in the lists; -1 keeps the current value
    int dataBitsIndex = -1;
    int parityIndex = -1;
    int stopBitsIndex = -1;
    bool logToFile = false;
};

// Light settings: the twelve fields in the order 1073 to 1084, and the check box.
struct LightFields {
    std::string fields[12];
    bool autoBacklight = false;
};

// A light field's value: a plain unsigned decimal number, anything else 0.
uint32_t lightFieldValue(const std::string& text);

// What the controller is given by the program that runs it.
struct Platform {
    SerialDriver serial;
    DisplaySeam display;
    PanelSeam panel;
    Clock clock;
    std::string startDirectory;       // UTF-8; the settings file and the logs live here
    SteadyClock steadyClock{};        // the deadlines; empty: the machine's steady clock
    FolderWatchDriver folderWatch{};  // the orders' folder; empty: it is looked at at start
    HttpClient http{};                // the head office; either empty: no head office
    CentralStore centralStore{};
};

class Controller final : private LinkListener, private ScriptListener {
  public:
    // Loads the settings file of the start directory, or writes one of defaults when
    // there is none, and shows the link as disconnected in the menu.
    explicit Controller(const Platform& platform);
    // Closes the port, stops the control file and the sender, kills the panel's timers;
    // price history lines that still wait to be written go to a file of their own.
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // The control panel's start: version text, status, Start/Stop, the sender and timer
    // threads and the blink timer.
    void startPanel(const char* buildDate);
    // The operator confirmed the end of the program: from now on nothing asks anything
    // more (a check ending meanwhile is recorded without a message).
    void programEnding() { ending_ = true; }

    // --- The menu ---
    // "Połącz": opens the port, reads the tower back, starts the poll. False when the
    // port cannot be opened (the message is shown).
    bool connect();
    // "Rozłącz".
    void disconnect();
    // "Test": closes any connection and works without a port.
    void enterTestMode();
    // "Czytaj z Vordy": queues the eight reads of the tower's state (connecting on demand
    // first when the link is closed), or refuses in test mode.
    void readFromTower();

    // --- The control panel ---
    // Prices "Wyślij": the five price commands and "20E" as one group, slot 3 next. Once
    // the tower has acknowledged that "20E", "20C" and "20M" read the prices back and the
    // rows are compared with what was sent; the send's lines then go to the price history
    // (at once in test mode).
    void sendPrices();
    // Prices handed over from the command line: the named rows' boxes are set as if typed,
    // then the rows go out as "Wyślij" sends them, checked and recorded the same way, but
    // no message box waits for the operator: the result goes to `done`. Refused at once
    // (OrderExit::Refused) in test mode, while a control file plays, or while an earlier
    // order is still being checked.
    void sendOrderedPrices(const PriceOrder& order, OrderDone done);
    // "Włącz" and "Wyłącz": "20Z1" or "20Z0", then "20Z".
    void switchBacklight(bool on);
    // Start/Stop of the control file named in the panel's path box.
    void startOrStopControlFile();

    // --- Price orders ---
    // Orders planned for a time, from the "Zlecenia cen" dialog, the command line ("/ceny
    // ... /od TIME"), the orders' folder ("Zlecenia" in the data folder) or the head office,
    // kept in "ZleceniaCen.json". Each is carried out at its time as "Wyślij" sends (its
    // check and its lines in the price history, "ZLECENIE <id>"), on the timers' thread;
    // while a check is under way, a box or dialog of the program is open or a control file
    // plays, a due order waits for them to end.

    // Every order held, newest first.
    std::vector<Order> orders() const;
    // A new order of the panel's dialog or the command line, its time given as seconds
    // since 1970 UTC with the offset to show it in, and its description (UTF-8, may be
    // empty); its id is made here. True with the id, or false with why it was refused (UTF-8).
    bool addOrder(const PriceOrder& prices, int64_t due, int offsetMinutes, OrderSource source,
                  std::string* idOrWhy, const std::string& description = "");
    // A waiting order is cancelled ("ANULOWANE"); false when it is not waiting.
    bool cancelOrder(const std::string& id);
    // The time of the next waiting order (seconds since 1970 UTC; INT64_MAX: none).
    int64_t nextOrderDue() const;
    // A local date and time with minutes ("2026-12-07T06:00", seconds optional) as the
    // seconds since 1970 UTC it means here, with the local offset then; false when the text
    // is not one. A text with its own offset is taken as it is.
    bool localOrderTime(const std::string& text, int64_t* utc, int* offsetMinutes) const;
    // The system's clock or time zone changed: the next order's time is taken again.
    void clockChanged();
    // The operator closed a box or dialog of the program: an order due meanwhile goes now.
    void operatorFree();
    // The head office ("Centrala.ini"): its settings, the last contact, the results waiting.
    HeadOffice& headOffice() { return headOffice_; }

    // --- The dialogs ---
    // Probes COM1 to COM255: present when a port opens (and is a serial port) or is
    // refused because it is in use; an opened port is held 300 ms before it is closed.
    std::vector<int> presentPorts();
    // Transmission "Ok": stores the choices and saves.
    void applyTransmissionSettings(const TransmissionChoice& choice);
    // After the transmission dialog: re-applies the settings to an open port; false (and
    // "Settings failed!" shown) when the driver refuses them.
    bool reapplyPortSettings();
    // Light OK: the values of 0 to 255 replace their settings; nothing is sent; saved.
    void applyLightSettings(const LightFields& input);
    // Light "Wyślij": the price controller's four values, the automatic backlight and
    // "20E" as one group (connecting on demand); refused in test mode.
    void sendLightSettings(const LightFields& input);
    // Program settings OK: descriptions (cut to 15 characters), colours, hiding on
    // minimise; saved.
    void applyProgramSettings(const std::string texts[kSettingsRows],
                              const uint32_t colours[kSettingsRows], bool hideOnMinimise);

    // --- What the windows show ---
    Settings settings() const;
    std::string versionText() const;
    std::string priceControllerVersion() const;  // "ver." and what the tower reported
    // The last `max` lines of the price history, newest first, each as its fields; lines
    // that wait to be written come first, kHistoryWaitingMark after their result.
    std::vector<std::vector<std::string>> priceHistory(size_t max);
    const PriceBoard& board() const { return board_; }

    // --- The engine, for the program's tests ---
    Display& display() { return display_; }
    PanelInput& panel() { return panel_; }
    Mailbox& mailbox() { return mailbox_; }
    PriceBoard& board() { return board_; }
    ScriptRunner& runner() { return runner_; }
    Link& link() { return link_; }
    Logs& logs() { return logs_; }
    Timers& timers() { return timers_; }
    // The price check, with the lock that guards it.
    const PriceCheck& priceCheck() const { return check_; }
    std::mutex& priceCheckMutex() { return checkMutex_; }

  private:
    // What the link tells (on its threads, or in a Link call made here).
    void onLinkState(LinkState state) override;
    void onAnswer(char letter, std::string_view value) override;
    void onAnswerTimeout(int slot) override;
    void onCommandEnded(int slot, const char* text, CommandEnd how) override;
    void onCommandsDropped(DropReason why) override;
    // The five price commands (only the rows marked in `named`, when given) and "20E" as one
    // group, and their check. `source` goes to the history ("PANEL", ...; code page 1250);
    // `done` hears an order's result, `batchDone` a planned order's.
    void queuePrices(const std::string texts[kPriceRows], const bool blinks[kPriceRows],
                     const std::string& source, OrderDone done, BatchDone batchDone = nullptr,
                     const bool* named = nullptr);
    // Ends the check under way (if any) and tells what its end tells.
    void endCheck(CheckEnding ending, const std::string& why = std::string());
    // With checkMutex_ held: the check's limit scheduled or taken off.
    void scheduleCheckLimit();
    void cancelCheckLimit();
    static void onCheckLimit(void* controller, uint64_t serial);
    static void onBlinkTick(void* controller, uint64_t due);
    void reportWriteFailures();
    // Beside the logs' files (Logs::File), the files of the settings and the order book.
    static constexpr uint32_t kSettingsFileFailing = 8;
    static constexpr uint32_t kOrderBookFailing = 16;
    static constexpr uint32_t kOutboxFailing = 32;

    // Price orders (controller/orders.cpp).
    void startOrders();
    // Once the timers have stopped: stops the folder's watch, saves the book once more when
    // its last save failed, and files what waited for that save.
    void stopOrders();
    // After the book changed: the results of ended folder orders are written, the next
    // waiting order's time scheduled and shown in the tray's tip.
    void scheduleNextOrder();
    // Looks at the due orders soon, on the timers' thread.
    void wakeOrders();
    static void onOrdersDue(void* controller, uint64_t);
    void carryOutDueOrders();
    void ordersEnded(const std::vector<std::string>& ids, OrderResult result,
                     const OrderRow rows[kPriceRows]);
    static void onOrdersEnded(void* controller, uint64_t);
    static void onFolderChanged(void* controller);
    static void onFolderIntake(void* controller, uint64_t);
    static void onFolderRescan(void* controller, uint64_t);
    void takeInFolder();
    // The head office's plan or contact changed (told on its thread): looked at on the
    // timers' thread.
    static void onHeadOfficeChanged(void* controller, uint64_t);
    // Every ended order of the head office has its result queued for it (once per ending).
    void reportEndedOrders();
    // The batches whose checks ended (ordersEnded) written into the book.
    void recordEndedOrders();
    // (Re)starts the folder's watch, the folders made first.
    void watchFolder();
    // The results of ended folder orders into "wyniki" (those that fail wait for the next).
    void writeEndedResults();
    // On the blink tick: a failed save of the book and results not yet written are tried
    // again, kHistoryRetryMs apart.
    void retryOrderFiles(uint64_t nowMs);
    // A planned order's send is under way or its end not yet recorded.
    bool plannedOrderUnderWay();
    // What the end of a check tells, once no lock is held for it: the status, then the
    // order's result or the operator's message (none while the program ends).
    void tell(CheckVerdict verdict);
    // Stops a control file that plays, and lets an on-demand link close again.
    void stopControlFile();
    void onScriptStarted() override;
    void onScriptEnded() override;
    std::string priceBoxText(int row) override { return panel_.priceBoxText(row); }
    std::string temperatureText() override { return panel_.temperatureText(); }

    // Takes mailboxLock, connects on demand when the link is closed and returns Ok holding
    // the lock with the link connected or in test mode, so that the sender can neither
    // close an on-demand link nor take its first command before the caller's writes.
    // Otherwise nothing is held and the result says why the port could not be opened:
    // the caller tells the operator, now that no lock is held.
    Result holdLinkForQueueing();
    Result connectOnDemand();
    // "Rozłącz" and "Test": the link ends Closed or in TestMode.
    void closeLink(LinkState next);
    std::string portOpenFailedText() const;
    void showPortOpenFailed();
    // The connected status (with the control file's mark while one plays), unless the port
    // is missing: that status stays until it is back.
    void showConnected();
    void saveSettings();

    const std::string startDirectory_;
    Display display_;
    PanelInput panel_;
    mutable LockCounter settingsLock_;  // guards settings_ and every save of the file
    Settings settings_;
    std::string versionText_;
    mutable std::mutex versionMutex_;
    std::string priceControllerVersion_;
    std::atomic<bool> readBackRequested_{false};
    // The operator's read-back fills the price and blink boxes; a price check's does not:
    // the writes of slots 3 and 4 ("20C", "20M") whose answers fill them.
    std::atomic<uint32_t> fillPricesWrite_{0};
    std::atomic<uint32_t> fillBlinksWrite_{0};
    const Clock clock_;
    std::atomic<bool> ending_{false};
    std::atomic<bool> settingsSaveFailed_{false};
    uint32_t reportedFailures_ = 0;  // on the timers' thread: the failing files told

    Mailbox mailbox_;
    PriceBoard board_;
    Logs logs_;
    ScriptRunner runner_;
    Timers timers_;
    OrderBook orderBook_;
    OrderFolder orderFolder_;
    const FolderWatchDriver folderDriver_;
    std::mutex watchMutex_;  // guards the watch (never taken with ordersMutex_ held)
    FolderWatch* folderWatch_ = nullptr;
    bool watchStopped_ = false;
    std::mutex ordersMutex_;       // guards what follows (taken before checkMutex_, never after)
    uint64_t ordersTimer_ = 0;     // the next order's time, or an immediate look
    uint64_t intakeTimer_ = 0;     // the folder looked at again
    bool batchRunning_ = false;    // orders being carried out: the next wait for them
    bool heldByOperator_ = false;  // a due order waits for a box, since `heldSince_`
    uint64_t heldSince_ = 0;
    std::string lastTip_;
    std::mutex resultsMutex_;  // guards the results not yet written
    std::vector<Order> resultsWaiting_;
    uint64_t orderRetryAt_ = 0;      // on the blink tick: when failed writes are tried again
    std::set<std::string> unfiled_;  // the folder's files whose orders wait for the book's save
    struct EndedOrders {
        std::vector<std::string> ids;
        OrderResult result;
        OrderRow rows[kPriceRows];
    };
    std::mutex endedMutex_;  // guards ended_: batches whose send ended, for the book
    std::vector<EndedOrders> ended_;
    HeadOffice headOffice_;
    std::mutex checkMutex_;  // taken after mailboxLock or the link locks, never before
    PriceCheck check_;
    uint64_t checkLimit_ = 0;  // under checkMutex_: the timer of the check's limit
    Link link_;
};

}  // namespace vorda
