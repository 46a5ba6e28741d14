// Price orders: the document's readings and refusals, times, the order book and the orders'
// folder, on real files in temporary directories; the clock is the `now` arguments.
#include <gtest/gtest.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>

#include "orders/document.h"
#include "orders/order_book.h"
#include "orders/order_folder.h"
#include "settings/files.h"
#include "support/test_support.h"

namespace vorda {
namespace {

using test::fileExists;
using test::readFile;
using test::writeFile;

constexpr int64_t T = 1796619600;  // 2026-12-07T06:00:00+01:00
const std::string kBookFields = R"("zrodlo":"FOLDER","wynik":"OCZEKUJE","kolejnosc":1)";

std::string prices(const PriceOrder& p) {
    std::string s;
    for (int r = 0; r < kPriceRows; ++r) {
        s += p.named[r] ? " " + std::to_string(r + 1) + "=" + p.text[r] + (p.blink[r] ? "*" : "")
                        : "";
    }
    return s;
}

// An order in a line: id, time as written ("teraz=" first without "od"), rows, "opis".
std::string line(const Order& o) {
    return o.id + (o.immediate ? " teraz=" : " ") + orderTimeText(o.due, o.offsetMinutes) +
           prices(o.prices) + (o.description.empty() ? "" : " \"" + o.description + "\"");
}

// The document read at T: "<station>:" and each order's line, or the reason it was refused.
std::string read(const std::string& json) {
    OrderDocument d;
    std::string why, s;
    if (!readOrderDocument(json, OrderSource::Folder, T, &d, &why)) {
        return why;
    }
    for (const Order& o : d.orders) {
        s += " " + line(o) + (o.source == OrderSource::Folder ? "" : " (source?)");
    }
    return d.station + ":" + s;
}

std::vector<Order> orders(const std::string& items) {
    OrderDocument d;
    std::string why;
    EXPECT_TRUE(
        readOrderDocument("{\"zlecenia\":[" + items + "]}", OrderSource::Folder, T, &d, &why))
        << why;
    return d.orders;
}

std::string results(const std::vector<Order>& orders) {
    std::string s;
    for (const Order& o : orders) {
        s += (s.empty() ? "" : " ") + o.id + ":" + orderResultText(o.result);
    }
    return s;
}

TEST(OrderDocument, IsReadOrRefusedWholeWithTheReason) {
    const auto one = [](const std::string& fields) {
        return "{\"zlecenia\":[{\"id\":\"a\"," + fields + "}]}";
    };
    std::string a64;
    for (int i = 0; i < 64; ++i) {
        a64 += "ą";
    }
    const std::string empty = "{\"zlecenia\":[]" + std::string(kOrderDocumentMax - 15, ' ') + "}";
    const std::string bad = "Zlecenie \"a\": ";
    const std::string badId =
        "Zlecenie nr 1: identyfikator \"id\" musi mieć od 1 do 64 znaków drukowalnych";
    const struct {
        std::string json, read;
    } cases[] = {
        {R"({"stacja":"S1","zlecenia":[{"id":"rano","od":"2026-12-07T06:00:00+01:00",)"
         R"("ceny":{"1":"5.49","2":"6,19*","4":""},"opis":"Zmiana poranna"}]})",
         "S1: rano 2026-12-07T06:00:00+01:00 1=5.49 2=6.19* 4= \"Zmiana poranna\""},
        {"\xEF\xBB\xBF{\"x\":1,\"zlecenia\":[{\"id\":\"" + a64 + "\",\"ceny\":{\"5\":\"-.-\"}}]}",
         ": " + a64 + " teraz=2026-12-07T05:00:00Z 5=-.-"},
        {empty, ":"},
        {empty + " ", "dokument ma więcej niż 65536 bajtów"},
        {"{\"zlecenia\":[", "dokument nie jest poprawnym JSON"},
        {"[]", "brak tablicy \"zlecenia\""},
        {R"({"zlecenia":{}})", "brak tablicy \"zlecenia\""},
        {R"({"stacja":1,"zlecenia":[]})", "pole \"stacja\" musi być tekstem"},
        {R"({"zlecenia":[{"id":"a","ceny":{"1":"1"}},7]})",
         "Zlecenie nr 2: zlecenie nie jest obiektem"},
        {R"({"zlecenia":[{"ceny":{"1":"1"}}]})", badId},
        {R"({"zlecenia":[{"id":"","ceny":{"1":"1"}}]})", badId},
        {R"({"zlecenia":[{"id":"a\u0007","ceny":{"1":"1"}}]})", badId},
        {R"({"zlecenia":[{"id":"a\u0085","ceny":{"1":"1"}}]})", badId},
        {"{\"zlecenia\":[{\"id\":\"ą" + a64 + "\",\"ceny\":{\"1\":\"1\"}}]}", badId},
        {R"({"zlecenia":[{"id":"a","ceny":{"1":"1"}},{"id":"a","ceny":{"2":"1"}}]})",
         bad + "identyfikator powtarza się w dokumencie"},
        {one(R"("od":"2025-02-29T06:00+01:00","ceny":{"1":"1"})"),
         bad + "czas \"od\" musi mieć postać 2026-12-07T06:00:00+01:00"},
        {one(R"("od":1796619600,"ceny":{"1":"1"})"),
         bad + "czas \"od\" musi mieć postać 2026-12-07T06:00:00+01:00"},
        {one(R"("opis":"x")"), bad + "brak cen \"ceny\""},
        {one(R"("ceny":{})"), bad + "brak cen \"ceny\""},
        {one(R"("ceny":["1"])"), bad + "brak cen \"ceny\""},
        {one(R"("ceny":{"6":"1"})"), bad + "wiersz cen \"6\" spoza zakresu 1–5"},
        {one(R"("ceny":{"01":"1"})"), bad + "wiersz cen \"01\" spoza zakresu 1–5"},
        {one(R"("ceny":{"123456789":"1"})"), bad + "wiersz cen spoza zakresu 1–5"},
        {one(R"("ceny":{"2":5.49})"), bad + "cena wiersza 2 musi być tekstem"},
        {R"({"zlecenia":[{"id":"rano","ceny":{"1":"1","2":"123456789"}}]})",
         "Zlecenie \"rano\": cena wiersza 2: cena może mieć najwyżej 8 znaków"},
        {one(R"("ceny":{"3":"5€"})"), bad + "cena wiersza 3: cena może zawierać tylko znaki ASCII"},
        {one(R"("ceny":{"1":"1"},"opis":["x"])"), bad + "pole \"opis\" musi być tekstem"},
        {one(R"("ceny":{"1":"1"},"opis":")" + std::string(501, 'x') + "\""),
         bad + "pole \"opis\" może mieć najwyżej 500 znaków"},
        {std::string("\xFF\xFE{\0}\0", 6), "dokument jest zapisany w UTF-16; zapisz go w UTF-8"},
        {std::string("{\0}\0", 4), "dokument jest zapisany w UTF-16; zapisz go w UTF-8"},
        {one(R"("ceny":{"1":"1"},"opis":"Zmiana )" + std::string("\xB3\"")),
         "dokument nie jest zapisany w UTF-8; zapisz go w UTF-8"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.json), c.read) << c.json.substr(0, 120);
    }
}

