// The control-file runner.
#pragma once

#include "record/core.h"

namespace vorda {

// Stops a running control file; the Start/Stop button then reads "Start" unless
// `touchButton` is false (at shutdown).
void stopControlFileRunner(Core& core, bool touchButton = true);

}  // namespace vorda
