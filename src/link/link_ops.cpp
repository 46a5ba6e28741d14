#include "link/link_ops.h"

#include <cstdio>

#include "link/port.h"
#include "preview/price_preview.h"
#include "record/panel_calls.h"
#include "script/runner.h"

namespace vorda {

namespace {

constexpr uint32_t kPollPeriodMs = 5000;

void startPollTimer(Core& core) {
    AppRecord& r = *core.record;
    if (!r.pollTimersOn) {
        panelSetTimer(core, kPollTimer, kPollPeriodMs);
        r.pollTimersOn = 1;
    }
}

void queuePollReads(Core& core) {
    writeSlot(core, kSlotLight, "20S");
    writeSlot(core, kSlotBacklightState, "20Z");
}

// Stops the poll and the answer timer where they run.
void stopLinkTimers(Core& core) {
    AppRecord& r = *core.record;
    if (r.pollTimersOn) {
        panelKillTimer(core, kPollTimer);
        r.pollTimersOn = 0;
    }
    if (r.answerTimerOn) {
        panelKillTimer(core, kAnswerTimer);
        r.answerTimerOn = 0;
    }
}

// Holds both link locks, so that the sender and the receiver see the link either as
// it was or as it is after the change, never half changed.
class LinkLocks {
  public:
    explicit LinkLocks(Core& core) : core_(core) {
        spinAcquire(core_.locks.timeoutLock);
        spinAcquire(core_.locks.exchangeLock);
    }
    ~LinkLocks() {
        release(core_.locks.exchangeLock);
        release(core_.locks.timeoutLock);
    }
    LinkLocks(const LinkLocks&) = delete;
    LinkLocks& operator=(const LinkLocks&) = delete;

  private:
    Core& core_;
};

// Steps shared by "Rozłącz" and "Test". The runner is stopped first, so that it can
// neither write a slot after the mailbox is cleared nor announce its own end over the
// closed link's status. A connection opened on demand is given up here too: the
// sender has nothing left to undo.
void closeLink(Core& core) {
    AppRecord& r = *core.record;
    stopControlFileRunner(core);
    LinkLocks locks(core);
    stopLinkTimers(core);
    if (r.connected) {
        closePort(core);
    }
    clearMailbox(core);
    r.autoConnected = 0;
}

}  // namespace

std::string portOpenFailedText(int portNumber) {
    return messageText(Text::ComOpenFailed) + std::to_string(portNumber);
}

int connectLink(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return 0;
    }
    resetPricePreview(core);
    if (!openPort(core)) {
        panelShowMessage(core, portOpenFailedText(r->portNumber), Text::Error);
        return 0;
    }
    // The lock counters are not reset: every holder releases what it takes.
    stopControlFileRunner(core);
    clearMailbox(core);
    resetPricePreview(core);
    panelSetLightLevel(core, "");
    startPollTimer(core);
    readFromTower(core);
    queuePollReads(core);
    return 1;
}

int disconnectLink(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return 0;
    }
    closeLink(core);
    resetPricePreview(core);
    panelSetLightLevel(core, "");
    if (r->testMode) {
        panelSetMenuStates(core, true, false, true);
        r->testMode = 0;
        panelSetStatus(core, Text::Disconnected);
    }
    return 1;
}

int enterTestMode(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return 0;
    }
    closeLink(core);
    resetPricePreview(core);
    panelSetLightLevel(core, "");
    panelSetMenuStates(core, true, true, false);
    panelSetStatus(core, Text::TestMode);
    r->testMode = 1;
    return 1;
}

bool connectOnDemand(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return false;
    }
    if (!openPort(core)) {
        panelShowMessage(core, portOpenFailedText(r->portNumber), Text::Error);
        return false;
    }
    if (r->scriptRunning) {
        stopControlFileRunner(core);
    }
    clearMailbox(core);
    panelSetLightLevel(core, "");
    startPollTimer(core);
    queuePollReads(core);
    r->autoConnected = 1;
    return true;
}

bool holdLinkForQueueing(Core& core) {
    AppRecord& r = *core.record;
    for (;;) {
        if (!r.connected && !r.testMode && !connectOnDemand(core)) {
            return false;
        }
        spinAcquire(core.locks.mailboxLock);
        if (r.connected || r.testMode) {
            return true;
        }
        // The sender closed the on-demand link between the check and the lock.
        release(core.locks.mailboxLock);
    }
}

bool disconnectAfterDrain(Core& core) {
    AppRecord& r = *core.record;
    // The runner first, as for "Rozłącz": it then cannot end by itself over the closing.
    if (r.scriptRunning) {
        stopControlFileRunner(core);
    }
    stopLinkTimers(core);
    if (r.connected) {
        closePort(core);
    }
    clearMailbox(core);
    if (r.testMode) {
        panelSetMenuStates(core, true, false, true);
        r.testMode = 0;
        panelSetStatus(core, Text::Disconnected);
    }
    return true;
}

}  // namespace vorda
