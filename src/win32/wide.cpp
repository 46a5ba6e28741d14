#include "win32/wide.h"

#include <windows.h>

namespace vorda::win {

namespace {

std::wstring toWide(UINT codePage, const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string fromWide(UINT codePage, const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring fromUtf8(const std::string& utf8) {
    return toWide(CP_UTF8, utf8);
}
std::string toUtf8(const std::wstring& wide) {
    return fromWide(CP_UTF8, wide);
}
std::wstring fromCp1250(const std::string& bytes) {
    return toWide(1250, bytes);
}
std::string toCp1250(const std::wstring& wide) {
    return fromWide(1250, wide);
}

}  // namespace vorda::win
