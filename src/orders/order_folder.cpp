#include "orders/order_folder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "orders/document.h"

namespace vorda {

namespace {

std::string upper(std::string s) {
    for (char& c : s) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return s;
}

// '~' and eight hex digits of the id's 32-bit FNV-1a hash.
std::string hashSuffix(const std::string& id) {
    uint32_t hash = 2166136261u;
    for (char c : id) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    char text[16];
    std::snprintf(text, sizeof text, "~%08x", static_cast<unsigned>(hash));
    return text;
}

// Whether Windows could take the two names for one file: as many characters, and where both
// are ASCII, the same but for case (any other character might be the other's case).
bool sameOnWindows(const std::string& a, const std::string& b) {
    size_t i = 0, k = 0;
    const auto next = [](const std::string& s, size_t* at) {
        const auto c = static_cast<unsigned char>(s[(*at)++]);
        while (c >= 0x80 && *at < s.size() && (static_cast<unsigned char>(s[*at]) & 0xC0) == 0x80) {
            ++*at;
        }
        return c < 0x80 ? std::toupper(c) : -1;
    };
    while (i < a.size() && k < b.size()) {
        const int x = next(a, &i), y = next(b, &k);
        if (x >= 0 && y >= 0 && x != y) {
            return false;
        }
    }
    return i == a.size() && k == b.size();
}

}  // namespace

OrderFolder::OrderFolder(std::string dataDirectory) : directory_(std::move(dataDirectory)) {}

std::string OrderFolder::path() const {
    return directory_ + "/Zlecenia";
}

bool OrderFolder::prepare() {
    bool ready = makeDirectory(path());
    for (const char* inside : {"/przyjete", "/odrzucone", "/wyniki"}) {
        ready = makeDirectory(path() + inside) && ready;
    }
    return ready;
}

std::vector<std::string> OrderFolder::pending() const {
    std::vector<std::pair<int64_t, std::string>> found;
    for (const std::string& name : filesIn(path())) {
        FileStatus status;
        if (name.size() > 5 && upper(name.substr(name.size() - 5)) == ".JSON" &&
            fileStatus(path() + "/" + name, &status)) {
            found.emplace_back(status.modified, name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (const auto& file : found) {
        names.push_back(file.second);
    }
    for (auto it = seen_.begin(); it != seen_.end();) {  // forget files no longer there
        it = std::find(names.begin(), names.end(), it->first) == names.end() ? seen_.erase(it)
                                                                             : std::next(it);
    }
    return names;
}

OrderFolder::Intake OrderFolder::takeIn(const std::string& name, int64_t now,
                                        std::vector<Order>* orders, std::string* why) {
    const std::string file = path() + "/" + name;
    FileStatus status;
    if (!fileStatus(file, &status)) {
        seen_.erase(name);
        return Intake::Gone;
    }
    const auto last = seen_.find(name);
    const bool steady = last != seen_.end() ? last->second.size == status.size &&
                                                  last->second.modified == status.modified
                                            : status.modified < (now - 2) * 1000000000;
    seen_[name] = status;
    std::string bytes;
    if (!steady || fileHeldByAnother(file) || !readFileBytes(file, kOrderDocumentMax + 1, &bytes)) {
        return fileStatus(file, &status) ? Intake::Busy : Intake::Gone;
    }
    OrderDocument document;
    if (readOrderDocument(bytes, OrderSource::Folder, now, &document, why)) {
        *orders = std::move(document.orders);
        return Intake::Accepted;
    }
    if (!settle(name, *why)) {
        return fileStatus(file, &status) ? Intake::Busy : Intake::Gone;
    }
    return Intake::Refused;
}

bool OrderFolder::settle(const std::string& name, const std::string& refusal) {
    const std::string into = path() + (refusal.empty() ? "/przyjete" : "/odrzucone");
    makeDirectory(into);
    const std::string moved = moveAside(path() + "/" + name, into, name);
    if (moved.empty()) {
        return false;
    }
    seen_.erase(name);
    if (!refusal.empty()) {
        writeFileReplacing(into + "/" + moved + ".txt", "\xEF\xBB\xBF" + refusal + "\r\n");
    }
    return true;
}

bool OrderFolder::writeResult(const Order& order) {
    const std::string results = path() + "/wyniki";
    makeDirectory(results);
    std::string name = orderFileName(order.id);
    for (const std::string& other : filesIn(results)) {
        if (other != name + ".json" && sameOnWindows(other, name + ".json")) {
            name += hashSuffix(order.id);
            break;
        }
    }
    return writeFileReplacing(results + "/" + name + ".json", orderResultJson(order, ""));
}

std::string orderFileName(const std::string& id) {
    std::string name = id;
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        c = u < 0x20 || u == 0x7F || std::strchr("<>:\"/\\|?*~", c) != nullptr ? '_' : c;
    }
    for (size_t end = name.size(); end > 0 && (name[end - 1] == ' ' || name[end - 1] == '.');) {
        name[--end] = '_';
    }
    std::string stem = upper(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    const bool numbered =
        stem.size() >= 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
    const std::string number = numbered ? stem.substr(3) : std::string();
    const bool device =
        std::find(std::begin(devices), std::end(devices), stem) != std::end(devices) ||
        (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
        number == "\xC2\xB2" || number == "\xC2\xB3";  // ¹ ² ³
    if (device) {
        name = "_" + name;
    }
    return name == id ? name : name + hashSuffix(id);
}

}  // namespace vorda
