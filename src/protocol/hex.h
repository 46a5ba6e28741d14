// Hexadecimal digits as the protocol reads them.
#pragma once

#include <cstdint>

namespace vorda {

// The value of a hexadecimal digit (either case), or -1.
inline int hexDigitValue(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Up to `digits` characters read as one hexadecimal number; reading stops at the first
// character that is not a hexadecimal digit (none gives 0).
inline int hexNumber(const uint8_t* p, int digits) {
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigitValue(p[i]);
        if (d < 0) {
            break;
        }
        value = value * 16 + d;
    }
    return value;
}

}  // namespace vorda
