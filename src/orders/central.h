// The head office: the station fetches its order document from `Adres` at start and every
// `Okres` seconds (spread at random, so that many stations do not come at once), and posts
// the result of each head-office order to `Raport`. These are the checks of its settings,
// made before any of them is used; the settings value is settings/central_settings.h.
#pragma once

#include <cstdint>
#include <string>

#include "settings/central_settings.h"

namespace vorda {

// A head-office address: "https://" (the scheme in any case), or "http://" only to
// "localhost", a 127.x.x.x address or "[::1]"; a server name, an optional port 1..65535,
// no user name or password, no space or control character. False with the reason (Polish).
bool checkCentralUrl(const std::string& url, std::string* why);

// No `Adres`: valid, nothing is fetched. `Adres` set needs `Stacja` (no control characters);
// `Okres` must lie in 1..86400; `Raport`, when set, is an address as `Adres` is. False with
// the first fault, naming the key (Polish).
bool checkCentralSettings(const CentralSettings& settings, std::string* why);

// The access key ("Klucz") as the operator gave it: no control character (a line break would
// add headers of its own to every request). False with the reason, naming the key (Polish).
bool checkCentralKey(const std::string& key, std::string* why);

// The wait before the next fetch in milliseconds: the period (clamped to 1..86400 s) spread
// by ±10 % by `random` (any 32-bit value: 0 the shortest, 0xFFFFFFFF the longest).
uint64_t nextFetchDelayMs(int periodSeconds, uint32_t random);

}  // namespace vorda
