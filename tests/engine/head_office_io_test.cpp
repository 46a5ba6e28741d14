// The head office's platform seams as built natively: the HTTP client against a real server
// on 127.0.0.1, and the settings store on real files.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/central_store.h"
#include "engine/http_client.h"
#include "support/test_support.h"

namespace vorda {
namespace {

TEST(PosixHttpClient, AnswersRefusesLargeBodiesAndPlainRedirectsAndEndsInTime) {
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(4); };
    std::atomic<bool> released{false};
    const int port = server.bind_to_any_port("127.0.0.1");
    using Request = httplib::Request;
    using Response = httplib::Response;
    server.Get("/doc", [](const Request& req, Response& res) {
        res.status = req.get_header_value("If-None-Match") == "\"v1\"" ? 304 : 200;
        res.set_header("ETag", "\"v1\"");
        res.set_content(res.status == 200 ? "{\"zlecenia\":[]}" : "", "application/json");
    });
    server.Get(R"(/bytes/(\d+))", [](const Request& req, Response& res) {
        res.set_content(std::string(std::stoul(req.matches[1]), 'x'), "text/plain");
    });
    server.Get("/chunked", [](const Request&, Response& res) {
        res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
            const std::string part(10000, 'x');
            return offset < 100000 ? sink.write(part.data(), part.size()) : (sink.done(), true);
        });
    });
    const auto redirect = [&](const Request& req, Response& res) {
        res.set_redirect(req.matches[1].str() + "://127.0.0.1:" + std::to_string(port) + "/doc");
    };
    server.Get(R"(/to-(https?))", redirect);
    server.Post(R"(/to-(https?))", redirect);
    server.Get("/slow", [&](const Request&, Response& res) {
        test::waitUntil([&] { return released.load(); }, 20000);
        res.set_content("za późno", "text/plain");
    });
    std::thread thread([&] { server.listen_after_bind(); });
    ASSERT_TRUE(port > 0 && test::waitUntil([&] { return server.is_running(); }));

    const HttpClient client = platformHttpClient();
    const struct {
        const char *url, *ifNoneMatch, *body;  // a body: POST
        int status;
        std::string answer;  // the body, or the error when status is 0
    } cases[] = {
        {"/doc", "", "", 200, "{\"zlecenia\":[]}"},
        {"/doc", "\"v1\"", "", 304, ""},
        {"/brak", "", "", 404, ""},
        {"/bytes/65536", "", "", 200, std::string(kHttpBodyMax, 'x')},
        {"/bytes/65537", "", "", 0, kHttpTooLarge},
        {"/chunked", "", "", 0, kHttpTooLarge},
        {"/to-http", "", "", 0, "przekierowanie pod adres inny niż https:// odrzucone"},
        // Followed: TLS to this plain server fails.
        {"/to-https", "", "", 0, "nie udało się nawiązać bezpiecznego połączenia"},
        // A report is never turned into a GET whose 2xx would look like it arrived.
        {"/to-https", "", "{}", 0, kHttpPostRedirected},
        {"/slow", "", "", 0, "serwer nie odpowiedział w wyznaczonym czasie"},
        {"http://127.0.0.1:1/", "", "", 0, "nie udało się połączyć z serwerem"},
    };
    for (const auto& c : cases) {
        const std::string url =
            (c.url[0] == '/' ? "http://127.0.0.1:" + std::to_string(port) : "") + c.url;
        const HttpRequest request{
            *c.body ? "POST" : "GET", url, {{"If-None-Match", c.ifNoneMatch}}, c.body};
        const HttpResponse r = client.send(client.context, request, 1000);
        EXPECT_EQ(r.status, c.status) << c.url << ": " << r.error;
        EXPECT_EQ(r.status == 0 ? r.error : r.body, c.answer) << c.url;
        EXPECT_EQ(headerValue(r, "ETAG"), std::string(c.url) == "/doc" ? "\"v1\"" : "") << c.url;
    }
    released = true;
    server.stop();
    thread.join();

    // The key follows a redirect only to the same server.
    const std::pair<const char*, bool> redirects[] = {{"https://C.pl:443/b", true},
                                                      {"https://c.pl.evil/a", false},
                                                      {"https://c.pl:8443/a", false}};
    for (const auto& [to, kept] : redirects) {
        const auto headers = redirectHeaders({{"authorization", "Bearer k"}, {"Accept", "*/*"}},
                                             "https://c.pl:443/a?x=/", to);
        EXPECT_EQ(headers.size(), kept ? 2u : 1u) << to;
        EXPECT_EQ(headers.back().first, "Accept") << to;
    }
    EXPECT_EQ(redirectTarget("https://c.pl/a/b?x=/y", "c"), "https://c.pl/a/c");
}

