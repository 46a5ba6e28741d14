// The file seam: paths are UTF-8 on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vorda {

// Joins the start directory and a file name as the program always has: "%s//%s".
std::string startDirectoryPath(const std::string& directory, const char* name);

// fopen with a UTF-8 path; nullptr on failure.
std::FILE* openFile(const std::string& path, const char* mode);

// Size in bytes, or -1 when the file does not exist or cannot be read.
int64_t fileSize(const std::string& path);

// Ignores failures (true on success).
bool removeFile(const std::string& path);
// Puts `from` in the place of `to` in one step, replacing what is there (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING, rename on POSIX). On failure both stay as they were: false.
bool replaceFile(const std::string& from, const std::string& to);

// Writes `bytes` to "<path>.tmp" beside the file, flushes it to the disk and then puts it
// in the file's place in one step. On any failure the temporary file is removed, the file
// stays as it was, and the result is false.
bool writeFileReplacing(const std::string& path, const std::string& bytes);

// The file's first `limit` bytes at most (all of a smaller one): false when it cannot be
// opened or read.
bool readFileBytes(const std::string& path, size_t limit, std::string* bytes);

// A regular file's size and last change (nanoseconds since 1970-01-01 UTC); false when
// there is no such file or it cannot be seen.
struct FileStatus {
    int64_t size = 0;
    int64_t modified = 0;
};
bool fileStatus(const std::string& path, FileStatus* status);

// The names of the regular files directly in `directory` (none when it cannot be read).
std::vector<std::string> filesIn(const std::string& directory);

// Creates the folder, and those above it, when missing: true when it is there.
bool makeDirectory(const std::string& path);
// Whether the folder is there.
bool isDirectory(const std::string& path);

// Whether another process holds the file open so that it cannot be opened alone: on
// Windows, CreateFileW without sharing fails with ERROR_SHARING_VIOLATION (a file still
// being written); POSIX does not lock files so, and there it is always false.
bool fileHeldByAnother(const std::string& path);

// Moves `from` into `directory` as `name`; when that name is taken, as the name with "-1",
// "-2", ... before its last extension ("a.json" -> "a-1.json"). Never replaces a file.
// The name used, or "" when it could not be moved.
std::string moveAside(const std::string& from, const std::string& directory,
                      const std::string& name);

// A file found damaged (`fault` says how) is moved aside beside itself as
// "<name>.uszkodzony" (or "-1", ...), never written over. What to tell the operator; false in
// `*movedAside` when it could not be moved (then it must be kept as it is).
std::string setDamagedFileAside(const std::string& path, const std::string& fault,
                                bool* movedAside);

}  // namespace vorda
