// The folder seam: a folder watched for files written into it, as a table of functions.
// One implementation per platform (Win32 change notifications; inotify on Linux, for the
// native tests); tests may supply their own table.
#pragma once

#include <string>

namespace vorda {

struct FolderWatch;  // one watch of the driver

struct FolderWatchDriver {
    void* context = nullptr;
    // Starts watching the folder `path` (UTF-8): `changed(changedContext)` is called on the
    // watch's own thread, soon after a file in it was created, written, closed, renamed or
    // removed (several changes may come as one call; a call may come without a change).
    // nullptr when the folder cannot be watched.
    FolderWatch* (*start)(void* context, const std::string& path, void (*changed)(void*),
                          void* changedContext) = nullptr;
    // Stops the watch and waits for its thread; no call of `changed` follows.
    void (*stop)(FolderWatch* watch) = nullptr;
};

// The driver of the platform this was built for.
FolderWatchDriver platformFolderWatch();

}  // namespace vorda
