#include "orders/central.h"

#include <algorithm>

namespace vorda {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

bool digits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "127.a.b.c", each a decimal number 0..255.
bool loopbackV4(const std::string& host) {
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? host.find('.', start) : host.size();
        if (end == std::string::npos) {
            return false;
        }
        const std::string number = host.substr(start, end - start);
        if (!digits(number) || number.size() > 3 || std::stoi(number) > 255 ||
            (part == 0 && number != "127")) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool controlOrSpace(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F;
}

}  // namespace

bool checkCentralUrl(const std::string& url, std::string* why) {
    const bool https = startsWithNoCase(url, "https://");
    const bool http = startsWithNoCase(url, "http://");
    const std::string rest = url.substr(https ? 8 : http ? 7 : 0);
    const std::string authority = rest.substr(0, rest.find_first_of("/?#"));
    // The host ("[...]" for an IPv6 address) and, after a colon, the port.
    const size_t hostEnd = !authority.empty() && authority[0] == '['
                               ? authority.find(']') + 1  // 0 when not closed
                               : authority.find(':');
    const std::string host = authority.substr(0, hostEnd);
    const std::string afterHost = hostEnd == std::string::npos ? "" : authority.substr(hostEnd);
    const std::string port = afterHost.empty() ? "1" : afterHost.substr(1);
    const bool hostGood =
        host[0] == '[' ? host.size() > 2 && host.find_first_not_of("0123456789abcdefABCDEF:.", 1) ==
                                                host.size() - 1
                       : !host.empty() && host.find_first_of("[]") == std::string::npos;
    std::string fault;
    if (url.empty()) {
        fault = "brak adresu";
    } else if (std::any_of(url.begin(), url.end(), controlOrSpace)) {
        fault = "adres nie może zawierać spacji ani znaków sterujących";
    } else if (!https && !http) {
        fault = "adres musi zaczynać się od https://";
    } else if (authority.find('@') != std::string::npos) {
        fault = "adres nie może zawierać nazwy użytkownika ani hasła";
    } else if (host.empty()) {
        fault = "brak nazwy serwera w adresie";
    } else if (!hostGood || (!afterHost.empty() && afterHost[0] != ':')) {
        fault = "błędna nazwa serwera w adresie";
    } else if (!digits(port) || port.size() > 5 || std::stoi(port) < 1 || std::stoi(port) > 65535) {
        fault = "błędny numer portu w adresie";
    } else if (http && !loopbackV4(host) && host != "[::1]" &&
               !(host.size() == 9 && startsWithNoCase(host, "localhost"))) {
        fault =
            "http:// tylko do localhost lub 127.x.x.x; inne adresy muszą zaczynać się od "
            "https://";
    }
    if (!fault.empty() && why != nullptr) {
        *why = fault;
    }
    return fault.empty();
}

bool checkCentralSettings(const CentralSettings& s, std::string* why) {
    std::string fault;
    if (s.periodSeconds < kCentralPeriodMin || s.periodSeconds > kCentralPeriodMax) {
        fault = "Okres: od 1 do 86400 sekund";
    } else if (!s.documentUrl.empty() && !checkCentralUrl(s.documentUrl, &fault)) {
        fault = "Adres: " + fault;
    } else if (!s.reportUrl.empty() && !checkCentralUrl(s.reportUrl, &fault)) {
        fault = "Raport: " + fault;
    } else if (!s.documentUrl.empty() && s.station.empty()) {
        fault = "Stacja: brak identyfikatora stacji";
    } else if (std::any_of(s.station.begin(), s.station.end(), [](char c) {
                   return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
               })) {
        fault = "Stacja: identyfikator nie może zawierać znaków sterujących";
    }
    if (!fault.empty() && why != nullptr) {
        *why = fault;
    }
    return fault.empty();
}

bool checkCentralKey(const std::string& key, std::string* why) {
    if (std::none_of(key.begin(), key.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        return true;
    }
    if (why != nullptr) {
        *why = "Klucz: klucz nie może zawierać znaków sterujących";
    }
    return false;
}

uint64_t nextFetchDelayMs(int periodSeconds, uint32_t random) {
    const uint64_t period =
        static_cast<uint64_t>(std::clamp(periodSeconds, kCentralPeriodMin, kCentralPeriodMax)) *
        1000;
    const uint64_t spread = period / 10;
    return period - spread + 2 * spread * random / 0xFFFFFFFFu;
}

}  // namespace vorda
