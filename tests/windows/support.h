// What the Windows-side tests drive: windows found by process, class and title; the real
// program started in a folder; the Linux tower simulator behind the Wine prefix's COM1 and the
// Linux stand-in head office on 127.0.0.1; the program's windows created in this process,
// played as an operator: menus, buttons, edits, dialogs answered from another thread.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

#include "settings/history.h"
#include "settings/settings_file.h"
#include "win32/dpi.h"
#include "win32/program.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::test {

// Binary standard output, so that the lists GoogleTest prints reach CTest without carriage
// returns.
inline const int kBinaryOutput =
    _setmode(_fileno(stdout), _O_BINARY) + _setmode(_fileno(stderr), _O_BINARY);

// Checks `done` every `stepMs` until it holds (true) or `timeoutMs` passed (false).
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000, int stepMs = 10) {
    for (int waited = 0; waited < timeoutMs && !done(); waited += stepMs) {
        Sleep(static_cast<DWORD>(stepMs));
    }
    return done();
}

// A fresh directory beside a fresh empty file in the temporary directory.
inline std::wstring makeTempDirectory(const wchar_t* suffix) {
    wchar_t base[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    GetTempFileNameW(base, L"vc", 0, name);
    const std::wstring directory = name + std::wstring(suffix);
    CreateDirectoryW(directory.c_str(), nullptr);
    return directory;
}

// A Windows path for a path of the Linux file system (Wine's drive Z:).
inline std::wstring windowsPathOf(std::string unixPath) {
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return L"Z:" + win::fromUtf8(unixPath);
}

inline std::string fileBytes(const std::wstring& path) {
    std::ostringstream out;
    out << std::ifstream(path.c_str(), std::ios::binary).rdbuf();
    return out.str();
}

// A window's text, also of another process's control (WM_GETTEXT is carried across).
inline std::wstring windowText(HWND window) {
    wchar_t text[1024] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    return text;
}
inline std::wstring controlText(HWND dialog, int id) {
    return windowText(GetDlgItem(dialog, id));
}

// A visible top-level window of the process with the class and (unless empty) the title,
// other than `except`; or nullptr.
inline HWND findWindow(DWORD processId, const wchar_t* cls, const std::wstring& title = L"",
                       HWND except = nullptr) {
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, cls, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == processId && w != except && IsWindowVisible(w) &&
            (title.empty() || windowText(w) == title)) {
            return w;
        }
    }
    return nullptr;
}

// Presses the button with `id` on a dialog as a click would.
inline void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Acts on the next dialog of this process with the caption from another thread, while
// this one runs its modal loop; the future says whether one came within ten seconds.
inline std::future<bool> onDialog(const std::wstring& caption, std::function<void(HWND)> act) {
    return std::async(std::launch::async, [caption, act] {
        HWND d = nullptr;
        return waitUntil(
                   [&] { return (d = findWindow(GetCurrentProcessId(), L"#32770", caption)); }) &&
               (act(d), true);
    });
}

// A Linux program of the native build started from inside Wine in a fresh folder of its own:
// it runs while its lifetime file "alive" is there, and writes a file once it is ready that it
// removes when it ends. (Wine gives no handle to wait on for a Linux process.)
class LinuxProcess {
  public:
    explicit LinuxProcess(const std::string& kind) {
        static int counter = 0;
        dir_ = "/tmp/vorda-wtest-" + std::to_string(GetCurrentProcessId()) + kind +
               std::to_string(++counter);
        CreateDirectoryW(windowsPathOf(dir_).c_str(), nullptr);
    }
    ~LinuxProcess() { stop(); }
    // Ends it, once it has ended.
    void stop() {
        if (!file(ready_).empty() && DeleteFileW(windowsPathOf(dir_ + "/alive").c_str())) {
            waitUntil([this] { return file(ready_).empty(); }, 5000);
        }
    }

  protected:
    // False when the program was not built, or it did not write `ready` within five seconds.
    bool launch(const char* program, const std::string& arguments, const char* ready) {
        ready_ = ready;
        std::ofstream(windowsPathOf(dir_ + "/alive").c_str());
        const std::string command = win::toUtf8(windowsPathOf(program)) +
                                    " --quiet --max-seconds 300 --lifetime-file " + dir_ +
                                    "/alive " + arguments;
        return WinExec(command.c_str(), SW_HIDE) > 31 &&
               waitUntil([this] { return !file(ready_).empty(); }, 5000);
    }
    std::string file(const std::string& name) const {
        return fileBytes(windowsPathOf(dir_ + name));
    }
    std::string dir_, ready_ = "/ready";
};

