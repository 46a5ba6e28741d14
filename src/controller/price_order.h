// Prices handed over by a script: "VordaCen.exe /ceny 1=5.49 2=6.19* 4=" sets the named rows'
// boxes and sends them as "Wyślij" does, in the program that is already running. Here: the
// command line read into an order, the usage text, and the exit codes with their texts.
#pragma once

#include <string>
#include <vector>

#include "orders/order.h"

namespace vorda {

// What the command line exits with.
enum class OrderExit : int {
    Confirmed = 0,     // "CENY POTWIERDZONE"
    Mismatch = 1,      // "CENY NIEZGODNE", with the rows that differ
    NoAnswer = 2,      // the tower did not answer, or the port could not be opened
    NotRunning = 3,    // no running program to hand the prices to
    BadArguments = 4,  // with what is wrong
    Refused = 5,       // test mode, a control file playing, another order under way, a box
                       // of the program waiting for the operator, or interrupted by the
                       // operator
};

struct CommandLine {
    enum class Kind { Program, Usage, Prices };
    Kind kind = Kind::Program;  // no command-line word: the program itself starts
    PriceOrder order;
    std::string at;     // "/od TIME": the time the order takes effect ("" now)
    std::string error;  // Prices with an error: exit BadArguments with this text
};

// The words after the program's name (UTF-8). "/ceny" (any case) and its ROW=PRICE
// arguments, or "/?"; anything else starts the program as before.
CommandLine parseCommandLine(const std::vector<std::string>& words);

// The most the running program takes of the arguments, joined by '\n'.
constexpr size_t kOrderArgumentsMax = 4096;

// The ROW=PRICE arguments and "/od TIME"; false with `error` set when one is wrong, or when
// they are more than kOrderArgumentsMax bytes together (kOrderTooLong). TIME is a date and
// time (ISO 8601: "2026-12-07T06:00", seconds, their fraction and an offset optional;
// without an offset the local time of the running program).
bool parsePriceArguments(const std::vector<std::string>& arguments, PriceOrder* order,
                         std::string* at, std::string* error);

// The texts the command line prints (UTF-8).
std::string usageText();
extern const char kOrderNotRunning[];
extern const char kOrderInProgress[];
extern const char kOrderScriptPlaying[];
extern const char kOrderTimedOut[];
extern const char kOrderProgramEnded[];
extern const char kOrderSuperseded[];
extern const char kOrderNoResult[];
extern const char kOrderOperatorBusy[];
extern const char kOrderTooLong[];

}  // namespace vorda
