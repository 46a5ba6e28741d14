#include "settings/files.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vorda {

namespace fs = std::filesystem;

namespace {

fs::path toPath(const std::string& utf8) {
    // u8path is deprecated in C++20 but is the C++17 way to say "these bytes are UTF-8".
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    return fs::u8path(utf8);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

}  // namespace

std::string startDirectoryPath(const std::string& directory, const char* name) {
    return directory + "//" + name;
}

std::FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
    const fs::path p = toPath(path);
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(p.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);  // the file system's names are UTF-8 already
#endif
}

int64_t fileSize(const std::string& path) {
#ifdef _WIN32
    std::error_code ec;
    const auto size = fs::file_size(toPath(path), ec);
    return ec ? -1 : static_cast<int64_t>(size);
#else
    struct stat s {};
    return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode) ? static_cast<int64_t>(s.st_size)
                                                               : -1;
#endif
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    return fs::remove(toPath(path), ec);
}

bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExW(toPath(from).c_str(), toPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(toPath(from).c_str(), toPath(to).c_str()) == 0;
#endif
}

bool writeFileReplacing(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    std::FILE* f = openFile(temporary, "wb");
    if (f == nullptr) {
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    written = written && std::fflush(f) == 0;
#ifdef _WIN32
    written = written && _commit(_fileno(f)) == 0;
#else
    written = written && fsync(fileno(f)) == 0;
#endif
    written = std::fclose(f) == 0 && written;
    written = written && replaceFile(temporary, path);
    if (!written) {
        removeFile(temporary);
    }
    return written;
}

}  // namespace vorda