// The tower simulator on the prefix's COM1.
class TowerSimProcess : public LinuxProcess {
  public:
    TowerSimProcess() : LinuxProcess("-") {}
    // False when the simulator was not built, or COM1 did not come up.
    bool start(const std::string& options = "") {
        DeleteFileW(windowsPathOf(VORDA_COM1_LINK).c_str());  // the link of an earlier run
        return launch(VORDA_TOWER_SIM,
                      "--link " VORDA_COM1_LINK " --path-file " + dir_ + "/path --transcript " +
                          dir_ + "/transcript.txt " + options,
                      "/path");
    }
    // The texts of the frames the tower received but the poll's ("20S", "20Z"), in order,
    // each followed by a space. A transcript line is "<ms>\t<kind>\t<text>\t<more>".
    std::string received() const {
        const std::string t = file("/transcript.txt");
        std::string out;
        for (size_t at = 0; (at = t.find("\trx\t", at)) != std::string::npos; at += 4) {
            const std::string text = t.substr(at + 4, t.find('\t', at + 4) - at - 4);
            out += text != "20S" && text != "20Z" ? text + " " : "";
        }
        return out;
    }
};

// The built program, as Windows names it.
inline const std::wstring kProgramPath = windowsPathOf(VORDA_PROGRAM);

// A program started with the arguments in `directory` (empty: this process's), its standard
// output a pipe; ended when it goes unless it has ended.
struct Started {
    PROCESS_INFORMATION process = {};
    HANDLE output = nullptr;
    explicit Started(const std::wstring& directory, const std::wstring& exe = kProgramPath,
                     const std::wstring& arguments = L"") {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE write = nullptr;
        CreatePipe(&output, &write, &inherit, 65536);
        SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write;
        std::wstring line = L"\"" + exe + L"\" " + arguments;
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   directory.empty() ? nullptr : directory.c_str(), &startup,
                                   &process));
        CloseHandle(write);
    }
    ~Started() {
        TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        CloseHandle(output);
    }
    HWND window() const {
        auto find = [this] { return findWindow(process.dwProcessId, L"TTYWndClass"); };
        return waitUntil(find) ? find() : nullptr;
    }
    DWORD exitCode(DWORD ms = 15000) const {  // within `ms`; 99 while it runs on
        DWORD code = 99;
        WaitForSingleObject(process.hProcess, ms);
        GetExitCodeProcess(process.hProcess, &code);
        return code == STILL_ACTIVE ? 99 : code;
    }
    bool ended() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }
    // "<exit code> <what it printed>", once it has ended.
    std::string result() const {
        DWORD n = 0;
        char bytes[4096];
        std::string out;
        while (ReadFile(output, bytes, sizeof bytes, &n, nullptr) && n > 0) {
            out.append(bytes, n);
        }
        return std::to_string(exitCode(0)) + " " + out;
    }
};

// The files of a folder (not of its subfolders) that hold `text`, in UTF-8 or in UTF-16.
inline std::vector<std::wstring> filesHolding(const std::wstring& folder, const std::string& text) {
    const std::wstring wide = win::fromUtf8(text);
    const std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry)) {
        const std::string bytes = fileBytes(folder + L"\\" + entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            (bytes.find(text) != std::string::npos || bytes.find(utf16) != std::string::npos)) {
            found.push_back(entry.cFileName);
        }
    }
    FindClose(find);
    return found;
}

