#include "settings/history.h"

#include <cstdio>

namespace vorda {

const char kHistoryHeader[] =
    "Data;Godzina;Cena;Opis;Wys\xB3"
    "ano;Miga;Wynik";

namespace {

std::string field(const std::string& text) {
    if (text.find_first_of(";\"") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string outcomeText(const HistoryEntry& e) {
    switch (e.outcome) {
        case PriceOutcome::Confirmed:
            return "POTWIERDZONO";
        case PriceOutcome::Mismatch:
            return "NIEZGODNE: " + e.shown + (e.shownBlink ? " (miga)" : "");
        case PriceOutcome::TestMode:
            return "TRYB TESTU";
        case PriceOutcome::NoAnswer:
        default:
            return "BRAK ODPOWIEDZI";
    }
}

}  // namespace

std::string historyLine(const HistoryEntry& e) {
    const LocalTime& t = e.sentAt;
    char date[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", t.day % 100, t.month % 100, t.year % 10000);
    return std::string(date) + ";" + timeText(t) + ";" + std::to_string(e.row + 1) + ";" +
           field(e.description) + ";" + field(e.sent) + ";" + (e.blink ? "tak" : "nie") + ";" +
           field(outcomeText(e)) + "\r\n";
}

std::vector<std::string> historyFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace vorda
