// The receiver's byte stream in arbitrary read sizes. Input: the slot in flight (byte 0
// modulo 41, 0 none); flags (byte 1: bit 0 a read, which waits for a data answer; bits 1
// and 2 slots 3 and 4 pending too); then reads, a length byte n and n + 1 bytes. The link
// stays closed (opening it starts the receiver thread): the sender then takes a command
// into flight without writing it.
#include "fuzz_support.h"

using namespace vorda;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    fuzz::Boxes boxes;
    Controller controller(boxes.platform());
    Link& link = controller.link();
    const int slot = data[0] % (kSlotCount + 1);
    FrameAssembler assembler;
    for (size_t p = 2; p < size;) {
        if (slot != 0 && link.slotInFlight() == 0) {  // in flight (again), as the sender takes it
            for (int n : {data[1] & 2 ? 3 : 0, data[1] & 4 ? 4 : 0, slot}) {
                controller.mailbox().write(n, data[1] & 1 ? "20C" : "21C5.49");  // 0 is none
            }
            controller.mailbox().presetLastServed(slot - 1);
            link.tick(0);  // the link is closed: no deadline is on
            FUZZ_CHECK(link.slotInFlight() == slot);
        }
        const size_t n = std::min<size_t>(data[p] + 1u, size - p - 1);
        LinkLocks locks(link);  // as the receiver's pass holds them
        link.handleAnswerBytes(assembler, data + p + 1, static_cast<int>(n));
        if (link.slotInFlight() == 0) {
            assembler.reset();
        }
        p += n + 1;
    }
    // A light setting the tower reports above 255 keeps the previous value.
    const LightLevels l = controller.settings().light;
    for (int v : {l.lowLightLevel, l.lowLevelBrightness, l.highLightLevel, l.highLevelBrightness}) {
        FUZZ_CHECK(v >= 0 && v <= 255);
    }
    return 0;
}