// The stand-in head office, the Linux central-sim, on 127.0.0.1: it serves a fresh folder's
// "stacje/<id>.json" and appends the reports it takes to its "raporty.txt". It can be stopped
// and started again on its port, as a head office that was down. It listens while its port
// file is there.
class CentralSimProcess : public LinuxProcess {
  public:
    CentralSimProcess() : LinuxProcess("-central-") {
        CreateDirectoryW(windowsPathOf(dir_ + "/stacje").c_str(), nullptr);
    }
    // On `port` (0: a free one), with a transcript of its own; false when it did not come up.
    bool start(const std::string& options = "", int port = 0) {
        ++runs_;
        if (!launch(VORDA_CENTRAL_SIM,
                    "--root " + dir_ + " --port " + std::to_string(port) + " --port-file " + dir_ +
                        "/port --transcript " + dir_ + "/transcript-" + std::to_string(runs_) +
                        ".txt " + options,
                    "/port")) {
            return false;
        }
        port_ = std::stoi(file("/port"));
        return true;
    }
    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // A station's document, replaced in one step: `orders` within {"stacja": ..., "zlecenia":
    // [...]}.
    void publish(const std::string& station, const std::string& orders) {
        publishText(station, R"({"stacja": ")" + station + R"(", "zlecenia": [)" + orders + "]}");
    }
    void publishText(const std::string& station, const std::string& text) {
        const std::wstring path = windowsPathOf(dir_ + "/stacje/" + station + ".json");
        std::ofstream((path + L".new").c_str(), std::ios::binary) << text;
        MoveFileExW((path + L".new").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    std::string reports() const { return file("/raporty.txt"); }
    // The requests of this run as "GET /stacje/S1.json inm 304" ("-" without If-None-Match).
    std::vector<std::string> requests() const {
        std::istringstream lines(file("/transcript-" + std::to_string(runs_) + ".txt"));
        std::vector<std::string> out;
        for (std::string line; std::getline(lines, line);) {
            line = line.substr(line.find('\t') + 1);
            std::replace(line.begin(), line.end(), '\t', ' ');
            out.push_back(line);
        }
        return out;
    }

  private:
    int runs_ = 0;
    int port_ = 0;
};

// The program's windows in this process, started in a fresh directory with a Polish
// name, on the real Win32 serial driver whose port configurations are counted.
class ProgramWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = makeTempDirectory(L"-\u0142\u0105ka");
        SetCurrentDirectoryW(directory_.c_str());
        ASSERT_NO_FATAL_FAILURE(start());
    }
    void TearDown() override { program_.reset(); }
    // Creates the windows; they read the settings file of the directory.
    void start() {
        static bool registered = false;
        SerialDriver serial = platformSerialDriver();
        serial.configure = [](SerialPort* port, const SerialSettings& settings) {
            ++configureCalls;
            return platformSerialDriver().configure(port, settings);
        };
        HINSTANCE instance = GetModuleHandleW(nullptr);
        program_ = std::make_unique<win::Program>(instance, serial);
        ASSERT_TRUE(program_->createWindows(registered ? instance : nullptr, SW_SHOW));
        registered = true;
        main = program_->mainWindow();
        panel = program_->panelWindow();
        ASSERT_NE(panel, nullptr);
        pump(100);
    }
    Settings saved() {
        Settings settings;
        EXPECT_TRUE(loadSettingsFile(win::toUtf8(directory_), settings));
        return settings;
    }
    // Handles this thread's messages as the program's loop does until `done` (if any) holds.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
        return waitUntil(
            [&] {
                for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
                    if (msg.message != WM_QUIT) {
                        program_ ? program_->handleMessage(msg) : (void)DispatchMessageW(&msg);
                    }
                }
                return done && done();
            },
            timeoutMs, 2);
    }
    void pump(int ms) { pumpUntil(nullptr, ms); }
    // Handles messages until the dialog that `act` waits for was answered (a message box is
    // shown from a message of its own); whether one came.
    bool answered(std::future<bool>& act, int timeoutMs = 15000) {
        pumpUntil(
            [&] { return act.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            timeoutMs);
        return act.wait_for(std::chrono::seconds(0)) == std::future_status::ready && act.get();
    }

    // Each line of the price history after its heading as "row|sent|blink|outcome".
    std::vector<std::string> history() {
        std::vector<std::string> rows;
        std::istringstream lines(fileBytes(directory_ + L"\\HistoriaCen.csv"));
        std::string line;
        for (std::getline(lines, line); std::getline(lines, line);) {
            const std::vector<std::string> f = historyFields(line.substr(0, line.size() - 1));
            rows.push_back(f[2] + "|" + f[4] + "|" + f[5] + "|" + f[6]);
        }
        return rows;
    }
    Controller& controller() { return program_->controller(); }
    bool connected() { return controller().link().connected(); }
    std::wstring text(int id) { return windowText(GetDlgItem(panel, id)); }
    void type(int id, const std::wstring& t) { SetDlgItemTextW(panel, id, t.c_str()); }
    void click(int id) {
        SendMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(panel, id)));
    }
    void menu(int id) { SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // "101": "Połącz", "Rozłącz", "Test" enabled (1) or greyed (0).
    std::string menuStates() {
        std::string states;
        for (int id : {IDM_CONNECT, IDM_DISCONNECT, IDM_TEST}) {
            states += GetMenuState(GetMenu(main), id, MF_BYCOMMAND) & MF_GRAYED ? '0' : '1';
        }
        return states;
    }
    // The main window with its frame, kept as a 24-bit bitmap file (read from the window: the
    // screen may be smaller).
    bool saveScreenshot(const std::string& unixPath) {
        RECT r;
        GetWindowRect(main, &r);
        BITMAPINFOHEADER info = {
            sizeof(info), r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(info);
        const DWORD size = ((static_cast<DWORD>(info.biWidth) * 3 + 3) & ~3u) * info.biHeight;
        const BITMAPFILEHEADER header = {0x4D42, offset + size, 0, 0, offset};
        void* bits = nullptr;
        HDC window = GetWindowDC(main), memory = CreateCompatibleDC(window);
        SelectObject(memory, CreateDIBSection(window, reinterpret_cast<BITMAPINFO*>(&info),
                                              DIB_RGB_COLORS, &bits, nullptr, 0));
        BitBlt(memory, 0, 0, info.biWidth, info.biHeight, window, 0, 0, SRCCOPY);
        std::ofstream out(windowsPathOf(unixPath).c_str(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(&header), sizeof(header))
            .write(reinterpret_cast<const char*>(&info), sizeof(info))
            .write(static_cast<const char*>(bits), size);
        return out.good();
    }
    COLORREF pixel(int x, int y) {
        UpdateWindow(panel);
        HDC dc = GetDC(panel);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(panel, dc);
        return c;
    }

    static inline std::atomic<int> configureCalls{0};
    std::unique_ptr<win::Program> program_;
    HWND main = nullptr;
    HWND panel = nullptr;
    std::wstring directory_;
};

// The rows' default colours.
constexpr COLORREF kLabelColours[5] = {RGB(0, 255, 0), RGB(255, 255, 0), RGB(255, 0, 0),
                                       RGB(255, 255, 255), RGB(0, 0, 255)};

}  // namespace vorda::test
