// The file seam: paths are UTF-8 on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

}  // namespace vorda
