// Starts the real VordaCen.exe as a separate process and drives it as an operator
// would: through its windows, found by class, title and control id.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vorda::test {

// The directory of the running test executable (VordaCen.exe is built beside it).
std::wstring binaryDirectory();

// A fresh empty directory under the temporary directory.
std::wstring makeTempDirectory(const wchar_t* prefix);

// Every top-level window of a process with the given class ("" for any).
std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* className);

std::wstring windowText(HWND window);
std::wstring className(HWND window);

// Child windows of a window (recursively) whose class is `className`.
std::vector<HWND> childWindows(HWND parent, const wchar_t* className);

class Program {
  public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts VordaCen.exe with `directory` as its current directory and waits for its
    // main window; false if either fails.
    bool start(const std::wstring& directory);

    HWND mainWindow() const { return mainWindow_; }
    DWORD processId() const { return info_.dwProcessId; }

    // Waits for a dialog (class "#32770") of the program with the given title.
    HWND waitForDialog(const std::wstring& title, DWORD timeoutMs = 10000) const;

    // Waits until the process ends; its exit code, or -1 on time-out.
    long waitForExit(DWORD timeoutMs = 10000);

    bool running() const;

  private:
    PROCESS_INFORMATION info_ = {};
    HWND mainWindow_ = nullptr;
};

// Presses the button with `id` on a dialog as a click would.
void pressButton(HWND dialog, int id);

}  // namespace vorda::test
