// Creating and destroying the application record, the control panel's start, and the
// panel's timers.
#pragma once

#include "record/core.h"

namespace vorda {

// Creates the record with its creation values, loads the settings file (writing one of
// defaults when there is none) and sets the first menu states. 1, or -1 on failure.
int createApplicationRecord(Core& core, void* ownerWindow);

// Closes the port, stops the control file and the sender, kills the panel's timers and
// frees the record, in that order.
void destroyApplicationRecord(Core& core);

// The control panel's initialisation: version text, status, Start/Stop, the sender
// thread and the blink timer. 0 without a record.
int initialisePanel(Core& core, const char* buildDate);

// A timer of the panel fired (on the user-interface thread).
void onPanelTimer(Core& core, int id);

}  // namespace vorda
