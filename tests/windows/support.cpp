#include "support.h"

#include <fstream>
#include <sstream>

#include "win32/wide.h"

namespace vorda::test {

namespace {

struct Search {
    DWORD processId;  // 0: any (child windows)
    std::wstring className;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if ((search->processId == 0 || pid == search->processId) &&
        className(window) == search->className) {
        search->found.push_back(window);
    }
    return TRUE;
}

std::wstring text(int (*get)(HWND, LPWSTR, int), HWND window) {
    wchar_t buffer[1024];
    const int n = get(window, buffer, 1024);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::vector<HWND> childWindows(HWND parent, const wchar_t* cls) {
    Search search{0, cls, {}};
    EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool pathIs(const std::string& unixPath, bool present, int timeoutMs) {
    const std::wstring path = windowsPathOf(unixPath);
    return waitUntil(
        [&] { return (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present; },
        timeoutMs, 20);
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs) {
    for (int waited = 0; waited < timeoutMs; waited += stepMs) {
        if (done()) {
            return true;
        }
        Sleep(static_cast<DWORD>(stepMs));
    }
    return done();
}

std::wstring makeTempDirectory(const wchar_t* prefix) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        const std::wstring dir =
            base + std::wstring(prefix) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(dir.c_str(), nullptr)) {
            return dir;
        }
    }
}

std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* cls) {
    Search search{processId, cls, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring windowText(HWND window) {
    return text(GetWindowTextW, window);
}

std::wstring className(HWND window) {
    return text(GetClassNameW, window);
}

HWND findDialog(DWORD processId, const std::wstring& title) {
    for (HWND dialog : topLevelWindows(processId, L"#32770")) {
        if (IsWindowVisible(dialog) && windowText(dialog) == title) {
            return dialog;
        }
    }
    return nullptr;
}

std::wstring messageOf(HWND box) {
    std::wstring message;
    for (HWND child : childWindows(box, L"Static")) {
        message = windowText(child).empty() ? message : windowText(child);
    }
    return message;
}

void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring programPath() {
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of(L"\\/")) + L"\\VordaCen.exe";
}

ProgramProcess::~ProgramProcess() {
    if (info_.hProcess != nullptr) {
        if (running()) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool ProgramProcess::start(const std::wstring& directory) {
    const std::wstring exe = programPath();
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info_)) {
        return false;
    }
    WaitForInputIdle(info_.hProcess, 10000);
    return waitUntil(
        [this] {
            const auto windows = topLevelWindows(info_.dwProcessId, L"TTYWndClass");
            mainWindow_ = windows.empty() ? nullptr : windows.front();
            return mainWindow_ != nullptr && IsWindowVisible(mainWindow_);
        },
        10000, 50);
}

long ProgramProcess::waitForExit() {
    DWORD code = 0;
    if (WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(info_.hProcess, &code)) {
        return -1;
    }
    return static_cast<long>(code);
}

bool ProgramProcess::running() const {
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::wstring windowsPathOf(const std::string& unixPath) {
    std::wstring path = L"Z:" + win::fromUtf8(unixPath);
    for (auto& c : path) {
        c = c == L'/' ? L'\\' : c;
    }
    return path;
}

std::string fileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool TowerSimProcess::start(const std::vector<std::string>& options) {
    const std::string sim = VORDA_TOWER_SIM;
    const std::string link = VORDA_COM1_LINK;
    if (sim.empty() || link.empty()) {
        return false;
    }
    static int counter = 0;
    unixDir_ = "/tmp/vorda-wtest-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter);
    CreateDirectoryW(windowsPathOf(unixDir_).c_str(), nullptr);
    const std::string lifetime = unixDir_ + "/alive";
    if (!std::ofstream(windowsPathOf(lifetime).c_str())) {
        return false;
    }
    DeleteFileW(windowsPathOf(link).c_str());  // the link of an earlier run

    // The simulator writes its path file after it has made the link.
    std::string command = "\"" + win::toUtf8(windowsPathOf(sim)) + "\" --quiet --link " + link +
                          " --path-file " + unixDir_ + "/path --transcript " + unixDir_ +
                          "/transcript.txt --lifetime-file " + lifetime + " --max-seconds 300";
    for (const auto& o : options) {
        command += " " + o;
    }
    std::wstring wide = win::fromUtf8(command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    running_ = pathIs(unixDir_ + "/path", true, 5000);
    return running_;
}

TowerSimProcess::~TowerSimProcess() {
    if (running_) {
        // The simulator removes its path file when it ends. (Wine gives no handle that
        // could be waited on for a Linux process.)
        DeleteFileW(windowsPathOf(unixDir_ + "/alive").c_str());
        pathIs(unixDir_ + "/path", false, 3000);
    }
}

// A transcript line is "<ms>\t<kind>\t<text>\t<more>".
std::vector<std::string> TowerSimProcess::received(bool withPoll) const {
    std::vector<std::string> out;
    std::istringstream in(fileBytes(windowsPathOf(unixDir_ + "/transcript.txt")));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string ms, kind, text;
        if (std::getline(fields, ms, '\t') && std::getline(fields, kind, '\t') &&
            std::getline(fields, text, '\t') && kind == "rx" &&
            (withPoll || (text != "20S" && text != "20Z"))) {
            out.push_back(text);
        }
    }
    return out;
}

}  // namespace vorda::test
