// The head office's settings, kept in the data folder's "Centrala.ini" (section [Centrala])
// by the settings store of the platform (engine/central_store.h); the orders' layer checks
// them (orders/central.h). A plain value, seen by every layer above this one.
#pragma once

#include <string>

namespace vorda {

constexpr int kCentralPeriodDefault = 300;  // seconds
constexpr int kCentralPeriodMin = 1;
constexpr int kCentralPeriodMax = 86400;

struct CentralSettings {
    std::string documentUrl;  // "Adres": the station's order document; "" fetches nothing
    std::string reportUrl;    // "Raport": where results are posted; may be empty
    std::string station;      // "Stacja": this station's id, as the document names it
    int periodSeconds = kCentralPeriodDefault;  // "Okres": between fetches, 1..86400
    // "Klucz": the access key as the store protected it for the user (base64), "" none.
    std::string protectedKey;
};

bool operator==(const CentralSettings& a, const CentralSettings& b);

// Base64 (RFC 4648, with '=' padding), for protected bytes kept in a text file.
std::string base64Encode(const std::string& bytes);
// False, `bytes` untouched, when `text` is not such base64 (white space included).
bool base64Decode(const std::string& text, std::string* bytes);

}  // namespace vorda
