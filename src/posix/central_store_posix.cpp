// The head office's settings store natively (the tests, the tools): "Centrala.ini" read and
// written as the Windows profile API does for its one section, and a key "protection" that
// is NOT secure: an XOR with a fixed pad behind a marker, as base64. It only keeps the key
// out of the file in clear and gives it back; on Windows, DPAPI protects it for the user.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "engine/central_store.h"
#include "settings/files.h"

namespace vorda {

namespace {

constexpr size_t kIniMax = 65536;
constexpr char kSection[] = "Centrala";
constexpr char kMarker[] = "VC1:";
constexpr char kPad[] = "Vorda Cen: to nie jest szyfr, tylko zaslona.";
const char* const kKeys[] = {"Adres", "Raport", "Stacja", "Okres", "Klucz"};

std::string trimmed(const std::string& s) {
    const size_t start = s.find_first_not_of(" \t");
    return start == std::string::npos ? "" : s.substr(start, s.find_last_not_of(" \t") + 1 - start);
}

bool sameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

// The file's lines without their line ends (a UTF-8 byte order mark dropped).
std::vector<std::string> linesOf(std::string text) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    }
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r') {
            lines.back().pop_back();
        }
        start = end + 1;
    }
    return lines;
}

// A section's name ("[ name ]"), or false.
bool sectionName(const std::string& line, std::string* name) {
    const std::string t = trimmed(line);
    if (t.empty() || t[0] != '[' || t.find(']') == std::string::npos) {
        return false;
    }
    *name = trimmed(t.substr(1, t.find(']') - 1));
    return true;
}

// Which of kKeys a "key = value" line sets; std::size(kKeys) for none (a comment, a line
// without '=', another key).
size_t keyIndex(const std::string& line) {
    const std::string t = trimmed(line);
    if (t.empty() || t[0] == ';' || t.find('=') == std::string::npos) {
        return std::size(kKeys);
    }
    const std::string key = trimmed(t.substr(0, t.find('=')));
    size_t k = 0;
    while (k < std::size(kKeys) && !sameNoCase(key, kKeys[k])) {
        ++k;
    }
    return k;
}

// The lines of the first [Centrala] section: [first, end); first == 0 when there is none.
void sectionRange(const std::vector<std::string>& lines, size_t* first, size_t* end) {
    *first = *end = 0;
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (sectionName(lines[i], &name)) {
            if (*first != 0) {
                break;
            }
            if (sameNoCase(name, kSection)) {
                *first = i + 1;
            }
        }
        *end = *first != 0 ? i + 1 : 0;
    }
}

bool posixLoad(void*, const std::string& path, CentralSettings* out) {
    *out = CentralSettings{};
    std::string bytes;
    if (!readFileBytes(path, kIniMax, &bytes)) {
        return false;
    }
    const std::vector<std::string> lines = linesOf(bytes);
    size_t first = 0, end = 0;
    sectionRange(lines, &first, &end);
    std::string* values[] = {&out->documentUrl, &out->reportUrl, &out->station, nullptr,
                             &out->protectedKey};
    bool seen[std::size(kKeys)] = {};
    for (size_t i = first; first != 0 && i < end; ++i) {
        const size_t k = keyIndex(lines[i]);
        if (k == std::size(kKeys) || seen[k]) {
            continue;
        }
        seen[k] = true;
        std::string value = trimmed(lines[i].substr(lines[i].find('=') + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
            value.back() == value[0]) {
            value = value.substr(1, value.size() - 2);
        }
        if (values[k] != nullptr) {
            *values[k] = value;
            continue;
        }
        // Okres: an optional sign and the digits that follow it (none: 0).
        const bool minus = !value.empty() && value[0] == '-';
        int64_t number = 0;
        for (size_t d = minus; d < value.size() && value[d] >= '0' && value[d] <= '9'; ++d) {
            number = std::min<int64_t>(number * 10 + (value[d] - '0'), INT32_MAX);
        }
        out->periodSeconds = static_cast<int>(minus ? -number : number);
    }
    return first != 0;
}

bool posixSave(void*, const std::string& path, const CentralSettings& s) {
    const std::string values[] = {s.documentUrl, s.reportUrl, s.station,
                                  std::to_string(s.periodSeconds), s.protectedKey};
    for (const std::string& value : values) {
        if (value.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
    }
    std::string bytes;
    std::vector<std::string> lines;
    if (readFileBytes(path, kIniMax, &bytes)) {
        lines = linesOf(bytes);
    }
    size_t first = 0, end = 0;
    sectionRange(lines, &first, &end);
    if (first == 0) {
        lines.push_back(std::string("[") + kSection + "]");
        first = end = lines.size();
    }
    for (size_t k = 0; k < std::size(kKeys); ++k) {
        const std::string line = std::string(kKeys[k]) + "=" + values[k];
        size_t at = first;
        while (at < end && keyIndex(lines[at]) != k) {
            ++at;
        }
        if (at < end) {
            lines[at] = line;
            continue;
        }
        // After the section's last line that is not blank.
        while (at > first && trimmed(lines[at - 1]).empty()) {
            --at;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
        ++end;
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return writeFileReplacing(path, text);
}

std::string veiled(const std::string& bytes) {
    std::string out = bytes;
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char>(out[i] ^ kPad[i % (sizeof kPad - 1)]);
    }
    return out;
}

std::string posixProtect(void*, const std::string& key) {
    return key.empty() ? "" : base64Encode(kMarker + veiled(key));
}

std::string posixUnprotect(void*, const std::string& protectedKey) {
    std::string bytes;
    const size_t marker = sizeof kMarker - 1;
    return base64Decode(protectedKey, &bytes) && bytes.compare(0, marker, kMarker) == 0
               ? veiled(bytes.substr(marker))
               : "";
}

}  // namespace

CentralStore platformCentralStore() {
    CentralStore store;
    store.load = posixLoad;
    store.save = posixSave;
    store.protect = posixProtect;
    store.unprotect = posixUnprotect;
    return store;
}

}  // namespace vorda
