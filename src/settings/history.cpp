#include "settings/history.h"

#include <cstdio>
#include <string_view>

namespace vorda {

const char kHistoryHeader[] =
    "Data;Godzina;Cena;Opis;Wys\xB3"
    "ano;Miga;Wynik";

namespace {

// Whether a spreadsheet would take the text for a formula, apostrophes before it aside (so
// that a text which begins with an apostrophe keeps it when read back).
bool formulaAfterApostrophes(const std::string& text) {
    const size_t at = text.find_first_not_of('\'');
    return at != std::string::npos &&
           std::string_view("=+-@\t\r").find(text[at]) != std::string::npos;
}

std::string field(const std::string& plain) {
    const std::string text = formulaAfterApostrophes(plain) ? "'" + plain : plain;
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
    for (std::string& f : fields) {
        if (!f.empty() && f[0] == '\'' && formulaAfterApostrophes(f)) {
            f.erase(0, 1);
        }
    }
    return fields;
}

}  // namespace vorda
