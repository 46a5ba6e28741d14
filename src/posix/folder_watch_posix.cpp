// The folder seam on Linux: inotify on the folder, read by a thread that sleeps in poll()
// beside a pipe that stop() writes to.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <thread>

#include "engine/folder_watch.h"

namespace vorda {

struct FolderWatch {
    int notify = -1;
    int stopRead = -1;
    int stopWrite = -1;
    void (*changed)(void*) = nullptr;
    void* context = nullptr;
    std::thread thread;
};

namespace {

void watchLoop(FolderWatch* w) {
    alignas(inotify_event) char events[4096];
    for (;;) {
        pollfd p[2] = {{w->notify, POLLIN, 0}, {w->stopRead, POLLIN, 0}};
        if (poll(p, 2, -1) < 0 || p[1].revents != 0) {
            return;
        }
        if (read(w->notify, events, sizeof events) > 0) {
            w->changed(w->context);
        }
    }
}

FolderWatch* posixStart(void*, const std::string& path, void (*changed)(void*), void* context) {
    auto* w = new FolderWatch;
    int stop[2] = {-1, -1};
    w->notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (w->notify < 0 || pipe2(stop, O_CLOEXEC) != 0 ||
        inotify_add_watch(w->notify, path.c_str(),
                          IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM |
                              IN_DELETE | IN_ATTRIB) < 0) {
        for (int fd : {w->notify, stop[0], stop[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        delete w;
        return nullptr;
    }
    w->stopRead = stop[0];
    w->stopWrite = stop[1];
    w->changed = changed;
    w->context = context;
    w->thread = std::thread(watchLoop, w);
    return w;
}

void posixStop(FolderWatch* w) {
    if (w == nullptr) {
        return;
    }
    const char byte = 1;
    if (write(w->stopWrite, &byte, 1) < 0) {
        // The pipe cannot be full: one byte is ever written.
    }
    w->thread.join();
    close(w->notify);
    close(w->stopRead);
    close(w->stopWrite);
    delete w;
}

}  // namespace

FolderWatchDriver platformFolderWatch() {
    FolderWatchDriver d;
    d.start = posixStart;
    d.stop = posixStop;
    return d;
}

}  // namespace vorda
