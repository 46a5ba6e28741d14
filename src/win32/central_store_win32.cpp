// The head office's settings on Windows: "Centrala.ini" read and written with the profile
// API (section [Centrala]), the file made UTF-16 so that any text keeps its characters, and
// the access key protected for the current user with DPAPI (never in clear in the file).
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "engine/central_store.h"
#include "win32/wide.h"

namespace vorda {

namespace {

constexpr wchar_t kSection[] = L"Centrala";

std::wstring profileText(const std::wstring& path, const wchar_t* key) {
    wchar_t buffer[2048] = L"";
    GetPrivateProfileStringW(kSection, key, L"", buffer, 2048, path.c_str());
    return buffer;
}

bool win32Load(void*, const std::string& path, CentralSettings* out) {
    const std::wstring file = win::fromUtf8(path);
    *out = CentralSettings();
    wchar_t names[4] = L"";  // the section's key names: none, no section
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetPrivateProfileStringW(kSection, nullptr, L"", names, 4, file.c_str()) == 0) {
        return false;
    }
    out->documentUrl = win::toUtf8(profileText(file, L"Adres"));
    out->reportUrl = win::toUtf8(profileText(file, L"Raport"));
    out->station = win::toUtf8(profileText(file, L"Stacja"));
    out->periodSeconds =
        static_cast<int>(GetPrivateProfileIntW(kSection, L"Okres", 300, file.c_str()));
    out->protectedKey = win::toUtf8(profileText(file, L"Klucz"));
    return true;
}

bool win32Save(void*, const std::string& path, const CentralSettings& s) {
    const std::wstring file = win::fromUtf8(path);
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // A new file begins with the UTF-16 byte order mark: the profile API then writes
        // every text as it is, whatever the code page.
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        const unsigned char bom[2] = {0xFF, 0xFE};
        WriteFile(h, bom, 2, &written, nullptr);
        CloseHandle(h);
    }
    const std::pair<const wchar_t*, std::string> values[] = {
        {L"Adres", s.documentUrl},
        {L"Raport", s.reportUrl},
        {L"Stacja", s.station},
        {L"Okres", std::to_string(s.periodSeconds)},
        {L"Klucz", s.protectedKey}};
    for (const auto& [key, value] : values) {
        if (value.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
    }
    bool ok = true;
    for (const auto& [key, value] : values) {
        ok = WritePrivateProfileStringW(kSection, key, win::fromUtf8(value).c_str(),
                                        file.c_str()) != FALSE &&
             ok;
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());  // flushed now
    return ok;
}

std::string base64(const BYTE* bytes, DWORD size) {
    DWORD chars = 0;
    CryptBinaryToStringA(bytes, size, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, nullptr, &chars);
    std::string text(chars, '\0');
    if (!CryptBinaryToStringA(bytes, size, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, text.data(),
                              &chars)) {
        return std::string();
    }
    text.resize(chars);
    return text;
}

std::string win32Protect(void*, const std::string& key) {
    if (key.empty()) {
        return std::string();
    }
    DATA_BLOB in = {static_cast<DWORD>(key.size()),
                    reinterpret_cast<BYTE*>(const_cast<char*>(key.data()))};
    DATA_BLOB out = {};
    if (!CryptProtectData(&in, L"Vorda Cen", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out)) {
        return std::string();
    }
    const std::string text = base64(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return text;
}

std::string win32Unprotect(void*, const std::string& protectedKey) {
    DWORD size = 0;
    if (protectedKey.empty() || !CryptStringToBinaryA(protectedKey.c_str(), 0, CRYPT_STRING_BASE64,
                                                      nullptr, &size, nullptr, nullptr)) {
        return std::string();
    }
    std::string bytes(size, '\0');
    CryptStringToBinaryA(protectedKey.c_str(), 0, CRYPT_STRING_BASE64,
                         reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr, nullptr);
    DATA_BLOB in = {size, reinterpret_cast<BYTE*>(bytes.data())};
    DATA_BLOB out = {};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out)) {
        return std::string();
    }
    std::string key(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return key;
}

}  // namespace

CentralStore platformCentralStore() {
    CentralStore s;
    s.load = win32Load;
    s.save = win32Save;
    s.protect = win32Protect;
    s.unprotect = win32Unprotect;
    return s;
}

}  // namespace vorda
