#include "record/lifecycle.h"

#include <cstring>
#include <new>

#include "link/port.h"
#include "preview/price_preview.h"
#include "protocol/receiver.h"
#include "protocol/sender.h"
#include "record/panel_calls.h"
#include "script/runner.h"
#include "storage/settings_file.h"
#include "storage/version.h"

namespace vorda {

namespace {

constexpr uint32_t kBlinkPeriodMs = 330;

void setDefaultLabels(Core& core) {
    const char* texts[kPriceRows] = {"AAA", "BBB", "CCC", "DDD", "EEE"};
    const uint32_t colours[kPriceRows] = {0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFFFF, 0xFF0000};
    SpinGuard guard(core.locks.settingsLock);
    for (int i = 0; i < kPriceRows; ++i) {
        std::strncpy(core.labels.priceLabelText[i], texts[i], kLabelSize - 1);
        core.labels.priceLabelColour[i] = colours[i];
    }
}

}  // namespace

int createApplicationRecord(Core& core, void* ownerWindow) {
    core.record.reset(new (std::nothrow) AppRecord());
    if (core.record == nullptr) {
        return -1;
    }
    core.record->ownerWindow = ownerWindow;
    setDefaultLabels(core);
    if (!loadSettings(core)) {
        saveSettingsLocked(core);
    }
    panelSetMenuStates(core, true, false, true);
    return 1;
}

void destroyApplicationRecord(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    if (r->connected) {
        closePort(core);
    }
    // Also waits for a runner that has ended by itself.
    stopControlFileRunner(core, false);
    stopSender(core);
    if (r->answerTimerOn) {
        panelKillTimer(core, kAnswerTimer);
        r->answerTimerOn = 0;
    }
    if (r->pollTimersOn) {
        panelKillTimer(core, kPollTimer);
        r->pollTimersOn = 0;
    }
    panelKillTimer(core, kBlinkTimer);
    stopReceiver(core);
    core.record.reset();
}

int initialisePanel(Core& core, const char* buildDate) {
    if (core.record == nullptr) {
        return 0;
    }
    core.versionText = versionText(messageText(Text::Title), buildDate);
    panelSetStatus(core, Text::Disconnected);
    panelSetStartStop(core, false);
    startSender(core);
    panelSetTimer(core, kBlinkTimer, kBlinkPeriodMs);
    return 1;
}

void onPanelTimer(Core& core, int id) {
    switch (id) {
        case kAnswerTimer:
            answerTimeoutTick(core);
            break;
        case kPollTimer:
            pollTick(core);
            break;
        case kBlinkTimer:
            blinkTick(core);
            break;
        default:
            break;
    }
}

}  // namespace vorda
