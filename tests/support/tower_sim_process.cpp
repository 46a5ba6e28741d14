#include "support/tower_sim_process.h"

#include <cstdio>

namespace vorda::test {

std::string frameOf(const std::string& text) {
    unsigned sum = 0x72;
    for (unsigned char c : text) {
        sum ^= c;
    }
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    return "\x02" + text + digits + "\x03";
}

}  // namespace vorda::test
