// Faults of the head office found by attacking it, each shown by a test that fails while the
// fault is there. They are DISABLED_ so that the suite stays green until each is mended; run
// one at a time (some end the test program under the sanitizers):
//   build/native/bin/vorda_native_tests --gtest_also_run_disabled_tests
//       --gtest_filter='HeadOfficeAttack.*NAME*'
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "common/fake_ui.h"
#include "controller/controller.h"
#include "controller/head_office.h"
#include "engine/central_store.h"
#include "engine/http_client.h"
#include "orders/document.h"
#include "orders/order_book.h"
#include "orders/outbox.h"
#include "support/fake_serial.h"
#include "support/test_support.h"

namespace vorda {
namespace {

using Steady = std::chrono::steady_clock;
constexpr int64_t kDay = 86400;

// The head office's server as a table of functions: GET answers `document` (200), POST
// answers `postStatus`; with `hold`, each request waits until release(). Every request kept.
struct FakeHttp {
    std::mutex mutex;
    std::condition_variable changed;
    std::string document;
    int postStatus = 204;
    bool hold = false;
    int waiting = 0;
    std::vector<HttpRequest> requests;

    HttpClient client() { return {this, &FakeHttp::send}; }
    static HttpResponse send(void* context, const HttpRequest& request, uint32_t) {
        auto* self = static_cast<FakeHttp*>(context);
        std::unique_lock<std::mutex> lock(self->mutex);
        self->requests.push_back(request);
        ++self->waiting;
        self->changed.notify_all();
        self->changed.wait(lock, [&] { return !self->hold; });
        --self->waiting;
        HttpResponse answer;
        answer.status = request.method == "POST" ? self->postStatus : 200;
        answer.body = request.method == "POST" ? "" : self->document;
        return answer;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        hold = false;
        changed.notify_all();
    }
    int count(const std::string& method, const std::string& inBody = "") {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const HttpRequest& r : requests) {
            n += r.method == method && r.body.find(inBody) != std::string::npos;
        }
        return n;
    }
};

void writeCentralIni(const test::TempDir& dir, const std::string& lines) {
    test::writeFile(dir.file(kCentralSettingsName), "[Centrala]\r\n" + lines);
}

// An ended head-office order, as the controller hands it to orderEnded.
Order endedOrder(const std::string& id, int64_t at) {
    Order o;
    o.id = id;
    o.due = at;
    o.endedAt = at;
    o.offsetMinutes = 60;
    o.source = OrderSource::HeadOffice;
    o.result = OrderResult::Confirmed;
    o.prices.named[0] = true;
    o.prices.text[0] = "5.49";
    return o;
}

// The thread of a stopped head office ends at its next wake; the fakes it holds outlive it.
void letTheThreadEnd() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// Settings that start() refuses ("Raport": plain http:// to an address that is not
// 127.x.x.x as the check reads it) are refused for the operator, yet the thread posts the
// results there, with the access key, in clear.
TEST(HeadOfficeAttack, DISABLED_ARefusedReportAddressIsNeverUsed) {
    httplib::Server server;
    std::mutex mutex;
    std::vector<std::string> seen;  // the Authorization of each report taken
    server.Post("/raporty", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(req.get_header_value("Authorization"));
        res.status = 204;
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    ASSERT_TRUE(port > 0 && test::waitUntil([&] { return server.is_running(); }));

    test::TempDir dir;
    const CentralStore store = platformCentralStore();
    writeCentralIni(dir, "Raport=http://127.1:" + std::to_string(port) + "/raporty\r\nKlucz=" +
                             store.protect(store.context, "tajny-klucz") + "\r\n");
    test::FixedClock clock;
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(platformHttpClient(), store, dir.path(), clock.clock(), &book, nullptr);
        const std::vector<std::string> faults = office.start();
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_NE(faults[0].find("Raport: http:// tylko do localhost"), std::string::npos);
        office.orderEnded(endedOrder("a", clock.utc));
        const bool posted = test::waitUntil(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                return !seen.empty();
            },
            3000);
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_FALSE(posted) << "the result went to the refused address with \"" << seen[0] << "\"";
    }
    letTheThreadEnd();
    server.stop();
    thread.join();
}

