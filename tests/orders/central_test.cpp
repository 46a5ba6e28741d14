// The head office's side of the orders: its plan applied to the order book, the checks of its
// document and settings, the spread of the fetches and the outbox of results, on real files;
// and the head office's thread against a server of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>

#include "controller/head_office.h"
#include "engine/central_store.h"
#include "orders/central.h"
#include "orders/document.h"
#include "orders/order_book.h"
#include "orders/outbox.h"
#include "support/test_support.h"

namespace vorda {
namespace {

constexpr int64_t T = 1796619600;  // 2026-12-07T06:00:00+01:00

// The book, by id: "id RESULT sequence price-of-row-1; ...".
std::string book(const OrderBook& b) {
    std::set<std::string> lines;
    for (const Order& o : b.orders()) {
        lines.insert(o.id + " " + orderResultText(o.result) + " " + std::to_string(o.sequence) +
                     " " + o.prices.text[0] + "; ");
    }
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

TEST(HeadOfficePlan, IsTheStationsCurrentPlanAndTouchesNothingElse) {
    // An order of 2026-12-07 at `hour` (+01:00; "" for none) with row 1's price, and more.
    const auto item = [](std::string id, std::string hour, std::string price, std::string more) {
        return "{\"id\":\"" + id + "\"," +
               (hour.empty() ? "" : "\"od\":\"2026-12-07T" + hour + "+01:00\",") +
               "\"ceny\":{\"1\":\"" + price + "\"}" + more + "},";
    };
    const auto held = [&](std::string id, std::string hour, std::string source, std::string result,
                          int sequence) {
        return item(id, hour, "1",
                    ",\"zrodlo\":\"" + source + "\",\"wynik\":\"" + result + "\",\"kolejnosc\":" +
                        std::to_string(sequence) + (id == "i" ? ",\"natychmiast\":true" : ""));
    };
    const auto plan = [&](std::string id, std::string price) {
        return item(id, "08:00", price, "");
    };
    // Before every plan: a and b wait (from the head office), c is under way, d ended before
    // it, x waits from the folder, i waits with no time of its own ("now").
    const std::string before = held("a", "07:00", "CENTRALA", "OCZEKUJE", 1) +
                               held("b", "07:00", "CENTRALA", "OCZEKUJE", 2) +
                               held("c", "05:59", "CENTRALA", "OCZEKUJE", 3) +
                               held("d", "05:00", "CENTRALA", "POTWIERDZONO", 4) +
                               held("x", "07:00", "FOLDER", "OCZEKUJE", 5) +
                               held("i", "07:00", "CENTRALA", "OCZEKUJE", 6);
    const std::string a = item("a", "07:00", "1", "");
    const struct {
        std::string plan;
        std::vector<int> change;  // added, replaced, cancelled, ignored
        std::string after;
    } cases[] = {
        {a + plan("b", "2") + plan("c", "3") + plan("d", "4") + plan("x", "5") +
             item("i", "", "1", "") + plan("n", "6") +
             R"({"id":"old","od":"2026-09-01T06:00Z","ceny":{"1":"7"}},)",
         {1, 1, 0, 4},
         "a OCZEKUJE 1 1; b OCZEKUJE 7 2; c W TOKU 3 1; d POTWIERDZONO 4 1; i OCZEKUJE 6 1; "
         "n OCZEKUJE 8 6; x OCZEKUJE 5 1; "},
        {"",
         {0, 0, 3, 0},
         "a ANULOWANE 1 1; b ANULOWANE 2 1; c W TOKU 3 1; d POTWIERDZONO 4 1; i ANULOWANE 6 1; "
         "x OCZEKUJE 5 1; "},
        {plan("n", "6") + a + item("i", "07:00", "1", ""),
         {1, 1, 1, 0},
         "a OCZEKUJE 1 1; b ANULOWANE 2 1; c W TOKU 3 1; d POTWIERDZONO 4 1; i OCZEKUJE 8 1; "
         "n OCZEKUJE 7 6; x OCZEKUJE 5 1; "},
    };
    const auto list = [](const std::string& items) {
        return "{\"stacja\":\"S1\",\"zlecenia\":[" +
               items.substr(0, items.size() - !items.empty()) + "]}";
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string file = dir.file("ZleceniaCen.json");
        test::writeFile(file, list(before));
        OrderBook b(file);
        std::string why;
        ASSERT_TRUE(b.load(T, &why)) << why;
        ASSERT_EQ(b.takeDue(T).ids, std::vector<std::string>{"c"});
        OrderDocument doc;
        ASSERT_TRUE(readOrderDocument(list(c.plan), OrderSource::HeadOffice, T + 60, &doc, &why))
            << why;
        const OrderBook::PlanChange change = b.applyPlan(doc.orders, T + 60);
        EXPECT_EQ(book(b), c.after) << c.plan;
        EXPECT_EQ(
            (std::vector<int>{change.added, change.replaced, change.cancelled, change.ignored}),
            c.change);
        OrderBook again(file);  // saved: c, under way when it "ended", comes back unanswered
        ASSERT_TRUE(again.load(T + 61, &why));
        std::string expected = c.after;
        EXPECT_EQ(book(again), expected.replace(expected.find("c W TOKU"), 8, "c BRAK ODPOWIEDZI"));
    }
}

// An order without a time is due "now" at every reading of the plan: the book keeps it, ended,
// as long as the plan holds it (across restarts), so that it is carried out once.
TEST(HeadOfficePlan, AnOrderWithoutATimeIsCarriedOutOnce) {
    test::TempDir dir;
    const std::string file = dir.file("ZleceniaCen.json");
    constexpr int64_t kDay = 86400;
    const auto apply = [&](OrderBook& b, const std::string& items, int64_t now) {
        OrderDocument doc;
        std::string why;
        EXPECT_TRUE(readOrderDocument(R"({"stacja":"S1","zlecenia":[)" + items + "]}",
                                      OrderSource::HeadOffice, now, &doc, &why))
            << why;
        return b.applyPlan(doc.orders, now).added;
    };
    const std::string now = R"({"id":"teraz","ceny":{"1":"5.00"}})";
    const std::string other =
        R"({"id":"inne","od":")" + orderTimeText(T + 95 * kDay, 60) + R"(","ceny":{"2":"6"}})";
    OrderBook b(file);
    EXPECT_EQ(apply(b, now, T), 1);
    ASSERT_EQ(b.takeDue(T).ids, std::vector<std::string>{"teraz"});
    const OrderRow rows[kPriceRows] = {{"5.00", "5.00", false}};
    b.finish({"teraz"}, OrderResult::Confirmed, rows, T + 2);
    EXPECT_EQ(apply(b, now + "," + other, T + 91 * kDay), 1);  // saved 91 days on
    OrderBook again(file);                                     // restarted: read again
    std::string why;
    ASSERT_TRUE(again.load(T + 91 * kDay, &why)) << why;
    EXPECT_EQ(apply(again, now + "," + other, T + 91 * kDay + 60), 0);
    EXPECT_TRUE(again.takeDue(T + 91 * kDay + 60).ids.empty());
    apply(again, other, T + 92 * kDay);  // no longer planned: forgotten as any other
    EXPECT_EQ(book(again), "inne OCZEKUJE 2 ; ");
}

// What a check said: "" accepted, else its reason ("?" when the two disagree).
std::string said(bool accepted, const std::string& why) {
    return accepted == why.empty() ? why : "?";
}

TEST(HeadOfficeChecks, StationAddressesSettingsAndTheFetchSpread) {
    const char* stations[][3] = {{"S1", "S1", ""},
                                 {"s1", "S1", "dokument jest dla stacji \"s1\", a nie \"S1\""},
                                 {"", "S1", "dokument nie podaje stacji \"stacja\""},
                                 {"", "", "nie ustawiono identyfikatora stacji \"Stacja\""}};
    for (const auto& s : stations) {
        std::string why;
        EXPECT_EQ(said(checkPlanDocument(OrderDocument{s[0], {}}, s[1], &why), why), s[2]);
    }
    // Each reason with the addresses that get it.
    const std::string local =
        "http:// tylko do localhost lub 127.x.x.x; inne adresy muszą zaczynać się od https://";
    const std::pair<std::string, std::vector<std::string>> urls[] = {
        {"",
         {"https://centrala.example.pl/stacje/S1.json", "HTTPS://[2001:db8::1]:8443/x?y=1",
          "https://c.pl", "http://LocalHost:8080/x", "http://127.255.0.9:1/",
          "http://[::1]:65535/"}},
        {"brak adresu", {""}},
        {"adres nie może zawierać spacji ani znaków sterujących",
         {"https://a b/", "https://a/\tb", "https://a/\x7f"}},
        {"adres musi zaczynać się od https://", {"ftp://a/", "centrala.example.pl/x"}},
        {"brak nazwy serwera w adresie", {"https:///x", "https://:80/", "https://[::1/"}},
        {"błędna nazwa serwera w adresie", {"https://[zz]/", "https://a]/", "https://[::1]x/"}},
        {"adres nie może zawierać nazwy użytkownika ani hasła",
         {"http://localhost@evil.example/", "https://u:p@a/"}},
        {"błędny numer portu w adresie",
         {"https://a:0/", "https://a:65536/", "https://a:8x/", "https://a:/"}},
        {local,
         {"http://example.pl/", "http://127.0.0.256/", "http://128.0.0.1/", "http://127.0.0/",
          "http://localhost.evil.example/", "http://127.0.0.1.evil.example/"}}};
    for (const auto& [reason, group] : urls) {
        for (const std::string& url : group) {
            std::string why;
            EXPECT_EQ(said(checkCentralUrl(url, &why), why), reason) << url;
        }
    }
    const std::string adres = "https://c.pl/S1.json", period = "Okres: od 1 do 86400 sekund";
    const std::pair<CentralSettings, std::string> settings[] = {
        {{}, ""},
        {{adres, "https://c.pl/wyniki", "S1", 1, ""}, ""},
        {{adres, "", "S1", 86400, ""}, ""},
        {{adres, "", "", 300, ""}, "Stacja: brak identyfikatora stacji"},
        {{adres, "", "S\n1", 300, ""},
         "Stacja: identyfikator nie może zawierać znaków sterujących"},
        {{"http://c.pl/S1.json", "", "S1", 300, ""}, "Adres: " + local},
        {{adres, "c.pl", "S1", 300, ""}, "Raport: adres musi zaczynać się od https://"},
        {{adres, "", "S1", 0, ""}, period},
        {{"", "", "", 86401, ""}, period}};
    for (const auto& [value, reason] : settings) {
        std::string why;
        EXPECT_EQ(said(checkCentralSettings(value, &why), why), reason);
    }
    // The key goes into a header: a line break, a blank or a byte beyond ASCII never does.
    const std::pair<std::string, std::vector<std::string>> keys[] = {
        {"", {"", "Tajny-klucz_1.~+/="}},
        {"Klucz: dozwolone są tylko znaki ASCII, bez spacji i znaków sterujących",
         {"a\r\nX-Inny: 1", "a\nb", "a b", std::string("a\0b", 3), "a\x7f", "klucz\xC4\x85"}}};
    for (const auto& [reason, group] : keys) {
        for (const std::string& key : group) {
            std::string why;
            EXPECT_EQ(said(checkCentralKey(key, &why), why), reason) << key;
        }
    }
    // The period ±10 %, from the smallest random number to the largest; out of range clamped.
    const uint64_t spreads[][4] = {{1, 900, 1000, 1100},
                                   {300, 270000, 300000, 330000},
                                   {0, 900, 1000, 1100},
                                   {100000, 77760000, 86400000, 95040000}};
    for (const auto& s : spreads) {
        const int period = static_cast<int>(s[0]);
        EXPECT_EQ(nextFetchDelayMs(period, 0), s[1]);
        EXPECT_EQ(nextFetchDelayMs(period, 0x80000000u), s[2]);
        EXPECT_EQ(nextFetchDelayMs(period, 0xFFFFFFFFu), s[3]);
    }
}

TEST(Outbox, SendsOldestFirstBacksOffAndLosesOrRepeatsNothingAcrossRestarts) {
    test::TempDir dir;
    const std::string file = dir.file("WynikiDoCentrali.json");
    const std::string body =
        "{\n  \"stacja\": \"S1\",\n  \"id\": \"a\",\n  \"opis\": \"zażółć\"\n}\n";
    Outbox box(file);
    std::string why;
    ASSERT_TRUE(box.load(&why));
    Outbox::Report r;
    EXPECT_TRUE(box.nextAttempt() == INT64_MAX && !box.next(T, &r));
    EXPECT_TRUE(box.add("a", T, T, body) && box.add("b", T, T, "{}"));
    EXPECT_FALSE(box.add("a", T, T, "{\"again\":1}"));  // that ending is queued: not twice
    ASSERT_TRUE(box.size() == 2 && box.next(T, &r));
    EXPECT_TRUE(r.id == "a" && r.body == body && r.attempts == 0);
    int64_t now = T;
    for (int64_t pause : {60, 120, 240, 480, 960, 1920, 3600, 3600}) {
        box.failed("a", now);
        EXPECT_FALSE(box.next(now + pause - 1, &r));  // b waits behind a
        EXPECT_EQ(box.nextAttempt(), now + pause);
        now += pause;
    }
    ASSERT_TRUE(box.next(now, &r));
    EXPECT_TRUE(r.id == "a" && r.attempts == 8 && r.notBefore == now);

    const auto all = [](const Outbox& o, std::string s = "") {
        for (const Outbox::Report& w : o.waiting()) {
            s += w.id + "|" + w.body + "|" + std::to_string(w.attempts) + "|" +
                 std::to_string(w.notBefore) + ";";
        }
        return s;
    };
    Outbox again(file);
    ASSERT_TRUE(again.load(&why));
    EXPECT_EQ(all(again), all(box));
    again.sent("a");
    Outbox third(file);
    ASSERT_TRUE(third.load(&why));
    EXPECT_EQ(all(third), "b|{}|0|0;");
    // Sent, restarted: that ending is never queued again; a later ending of the id is.
    EXPECT_FALSE(third.add("a", T, T, body));
    EXPECT_TRUE(third.add("a", T + 1, T, body));
    EXPECT_FALSE(box.saveFailed() || again.saveFailed() || third.saveFailed());
    // An ending is remembered while the book may keep its order: 90 days (and a day) after
    // the later of its time and its end, a time far ahead included.
    constexpr int64_t kDay = 86400;
    EXPECT_TRUE(third.add("far", T, T + 2 * kDay, "{}"));
    EXPECT_TRUE(third.add("later", T + 92 * kDay, T + 92 * kDay, "{}"));
    EXPECT_FALSE(third.add("far", T, T + 2 * kDay, "{}"));
    EXPECT_TRUE(third.add("last", T + 94 * kDay, T + 94 * kDay, "{}"));
    EXPECT_TRUE(third.add("far", T, T + 2 * kDay, "{}"));  // forgotten, as the book forgot it
    // A pause that began while the clock was a month ahead is over once the clock is right.
    Outbox::Report first;
    ASSERT_TRUE(third.next(T, &first) && first.id == "b");
    third.failed("b", T + 30 * kDay);
    EXPECT_TRUE(third.next(T + 60, &r) && r.id == "b");
    third.failed("b", T + 60);
    EXPECT_FALSE(third.next(T + 60 + 119, &r));

    test::writeFile(file, R"({"wyniki":[{"id":"a","tresc":"{}","proby":-1,"nastepna":0}]})");
    Outbox damaged(file);
    EXPECT_FALSE(damaged.load(&why));
    EXPECT_EQ(why,
              "Plik WynikiDoCentrali.json jest uszkodzony (wynik nr 1 jest uszkodzony); "
              "odłożono go jako WynikiDoCentrali.json.uszkodzony");
    EXPECT_TRUE(damaged.size() == 0 && test::fileExists(file + ".uszkodzony"));
}

// The head office's server: GET answers `document`, POST `postStatus`; while `hold`, each
// request waits. Every request kept.
struct FakeHttp {
    std::mutex mutex;
    std::condition_variable changed;
    std::string document = R"({"stacja":"S1","zlecenia":[]})";
    int postStatus = 204;
    bool hold = false;
    int waiting = 0;
    std::vector<std::pair<std::string, std::string>> requests;  // method, "URL Authorization"

    HttpClient client() { return {this, &FakeHttp::send}; }
    static HttpResponse send(void* context, const HttpRequest& request, uint32_t) {
        auto* self = static_cast<FakeHttp*>(context);
        std::unique_lock<std::mutex> lock(self->mutex);
        std::string key;
        for (const auto& header : request.headers) {
            key = header.first == "Authorization" ? header.second : key;
        }
        self->requests.emplace_back(request.method, request.url + " " + key);
        ++self->waiting;
        self->changed.notify_all();
        self->changed.wait(lock, [&] { return !self->hold; });
        --self->waiting;
        HttpResponse answer;
        answer.status = request.method == "POST" ? self->postStatus : 200;
        answer.body = request.method == "POST" ? "" : self->document;
        return answer;
    }
    void setHold(bool on) {
        std::lock_guard<std::mutex> lock(mutex);
        hold = on;
        changed.notify_all();
    }
    bool waitForOneUnderWay() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return waiting == 1; });
    }
    std::vector<std::string> seen(const std::string& method) {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> out;
        for (const auto& [m, r] : requests) {
            if (m == method) {
                out.push_back(r);
            }
        }
        return out;
    }
};