TEST(OrderTime, EveryOffsetFormIsReadAndWrittenBackAsTheSameMoment) {
    const struct {
        const char* text;
        int64_t utc;
        int offset;
        const char* written;
    } cases[] = {
        {"2026-12-07T06:00:00+01:00", T, 60, "2026-12-07T06:00:00+01:00"},
        {"2026-12-07T06:00+0100", T, 60, "2026-12-07T06:00:00+01:00"},
        {"2026-12-06T23:30:00-05:30", T, -330, "2026-12-06T23:30:00-05:30"},
        {"2026-12-07T05:00:00.250Z", T, 0, "2026-12-07T05:00:00Z"},
        {"2026-12-07T05:00:00.123456789Z", T, 0, "2026-12-07T05:00:00Z"},
        {"2024-02-29T23:59:59-00:00", 1709251199, 0, "2024-02-29T23:59:59Z"},
        {"1969-12-31T23:59:59Z", -1, 0, "1969-12-31T23:59:59Z"},
        {"0000-01-01T00:00Z", -62167219200, 0, "0000-01-01T00:00:00Z"},
        {"9999-12-31T23:59:59+14:00", 253402250399, 840, "9999-12-31T23:59:59+14:00"},
    };
    for (const auto& c : cases) {
        int64_t utc = 0;
        int offset = 0;
        EXPECT_TRUE(parseOrderTime(c.text, &utc, &offset)) << c.text;
        EXPECT_EQ(utc, c.utc) << c.text;
        EXPECT_EQ(offset, c.offset) << c.text;
        EXPECT_EQ(orderTimeText(c.utc, c.offset), c.written);
    }
    for (const char* wrong :
         {"2026-13-01T00:00Z", "2026-04-31T00:00Z", "2025-02-29T00:00Z", "2026-12-07T24:00Z",
          "2026-12-07T06:60Z", "2026-12-07T06:00:60Z", "2026-12-07T06:00", "2026-12-07T06:00+1",
          "2026-12-07T06:00+24:00", "2026-12-07 06:00Z", "2026-12-07T06:00:00.Z",
          "2026-12-07T06:00:00.1234567890Z", "2026-12-07T06:00Zx", "26-12-07T06:00Z", ""}) {
        int64_t utc = 0;
        int offset = 0;
        EXPECT_FALSE(parseOrderTime(wrong, &utc, &offset)) << wrong;
    }
    for (int64_t utc = -62000000000; utc < 253000000000; utc += 999999937) {
        int64_t back = 0;
        int offset = 0;
        const int written = static_cast<int>(utc % 1440);
        EXPECT_TRUE(parseOrderTime(orderTimeText(utc, written), &back, &offset));
        EXPECT_TRUE(back == utc && offset == written) << orderTimeText(utc, written);
    }
}

