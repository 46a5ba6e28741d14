// The HTTP seam natively, with cpp-httplib (Debian's libcpp-httplib-dev): one client per
// exchange, redirects followed here (not by the library) so that only "https://" ones are,
// the body counted as it arrives, and the time left of the whole exchange given to each
// step. The library's time limits are per read (a server that sends its status line and
// headers a byte at a time, or header lines without end, would hold the exchange as long as
// it sends): a watch of each exchange stops the client when the time is up. HTTPS works where the
// library was built with OpenSSL (Debian's is), the server's certificate checked against the
// system's authorities.
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/http_client.h"

namespace vorda {

namespace {

using Steady = std::chrono::steady_clock;

std::string lowered(std::string s) {
    for (char& c : s) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    return s;
}

// "scheme://authority" (the scheme in lower case) and the path with its query ("/" when
// none; the fragment dropped). False when the address has no "scheme://".
bool splitUrl(const std::string& url, std::string* origin, std::string* path) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) {
        return false;
    }
    const std::string target = url.substr(0, url.find('#'));
    const size_t start = std::min(target.find_first_of("/?", colon + 3), target.size());
    *origin = lowered(target.substr(0, colon)) + target.substr(colon, start - colon);
    *path = target.substr(start);
    *path = path->empty() || (*path)[0] == '?' ? "/" + *path : *path;
    return true;
}

std::string errorText(httplib::Error error, bool late) {
    using httplib::Error;
    if (late || error == Error::ConnectionTimeout) {
        return "serwer nie odpowiedział w wyznaczonym czasie";
    }
    switch (error) {
        case Error::Connection:
        case Error::BindIPAddress:
            return "nie udało się połączyć z serwerem";
        case Error::SSLConnection:
        case Error::SSLLoadingCerts:
            return "nie udało się nawiązać bezpiecznego połączenia";
        case Error::SSLServerVerification:
            return "certyfikat serwera nie został przyjęty";
        case Error::ExceedRedirectCount:
            return "zbyt wiele przekierowań";
        default:
            return "serwer przerwał połączenie";
    }
}

HttpResponse failure(std::string error) {
    HttpResponse response;
    response.error = std::move(error);
    return response;
}

HttpResponse posixSend(void*, const HttpRequest& request, uint32_t timeoutMs) {
    const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    std::string url = request.url;
    const std::string &method = request.method, &body = request.body;
    std::vector<std::pair<std::string, std::string>> headers = request.headers;
    for (int hop = 0;; ++hop) {
        std::string origin, path;
        if (!splitUrl(url, &origin, &path) ||
            (origin.compare(0, 7, "http://") != 0 && origin.compare(0, 8, "https://") != 0)) {
            return failure("błędny adres");
        }
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
        if (origin.compare(0, 8, "https://") == 0) {
            return failure("HTTPS niedostępne w tej kompilacji");
        }
#endif
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
        if (left.count() <= 0) {
            return failure(errorText(httplib::Error::ConnectionTimeout, true));
        }
        httplib::Client client(origin);
        if (!client.is_valid()) {
            return failure("błędny adres");
        }
        client.set_connection_timeout(left);
        client.set_read_timeout(left);
        client.set_write_timeout(left);
        client.set_follow_location(false);

        HttpResponse response;
        bool tooLarge = false;
        httplib::Request out;
        out.method = method;
        out.path = path;
        out.body = body;
        for (const auto& header : headers) {
            out.headers.emplace(header.first, header.second);
        }
        out.response_handler = [&](const httplib::Response& answer) {
            tooLarge = answer.get_header_value<uint64_t>("Content-Length") > kHttpBodyMax;
            return !tooLarge;
        };
        out.content_receiver = [&](const char* data, size_t size, uint64_t, uint64_t) {
            tooLarge = response.body.size() + size > kHttpBodyMax;
            if (!tooLarge) {
                response.body.append(data, size);
            }
            return !tooLarge;
        };
        out.progress = [&](uint64_t, uint64_t) { return Steady::now() < deadline; };
        std::mutex watchMutex;
        std::condition_variable watchWake;
        bool answered = false;
        std::thread watch([&] {
            std::unique_lock<std::mutex> lock(watchMutex);
            if (!watchWake.wait_until(lock, deadline, [&] { return answered; })) {
                client.stop();  // what is under way fails at once
            }
        });
        const httplib::Result result = client.send(out);
        {
            std::lock_guard<std::mutex> lock(watchMutex);
            answered = true;
        }
        watchWake.notify_all();
        watch.join();
        if (tooLarge) {
            return failure(kHttpTooLarge);
        }
        if (!result) {
            // A read that failed as the time ran out (its wait rounded to milliseconds): late.
            const bool late = Steady::now() + std::chrono::milliseconds(20) >= deadline;
            return failure(errorText(result.error(), late));
        }
        const int status = result->status;
        const std::string location = result->get_header_value("Location");
        if (isRedirect(status) && !location.empty()) {
            if (method != "GET" && redirectAsGet(status, method)) {
                return failure(kHttpPostRedirected);
            }
            const std::string next = redirectTarget(url, location);
            if (lowered(next.substr(0, 8)) != "https://") {
                return failure("przekierowanie pod adres inny niż https:// odrzucone");
            }
            if (hop == kHttpRedirectsMax) {
                return failure(errorText(httplib::Error::ExceedRedirectCount, false));
            }
            headers = redirectHeaders(headers, url, next);
            url = next;
            continue;
        }
        response.status = status;
        for (const auto& header : result->headers) {
            response.headers.emplace_back(header.first, header.second);
        }
        return response;
    }
}

}  // namespace

HttpClient platformHttpClient() {
    HttpClient client;
    client.send = posixSend;
    return client;
}

}  // namespace vorda
