#include "settings/history.h"

#include <cstdio>
#include <string_view>

namespace vorda {

const char kHistoryHeader[] =
    "Data;Godzina;Cena;Opis;Wys\xB3"
    "ano;Miga;Wynik;\x8F"
    "r\xF3"
    "d\xB3o";
const char kHistoryHeaderLine[] =
    "Data;Godzina;Cena;Opis;Wys\xB3"
    "ano;Miga;Wynik;\x8F"
    "r\xF3"
    "d\xB3o\r\n";
const char kHistoryHeaderWithoutSource[] =
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

// Appends a field: after an apostrophe where a spreadsheet would take it for a formula, in
// quotes (its quotes doubled) where it holds ';' or '"'.
void appendField(std::string& out, std::string_view text) {
    const bool quoted = text.find_first_of(";\"") != std::string_view::npos;
    if (quoted) {
        out += '"';
    }
    const size_t at = text.find_first_not_of('\'');
    if (at != std::string_view::npos && std::string_view("=+-@\t\r").find(text[at]) != text.npos) {
        out += '\'';
    }
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    if (quoted) {
        out += '"';
    }
}

}  // namespace

void appendHistoryLine(std::string& out, const HistoryEntry& e) {
    const LocalTime& t = e.sentAt;
    char start[48];
    std::snprintf(start, sizeof start, "%02d.%02d.%04d;%02d:%02d:%02d;%d;", t.day % 100,
                  t.month % 100, t.year % 10000, t.hour % 100, t.minute % 100, t.second % 100,
                  e.row + 1);
    out += start;
    appendField(out, e.description);
    out += ';';
    appendField(out, e.sent);
    out += e.blink ? ";tak;" : ";nie;";
    switch (e.outcome) {
        case PriceOutcome::Confirmed:
            out += "POTWIERDZONO";
            break;
        case PriceOutcome::Mismatch: {
            char result[64];
            std::snprintf(result, sizeof result, "NIEZGODNE: %s%s", e.shown.c_str(),
                          e.shownBlink ? " (miga)" : "");
            appendField(out, result);
            break;
        }
        case PriceOutcome::TestMode:
            out += "TRYB TESTU";
            break;
        case PriceOutcome::NoAnswer:
        default:
            out += "BRAK ODPOWIEDZI";
            break;
    }
    out += ';';
    appendField(out, e.source);
    out += "\r\n";
}

std::string historyLine(const HistoryEntry& e) {
    std::string line;
    appendHistoryLine(line, e);
    return line;
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
