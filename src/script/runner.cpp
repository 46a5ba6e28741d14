#include "script/runner.h"

#include "record/panel_calls.h"

namespace vorda {

void stopControlFileRunner(Core& core, bool touchButton) {
    AppRecord* r = core.record.get();
    if (r == nullptr || !r->scriptRunning) {
        return;
    }
    r->scriptRunning = 0;
    if (touchButton) {
        panelSetStartStop(core, false);
    }
}

}  // namespace vorda
