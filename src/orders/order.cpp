#include "orders/order.h"

#include <algorithm>

namespace vorda {

bool readOrderPrice(const std::string& written, std::string* text, bool* blink, std::string* why) {
    std::string t = withDecimalPoint(written);
    const bool blinks = !t.empty() && t.back() == '*';
    if (blinks) {
        t.pop_back();
    }
    for (char c : t) {
        if (c < 0x20 || c > 0x7E) {
            *why = "cena może zawierać tylko znaki ASCII";
            return false;
        }
    }
    if (t.size() > kOrderPriceMax) {
        *why = "cena może mieć najwyżej 8 znaków";
        return false;
    }
    *text = t;
    *blink = blinks;
    return true;
}

const char* orderResultText(OrderResult result) {
    switch (result) {
        case OrderResult::Waiting:
            return "OCZEKUJE";
        case OrderResult::Running:
            return "W TOKU";
        case OrderResult::Confirmed:
            return "POTWIERDZONO";
        case OrderResult::Mismatch:
            return "NIEZGODNE";
        case OrderResult::NoAnswer:
            return "BRAK ODPOWIEDZI";
        case OrderResult::TestMode:
            return "TRYB TESTU";
        case OrderResult::Skipped:
            return "POMINIĘTE";
        case OrderResult::Cancelled:
            return "ANULOWANE";
    }
    return "";
}

const char* orderSourceText(OrderSource source) {
    switch (source) {
        case OrderSource::Panel:
            return "PANEL";
        case OrderSource::Script:
            return "SKRYPT";
        case OrderSource::Folder:
            return "FOLDER";
        case OrderSource::HeadOffice:
            return "CENTRALA";
    }
    return "";
}

bool operator==(const PriceOrder& a, const PriceOrder& b) {
    return std::equal(a.named, a.named + kPriceRows, b.named) &&
           std::equal(a.text, a.text + kPriceRows, b.text) &&
           std::equal(a.blink, a.blink + kPriceRows, b.blink);
}

bool operator==(const OrderRow& a, const OrderRow& b) {
    return a.sent == b.sent && a.shown == b.shown && a.blink == b.blink;
}

bool operator==(const Order& a, const Order& b) {
    return a.id == b.id && a.due == b.due && a.offsetMinutes == b.offsetMinutes &&
           a.immediate == b.immediate && a.prices == b.prices && a.description == b.description &&
           a.source == b.source && a.result == b.result && a.endedAt == b.endedAt &&
           std::equal(a.rows, a.rows + kPriceRows, b.rows) && a.sequence == b.sequence &&
           a.planned == b.planned && a.resultDue == b.resultDue;
}

}  // namespace vorda
