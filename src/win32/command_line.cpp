#include "win32/command_line.h"

#include <shellapi.h>

#include "win32/main_window.h"
#include "win32/session.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

constexpr DWORD kResultSendMs = 5000;
constexpr DWORD kStartingProgramMs = 5000;

// Writes the lines, each ended with CR LF, to the standard output this process was given,
// or else to the console of the process that started it (a program of the Windows
// subsystem has none of its own): to a console as characters, elsewhere in the console's
// code page.
void print(const std::string& utf8) {
    std::wstring text;
    for (wchar_t c : fromUtf8(utf8 + "\n")) {
        text += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    }
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool given =
        out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (!given && attached) {
        out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    } else if (!given) {
        return;
    }
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) {
        codePage = GetOEMCP();
    }
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The result as the caller's window receives it.
struct Reply {
    HWND from = nullptr;
    bool arrived = false;
    int code = static_cast<int>(OrderExit::NoAnswer);
    std::string lines;
};

LRESULT CALLBACK replyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* reply = reinterpret_cast<Reply*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (reply == nullptr || reinterpret_cast<HWND>(wParam) != reply->from ||
        data->dwData < kPriceResultTag ||
        data->dwData > kPriceResultTag + static_cast<ULONG_PTR>(OrderExit::Refused)) {
        return FALSE;
    }
    reply->code = static_cast<int>(data->dwData - kPriceResultTag);
    reply->lines.assign(static_cast<const char*>(data->lpData), data->cbData);
    reply->arrived = true;
    return TRUE;
}

int exitWith(OrderExit code, const std::string& lines) {
    print(lines);
    return static_cast<int>(code);
}

// Hands the arguments to the running program and waits for its result.
int sendOrder(const std::vector<std::string>& arguments) {
    // A program that holds the mutex but is still making its window gets a few seconds.
    HWND program = findRunningProgram(kStartingProgramMs);
    if (program == nullptr) {
        return exitWith(OrderExit::NotRunning, kOrderNotRunning);
    }
    const ULONGLONG deadline = GetTickCount64() + kOrderWaitMs;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = replyProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"VordaCenOrderReply";
    RegisterClassW(&wc);
    Reply reply;
    reply.from = program;
    HWND own = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               instance, nullptr);
    SetWindowLongPtrW(own, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&reply));
    DWORD processId = 0;
    GetWindowThreadProcessId(program, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);

    std::string payload;
    for (const std::string& a : arguments) {
        payload += (payload.empty() ? "" : "\n") + a;
    }
    COPYDATASTRUCT data = {kPriceOrderTag, static_cast<DWORD>(payload.size()), payload.data()};
    DWORD_PTR taken = FALSE;
    int code = -1;
    if (!SendMessageTimeoutW(program, WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                             reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kOrderWaitMs,
                             &taken)) {
        code = exitWith(OrderExit::NoAnswer, kOrderTimedOut);
    } else if (taken != TRUE) {
        code = exitWith(OrderExit::NotRunning, kOrderNotRunning);
    }
    while (code < 0) {
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageW(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (reply.arrived) {
            code = exitWith(static_cast<OrderExit>(reply.code), reply.lines);
        } else if (now >= deadline) {
            code = exitWith(OrderExit::NoAnswer, kOrderTimedOut);
        } else if (MsgWaitForMultipleObjects(process != nullptr ? 1 : 0, &process, FALSE,
                                             static_cast<DWORD>(deadline - now),
                                             QS_ALLINPUT) == WAIT_OBJECT_0 &&
                   process != nullptr) {
            // A result sent just before the end has been received already.
            code = reply.arrived ? exitWith(static_cast<OrderExit>(reply.code), reply.lines)
                                 : exitWith(OrderExit::NoAnswer, kOrderProgramEnded);
        }
    }
    if (process != nullptr) {
        CloseHandle(process);
    }
    DestroyWindow(own);
    return code;
}

}  // namespace

std::optional<int> runCommandLine(const std::vector<std::wstring>& words) {
    std::vector<std::string> utf8;
    for (const std::wstring& w : words) {
        utf8.push_back(toUtf8(w));
    }
    const CommandLine line = parseCommandLine(utf8);
    switch (line.kind) {
        case CommandLine::Kind::Usage:
            print(usageText());
            return 0;
        case CommandLine::Kind::Prices:
            if (!line.error.empty()) {
                return exitWith(OrderExit::BadArguments, line.error);
            }
            return sendOrder(std::vector<std::string>(utf8.begin() + 1, utf8.end()));
        default:
            return std::nullopt;
    }
}

std::optional<int> runCommandLine() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> words;
    for (int i = 1; argv != nullptr && i < count; ++i) {
        words.push_back(argv[i]);
    }
    LocalFree(argv);
    return runCommandLine(words);
}

bool readPriceOrder(const COPYDATASTRUCT& data, PriceOrder* order, std::string* at,
                    std::string* error) {
    if (data.dwData != kPriceOrderTag || data.cbData > kOrderArgumentsMax ||
        (data.cbData > 0 && data.lpData == nullptr)) {
        *error = data.cbData > kOrderArgumentsMax ? kOrderTooLong : "";
        return false;
    }
    const std::string payload(static_cast<const char*>(data.lpData), data.cbData);
    std::vector<std::string> arguments;
    for (size_t at = 0; at <= payload.size() && !payload.empty();) {
        const size_t end = std::min(payload.find('\n', at), payload.size());
        arguments.push_back(payload.substr(at, end - at));
        at = end + 1;
    }
    return parsePriceArguments(arguments, order, at, error);
}

void sendOrderResult(HWND caller, HWND from, OrderExit code, const std::string& lines) {
    COPYDATASTRUCT data = {kPriceResultTag + static_cast<ULONG_PTR>(code),
                           static_cast<DWORD>(lines.size()), const_cast<char*>(lines.data())};
    // SMTO_BLOCK: nothing sent to this thread meanwhile (another order) is handled inside.
    SendMessageTimeoutW(caller, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                        reinterpret_cast<LPARAM>(&data), SMTO_BLOCK | SMTO_ABORTIFHUNG,
                        kResultSendMs, nullptr);
}

}  // namespace vorda::win
