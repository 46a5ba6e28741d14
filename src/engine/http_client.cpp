// The HTTP seam's rules shared by both implementations: headers by name, and where and how
// a redirect is followed.
#include "engine/http_client.h"

#include <algorithm>

namespace vorda {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// "scheme://authority" and the path with its query ("/" when none; the fragment dropped).
// False when the address has no "scheme://".
bool splitUrl(const std::string& url, std::string* origin, std::string* path) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return false;
    }
    const std::string target = url.substr(0, url.find('#'));
    const size_t start = std::min(target.find_first_of("/?", colon + 3), target.size());
    *origin = target.substr(0, start);
    *path = target.substr(start);
    *path = path->empty() || (*path)[0] == '?' ? "/" + *path : *path;
    return true;
}

bool sameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

}  // namespace

std::string headerValue(const HttpResponse& response, const std::string& name) {
    for (const auto& header : response.headers) {
        if (sameNoCase(header.first, name)) {
            return header.second;
        }
    }
    return std::string();
}

std::string redirectTarget(const std::string& url, const std::string& location) {
    std::string origin, path;
    if (location.find("://") != std::string::npos || !splitUrl(url, &origin, &path)) {
        return location;
    }
    if (location.compare(0, 2, "//") == 0) {
        return origin.substr(0, origin.find("://") + 1) + location;
    }
    if (!location.empty() && location[0] == '/') {
        return origin + location;
    }
    return origin + path.substr(0, path.find_last_of('/', path.find('?')) + 1) + location;
}

std::vector<std::pair<std::string, std::string>> redirectHeaders(
    const std::vector<std::pair<std::string, std::string>>& headers, const std::string& from,
    const std::string& to) {
    std::string fromOrigin, toOrigin, path;
    const bool same = splitUrl(from, &fromOrigin, &path) && splitUrl(to, &toOrigin, &path) &&
                      sameNoCase(fromOrigin, toOrigin);
    std::vector<std::pair<std::string, std::string>> kept;
    for (const auto& header : headers) {
        if (same || !sameNoCase(header.first, "Authorization")) {
            kept.push_back(header);
        }
    }
    return kept;
}

bool isRedirect(int status) {
    return status >= 300 && status < 400 && status != 304;
}

bool redirectAsGet(int status, const std::string& method) {
    return status == 303 || ((status == 301 || status == 302) && method == "POST");
}

}  // namespace vorda