// A POST answered 301/302/303 goes on as a GET without the body; a 2xx to that GET is taken
// as the head office having the result: it leaves the outbox and never reaches anyone.
// (An https server on 127.0.0.1 with a certificate made for the test, trusted through
// SSL_CERT_FILE.)
TEST(HeadOfficeAttack, DISABLED_AReportRedirectedAsAGetIsNotTakenAsSent) {
    test::TempDir dir;
    const std::string cert = dir.file("cert.pem"), key = dir.file("key.pem");
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "
        "/CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + cert + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        GTEST_SKIP() << "no openssl to make a certificate";
    }
    httplib::SSLServer server(cert.c_str(), key.c_str());
    std::mutex mutex;
    std::vector<std::string> bodies;  // the reports that arrived
    server.Post("/raporty", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/raporty/", 301);  // the common "add the slash" of a web server
    });
    server.Post("/raporty/", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex);
        bodies.push_back(req.body);
        res.status = 204;
    });
    server.Get("/raporty/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html>raporty</html>", "text/html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    ASSERT_TRUE(port > 0 && test::waitUntil([&] { return server.is_running(); }));
    setenv("SSL_CERT_FILE", cert.c_str(), 1);

    writeCentralIni(dir, "Raport=https://127.0.0.1:" + std::to_string(port) + "/raporty\r\n");
    test::FixedClock clock;
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(platformHttpClient(), platformCentralStore(), dir.path(), clock.clock(),
                          &book, nullptr);
        ASSERT_TRUE(office.start().empty());
        office.orderEnded(endedOrder("a", clock.utc));
        ASSERT_TRUE(test::waitUntil([&] {
            const HeadOfficeContact c = office.contact();
            return c.waiting.empty() || !c.reportFault.empty();
        }));
        const HeadOfficeContact c = office.contact();
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_TRUE(!c.waiting.empty() || bodies.size() == 1)
            << "the outbox let the result go (\"" << c.reportFault << "\"), the server got "
            << bodies.size() << " reports";
    }
    letTheThreadEnd();
    unsetenv("SSL_CERT_FILE");
    server.stop();
    thread.join();
}

// The access key goes into a header as it is: a key with a line break (one pasted with
// its line end, or on purpose) is taken by change() and adds headers of its own to every
// request.
TEST(HeadOfficeAttack, DISABLED_AKeyCannotAddHeadersOfItsOwn) {
    httplib::Server server;
    std::atomic<int> injected{0}, fetches{0};
    server.Get("/S1.json", [&](const httplib::Request& req, httplib::Response& res) {
        injected += req.has_header("X-Wstrzykniety");
        ++fetches;
        res.set_content(R"({"stacja":"S1","zlecenia":[]})", "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    ASSERT_TRUE(port > 0 && test::waitUntil([&] { return server.is_running(); }));

    test::TempDir dir;
    test::FixedClock clock;
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(platformHttpClient(), platformCentralStore(), dir.path(), clock.clock(),
                          &book, nullptr);
        ASSERT_TRUE(office.start().empty());
        CentralSettings s{"http://127.0.0.1:" + std::to_string(port) + "/S1.json", "", "S1", 3600,
                          ""};
        const std::string key = "klucz\r\nX-Wstrzykniety: tak";
        std::string why;
        const bool taken = office.change(s, &key, &why);
        if (taken) {
            ASSERT_TRUE(test::waitUntil([&] { return fetches > 0; }));
        }
        EXPECT_TRUE(!taken && injected == 0)
            << "change() took the key; requests that carried its header: " << injected;
    }
    letTheThreadEnd();
    server.stop();
    thread.join();
}

// An order that ended at least a day before its time stays in the book for 90 days after its
// time, but the outbox forgets that it queued its result 91 days after its end: the next
// ending of another order then queues (and posts) the first one's result once more, and again
// at every ending after that.
TEST(HeadOfficeAttack, DISABLED_AResultIsReportedOnceEvenMonthsAfterItsEnd) {
    test::TempDir dir;
    test::FixedClock clock;
    test::FakeSerial serial;
    test::FakeUi ui;
    FakeHttp http;
    std::atomic<uint64_t> steadyNow{0};
    const int64_t t0 = clock.utc;
    http.document =
        R"({"stacja":"S1","zlecenia":[{"id":"o1","od":")" + orderTimeText(t0 + 2 * kDay, 60) +
        R"(","ceny":{"1":"5.00"}},{"id":"o2","od":")" + orderTimeText(t0 + 100 * kDay, 60) +
        R"(","ceny":{"1":"5.10"}},{"id":"o3","od":")" + orderTimeText(t0 + 100 * kDay, 60) +
        R"(","ceny":{"1":"5.20"}}]})";
    writeCentralIni(dir,
                    "Adres=http://127.0.0.1:1/S1.json\r\nRaport=http://127.0.0.1:1/raporty\r\n"
                    "Stacja=S1\r\nOkres=86400\r\n");
    SteadyClock steady{&steadyNow,
                       [](void* now) { return static_cast<std::atomic<uint64_t>*>(now)->load(); }};
    {
        Controller controller(Platform{serial.driver(), ui.seam(), ui.panel(), clock.clock(),
                                       dir.path(), steady, FolderWatchDriver{}, http.client(),
                                       platformCentralStore()});
        controller.startPanel("Dec  5 2026");
        ASSERT_TRUE(ui.waitUntil([&] { return controller.orders().size() == 3; }));
        // The head office's plan for the day after tomorrow is called off at the station.
        ASSERT_TRUE(controller.cancelOrder("o1"));
        ASSERT_TRUE(ui.waitUntil([&] { return http.count("POST", "\"o1\"") == 1; }));
        clock.utc += 91 * kDay + kDay / 2;
        for (const char* later : {"o2", "o3"}) {  // any later ending of a head-office order
            ASSERT_TRUE(controller.cancelOrder(later));
            ASSERT_TRUE(ui.waitUntil([&] { return http.count("POST", later) == 1; }));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(http.count("POST", "\"o1\""), 1)
            << "o1's result was posted again at each later ending";
    }
    letTheThreadEnd();
}

