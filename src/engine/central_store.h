// The head office's settings store, as a table of functions: the settings file
// ("Centrala.ini" in the data folder, section [Centrala], keys Adres, Raport, Stacja, Okres
// and Klucz; UTF-8 natively, UTF-16 as the profile API writes it on Windows) and the protection of
// the access key for the user. One implementation per platform (the profile API and DPAPI on
// Windows; a small reader and writer of the same section natively); tests may supply their own
// table. Called by the controller, on any one thread at a time.
#pragma once

#include <string>

#include "settings/central_settings.h"

namespace vorda {

struct CentralStore {
    void* context = nullptr;
    // Reads the section as the profile API does: keys in any case, blanks around names and
    // values dropped, a value in matching quotes unquoted, the first of a repeated key or
    // section taken, `Okres` read as a whole number (0 when it is none). A key that is
    // missing keeps its default; no file or no section: the defaults, false.
    bool (*load)(void* context, const std::string& path, CentralSettings* out) = nullptr;
    // Writes the five keys into the section (created when missing), keeping the rest of the
    // file; false when it could not be written (or a value holds a line break).
    bool (*save)(void* context, const std::string& path, const CentralSettings& settings) = nullptr;
    // The key protected for the current user, as base64 of the protected bytes ("" for "").
    std::string (*protect)(void* context, const std::string& key) = nullptr;
    // The key back; "" when it cannot be (another user's, damaged, not base64).
    std::string (*unprotect)(void* context, const std::string& protectedKey) = nullptr;
};

// The store of the platform this was built for.
CentralStore platformCentralStore();

}  // namespace vorda
