// The HTTP seam on Windows: WinHTTP, with the system's certificate checks (never switched
// off) and its proxy settings. Redirects are followed here (WinHTTP's own following is
// switched off), and only to https://; a body is read to at most kHttpBodyMax bytes; each
// step gets the time left of the whole exchange.
#include <windows.h>
#include <winhttp.h>

#include <chrono>

#include "engine/http_client.h"
#include "win32/wide.h"

namespace vorda {

namespace {

using Steady = std::chrono::steady_clock;

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

struct InternetHandle {
    HINTERNET h = nullptr;
    explicit InternetHandle(HINTERNET handle) : h(handle) {}
    ~InternetHandle() {
        if (h != nullptr) {
            WinHttpCloseHandle(h);
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

// What a failure is called for the operator.
std::string failureText(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT:
            return "serwer nie odpowiedzia\xC5\x82 w wyznaczonym czasie";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "nieznana nazwa serwera";
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return "nie uda\xC5\x82o si\xC4\x99 po\xC5\x82\xC4\x85"
                   "czy\xC4\x87 z serwerem";
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
            return "certyfikat serwera nie zosta\xC5\x82 przyj\xC4\x99ty";
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
        case ERROR_WINHTTP_INVALID_URL:
            return "b\xC5\x82\xC4\x99"
                   "dny adres";
        default:
            return "b\xC5\x82\xC4\x85"
                   "d po\xC5\x82\xC4\x85"
                   "czenia (kod " +
                   std::to_string(code) + ")";
    }
}

HttpResponse failure(std::string error) {
    HttpResponse r;
    r.error = std::move(error);
    return r;
}

HttpResponse failed(DWORD code) {
    return failure(failureText(code));
}

// "Name: value" lines of the raw headers, after the status line.
void readHeaders(HINTERNET request, HttpResponse* r) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        return;
    }
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             raw.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
        return;
    }
    raw.resize(size / sizeof(wchar_t));
    const std::string text = win::toUtf8(raw);
    size_t at = text.find("\r\n");  // past the status line
    while (at != std::string::npos && at + 2 < text.size()) {
        const size_t end = text.find("\r\n", at + 2);
        const std::string line = text.substr(at + 2, end - at - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const size_t value = line.find_first_not_of(' ', colon + 1);
            r->headers.emplace_back(line.substr(0, colon),
                                    value == std::string::npos ? "" : line.substr(value));
        }
        at = end;
    }
}

// One exchange, no redirect followed.
HttpResponse exchange(HINTERNET session, const std::string& method, const std::string& url,
                      const std::vector<std::pair<std::string, std::string>>& headerList,
                      const std::string& body) {
    const std::wstring wideUrl = win::fromUtf8(url);
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) {
        return failed(GetLastError());
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    InternetHandle connection(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
    if (connection.h == nullptr) {
        return failed(GetLastError());
    }
    InternetHandle handle(WinHttpOpenRequest(
        connection.h, win::fromUtf8(method).c_str(), path.empty() ? L"/" : path.c_str(), nullptr,
        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (handle.h == nullptr) {
        return failed(GetLastError());
    }
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(handle.h, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    std::wstring headers;
    for (const auto& [name, value] : headerList) {
        headers += win::fromUtf8(name + ": " + value + "\r\n");
    }
    if (!headers.empty()) {
        WinHttpAddRequestHeaders(handle.h, headers.c_str(), static_cast<DWORD>(-1),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }
    void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    const DWORD length = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(handle.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length, 0) ||
        !WinHttpReceiveResponse(handle.h, nullptr)) {
        return failed(GetLastError());
    }
    HttpResponse r;
    DWORD status = 0;
    DWORD size = sizeof status;
    WinHttpQueryHeaders(handle.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    readHeaders(handle.h, &r);
    char buffer[8192];
    for (DWORD got = 0;; r.body.append(buffer, got)) {
        if (!WinHttpReadData(handle.h, buffer, sizeof buffer, &got)) {
            return failed(GetLastError());
        }
        if (got == 0) {
            break;
        }
        if (r.body.size() + got > kHttpBodyMax) {
            HttpResponse tooLarge;
            tooLarge.error = kHttpTooLarge;
            return tooLarge;
        }
    }
    r.status = static_cast<int>(status);
    return r;
}

HttpResponse win32Send(void*, const HttpRequest& request, uint32_t timeoutMs) {
    const std::wstring agent = L"VordaCen/" + win::fromUtf8(VORDA_VERSION);
    InternetHandle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (session.h == nullptr) {  // before Windows 8.1: the proxy of WinHTTP's own settings
        session.h = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (session.h == nullptr) {
        return failed(GetLastError());
    }
    const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    std::string url = request.url;
    const std::string &method = request.method, &body = request.body;
    std::vector<std::pair<std::string, std::string>> headers = request.headers;
    for (int hop = 0;; ++hop) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
        if (left.count() <= 0) {
            return failed(ERROR_WINHTTP_TIMEOUT);
        }
        const int ms = static_cast<int>(left.count());
        WinHttpSetTimeouts(session.h, ms, ms, ms, ms);
        HttpResponse r = exchange(session.h, method, url, headers, body);
        const std::string location = headerValue(r, "Location");
        if (!isRedirect(r.status) || location.empty()) {
            return r;
        }
        if (method != "GET" && redirectAsGet(r.status, method)) {
            return failure(kHttpPostRedirected);
        }
        const std::string next = redirectTarget(url, location);
        if (next.size() < 8 || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, next.c_str(), 8,
                                              "https://", 8) != CSTR_EQUAL) {
            return failure("przekierowanie pod adres inny ni\xC5\xBC https:// odrzucone");
        }
        if (hop == kHttpRedirectsMax) {
            return failure("zbyt wiele przekierowa\xC5\x84");
        }
        headers = redirectHeaders(headers, url, next);
        url = next;
    }
}

}  // namespace

HttpClient platformHttpClient() {
    HttpClient c;
    c.send = win32Send;
    return c;
}

}  // namespace vorda