// An order without "od" is due "now" at every reading of the document, so the 90 days after
// which an order's time is too old never come for it: once the book has dropped it (90 days
// after it was carried out), the same unchanged document carries it out again.
TEST(HeadOfficeAttack, DISABLED_AnImmediateOrderIsNeverCarriedOutTwice) {
    test::TempDir dir;
    OrderBook book(dir.file("ZleceniaCen.json"));
    std::string why;
    ASSERT_TRUE(book.load(0, &why));
    const int64_t t0 = 1796536800;
    const auto apply = [&](const std::string& more, int64_t now) {
        OrderDocument doc;
        EXPECT_TRUE(readOrderDocument(
            R"({"stacja":"S1","zlecenia":[{"id":"teraz","ceny":{"1":"5.00"}})" + more + "]}",
            OrderSource::HeadOffice, now, &doc, &why))
            << why;
        return book.applyPlan(doc.orders, now);
    };
    EXPECT_EQ(apply("", t0).added, 1);
    ASSERT_EQ(book.takeDue(t0).ids, std::vector<std::string>{"teraz"});
    const OrderRow rows[kPriceRows] = {{"5.00", "5.00", false}};
    book.finish({"teraz"}, OrderResult::Confirmed, rows, t0 + 2);
    // 91 days on: the head office adds an order beside it (any change saves the book).
    const std::string other =
        R"(,{"id":"inne","od":")" + orderTimeText(t0 + 95 * kDay, 60) + R"(","ceny":{"2":"6"}})";
    EXPECT_EQ(apply(other, t0 + 91 * kDay).added, 1);
    // The station restarts (no ETag kept): the same document again.
    apply(other, t0 + 91 * kDay + 60);
    EXPECT_TRUE(book.takeDue(t0 + 91 * kDay + 60).ids.empty())
        << "\"teraz\", carried out 91 days ago, is carried out again";
}

// A result whose post got a 2xx just after stop() (the program closing) is not marked sent:
// the next start posts it again.
TEST(HeadOfficeAttack, DISABLED_AResultTheHeadOfficeTookIsNotPostedAgain) {
    test::TempDir dir;
    test::FixedClock clock;
    FakeHttp http;
    http.hold = true;
    writeCentralIni(dir, "Raport=http://127.0.0.1:1/raporty\r\n");
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(http.client(), platformCentralStore(), dir.path(), clock.clock(), &book,
                          nullptr);
        ASSERT_TRUE(office.start().empty());
        office.orderEnded(endedOrder("a", clock.utc));
        std::unique_lock<std::mutex> lock(http.mutex);
        ASSERT_TRUE(http.changed.wait_for(lock, std::chrono::seconds(5),
                                          [&] { return http.waiting == 1; }));
    }                // closed while the post is under way
    http.release();  // the head office took it: 204
    letTheThreadEnd();
    {
        HeadOffice office(http.client(), platformCentralStore(), dir.path(), clock.clock(), &book,
                          nullptr);
        ASSERT_TRUE(office.start().empty());
        test::waitUntil([&] { return http.count("POST") > 1; }, 1000);
        EXPECT_EQ(http.count("POST"), 1) << "the result the head office took went again";
    }
    letTheThreadEnd();
}

// A pause is kept as a wall-clock time: a post that failed while the clock was ahead (a month
// here) keeps every result waiting, across restarts, until the clock reaches that time again,
// although no pause is longer than an hour.
TEST(HeadOfficeAttack, DISABLED_NoPauseOutlastsAnHourWhenTheClockGoesBack) {
    test::TempDir dir;
    Outbox box(dir.file(kOutboxName));
    std::string why;
    ASSERT_TRUE(box.load(&why));
    const int64_t t0 = 1796536800;
    ASSERT_TRUE(box.add("a", t0, t0, "{}"));
    box.failed("a", t0 + 30 * kDay);  // the clock was a month ahead
    Outbox::Report r;                 // set right again
    EXPECT_TRUE(box.next(t0 + 60 + kOutboxLongestPause, &r))
        << "waits until " << box.nextAttempt() - t0 << " s from now";
}

