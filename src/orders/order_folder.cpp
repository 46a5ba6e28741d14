#include "orders/order_folder.h"

#include <algorithm>
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
    const bool valid = readOrderDocument(bytes, OrderSource::Folder, now, &document, why);
    const std::string moved = moveAside(file, path() + (valid ? "/przyjete" : "/odrzucone"), name);
    if (moved.empty()) {
        return fileStatus(file, &status) ? Intake::Busy : Intake::Gone;
    }
    seen_.erase(name);
    if (!valid) {
        writeFileReplacing(path() + "/odrzucone/" + moved + ".txt", "\xEF\xBB\xBF" + *why + "\r\n");
        return Intake::Refused;
    }
    *orders = std::move(document.orders);
    return Intake::Accepted;
}

bool OrderFolder::writeResult(const Order& order) {
    return writeFileReplacing(path() + "/wyniki/" + orderFileName(order.id) + ".json",
                              orderResultJson(order, ""));
}

std::string orderFileName(const std::string& id) {
    std::string name = id;
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        c = u < 0x20 || u == 0x7F || std::strchr("<>:\"/\\|?*", c) != nullptr ? '_' : c;
    }
    const std::string stem = upper(name.substr(0, name.find('.')));
    const bool device =
        stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
        (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9');
    return device ? "_" + name : name;
}

}  // namespace vorda
