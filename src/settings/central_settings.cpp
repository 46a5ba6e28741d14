#include "settings/central_settings.h"

#include <cstdint>

namespace vorda {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
    return c >= 'A' && c <= 'Z'   ? c - 'A'
           : c >= 'a' && c <= 'z' ? c - 'a' + 26
           : c >= '0' && c <= '9' ? c - '0' + 52
           : c == '+'             ? 62
           : c == '/'             ? 63
                                  : -1;
}

}  // namespace

bool operator==(const CentralSettings& a, const CentralSettings& b) {
    return a.documentUrl == b.documentUrl && a.reportUrl == b.reportUrl && a.station == b.station &&
           a.periodSeconds == b.periodSeconds && a.protectedKey == b.protectedKey;
}

std::string base64Encode(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (size_t k = 0; k < 4; ++k) {
            text += k <= n ? kAlphabet[group >> (18 - 6 * k) & 63] : '=';
        }
    }
    return text;
}

bool base64Decode(const std::string& text, std::string* bytes) {
    if (text.size() % 4 != 0) {
        return false;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t pad = !last || text[i + 3] != '=' ? 0 : text[i + 2] == '=' ? 2 : 1;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int v = k >= 4 - pad ? 0 : sextet(text[i + k]);
            if (v < 0) {
                return false;
            }
            group = group << 6 | static_cast<uint32_t>(v);
        }
        for (size_t k = 0; k < 3 - pad; ++k) {
            out += static_cast<char>(group >> (16 - 8 * k) & 0xFF);
        }
    }
    *bytes = std::move(out);
    return true;
}

}  // namespace vorda
