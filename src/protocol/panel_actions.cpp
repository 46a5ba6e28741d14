#include "protocol/panel_actions.h"

#include "link/link_ops.h"
#include "record/panel_calls.h"

namespace vorda {

namespace {

constexpr size_t kPriceTextMax = 8;

}  // namespace

void sendPrices(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    if (!holdLinkForQueueing(core)) {
        return;
    }
    HeldLock group(core.locks.mailboxLock);
    for (int row = 0; row < kPriceRows; ++row) {
        std::string text = "2";
        text += static_cast<char>('1' + row);
        text += panelBlinkBoxChecked(core, row) ? 'M' : 'C';
        text += panelPriceBoxText(core, row).substr(0, kPriceTextMax);
        writeSlot(core, kSlotPrice1 + row, text);
    }
    writeSlot(core, kSlotEnd, "20E");
    core.mailbox.lastServedSlot = kSlotPrice1 - 1;
}

void switchBacklight(Core& core, bool on) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return;
    }
    if (!holdLinkForQueueing(core)) {
        return;
    }
    HeldLock held(core.locks.mailboxLock);
    if (r->connected) {
        if (r->autoBacklight) {
            panelShowMessage(core, messageText(Text::AutoBacklight), Text::Error);
        } else {
            writeSlot(core, on ? kSlotBacklightOn : kSlotBacklightOff, on ? "20Z1" : "20Z0");
            writeSlot(core, kSlotBacklightState, "20Z");
        }
    } else if (r->testMode) {
        panelShowMessage(core, messageText(Text::LeaveTestMode), Text::Error);
    }
}

}  // namespace vorda
