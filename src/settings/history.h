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

// "Data;Godzina;Cena;Opis;Wysłano;Miga;Wynik" in code page 1250, without its line end.
extern const char kHistoryHeader[];

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
};

// The entry's line with its CR LF: "05.12.2026;14:03:07;1;ON;5.49;nie;POTWIERDZONO", or
// "...;NIEZGODNE: 5.09 (miga)". A field holding ';' or '"' is put in quotes, its quotes
// doubled.
std::string historyLine(const HistoryEntry& entry);

// The fields of a line (without its line end), quotes undone.
std::vector<std::string> historyFields(const std::string& line);

}  // namespace vorda
