// The folder seam on Windows: a change notification on the folder (a file created, renamed,
// removed or written), waited for by a thread beside an event that stop() sets.
#include <windows.h>

#include <thread>

#include "engine/folder_watch.h"
#include "win32/wide.h"

namespace vorda {

struct FolderWatch {
    HANDLE change = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;
    void (*changed)(void*) = nullptr;
    void* context = nullptr;
    std::thread thread;
};

namespace {

void watchLoop(FolderWatch* w) {
    HANDLE waits[2] = {w->change, w->stop};
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            return;
        }
        w->changed(w->context);
        if (!FindNextChangeNotification(w->change)) {
            return;
        }
    }
}

FolderWatch* win32Start(void*, const std::string& path, void (*changed)(void*), void* context) {
    auto* w = new FolderWatch;
    w->change = FindFirstChangeNotificationW(
        win::fromUtf8(path).c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    w->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (w->change == INVALID_HANDLE_VALUE || w->stop == nullptr) {
        if (w->change != INVALID_HANDLE_VALUE) {
            FindCloseChangeNotification(w->change);
        }
        if (w->stop != nullptr) {
            CloseHandle(w->stop);
        }
        delete w;
        return nullptr;
    }
    w->changed = changed;
    w->context = context;
    w->thread = std::thread(watchLoop, w);
    return w;
}

void win32Stop(FolderWatch* w) {
    if (w == nullptr) {
        return;
    }
    SetEvent(w->stop);
    w->thread.join();
    FindCloseChangeNotification(w->change);
    CloseHandle(w->stop);
    delete w;
}

}  // namespace

FolderWatchDriver platformFolderWatch() {
    FolderWatchDriver d;
    d.start = win32Start;
    d.stop = win32Stop;
    return d;
}

}  // namespace vorda
