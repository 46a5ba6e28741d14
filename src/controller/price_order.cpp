#include "controller/price_order.h"

#include "orders/document.h"

namespace vorda {

const char kOrderNotRunning[] = "Vorda Cen nie jest uruchomiony";
const char kOrderInProgress[] = "Trwa już inne wysyłanie cen z wiersza poleceń";
const char kOrderScriptPlaying[] = "Trwa odtwarzanie pliku sterującego";
const char kOrderTimedOut[] = "Brak wyniku w ciągu 35 s";
const char kOrderProgramEnded[] = "Vorda Cen zakończył pracę przed wynikiem";
const char kOrderSuperseded[] = "Wysyłanie przerwane w programie przed potwierdzeniem";
const char kOrderNoResult[] = "BRAK ODPOWIEDZI";
const char kOrderOperatorBusy[] = "Program czeka na odpowiedź operatora.";
const char kOrderTooLong[] = "Argumenty cen mają razem więcej niż 4096 bajtów";

namespace {

bool sameWord(const std::string& word, const char* lowerCase) {
    std::string lower = word;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower == lowerCase;
}

std::string wrong(const std::string& argument, const char* why) {
    return "Błędny argument \"" + argument + "\": " + why;
}

}  // namespace

bool parsePriceArguments(const std::vector<std::string>& arguments, PriceOrder* order,
                         std::string* at, std::string* error) {
    *order = PriceOrder();
    at->clear();
    size_t bytes = 0;
    for (const std::string& a : arguments) {
        bytes += a.size() + (bytes == 0 ? 0 : 1);
    }
    if (bytes > kOrderArgumentsMax) {
        *error = kOrderTooLong;
        return false;
    }
    bool anyRow = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (sameWord(a, "/od")) {
            const std::string time = i + 1 < arguments.size() ? arguments[++i] : std::string();
            int64_t utc = 0;
            int offset = 0;
            if (!at->empty() || (!parseOrderTime(time, &utc, &offset) &&
                                 !parseOrderTime(time + "Z", &utc, &offset))) {
                *error =
                    wrong("/od " + time, at->empty() ? "oczekiwano czasu RRRR-MM-DDTGG:MM, np. "
                                                       "2026-12-07T06:00"
                                                     : "czas podano już wcześniej");
                return false;
            }
            *at = time;
            continue;
        }
        anyRow = true;
        if (a.size() < 2 || a[1] != '=') {
            *error = wrong(a, "oczekiwano WIERSZ=CENA, np. 1=5.49");
            return false;
        }
        if (a[0] < '1' || a[0] > '0' + kPriceRows) {
            *error = wrong(a, "wiersz musi być od 1 do 5");
            return false;
        }
        const int row = a[0] - '1';
        if (order->named[row]) {
            *error = wrong(a, "ten wiersz podano już wcześniej");
            return false;
        }
        std::string text, why;
        bool blink = false;
        if (!readOrderPrice(a.substr(2), &text, &blink, &why)) {
            *error = wrong(a, why.c_str());
            return false;
        }
        order->named[row] = true;
        order->text[row] = text;
        order->blink[row] = blink;
    }
    if (!anyRow) {
        *error = "Brak cen: podaj co najmniej jeden argument WIERSZ=CENA, np. 1=5.49";
        return false;
    }
    return true;
}

CommandLine parseCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    if (words.empty()) {
        return line;
    }
    if (words[0] == "/?") {
        line.kind = CommandLine::Kind::Usage;
    } else if (sameWord(words[0], "/ceny")) {
        line.kind = CommandLine::Kind::Prices;
        parsePriceArguments(std::vector<std::string>(words.begin() + 1, words.end()), &line.order,
                            &line.at, &line.error);
    }
    return line;
}

std::string usageText() {
    return "Vorda Cen: ceny z wiersza poleceń\n"
           "\n"
           "  VordaCen.exe /ceny WIERSZ=CENA [WIERSZ=CENA ...] [/od CZAS]\n"
           "  VordaCen.exe /?\n"
           "\n"
           "Przekazuje ceny uruchomionemu programowi Vorda Cen. Ten wpisuje je w pola cen,\n"
           "wysyła je jak przycisk \"Wyślij\", sprawdza, co pokazuje Vorda, zapisuje historię\n"
           "cen i zwraca wynik. Czeka najwyżej 35 s.\n"
           "\n"
           "  WIERSZ  numer ceny, od 1 do 5\n"
           "  CENA    tekst pola ceny, najwyżej 8 znaków; pusty tekst wygasza wiersz;\n"
           "          '*' na końcu zaznacza \"Mrugaj\", bez '*' jest ono odznaczone\n"
           "  Wiersze niepodane zachowują to, co jest w ich polach.\n"
           "  CZAS    /od: zlecenie na ten czas, np. 2026-12-07T06:00 (czas lokalny, albo\n"
           "          z przesunięciem: 2026-12-07T06:00+01:00); program je zapamiętuje,\n"
           "          wypisuje jego identyfikator i kończy z kodem 0\n"
           "\n"
           "Przykład: VordaCen.exe /ceny 1=5.49 2=6.19* 4=\n"
           "          VordaCen.exe /ceny 1=5.49 /od 2026-12-07T06:00\n"
           "\n"
           "Kody wyjścia:\n"
           "  0  CENY POTWIERDZONE (z /od: zlecenie przyjęte)\n"
           "  1  CENY NIEZGODNE: Vorda pokazuje inne ceny niż wysłane\n"
           "  2  brak odpowiedzi Vordy albo nie udało się otworzyć portu\n"
           "  3  Vorda Cen nie jest uruchomiony\n"
           "  4  błędne argumenty\n"
           "  5  tryb testu, odtwarzany plik sterujący, trwa inne wysyłanie z wiersza\n"
           "     poleceń, program czeka na odpowiedź operatora albo operator przerwał\n"
           "     wysyłanie\n";
}

}  // namespace vorda
