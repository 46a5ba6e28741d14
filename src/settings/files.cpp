#include "settings/files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    // A file another program has open for a moment (a virus scanner looking at what was just
    // written, a backup, an editor reading it) cannot be replaced: tried again for half a
    // second before the save counts as failed.
    const fs::path source = toPath(from);
    const fs::path target = toPath(to);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            return true;
        }
        const DWORD error = GetLastError();
        if (attempt == 9 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                             error != ERROR_LOCK_VIOLATION)) {
            return false;
        }
        Sleep(50);
    }
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

bool readFileBytes(const std::string& path, size_t limit, std::string* bytes) {
    std::FILE* f = openFile(path, "rb");
    if (f == nullptr) {
        return false;
    }
    bytes->clear();
    char buffer[16384];
    size_t got = 0;
    while (bytes->size() < limit &&
           (got = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes->size()), f)) > 0) {
        bytes->append(buffer, got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return !failed;
}

bool fileStatus(const std::string& path, FileStatus* status) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(toPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    const auto join = [](DWORD high, DWORD low) {
        return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
    };
    status->size = join(data.nFileSizeHigh, data.nFileSizeLow);
    // 100-ns steps since 1601-01-01.
    const int64_t since1601 =
        join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    status->modified = (since1601 - 116444736000000000LL) * 100;
#else
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) {
        return false;
    }
    status->size = s.st_size;
    status->modified = static_cast<int64_t>(s.st_mtim.tv_sec) * 1000000000 + s.st_mtim.tv_nsec;
#endif
    return true;
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(toPath(directory), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            names.push_back(it->path().filename().u8string());
        }
    }
    return names;
}

bool makeDirectory(const std::string& path) {
    std::error_code ec;
    fs::create_directories(toPath(path), ec);
    return fs::is_directory(toPath(path), ec);
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(toPath(path), ec);
}

bool fileHeldByAnother(const std::string& path) {
#ifdef _WIN32
    HANDLE h = CreateFileW(toPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }
    CloseHandle(h);
#else
    (void)path;
#endif
    return false;
}

namespace {

// Moves `from` to `to` unless `to` exists: 1 moved, 0 taken, -1 failed.
int moveUnlessTaken(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExW(toPath(from).c_str(), toPath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return 1;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? 0 : -1;
#else
    // A hard link fails on a name that is taken; where the file system has none, a look
    // first (only this program writes in the folders it moves files into).
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) {
            return 1;
        }
        ::unlink(to.c_str());
        return -1;
    }
    if (errno == EEXIST) {
        return 0;
    }
    struct stat s {};
    if (::lstat(to.c_str(), &s) == 0) {
        return 0;
    }
    return std::rename(from.c_str(), to.c_str()) == 0 ? 1 : -1;
#endif
}

}  // namespace

std::string moveAside(const std::string& from, const std::string& directory,
                      const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    for (int n = 0; n < 10000; ++n) {
        const std::string candidate =
            n == 0 ? name : name.substr(0, cut) + "-" + std::to_string(n) + name.substr(cut);
        const int moved = moveUnlessTaken(from, directory + "/" + candidate);
        if (moved != 0) {
            return moved > 0 ? candidate : std::string();
        }
    }
    return std::string();
}

std::string setDamagedFileAside(const std::string& path, const std::string& fault,
                                bool* movedAside) {
    const size_t slash = path.find_last_of("/\\");
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    const std::string aside = moveAside(path, directory, name + ".uszkodzony");
    *movedAside = !aside.empty();
    return "Plik " + name + " jest uszkodzony (" + fault + "); " +
           (aside.empty() ? "nie udało się go odłożyć" : "odłożono go jako " + aside);
}

}  // namespace vorda
