// Control files with the panel's boxes. Input: the temperature box and the five price
// boxes (strings each ended by a backslash and one more byte), then the control file,
// played for at most 300 steps with pauses that do not wait.
#include <fuzzer/FuzzedDataProvider.h>

#include <set>

#include "fuzz_support.h"

using namespace vorda;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::Boxes boxes;
    boxes.temperature = in.ConsumeRandomLengthString(12);
    for (std::string& price : boxes.prices) {
        price = in.ConsumeRandomLengthString(12);
    }
    std::string file = in.ConsumeRemainingBytesAsString();
    file.resize(std::min(file.size(), kScriptTextSize - 1));
    Controller controller(boxes.platform());
    std::set<size_t> lineStarts;  // the lines read since the last pause of 1 ms or more
    const RunnerPause pause = [&](uint32_t ms) { return ms == 0 || (lineStarts.clear(), true); };
    RunnerState state;
    for (int step = 0; step < 300 && state.active; ++step) {
        // No line is read twice without a pause between: every pass over a {G} pauses.
        FUZZ_CHECK(lineStarts.insert(state.readPosition).second);
        FUZZ_CHECK(controller.runner().step(file.c_str(), state, pause));
        for (int slot = kSlotPrice1; slot <= kSlotPrice5; ++slot) {
            const std::string queued = controller.mailbox().text(slot);
            FUZZ_CHECK(queued.size() <= kSlotTextMax && fuzz::printable(queued));
        }
    }
    // A pause's number is read as a C conversion reads it (blanks, a sign, digits).
    const std::string& t = boxes.temperature;
    FUZZ_CHECK(ScriptRunner::pauseMilliseconds(t) ==
               static_cast<uint32_t>(std::strtol(t.substr(0, 10).c_str(), nullptr, 10)));
    return 0;
}