// The status line and headers too end within the time limit: sent a byte at a time, or as
// header lines without end (each case's server would go on for 6 s, then answer).
TEST(PosixHttpClient, SlowOrEndlessHeadersEndInTime) {
    const std::pair<int, std::string> cases[] = {
        {200, "x"}, {1, "X-Naglowek: " + std::string(1000, 'y') + "\r\n"}};
    for (const auto& [pauseMs, piece] : cases) {
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        std::thread server([&, pauseMs = pauseMs, piece = piece] {
            const int peer = accept(listener, nullptr, nullptr);
            const std::string head =
                std::string("HTTP/1.1 200 OK\r\n") + (pauseMs > 1 ? "X-Wolny: " : "");
            bool open = send(peer, head.data(), head.size(), MSG_NOSIGNAL) > 0;
            for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
                 open && std::chrono::steady_clock::now() < end;) {
                open = send(peer, piece.data(), piece.size(), MSG_NOSIGNAL) > 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
            const std::string tail = std::string(pauseMs > 1 ? "\r\n" : "") +
                                     "Content-Length: 2\r\nConnection: close\r\n\r\n{}";
            send(peer, tail.data(), tail.size(), MSG_NOSIGNAL);
            close(peer);
        });
        const HttpClient client = platformHttpClient();
        const auto start = std::chrono::steady_clock::now();
        const HttpResponse r = client.send(
            client.context,
            {"GET", "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", {}, ""},
            1000);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.error, "serwer nie odpowiedział w wyznaczonym czasie") << pauseMs;
        EXPECT_LT(took, std::chrono::milliseconds(4000)) << pauseMs;
        server.join();
        close(listener);
    }
}

TEST(PosixCentralStore, KeepsItsSectionAsTheProfileApiDoesAndTheKeyOutOfSight) {
    test::TempDir dir;
    const std::string path = dir.file("Centrala.ini");
    const CentralStore store = platformCentralStore();
    CentralSettings s{"x", "y", "z", 1, "k"};
    EXPECT_FALSE(store.load(store.context, path, &s));
    EXPECT_EQ(s, CentralSettings{});
    test::writeFile(path,
                    "\xEF\xBB\xBF; Centrala\r\n[Inna]\r\nAdres=nie ta\r\n[ centrala ]\r\n"
                    "  adres = \"https://c.pl/S1.json\" \r\nStacja=Łódź 1\r\nSTACJA=druga\r\n"
                    ";Raport=x\r\nOkres=120s\r\n\r\n[Dalej]\r\nx=1\r\n");
    ASSERT_TRUE(store.load(store.context, path, &s));
    EXPECT_EQ(s, (CentralSettings{"https://c.pl/S1.json", "", "Łódź 1", 120, ""}));
    s.reportUrl = "https://c.pl/wyniki";
    s.protectedKey = store.protect(store.context, "tajny-klucz-123");
    ASSERT_TRUE(store.save(store.context, path, s));
    EXPECT_EQ(
        test::readFile(path),
        "; Centrala\r\n[Inna]\r\nAdres=nie ta\r\n[ centrala ]\r\nAdres=https://c.pl/S1.json\r\n"
        "Stacja=Łódź 1\r\nSTACJA=druga\r\n;Raport=x\r\nOkres=120\r\n"
        "Raport=https://c.pl/wyniki\r\nKlucz=" +
            s.protectedKey + "\r\n\r\n[Dalej]\r\nx=1\r\n");
    CentralSettings back;
    ASSERT_TRUE(store.load(store.context, path, &back));
    EXPECT_EQ(back, s);
    EXPECT_EQ(store.unprotect(store.context, back.protectedKey), "tajny-klucz-123");
    s.station = "S\r\nKlucz=";  // refused whole: the file stays
    EXPECT_FALSE(store.save(store.context, path, s));
    ASSERT_TRUE(store.load(store.context, path, &s));
    EXPECT_EQ(s, back);
    for (const char* other : {"", "!!!!", "bm90IG91cnM="}) {
        EXPECT_EQ(store.unprotect(store.context, other), "") << other;
    }
    const std::pair<const char*, int> periods[] = {
        {"", 300}, {"Okres=abc", 0}, {"Okres=-5", -5}, {"Okres = 99999999999", INT32_MAX}};
    for (const auto& p : periods) {
        test::writeFile(path, std::string("[Centrala]\n") + p.first + "\n");
        EXPECT_TRUE(store.load(store.context, path, &s) && s.periodSeconds == p.second) << p.first;
    }
    EXPECT_EQ(base64Encode(std::string("\xFF\x00\x80\x62", 4)), "/wCAYg==");
}

}  // namespace
}  // namespace vorda