TEST(OrderBook, TakesOrdersInCarriesThemOutNewestPerRowAndKeepsThemThroughAReload) {
    test::TempDir dir;
    const std::string file = dir.file("ZleceniaCen.json");
    OrderBook book(file);
    std::string why;
    ASSERT_TRUE(book.load(T, &why));
    OrderBook::Taken taken =
        book.accept(orders(R"({"id":"e","od":"2026-12-07T05:59+01:00","ceny":{"2":"1.00"}},
                  {"id":"a","od":"2026-12-07T06:00+01:00","ceny":{"1":"1.11"}},
                  {"id":"b","od":"2026-12-07T06:00+01:00","ceny":{"2":"2.22","5":"5.55*"}},
                  {"id":"c","od":"2026-12-07T07:00+01:00","ceny":{"3":"3.33"}},
                  {"id":"d","od":"2026-12-07T06:00+01:00","ceny":{"4":""}})"),
                    T - 100);
    EXPECT_EQ(taken.added, 5);
    // "a" again while it waits: replaced, and newer now than "b". Ignored: an order due more
    // than 90 days back, one without an id, one whose price could not be written back.
    std::vector<Order> more = orders(R"({"id":"a","od":"2026-12-07T06:00+01:00",
        "ceny":{"1":"1.19","2":"2.29"}}, {"id":"old","od":"2026-09-01T06:00Z","ceny":{"1":"1"}})");
    more.push_back(more[0]);
    more.back().id = "";
    more.push_back(more[0]);
    more.back().id = "f";
    more.back().prices.text[0] = "1,19";
    taken = book.accept(more, T - 50);
    EXPECT_TRUE(taken.added == 0 && taken.replaced == 1 && taken.ignored == 3);
    EXPECT_TRUE(book.cancel("d", T - 10));
    EXPECT_FALSE(book.cancel("d", T) || book.cancel("x", T));
    EXPECT_EQ(book.nextDue(), T - 60);
    EXPECT_TRUE(book.takeDue(T - 61).ids.empty());
    const OrderBook::Batch batch = book.takeDue(T);
    EXPECT_EQ(batch.ids, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(prices(batch.prices), " 1=1.19 2=2.29 5=5.55*");
    EXPECT_TRUE(batch.newestId == "a" && batch.newestSource == OrderSource::Folder);
    EXPECT_EQ(results(book.orders()), "c:OCZEKUJE a:W TOKU d:ANULOWANE b:W TOKU e:POMINIĘTE");
    EXPECT_EQ(book.nextDue(), T + 3600);
    const OrderRow shown[kPriceRows] = {
        {"1.19", "1.19", false}, {"2.29", "2.28", false}, {}, {}, {"5.55", "5.55", true}};
    book.finish(batch.ids, OrderResult::Mismatch, shown, T + 5);
    EXPECT_EQ(book.accept(orders(R"({"id":"a","ceny":{"1":"1"}})"), T + 6).ignored, 1);
    bool found = false;
    const Order a = book.find("a", &found), b = book.find("b", &found);
    EXPECT_TRUE(found && a.result == OrderResult::Mismatch && a.endedAt == T + 5);
    EXPECT_TRUE(a.rows[0] == shown[0] && a.rows[1] == shown[1] && a.rows[4] == OrderRow{});
    // "a", newer, sent row 2: "b" did not.
    EXPECT_TRUE(b.rows[0] == OrderRow{} && b.rows[1] == OrderRow{} && b.rows[4] == shown[4]);
    EXPECT_NE(readFile(file).find(R"("wynik": "NIEZGODNE",
      "koniec": "2026-12-07T06:00:05+01:00",
      "kolejnosc": 6,
      "wynikDoZapisu": true,
      "wiersze": {
        "1": {
          "wysłano": "1.19",)"),
              std::string::npos);

    OrderBook again(file);
    ASSERT_TRUE(again.load(T + 7, &why));
    EXPECT_EQ(again.orders(), book.orders());
    EXPECT_FALSE(book.saveFailed() || again.saveFailed());
    EXPECT_EQ(book.takeDue(T + 3600).ids, std::vector<std::string>{"c"});
    OrderBook third(file);  // "c" was running when the program ended
    ASSERT_TRUE(third.load(T + 4000, &why));
    const Order c = third.find("c", &found);
    EXPECT_TRUE(c.result == OrderResult::NoAnswer && c.endedAt == T + 4000);
    EXPECT_NE(readFile(file).find("BRAK ODPOWIEDZI"), std::string::npos);
    // 91 days on, what ended is dropped.
    const int64_t later = T + 91 * 86400;
    third.accept(orders(R"({"id":"g","od":"2027-03-08T06:00+01:00","ceny":{"1":"1"}})"), later);
    EXPECT_EQ(results(third.orders()), "g:OCZEKUJE");
}

// Per row, a price already carried out stays: a late older order ends "POMINIĘTE" for the
// rows it loses. What ended is handed over once (for its result); an order under an ended
// id, or beyond the book's room, is refused with the reason; a failed save is tried again;
// the book at its fullest, with the longest descriptions, reads back whole.
TEST(OrderBook, KeepsTheNewerPriceRefusesWithTheReasonAndReadsBackWhatItWrote) {
    test::TempDir dir;
    const std::string file = dir.file("ZleceniaCen.json");
    OrderBook book(file);
    std::string why;
    ASSERT_TRUE(book.load(T, &why));
    book.accept(orders(R"({"id":"szosta","od":"2026-12-07T06:00+01:00","ceny":{"1":"5.60"}})"), T);
    const OrderRow rows[kPriceRows];
    book.finish(book.takeDue(T).ids, OrderResult::Confirmed, rows, T + 5);
    book.accept(orders(R"({"id":"piata","od":"2026-12-07T05:00+01:00","ceny":{"1":"5.50"}},
        {"id":"obie","od":"2026-12-07T05:30+01:00","ceny":{"1":"5.55","2":"6.55"}})"),
                T + 60);
    const OrderBook::Batch late = book.takeDue(T + 60);
    EXPECT_EQ(late.ids, std::vector<std::string>{"obie"});
    EXPECT_EQ(prices(late.prices), " 2=6.55");
    EXPECT_EQ(results(book.takeEnded()), "szosta:POTWIERDZONO piata:POMINIĘTE");
    EXPECT_TRUE(book.takeEnded().empty());
    const std::string again = R"({"id":"x","ceny":{"1":"1"}},{"id":"piata","ceny":{"1":"1"}})";
    EXPECT_EQ(book.refusal(orders(again), T + 60),
              "Zlecenie \"piata\": zlecenie o tym identyfikatorze już się zakończyło (POMINIĘTE)");
    EXPECT_EQ(book.refusal(orders(R"({"id":"obie","ceny":{"1":"1"}})"), T + 60),
              "Zlecenie \"obie\": zlecenie o tym identyfikatorze jest w toku");
    // The same ended order asked for again is no refusal (a file read again after a restart);
    // an id the head office holds is not the folder's to change.
    const std::string sixth =
        R"({"id":"szosta","od":"2026-12-07T06:00+01:00","ceny":{"1":"5.60"}})";
    EXPECT_EQ(book.refusal(orders(sixth), T + 60), "");
    const std::string planned = R"({"id":"h","od":"2026-12-07T09:00+01:00","ceny":{"4":"4.40"}})";
    EXPECT_EQ(book.applyPlan(orders(planned), T + 60).added, 1);
    std::vector<Order> taking = orders(planned);
    taking[0].prices.text[3] = "0.01";
    EXPECT_EQ(book.refusal(taking, T + 60),
              "Zlecenie \"h\": zlecenie o tym identyfikatorze pochodzi z innego źródła (CENTRALA)");
    EXPECT_EQ(book.accept(taking, T + 60).ignored, 1);
    bool held = false;
    EXPECT_EQ(book.find("h", &held).prices.text[3], "4.40");
    // An order carried out while the clock was a year ahead holds no later one back.
    std::vector<Order> ahead = orders(R"({"id":"zegar","ceny":{"3":"3.30"}})");
    ahead[0].due = T + 365 * 86400;
    book.accept(ahead, ahead[0].due);
    book.finish(book.takeDue(ahead[0].due).ids, OrderResult::Confirmed, rows, ahead[0].due);
    std::filesystem::create_directory(file + ".tmp");  // the next saves fail
    EXPECT_EQ(
        book.accept(orders(R"({"id":"c","od":"2026-12-08T06:00+01:00","ceny":{"3":"3"}})"), T + 61)
            .added,
        1);
    EXPECT_TRUE(book.saveFailed() && !book.retrySave(T + 62));
    std::filesystem::remove(file + ".tmp");
    EXPECT_TRUE(book.retrySave(T + 63) && !book.saveFailed());
    EXPECT_NE(readFile(file).find(R"("id": "c")"), std::string::npos);
    EXPECT_EQ(book.takeDue(T + 86400).ids, std::vector<std::string>{"c"});

    std::vector<Order> many(kOrderBookMax - book.orders().size(), orders(again)[0]);
    for (size_t i = 0; i < many.size(); ++i) {  // the longest id and description, escaped
        many[i].id = std::string(60, '"') + std::to_string(1000 + i);
        many[i].description = std::string(kOrderDescriptionMax, '\x01');
    }
    EXPECT_EQ(book.accept(many, T + 64).added, static_cast<int>(many.size()));
    EXPECT_EQ(book.refusal(orders(R"({"id":"y","ceny":{"1":"1"}})"), T + 64),
              "brak miejsca na nowe zlecenia: ZleceniaCen.json ma ich 2000, najwięcej 2000");
    EXPECT_EQ(book.accept(orders(R"({"id":"y","ceny":{"1":"1"}})"), T + 64).ignored, 1);
    OrderBook reread(file);
    EXPECT_TRUE(reread.load(T + 65, &why)) << why;
    EXPECT_EQ(reread.orders().size(), kOrderBookMax);
}

TEST(OrderBook, ADamagedFileIsMovedAsideAndTheBookStartsEmpty) {
    test::TempDir dir;
    const std::string file = dir.file("ZleceniaCen.json");
    const auto item = [](const std::string& more) {
        return R"({"id":"x","od":"2026-12-07T06:00+01:00","ceny":{"1":"1"},)" + kBookFields + more +
               "}";
    };
    const struct {
        std::string bytes, why;
    } cases[] = {
        {item(R"(,"zrodlo":"FAKS")"), "Zlecenie \"x\": nieznane źródło \"zrodlo\""},
        {item(R"(,"wynik":"?")"), "Zlecenie \"x\": nieznany wynik \"wynik\""},
        {item(R"(,"kolejnosc":-1)"), "Zlecenie \"x\": brak numeru \"kolejnosc\""},
        {item(R"(,"natychmiast":1)"),
         "Zlecenie \"x\": pole \"natychmiast\" musi mieć wartość true lub false"},
        {item(R"(,"wiersze":{"1":{"wysłano":"1"}})"),
         "Zlecenie \"x\": pole \"wiersze\" jest uszkodzone"},
        {item(R"(,"koniec":"jutro")"),
         "Zlecenie \"x\": czas \"koniec\" musi mieć postać 2026-12-07T06:00:00+01:00"},
        {item("") + "," + item(""), "Zlecenie \"x\": identyfikator powtarza się"},
        {"{", "brak tablicy \"zlecenia\""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string bytes = "{\"zlecenia\":[" + cases[i].bytes + "]}";
        writeFile(file, bytes);
        OrderBook book(file);
        std::string why;
        const std::string aside =
            "ZleceniaCen.json" + (i == 0 ? "" : "-" + std::to_string(i)) + ".uszkodzony";
        EXPECT_FALSE(book.load(T, &why));
        EXPECT_EQ(why, "Plik ZleceniaCen.json jest uszkodzony (" + cases[i].why +
                           "); odłożono go jako " + aside);
        EXPECT_TRUE(book.orders().empty() && !fileExists(file));
        EXPECT_EQ(readFile(dir.file(aside)), bytes);
    }
}

TEST(OrderFolder, TakesInFilesOnceSteadyMovesThemAsideAndWritesResults) {
    test::TempDir dir;
    OrderFolder folder(dir.path());
    ASSERT_TRUE(folder.prepare());
    const std::string in = folder.path() + "/";
    const auto put = [&](const std::string& name, const std::string& bytes, time_t at) {
        writeFile(in + name, bytes);
        const utimbuf times{at, at};
        utime((in + name).c_str(), &times);
    };
    const std::string good =
        R"({"zlecenia":[{"id":"x/y","od":"2026-12-07T06:00+01:00","ceny":{"1":"5.49"}}]})";
    const std::string bad = R"({"zlecenia":[{"id":"x","ceny":{"7":"1"}}]})";
    put("b.JSON", good, 2000);
    put("a.json", bad, 1000);
    put("c.txt", good, 500);
    EXPECT_EQ(folder.pending(), (std::vector<std::string>{"a.json", "b.JSON"}));
    std::vector<Order> taken;
    std::string why;
    using Intake = OrderFolder::Intake;
    EXPECT_EQ(folder.takeIn("b.JSON", 2001, &taken, &why), Intake::Busy);  // new, 1 s old
    writeFile(in + "b.JSON", good + " ");                                  // still written
    EXPECT_EQ(folder.takeIn("b.JSON", 2001, &taken, &why), Intake::Busy);
    EXPECT_EQ(folder.takeIn("b.JSON", 2001, &taken, &why), Intake::Accepted);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(line(taken[0]), "x/y 2026-12-07T06:00:00+01:00 1=5.49");
    EXPECT_TRUE(fileExists(in + "b.JSON"));  // until its orders are kept
    std::filesystem::remove_all(in + "przyjete");
    ASSERT_TRUE(folder.settle("b.JSON"));
    EXPECT_EQ(readFile(in + "przyjete/b.JSON"), good + " ");
    for (const std::string aside : {"a.json", "a-1.json"}) {  // old: taken at the first look
        put("a.json", bad, 1000);
        EXPECT_EQ(folder.takeIn("a.json", 1010, &taken, &why), Intake::Refused);
        EXPECT_EQ(readFile(in + "odrzucone/" + aside), bad);
        EXPECT_EQ(readFile(in + "odrzucone/" + aside + ".txt"),
                  "\xEF\xBB\xBFZlecenie \"x\": wiersz cen \"7\" spoza zakresu 1–5\r\n");
    }
    EXPECT_EQ(folder.takeIn("a.json", 1010, &taken, &why), Intake::Gone);
    EXPECT_TRUE(folder.pending().empty());

    Order order = taken[0];
    order.result = OrderResult::Confirmed;
    order.endedAt = T + 5;
    order.rows[0] = {"5.49", "5.49", true};
    ASSERT_TRUE(folder.writeResult(order));
    EXPECT_EQ(readFile(in + "wyniki/x_y~c2cc6993.json"), R"({
  "id": "x/y",
  "wynik": "POTWIERDZONO",
  "czas": "2026-12-07T06:00:05+01:00",
  "ceny": {
    "1": {
      "wysłano": "5.49",
      "vorda": "5.49",
      "miga": true
    }
  }
}
)");
    EXPECT_EQ(orderResultJson(order, "S1").substr(0, 26), "{\n  \"stacja\": \"S1\",\n  \"id\"");
    // Ids that Windows would take for one file get results of their own.
    for (const char* id : {"Rano", "rano", "Rano"}) {
        order.id = id;
        ASSERT_TRUE(folder.writeResult(order));
    }
    std::vector<std::string> results = filesIn(in + "wyniki");
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results,
              (std::vector<std::string>{"Rano.json", "rano~a89b97db.json", "x_y~c2cc6993.json"}));
    // No name is a device of Windows, nor one that another id's name could be.
    const char* names[][2] = {{"a<>:\"|?*\x01\\.b", "a_________.b~fdef227e"},
                              {"a/b", "a_b~3a8e75c1"},
                              {"a:b", "a_b~08bd8540"},
                              {"a_b", "a_b"},
                              {"rano~1", "rano_1~ca5f878a"},
                              {"con.x", "_con.x~68be4785"},
                              {"COM9", "_COM9~46950445"},
                              {"COM0", "COM0"},
                              {"lpt1", "_lpt1~f32ea75a"},
                              {"COM1 ", "COM1_~b1a9be47"},
                              {"NUL .x", "_NUL .x~5f33b2b6"},
                              {"AUX.", "AUX_~3589f035"},
                              {"CONIN$", "_CONIN$~71f08fb4"},
                              {"conout$.log", "_conout$.log~83c83a1f"},
                              {"com\xC2\xB9", "_com\xC2\xB9~0e857657"},
                              {"ząb", "ząb"}};
    for (const auto& n : names) {
        EXPECT_EQ(orderFileName(n[0]), n[1]);
    }
}

}  // namespace
}  // namespace vorda
