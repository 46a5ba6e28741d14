// The program in the user's Windows session: the folder its files live in, chosen once at
// start, and its one instance: a named mutex marks the running program, and its main window
// answers a registered message, by which a second start and "/ceny" find it (the window's
// class name alone is shared with other programs).
#pragma once

#include <windows.h>

#include <string>

namespace vorda::win {

// The data folder (settings/data_folder.h) for the current directory: probes it and, when
// the local folder is chosen, creates "%LOCALAPPDATA%\Vorda Cen" where it is missing (the
// current directory when even that fails).
std::wstring probeDataFolder();

// Held by the running program, in this session only.
constexpr wchar_t kInstanceMutexName[] = L"Local\\VordaCen.Instance";

// The registered message "VordaCen.Instance": the main window answers kInstanceAnswer;
// with kInstanceShow it first comes to the front, restored from the tray.
UINT instanceMessage();
constexpr LRESULT kInstanceAnswer = 0x56436E31;
constexpr WPARAM kInstanceQuery = 0;
constexpr WPARAM kInstanceShow = 1;

// Takes the mutex for its life. first() is false when a program of this session holds it
// already (also when that one runs elevated and the mutex cannot be opened).
class InstanceLock {
  public:
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    bool first() const { return first_; }

  private:
    HANDLE mutex_ = nullptr;
    bool first_ = false;
};

// The running program's main window: nullptr when nobody holds the mutex, or when no window
// answers the message within `waitMs` (a program that is still starting gets that long).
HWND findRunningProgram(DWORD waitMs);

// A second start: the running program's window comes to the front.
void showRunningProgram();

}  // namespace vorda::win
