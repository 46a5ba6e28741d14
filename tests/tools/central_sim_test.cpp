// The stand-in head office, started as a process and asked over real HTTP as a station asks
// it: what each fetch and report gets, each fault's answer, and what it records.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "central_process.h"
#include "support/test_support.h"

namespace vorda::test {
namespace {

const std::string kReport = R"({"stacja": "S-1", "id": "rano", "wynik": "POTWIERDZONO"})";

// A request ("GET PATH", "POST PATH" with kReport or "POST PATH BODY"), a header ("ETAG" and
// "LASTMOD" stand for the last answer's) and what comes back: the status (0: the connection closed
// without one) and the body ("doc": the station's document as its file holds it, "garbage": no
// JSON, "huge": JSON of more than 64 KB, otherwise the text it starts with).
struct Exchange {
    std::string request, header;
    int status;
    std::string body;
};

TEST(CentralSimTest, AnswersFetchesAndReportsAsAHeadOfficeAndEachFaultAsItSays) {
    const std::string doc = R"({"stacja": "S-1", "zlecenia": []})";
    const struct {
        std::vector<std::string> options;
        std::vector<Exchange> exchanges;
    } cases[] = {
        {{},
         {{"GET /stacje/S-1.json", "", 200, "doc"},
          {"GET /stacje/S-1.json", "If-None-Match: ETAG", 304, ""},
          {"GET /stacje/S-1.json", "If-Modified-Since: LASTMOD", 304, ""},
          {"GET /stacje/S-2.json", "", 404, ""},
          {"POST /raporty", "", 204, ""},
          {"POST /raporty/wyniki", "", 204, ""},
          {"POST /raporty nie-json", "", 400, ""},
          {"POST /inne", "", 404, ""}}},
        {{"--status", "503", "--faults-on", "post"},
         {{"GET /stacje/S-1.json", "", 200, "doc"}, {"POST /raporty", "", 503, "503"}}},
        {{"--drop"}, {{"GET /stacje/S-1.json", "", 0, ""}}},
        {{"--garbage"}, {{"GET /stacje/S-1.json", "", 200, "garbage"}}},
        {{"--huge", "--faults-on", "get"},
         {{"GET /stacje/S-1.json", "", 200, "huge"}, {"POST /raporty", "", 204, ""}}},
    };
    TempDir root;
    mkdir(root.file("stacje").c_str(), 0755);
    writeFile(root.file("stacje/S-1.json"), doc);
    for (const auto& c : cases) {
        centralsim::Process sim(CENTRAL_SIM_PATH, root.path(), c.options);
        ASSERT_NE(sim.port(), 0);
        httplib::Client client("127.0.0.1", sim.port());
        std::string etag, lastModified;
        std::vector<std::string> statuses;
        for (const Exchange& e : c.exchanges) {
            const size_t space = e.request.find(' '), body = e.request.find(' ', space + 1);
            const std::string path = e.request.substr(space + 1, body - space - 1);
            httplib::Headers headers;
            if (!e.header.empty()) {
                const size_t colon = e.header.find(": ");
                const std::string v = e.header.substr(colon + 2);
                headers.emplace(e.header.substr(0, colon), v == "ETAG"      ? etag
                                                           : v == "LASTMOD" ? lastModified
                                                                            : v);
            }
            const httplib::Result r =
                e.request[0] == 'G'
                    ? client.Get(path.c_str(), headers)
                    : client.Post(path.c_str(), headers,
                                  body == std::string::npos ? kReport : e.request.substr(body + 1),
                                  "application/json");
            SCOPED_TRACE(e.request + " " + e.header);
            statuses.push_back(e.request.substr(0, space) +
                               (e.header.rfind("If-None-Match", 0) == 0 ? " inm " : " ") +
                               (e.status == 0 ? "drop" : std::to_string(e.status)));
            ASSERT_EQ(r ? r->status : 0, e.status);
            if (!r)
                continue;
            if (r->has_header("ETag")) {
                etag = r->get_header_value("ETag");
                lastModified = r->get_header_value("Last-Modified");
                EXPECT_EQ(etag.size(), 18u);
                EXPECT_NE(lastModified.find(" GMT"), std::string::npos);
            }
            if (e.body == "doc")
                EXPECT_EQ(r->body, readFile(root.file("stacje/S-1.json")));
            else if (e.body == "garbage" || e.body == "huge")
                EXPECT_EQ(nlohmann::json::accept(r->body), e.body == "huge");
            else
                EXPECT_EQ(r->body.substr(0, e.body.size()), e.body);
            EXPECT_EQ(r->body.size() > 65536, e.body == "huge");
        }
        // The transcript has every request with the status answered, in their order.
        std::vector<std::string> logged;
        for (const centralsim::Request& t : sim.transcript())
            logged.push_back(t.method + (t.ifNoneMatch ? " inm " : " ") + t.status);
        EXPECT_EQ(logged, statuses);
    }
    {
        centralsim::Process sim(CENTRAL_SIM_PATH, root.path(), {"--slow", "300"});
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(httplib::Client("127.0.0.1", sim.port()).Get("/stacje/S-1.json")->status, 200);
        EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
        // Every report taken, in one line each; a duplicate (also across a restart) marked.
        const std::vector<centralsim::Report> reports = sim.reports();
        ASSERT_EQ(reports.size(), 4u);
        const char* const marks[] = {"new", "duplicate", "refused", "duplicate"};
        for (size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i].mark, marks[i]);
            EXPECT_FALSE(reports[i].authorization);
            EXPECT_EQ(reports[i].body, i == 2 ? "nie-json" : kReport);
        }
        EXPECT_EQ(reports[1].path, "/raporty/wyniki");
        EXPECT_EQ(reports[0].station + "/" + reports[0].id, "S-1/rano");
        EXPECT_EQ(reports[0].received.size(), std::string("2026-12-07T05:00:04.212Z").size());
    }
}

}  // namespace
}  // namespace vorda::test