Order endedOrder(const std::string& id) {
    Order o;
    o.id = id;
    o.due = o.endedAt = T;
    o.source = OrderSource::HeadOffice;
    o.result = OrderResult::Confirmed;
    o.prices.named[0] = true;
    o.prices.text[0] = "5.49";
    return o;
}

// A server for one case, never destroyed: a stopped head office's thread may still be on its
// way into it.
FakeHttp& fakeHttp() {
    static auto* all = new std::deque<FakeHttp>;
    return all->emplace_back();
}

// A stopped head office's thread ends at its next wake (its files written by then).
void letTheThreadEnd() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// Stored settings the check refuses (a plain http:// report address that is not 127.x.x.x, a
// key with a line break) are never used: nothing is fetched or posted, the key in no header,
// until the operator gives settings that pass; the results meanwhile wait.
TEST(HeadOfficeThread, UsesOnlySettingsThatPassTheCheck) {
    const CentralStore store = platformCentralStore();
    const std::string local = "http://127.0.0.1:1";
    const struct {
        std::string key, fault, authorization;  // the fault start() tells; what goes later
    } cases[] = {
        {"tajny-klucz", "Raport: http:// tylko do localhost", "Bearer tajny-klucz"},
        {"klucz\r\nX-Inny: tak",
         "Klucz: dozwolone są tylko znaki ASCII, bez spacji i znaków sterujących", ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir.file(kCentralSettingsName),
                        "[Centrala]\r\nAdres=" + local + "/S1.json\r\nStacja=S1\r\nRaport=" +
                            (c.authorization.empty() ? local : "http://127.1:1") +
                            "/raporty\r\nKlucz=" + store.protect(store.context, c.key) + "\r\n");
        FakeHttp& http = fakeHttp();
        test::FixedClock clock;
        OrderBook book(dir.file("ZleceniaCen.json"));
        {
            HeadOffice office(http.client(), store, dir.path(), clock.clock(), &book, nullptr);
            const std::vector<std::string> faults = office.start();
            ASSERT_EQ(faults.size(), 1u) << c.fault;
            EXPECT_NE(faults[0].find(c.fault), std::string::npos) << faults[0];
            EXPECT_EQ(office.hasKey(), !c.authorization.empty());
            office.orderEnded(endedOrder("a"));
            Order old = endedOrder("stary");  // ended long ago: reported when it came
            old.due = old.endedAt = clock.utc - kOrderKeptSeconds - 1;
            office.orderEnded(old);
            EXPECT_EQ(office.contact().waiting.size(), 1u);
            letTheThreadEnd();
            EXPECT_TRUE(http.seen("GET").empty() && http.seen("POST").empty()) << c.fault;
            CentralSettings good = office.settings();
            good.reportUrl = local + "/raporty";
            std::string why;
            ASSERT_TRUE(office.change(good, nullptr, &why)) << why;
            ASSERT_TRUE(test::waitUntil([&] { return http.seen("POST").size() == 1; }));
            EXPECT_EQ(http.seen("POST")[0], local + "/raporty " + c.authorization);
        }
        letTheThreadEnd();
    }
}

