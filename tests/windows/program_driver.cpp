#include "program_driver.h"

#include <algorithm>

namespace vorda::test {

namespace {

struct EnumState {
    DWORD processId;
    std::wstring className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == state->processId &&
        (state->className.empty() || className(window) == state->className)) {
        state->found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK collectChildren(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    if (state->className.empty() || className(window) == state->className) {
        state->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::wstring binaryDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/"));
}

std::wstring makeTempDirectory(const wchar_t* prefix) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::wstring dir = std::wstring(base) + prefix + L"-" +
                           std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(dir.c_str(), nullptr)) {
            return dir;
        }
    }
}

std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* cls) {
    EnumState state{processId, cls, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::vector<HWND> childWindows(HWND parent, const wchar_t* cls) {
    EnumState state{0, cls, {}};
    EnumChildWindows(parent, collectChildren, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::wstring windowText(HWND window) {
    wchar_t buffer[1024];
    const int n = GetWindowTextW(window, buffer, 1024);
    return std::wstring(buffer, static_cast<size_t>(std::max(n, 0)));
}

std::wstring className(HWND window) {
    wchar_t buffer[256];
    const int n = GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, static_cast<size_t>(std::max(n, 0)));
}

Program::~Program() {
    if (info_.hProcess != nullptr) {
        if (running()) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool Program::start(const std::wstring& directory) {
    std::wstring exe = binaryDirectory() + L"\\VordaCen.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info_)) {
        return false;
    }
    WaitForInputIdle(info_.hProcess, 10000);
    for (int i = 0; i < 200; ++i) {
        auto windows = topLevelWindows(info_.dwProcessId, L"TTYWndClass");
        if (!windows.empty() && IsWindowVisible(windows.front())) {
            mainWindow_ = windows.front();
            return true;
        }
        Sleep(50);
    }
    return false;
}

HWND Program::waitForDialog(const std::wstring& title, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    do {
        for (HWND dialog : topLevelWindows(info_.dwProcessId, L"#32770")) {
            if (IsWindowVisible(dialog) && windowText(dialog) == title) {
                return dialog;
            }
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

long Program::waitForExit(DWORD timeoutMs) {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

bool Program::running() const {
    return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace vorda::test
