#include "settings/messages.h"

#include <array>

namespace vorda {

namespace {

struct Entry {
    Text id;
    int size;
    const char* text;
};

constexpr Entry kEntries[] = {
    {Text::Com, 10, "COM"},
    {Text::Title, 32, "Vorda Cen"},
    {Text::Error, 32, "Błąd"},
    {Text::ComOpenFailed, 32, "Błąd otwarcia COM"},
    {Text::Disconnected, 32, "ROZŁĄCZONY"},
    {Text::TestMode, 32, "TRYB TESTU"},
    {Text::ConfirmClose, 32, "Czy zamknąć program?"},
    {Text::AutoBacklight, 128,
     "Automatyczne załączanie podświetlania.\nOdznacz tą opcje w Ustawieniach,\naby załączać "
     "oświetlenie ręcznie !"},
    {Text::LeaveTestMode, 32, "Wyłącz tryb testu !   "},
    {Text::Connected, 32, "POŁĄCZONY"},
    {Text::TestModeScript, 32, "TRYB TESTU SKRYPTU"},
    {Text::ConnectedScript, 32, "POŁĄCZONY SKRYPT"},
    {Text::ScriptOpenFailed, 32, "Błąd otwarcia skryptu"},
    {Text::ScriptNeedsLink, 128, "Rozłączony !\nSkrypt wymaga stałego połączenia\n'Akcja->Połącz'"},
    {Text::TransmissionError, 32, "BŁĄD TRANSMISJI"},
    {Text::PortMissing, 32, "BRAK PORTU COM"},
    {Text::FilterText, 32, "Pliki Tekstowe"},
    {Text::FilterAll, 32, "Wszystkie Pliki"},
    {Text::PricesConfirmed, 32, "CENY POTWIERDZONE"},
    {Text::PricesMismatch, 32, "CENY NIEZGODNE"},
    {Text::MismatchIntro, 128, "Vorda pokazuje inne ceny niż wysłane:"},
    {Text::MismatchRow, 128, "Cena %1: wysłano %2, Vorda pokazuje %3"},
    {Text::Blinking, 32, " (miga)"},
};

constexpr size_t kCount = sizeof(kEntries) / sizeof(kEntries[0]);

size_t indexOf(Text id) {
    for (size_t i = 0; i < kCount; ++i) {
        if (kEntries[i].id == id) {
            return i;
        }
    }
    return 0;
}

std::array<std::string, kCount>& currentTexts() {
    static std::array<std::string, kCount> texts = [] {
        std::array<std::string, kCount> t;
        for (size_t i = 0; i < kCount; ++i) {
            t[i] = kEntries[i].text;
        }
        return t;
    }();
    return texts;
}

// Cuts a UTF-8 text after `chars` characters, never inside a character.
std::string cutCharacters(const std::string& utf8, int chars) {
    int seen = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) != 0x80) {
            if (seen == chars) {
                return utf8.substr(0, i);
            }
            ++seen;
        }
    }
    return utf8;
}

}  // namespace

const Text kAllTexts[23] = {
    Text::Com,
    Text::Title,
    Text::Error,
    Text::ComOpenFailed,
    Text::Disconnected,
    Text::TestMode,
    Text::ConfirmClose,
    Text::AutoBacklight,
    Text::LeaveTestMode,
    Text::Connected,
    Text::TestModeScript,
    Text::ConnectedScript,
    Text::ScriptOpenFailed,
    Text::ScriptNeedsLink,
    Text::TransmissionError,
    Text::PortMissing,
    Text::FilterText,
    Text::FilterAll,
    Text::PricesConfirmed,
    Text::PricesMismatch,
    Text::MismatchIntro,
    Text::MismatchRow,
    Text::Blinking,
};

static_assert(sizeof(kAllTexts) / sizeof(kAllTexts[0]) == kCount, "every text is listed");

const std::string& messageText(Text id) {
    return currentTexts()[indexOf(id)];
}

const char* defaultMessageText(Text id) {
    return kEntries[indexOf(id)].text;
}

int messageBufferSize(Text id) {
    return kEntries[indexOf(id)].size;
}

void setMessageText(Text id, const std::string& utf8) {
    currentTexts()[indexOf(id)] = cutCharacters(utf8, messageBufferSize(id) - 1);
}

}  // namespace vorda
