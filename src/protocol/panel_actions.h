// What the control panel's send and backlight buttons do with the link and the mailbox.
#pragma once

#include "record/core.h"

namespace vorda {

// Prices "Wyślij": the five price commands in slots 3 to 7 and "20E" in slot 39, as one
// group, with slot 3 next. Connects on demand when the link is closed.
void sendPrices(Core& core);

// "Włącz" and "Wyłącz": "20Z1" or "20Z0", then "20Z".
void switchBacklight(Core& core, bool on);

}  // namespace vorda
