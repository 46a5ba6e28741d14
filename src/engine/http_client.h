// The HTTP seam: one request sent, its answer returned, as a table of functions. One
// implementation per platform (WinHTTP in the program; cpp-httplib natively, where the tests
// talk to a server of their own on 127.0.0.1); tests may supply their own table.
//
// The caller (the controller, on a thread of its own: a call waits for the answer) checks the
// address first (orders/central.h). Every implementation keeps this contract:
// - the answer's body is read up to kHttpBodyMax bytes; a larger one is refused: status 0,
//   error kHttpTooLarge;
// - a redirect is followed only to an "https://" address, at most kHttpRedirectsMax times
//   ("Authorization" goes only to the same server); 303 after a GET goes on as a GET, but a
//   POST is never turned into a GET (its body would be lost while a 2xx to the GET looked
//   like it arrived): a 303, 301 or 302 after a POST is refused, kHttpPostRedirected; any
//   other redirect is refused: status 0 and the reason;
// - the whole exchange, redirects included, ends within `timeoutMs`: status 0 and the
//   reason when it has not;
// - any other status (304, 404, 500, ...) comes back as it is, with its headers and body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorda {

constexpr size_t kHttpBodyMax = 65536;
constexpr int kHttpRedirectsMax = 5;
constexpr char kHttpTooLarge[] = "odpowiedź większa niż 64 KB";
constexpr char kHttpPostRedirected[] = "przekierowanie zamieniające POST w GET odrzucone";

struct HttpRequest {
    std::string method;  // "GET", "POST"
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct HttpResponse {
    int status = 0;  // 0: no answer, see error
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string error;  // in Polish words, when status is 0 or the answer was refused
};

struct HttpClient {
    void* context = nullptr;
    // Sends the request and waits for its answer (at most `timeoutMs`). From any thread,
    // several at a time.
    HttpResponse (*send)(void* context, const HttpRequest& request, uint32_t timeoutMs) = nullptr;
};

// The client of the platform this was built for.
HttpClient platformHttpClient();

// The value of the answer's first header called `name` (in any case); "" when none is.
std::string headerValue(const HttpResponse& response, const std::string& name);

// Where a redirect's Location leads from `url` (an absolute, "//host", "/path" or relative
// reference). Both implementations follow redirects through this and the rules below.
std::string redirectTarget(const std::string& url, const std::string& location);
// Whether the status is a redirect to follow (3xx other than 304).
bool isRedirect(int status);
// The request's headers for a redirect from `from` to `to`: "Authorization" kept only while
// the scheme, server and port stay the same (the key never goes to another server).
std::vector<std::pair<std::string, std::string>> redirectHeaders(
    const std::vector<std::pair<std::string, std::string>>& headers, const std::string& from,
    const std::string& to);
// Whether a redirect would go on as a GET without the body: 303, and 301 and 302 after a
// POST (refused after a POST, see above).
bool redirectAsGet(int status, const std::string& method);

}  // namespace vorda
