// The price history "HistoriaCen.csv" in the start directory: one line for each price
// row of each "Wyślij", code page 1250, CR LF, fields separated by ';', under a header
// line. The line format; appending and reading are the engine's.
#pragma once

#include <string>
#include <vector>

#include "settings/clock.h"

namespace vorda {

constexpr const char* kHistoryFileName = "HistoriaCen.csv";
constexpr const char* kHistoryBackupName = "HistoriaCen_1.csv";
// Where the lines that could not be written go at the program's end, beside the history:
// "HistoriaCen-YYYYMMDD-HHMMSS.csv", the local time at the end.
constexpr const char* kHistorySideFileFormat = "HistoriaCen-%04d%02d%02d-%02d%02d%02d.csv";
// Added to the result field of a line that waits to be written when it is listed.
constexpr const char* kHistoryWaitingMark = " (czeka na zapis)";
// The result's field among a line's fields (counted from 0).
constexpr size_t kHistoryResultField = 6;

// "Data;Godzina;Cena;Opis;Wysłano;Miga;Wynik;Źródło" in code page 1250, without its line
// end; files written before the column "Źródło" have the header without it, and lines of
// seven fields, which readers take as they are.
extern const char kHistoryHeader[];
extern const char kHistoryHeaderWithoutSource[];
extern const char kHistoryHeaderLine[];  // the same with its CR LF

// How a sent price ended.
enum class PriceOutcome { Confirmed, Mismatch, NoAnswer, TestMode };

struct HistoryEntry {
    LocalTime sentAt;
    int row = 0;              // 0 to 4; the file counts from 1
    std::string description;  // code page 1250
    std::string sent;         // the price text as sent
    bool blink = false;
    PriceOutcome outcome = PriceOutcome::NoAnswer;
    std::string shown;  // with Mismatch: what the tower shows, and whether it blinks
    bool shownBlink = false;
    // Where the send came from, code page 1250: "PANEL", "SKRYPT", "ZLECENIE <id>",
    // "CENTRALA <id>".
    std::string source;
};

// The entry's line with its CR LF: "05.12.2026;14:03:07;1;ON;5.49;nie;POTWIERDZONO", or
// "...;NIEZGODNE: 5.09 (miga)". A field holding ';' or '"' is put in quotes, its quotes
// doubled. A field that a spreadsheet would take for a formula (it begins with '=', '+',
// '-', '@', a tab or CR, after any apostrophes) gets a leading apostrophe.
std::string historyLine(const HistoryEntry& entry);
// The same appended to `out` (which, kept from send to send, keeps its room: nothing is
// allocated once it is large enough).
void appendHistoryLine(std::string& out, const HistoryEntry& entry);

// The fields of a line (without its line end), quotes and formula apostrophes undone.
std::vector<std::string> historyFields(const std::string& line);

}  // namespace vorda
