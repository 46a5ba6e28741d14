#include "controller/price_order.h"

namespace vorda {

const char kOrderNotRunning[] = "Vorda Cen nie jest uruchomiony";
const char kOrderInProgress[] = "Trwa już inne wysyłanie cen z wiersza poleceń";
const char kOrderScriptPlaying[] = "Trwa odtwarzanie pliku sterującego";
const char kOrderTimedOut[] = "Brak wyniku w ciągu 35 s";
const char kOrderProgramEnded[] = "Vorda Cen zakończył pracę przed wynikiem";
const char kOrderSuperseded[] = "Wysyłanie przerwane w programie przed potwierdzeniem";
const char kOrderNoResult[] = "BRAK ODPOWIEDZI";
const char kOrderOperatorBusy[] = "Program czeka na odpowiedź operatora.";

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
                         std::string* error) {
    *order = PriceOrder();
    if (arguments.empty()) {
        *error = "Brak cen: podaj co najmniej jeden argument WIERSZ=CENA, np. 1=5.49";
        return false;
    }
    for (const std::string& a : arguments) {
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
                            &line.error);
    }
    return line;
}

std::string usageText() {
    return "Vorda Cen: ceny z wiersza poleceń\n"
           "\n"
           "  VordaCen.exe /ceny WIERSZ=CENA [WIERSZ=CENA ...]\n"
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
           "\n"
           "Przykład: VordaCen.exe /ceny 1=5.49 2=6.19* 4=\n"
           "\n"
           "Kody wyjścia:\n"
           "  0  CENY POTWIERDZONE\n"
           "  1  CENY NIEZGODNE: Vorda pokazuje inne ceny niż wysłane\n"
           "  2  brak odpowiedzi Vordy albo nie udało się otworzyć portu\n"
           "  3  Vorda Cen nie jest uruchomiony\n"
           "  4  błędne argumenty\n"
           "  5  tryb testu, odtwarzany plik sterujący, trwa inne wysyłanie z wiersza\n"
           "     poleceń, program czeka na odpowiedź operatora albo operator przerwał\n"
           "     wysyłanie\n";
}

}  // namespace vorda
