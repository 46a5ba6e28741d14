// The command line read into a price order: what each row is set to, and each bad argument
// refused with what is wrong.
#include "controller/price_order.h"

#include <gtest/gtest.h>

namespace vorda {
namespace {

// "usage", "program", the error, or the named rows as "1=5.49 2=6.19* 4=".
std::string read(const std::vector<std::string>& words) {
    const CommandLine line = parseCommandLine(words);
    if (line.kind != CommandLine::Kind::Prices) {
        return line.kind == CommandLine::Kind::Usage ? "usage" : "program";
    }
    std::string rows = line.error;
    for (int row = 0; row < kPriceRows && line.error.empty(); ++row) {
        if (line.order.named[row]) {
            rows += (rows.empty() ? "" : " ") + std::to_string(row + 1) + "=" +
                    line.order.text[row] + (line.order.blink[row] ? "*" : "");
        }
    }
    return rows + (line.at.empty() || !line.error.empty() ? "" : " @" + line.at);
}

TEST(PriceOrder, CommandLineWords) {
    const struct {
        std::vector<std::string> words;
        std::string read;
    } cases[] = {
        {{}, "program"},
        {{"/x", "1=5"}, "program"},
        {{"/?"}, "usage"},
        {{"/ceny", "4=", "1=5.49", "2=6.19*"}, "1=5.49 2=6.19* 4="},
        {{"/CeNy", "5=*", "3=  1", "2=12345678"}, "2=12345678 3=  1 5=*"},
        {{"/ceny", "1=5,49", "2=6,19*"}, "1=5.49 2=6.19*"},
        {{"/ceny", "1=5.4**"}, "1=5.4**"},
        {{"/ceny", "/OD", "2026-12-07T06:00", "2=6.19"}, "2=6.19 @2026-12-07T06:00"},
        {{"/ceny", "1=5", "/od", "2026-12-07T06:00:00+01:00"}, "1=5 @2026-12-07T06:00:00+01:00"},
        {{"/ceny", "1=5", "/od", "jutro"},
         "Błędny argument \"/od jutro\": oczekiwano czasu RRRR-MM-DDTGG:MM, np. 2026-12-07T06:00"},
        {{"/ceny", "1=5", "/od"},
         "Błędny argument \"/od \": oczekiwano czasu RRRR-MM-DDTGG:MM, np. 2026-12-07T06:00"},
        {{"/ceny", "/od", "2026-12-07T06:00"},
         "Brak cen: podaj co najmniej jeden argument WIERSZ=CENA, np. 1=5.49"},
        {{"/ceny"}, "Brak cen: podaj co najmniej jeden argument WIERSZ=CENA, np. 1=5.49"},
        {{"/ceny", "1"}, "Błędny argument \"1\": oczekiwano WIERSZ=CENA, np. 1=5.49"},
        {{"/ceny", "12=1"}, "Błędny argument \"12=1\": oczekiwano WIERSZ=CENA, np. 1=5.49"},
        {{"/ceny", "6=1.00"}, "Błędny argument \"6=1.00\": wiersz musi być od 1 do 5"},
        {{"/ceny", "0=1.00"}, "Błędny argument \"0=1.00\": wiersz musi być od 1 do 5"},
        {{"/ceny", "1=5", "1=6"}, "Błędny argument \"1=6\": ten wiersz podano już wcześniej"},
        {{"/ceny", "1=123456789"},
         "Błędny argument \"1=123456789\": cena może mieć najwyżej 8 znaków"},
        {{"/ceny", "1=5,49zł"},
         "Błędny argument \"1=5,49zł\": cena może zawierać tylko znaki ASCII"},
        {{"/ceny", "1=5\t49"}, "Błędny argument \"1=5\t49\": cena może zawierać tylko znaki ASCII"},
        // What the running program would not take is refused here, with its reason.
        {{"/ceny", "1=5", "/od", "2026-12-07T06:00:00.123456789"},
         "1=5 @2026-12-07T06:00:00.123456789"},
        {{"/ceny", "1=5", "/od", "2026-12-07T06:00:00.1234567890"},
         "Błędny argument \"/od 2026-12-07T06:00:00.1234567890\": oczekiwano czasu "
         "RRRR-MM-DDTGG:MM, np. 2026-12-07T06:00"},
        {{"/ceny", "1=5", std::string(4093, '2')},
         "Argumenty cen mają razem więcej niż 4096 bajtów"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.words), c.read) << ::testing::PrintToString(c.words);
    }
}

}  // namespace
}  // namespace vorda
