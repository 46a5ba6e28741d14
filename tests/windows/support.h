// What the Windows-side tests drive: windows found by class, title and control id; the
// real VordaCen.exe started as a separate process; and the (Linux) tower simulator, with
// the Wine prefix's COM1 pointed at its pseudo-terminal.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vorda::test {

// Checks `done` every `stepMs` until it holds (true) or `timeoutMs` passed (false).
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs = 10);

// A fresh empty directory under the temporary directory.
std::wstring makeTempDirectory(const wchar_t* prefix);
// A Windows path for a path of the Linux file system (Wine's drive Z:).
std::wstring windowsPathOf(const std::string& unixPath);
// The whole content of a file.
std::string fileBytes(const std::wstring& path);

// The top-level windows of a process with the given class.
std::vector<HWND> topLevelWindows(DWORD processId, const wchar_t* className);
std::wstring windowText(HWND window);
std::wstring className(HWND window);
// A visible dialog (class "#32770") of the process with the given title, or nullptr.
HWND findDialog(DWORD processId, const std::wstring& title);
// The text a message box shows: its last non-empty static text.
std::wstring messageOf(HWND box);
// Presses the button with `id` on a dialog as a click would.
void pressButton(HWND dialog, int id);

// The path of VordaCen.exe, built beside the test executable.
std::wstring programPath();

class ProgramProcess {
  public:
    ProgramProcess() = default;
    ~ProgramProcess();  // ends the program if it still runs
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // Starts VordaCen.exe in `directory` and waits for its main window to show.
    bool start(const std::wstring& directory);
    DWORD id() const { return info_.dwProcessId; }
    HWND mainWindow() const { return mainWindow_; }
    // The exit code, or -1 when the program has not ended within ten seconds.
    long waitForExit();
    bool running() const;

  private:
    PROCESS_INFORMATION info_ = {};
    HWND mainWindow_ = nullptr;
};

class TowerSimProcess {
  public:
    TowerSimProcess() = default;
    ~TowerSimProcess();  // ends the simulator
    TowerSimProcess(const TowerSimProcess&) = delete;
    TowerSimProcess& operator=(const TowerSimProcess&) = delete;

    // False when the simulator was not built, or COM1 did not come up.
    bool start(const std::vector<std::string>& options = {});
    // The texts of the frames the tower received, in order; with or without the poll's
    // "20S" and "20Z".
    std::vector<std::string> received(bool withPoll = true) const;

  private:
    std::string unixDir_;
    bool running_ = false;
};

}  // namespace vorda::test
