#include "protocol/sender.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "link/link_ops.h"
#include "preview/price_preview.h"
#include "record/panel_calls.h"

namespace vorda {

namespace {

constexpr int kMaxSends = 3;

// Test mode: what the tower would have shown, without a port.
void executeLocally(Core& core, int slot) {
    if (slot >= kSlotPrice1 && slot <= kSlotPrice5) {
        refreshPricePreview(core);
    } else if (slot == kSlotLight) {
        panelSetLightLevel(core, "");
    }
    finishSlot(core, slot);
}

void startAnswerTimer(Core& core) {
    AppRecord& r = *core.record;
    if (!r.answerTimerOn) {
        panelSetTimer(core, kAnswerTimer,
                      answerTimeoutMs(r.baudRate, r.slotInFlight, r.dataAnswerExpected != 0));
        r.answerTimerOn = 1;
    }
}

void stopAnswerTimer(Core& core) {
    AppRecord& r = *core.record;
    if (r.answerTimerOn) {
        panelKillTimer(core, kAnswerTimer);
        r.answerTimerOn = 0;
    }
}

void senderThread(Core* core) {
    AppRecord* r = core->record.get();
    while (r->senderRun) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        senderPass(*core);
    }
    r->senderThreadId = 0;
}

}  // namespace

uint32_t answerTimeoutMs(uint32_t baudRate, int slot, bool dataAnswerExpected) {
    // A rate of 0 (never offered, but possible in a damaged record) counts as 9600.
    const uint32_t base = (9600u / (baudRate == 0 ? 9600u : baudRate)) * 100u;
    uint32_t extra = 200;
    if (slot >= kSlotPrice1 && slot <= kSlotPrice5) {
        extra = dataAnswerExpected ? 300 : 200;
    } else if (slot == kSlotEnd) {
        extra = 400;
    } else if (slot == kSlotVersion) {
        extra = 300;
    }
    return base + extra;
}

void completeSlot(Core& core, int slot) {
    AppRecord& r = *core.record;
    stopAnswerTimer(core);
    finishSlot(core, slot);
    r.dataAnswerExpected = 0;
    r.slotInFlight = 0;
    if (r.connected) {
        panelSetStatus(core, r.scriptRunning ? Text::ConnectedScript : Text::Connected);
    }
}

void senderPass(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    Locks& locks = core.locks;
    if (!tryAcquire(locks.timeoutLock)) {
        return;
    }
    if (!tryAcquire(locks.mailboxLock)) {
        release(locks.timeoutLock);
        return;
    }
    if (!tryAcquire(locks.exchangeLock)) {
        release(locks.mailboxLock);
        release(locks.timeoutLock);
        return;
    }
    bool took = false;
    if (r->slotInFlight == 0 && r->answerTimerOn == 0) {
        took = takeNextCommand(core);
    }
    if (took && r->testMode) {
        executeLocally(core, r->slotInFlight);
        r->dataAnswerExpected = 0;
        r->slotInFlight = 0;
    } else if (took && r->connected) {
        if (sendFrame(core, core.mailbox.sendBuffer)) {
            r->retryCount = 0;
            startAnswerTimer(core);
        } else {
            r->dataAnswerExpected = 0;
            r->slotInFlight = 0;
        }
    }
    // A connection opened on demand closes only when nothing at all is left: a pass that
    // has just wrapped the rotation may still find slots below the last one served.
    if (r->slotInFlight == 0 && r->answerTimerOn == 0 && r->autoConnected &&
        !anySlotPending(core)) {
        disconnectAfterDrain(core);
        r->autoConnected = 0;
    }
    release(locks.exchangeLock);
    release(locks.mailboxLock);
    release(locks.timeoutLock);
}

int startSender(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr || r->senderThread.joinable()) {
        return 0;
    }
    r->senderRun = 1;
    r->senderThreadId = 1;
    try {
        r->senderThread = std::thread(senderThread, &core);
    } catch (const std::system_error&) {
        r->senderRun = 0;
        r->senderThreadId = 0;
        return 0;
    }
    return 1;
}

void stopSender(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    r->senderRun = 0;
    if (r->senderThread.joinable()) {
        while (r->senderThreadId != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        r->senderThread.join();
    }
}

void answerTimeoutTick(Core& core) {
    AppRecord* r = core.record.get();
    Locks& locks = core.locks;
    if (!tryAcquire(locks.exchangeLock)) {
        return;
    }
    if (r == nullptr || !r->answerTimerOn) {
        release(locks.exchangeLock);
        return;
    }
    if (!tryAcquire(locks.timeoutLock)) {
        release(locks.exchangeLock);
        return;
    }
    core.errors.answerErrors++;
    panelSetStatus(core, Text::TransmissionError);
    r->retryCount++;
    if (r->retryCount >= kMaxSends) {
        finishSlot(core, r->slotInFlight);
        panelSetStatus(core, Text::TransmissionError);
        panelSetLightLevel(core, "");
        stopAnswerTimer(core);
        r->dataAnswerExpected = 0;
        r->slotInFlight = 0;
    } else if (r->connected) {
        sendFrame(core, core.mailbox.sendBuffer);
    }
    release(locks.timeoutLock);
    release(locks.exchangeLock);
}

void pollTick(Core& core) {
    writeSlot(core, kSlotLight, "20S");
    writeSlot(core, kSlotBacklightState, "20Z");
}

}  // namespace vorda
