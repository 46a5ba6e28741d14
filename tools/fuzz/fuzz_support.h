// What the fuzz targets share: a check that aborts (libFuzzer reports a crash) and the
// panel's boxes as a plain display. No thread is started: the targets run the passes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <stdlib.h>

#include "controller/controller.h"

#define FUZZ_CHECK(c)                                                                  \
    ((c) ? (void)0                                                                     \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #c), \
            std::abort()))

namespace vorda::fuzz {

inline bool printable(const std::string& s) {
    return std::none_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20; });
}

// The boxes the controller reads and shows in (a row out of range throws).
struct Boxes {
    std::array<std::string, kPriceRows> prices;
    std::array<bool, kPriceRows> blinks{};
    std::string temperature;

    static Boxes& of(void* context) { return *static_cast<Boxes*>(context); }
    // No serial driver, a clock that stands still, and a start directory made once under
    // $TMPDIR, which keeps the settings file of defaults that the first Controller writes.
    Platform platform() {
        static const std::string dir = [] {
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/vorda-fuzz-XXXXXX";
            FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
            return pattern;
        }();
        Clock clock;
        clock.localTime = [](void*) { return LocalTime{2026, 12, 6, 12, 0, 0}; };
        clock.tickCount = [](void*) { return 0u; };
        DisplaySeam s;
        s.context = this;
        s.setPriceText = [](void* c, int r, const std::string& t) {
            FUZZ_CHECK(t.size() <= 6);
            of(c).prices.at(r) = t;
        };
        s.setBlinkBox = [](void* c, int r, bool on) { of(c).blinks.at(r) = on; };
        PanelSeam p;
        p.context = this;
        p.priceBoxText = [](void* c, int r) { return of(c).prices.at(r); };
        p.blinkBoxChecked = [](void* c, int r) { return of(c).blinks.at(r); };
        p.temperatureText = [](void* c) { return of(c).temperature; };
        return Platform{SerialDriver{}, s, p, clock, dir};
    }
};

}  // namespace vorda::fuzz