// A damaged "nastepna" (far in the future, which the outbox reads without a bound) makes the
// thread's wait overflow: UndefinedBehaviorSanitizer ends the program ("signed integer
// overflow" in <chrono>); without it the wait lies in the past and the thread spins.
TEST(HeadOfficeAttack, DISABLED_AFarNextAttemptNeitherOverflowsNorSpins) {
    test::TempDir dir;
    test::writeFile(dir.file(kOutboxName),
                    R"({"wyniki":[{"id":"a","tresc":"{}","proby":3,"nastepna":15600000000}],)"
                    R"("zgloszone":[]})");
    writeCentralIni(dir, "Raport=http://127.0.0.1:1/raporty\r\n");
    struct Counted {
        std::atomic<int64_t> reads{0};
    } counted;
    Clock clock;
    clock.context = &counted;
    clock.utcSeconds = [](void* c) {
        ++static_cast<Counted*>(c)->reads;
        return int64_t{1796536800};
    };
    FakeHttp http;
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(http.client(), platformCentralStore(), dir.path(), clock, &book, nullptr);
        ASSERT_TRUE(office.start().empty());
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_LT(counted.reads.load(), 100) << "the head office's thread spins";
    }
    letTheThreadEnd();
}

// A fetch under way when the head office is stopped reads the platform's clock once its
// answer comes, before it looks whether it was stopped: a clock with a context of its own
// (the tests' FixedClock) is then read after it is gone (AddressSanitizer: use after free).
TEST(HeadOfficeAttack, DISABLED_NothingOfThePlatformIsUsedAfterStop) {
    test::TempDir dir;
    auto clock = std::make_unique<test::FixedClock>();
    FakeHttp http;
    http.hold = true;
    http.document = R"({"stacja":"S1","zlecenia":[]})";
    writeCentralIni(dir, "Adres=http://127.0.0.1:1/S1.json\r\nStacja=S1\r\n");
    OrderBook book(dir.file("ZleceniaCen.json"));
    {
        HeadOffice office(http.client(), platformCentralStore(), dir.path(), clock->clock(), &book,
                          nullptr);
        ASSERT_TRUE(office.start().empty());
        std::unique_lock<std::mutex> lock(http.mutex);
        ASSERT_TRUE(http.changed.wait_for(lock, std::chrono::seconds(5),
                                          [&] { return http.waiting == 1; }));
    }
    clock.reset();  // the controller and its platform are gone
    http.release();
    letTheThreadEnd();
}

// The native client bounds the body by size and time, but not the status line and headers:
// a server that sends its headers slowly, or a stream of header lines, holds the exchange
// for as long as it keeps sending (6 s here for a limit of 1 s), the lines piling up in
// memory meanwhile.
TEST(HeadOfficeAttack, DISABLED_SlowOrEndlessHeadersEndWithinTheTimeLimit) {
    const struct {
        const char* name;
        int pauseMs;  // between the pieces the server sends
        std::string piece;
    } cases[] = {{"slow", 200, "x"},
                 {"endless", 1, "X-Naglowek: " + std::string(1000, 'y') + "\r\n"}};
    for (const auto& c : cases) {
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        std::thread server([&] {  // 6 s of headers, then a whole answer
            const int peer = accept(listener, nullptr, nullptr);
            const std::string head =
                std::string("HTTP/1.1 200 OK\r\n") + (c.piece == "x" ? "X-Wolny: " : "");
            bool open = send(peer, head.data(), head.size(), MSG_NOSIGNAL) > 0;
            for (const auto end = Steady::now() + std::chrono::seconds(6);
                 open && Steady::now() < end;) {
                open = send(peer, c.piece.data(), c.piece.size(), MSG_NOSIGNAL) > 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
            }
            const std::string tail = std::string(c.piece == "x" ? "\r\n" : "") +
                                     "Content-Length: 2\r\nConnection: close\r\n\r\n{}";
            send(peer, tail.data(), tail.size(), MSG_NOSIGNAL);
            close(peer);
        });
        const HttpClient client = platformHttpClient();
        const HttpRequest request{
            "GET", "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", {}, ""};
        const Steady::time_point start = Steady::now();
        const HttpResponse r = client.send(client.context, request, 1000);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
        EXPECT_LT(took, 2500) << c.name << ": a 1 s exchange took " << took << " ms ("
                              << (r.status == 0 ? r.error : "answered") << ")";
        server.join();
        close(listener);
    }
}

}  // namespace
}  // namespace vorda