// Stopped (the program closing) while a request is under way: nothing of the platform (its
// clock here) is used once the answer comes, and a result the head office took with a 2xx
// is not posted again at the next start; one it refused still waits.
TEST(HeadOfficeThread, AnAnswerAfterStopUsesNothingAndLosesNoResult) {
    const struct {
        const char* ini;
        int postStatus;
        size_t waiting;  // results in the outbox after the answer
    } cases[] = {{"Adres=http://127.0.0.1:1/S1.json\r\nStacja=S1\r\n", 204, 0},
                 {"Raport=http://127.0.0.1:1/raporty\r\n", 204, 0},
                 {"Raport=http://127.0.0.1:1/raporty\r\n", 500, 1}};
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir.file(kCentralSettingsName), std::string("[Centrala]\r\n") + c.ini);
        FakeHttp& http = fakeHttp();
        http.hold = true;
        http.postStatus = c.postStatus;
        auto clock = std::make_unique<test::FixedClock>();
        OrderBook book(dir.file("ZleceniaCen.json"));
        {
            HeadOffice office(http.client(), platformCentralStore(), dir.path(), clock->clock(),
                              &book, nullptr);
            ASSERT_TRUE(office.start().empty());
            office.orderEnded(endedOrder("a"));
            ASSERT_TRUE(http.waitForOneUnderWay()) << c.ini;
        }
        clock.reset();  // the platform is gone
        http.setHold(false);
        const auto waiting = [&] {
            Outbox box(dir.file(kOutboxName));
            std::string why;
            return box.load(&why) ? box.size() : 99;
        };
        letTheThreadEnd();
        EXPECT_TRUE(test::waitUntil([&] { return waiting() == c.waiting; }))
            << c.ini << c.postStatus;
    }
    // A damaged "nastepna" far ahead is a pause that is over: posted at once, no wait
    // computed from it.
    test::TempDir dir;
    test::writeFile(dir.file(kOutboxName),
                    R"({"wyniki":[{"id":"a","tresc":"{}","proby":3,"nastepna":15600000000}]})");
    test::writeFile(dir.file(kCentralSettingsName),
                    "[Centrala]\r\nRaport=http://127.0.0.1:1/raporty\r\n");
    FakeHttp& http = fakeHttp();
    test::FixedClock clock;
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(http.client(), platformCentralStore(), dir.path(), clock.clock(), &book,
                          nullptr);
        ASSERT_TRUE(office.start().empty());
        EXPECT_TRUE(test::waitUntil([&] { return office.contact().waiting.empty(); }));
    }
    letTheThreadEnd();
}

}  // namespace
}  // namespace vorda
