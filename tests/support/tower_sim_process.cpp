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

std::string toHex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", static_cast<unsigned char>(bytes[i]));
        out += b;
    }
    return out;
}

}  // namespace vorda::test
