#include "win32/session.h"

#include <shlobj.h>

#include "settings/data_folder.h"
#include "settings/settings_file.h"
#include "win32/main_window.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

constexpr DWORD kAnswerMs = 2000;
constexpr DWORD kStartingProgramMs = 5000;

std::wstring currentDirectory() {
    std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
    path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data()));
    return path;
}

// The full, long form of a folder, without a trailing separator (but "C:\").
std::wstring normalised(const std::wstring& folder) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD n =
        GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) {
        full = folder;
    } else {
        full.resize(n);
    }
    std::wstring longer(MAX_PATH, L'\0');
    n = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    if (n > 0 && n < longer.size()) {
        full = longer.substr(0, n);
    }
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
        full.pop_back();
    }
    return full;
}

// `path` is `folder` or lies inside it (case-insensitive, as Windows compares names).
bool inside(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() < folder.size() ||
        CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                             static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL) {
        return false;
    }
    return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
}

bool sameFolder(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && inside(a, b);
}

std::wstring programFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return normalised(path.substr(0, path.find_last_of(L'\\') + 1));
}

std::wstring windowsFolder() {
    wchar_t path[MAX_PATH] = L"";
    const UINT n = GetSystemWindowsDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? normalised(path) : std::wstring();
}

// A file can be created there (it goes again when it is closed).
bool writable(const std::wstring& folder) {
    const std::wstring probe =
        folder + L"\\VordaCen-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

std::wstring localDataFolder() {
    PWSTR local = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local))) {
        folder = std::wstring(local) + L"\\" + fromUtf8(kLocalDataFolderName);
    }
    CoTaskMemFree(local);
    if (folder.empty() ||
        (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
        return std::wstring();
    }
    return folder;
}

bool instanceMutexHeld() {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName);
    if (mutex != nullptr) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

HWND answeringWindow() {
    for (HWND w = FindWindowExW(nullptr, nullptr, kMainWindowClass, nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, kMainWindowClass, nullptr)) {
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(w, instanceMessage(), kInstanceQuery, 0, SMTO_ABORTIFHUNG,
                                kAnswerMs, &answer) &&
            static_cast<LRESULT>(answer) == kInstanceAnswer) {
            return w;
        }
    }
    return nullptr;
}

}  // namespace

std::wstring probeDataFolder() {
    const std::wstring start = normalised(currentDirectory());
    StartDirectoryFacts facts;
    const DWORD settings =
        GetFileAttributesW((start + L"\\" + fromUtf8(kSettingsFileName)).c_str());
    facts.holdsSettings =
        settings != INVALID_FILE_ATTRIBUTES && (settings & FILE_ATTRIBUTE_DIRECTORY) == 0;
    facts.writable = writable(start);
    facts.programFolder = sameFolder(start, programFolder());
    facts.insideWindows = inside(start, windowsFolder());
    if (vorda::chooseDataFolder(facts) == DataFolder::StartDirectory) {
        return start;
    }
    const std::wstring local = localDataFolder();
    return local.empty() ? start : local;
}

UINT instanceMessage() {
    static const UINT message = RegisterWindowMessageW(L"VordaCen.Instance");
    return message;
}

InstanceLock::InstanceLock() {
    mutex_ = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    first_ = mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
}

InstanceLock::~InstanceLock() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

HWND findRunningProgram(DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (!instanceMutexHeld()) {
            return nullptr;
        }
        if (HWND window = answeringWindow()) {
            return window;
        }
        if (GetTickCount64() >= deadline) {
            return nullptr;
        }
        Sleep(100);
    }
}

void showRunningProgram() {
    HWND window = findRunningProgram(kStartingProgramMs);
    if (window == nullptr) {
        return;
    }
    // This process was started by the user and may hand the foreground on.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    AllowSetForegroundWindow(processId);
    SendMessageTimeoutW(window, instanceMessage(), kInstanceShow, 0, SMTO_ABORTIFHUNG, kAnswerMs,
                        nullptr);
}

}  // namespace vorda::win
