// The version line of the About box.
#pragma once

#include <string>

namespace vorda {

// "YYMMDD" from a build date in the compiler's __DATE__ form ("Feb 12 2015", "Mar  5 2015").
std::string buildDatePart(const char* buildDate);

// "<title> :  ver.<version>.YYMMDD", the version (VORDA_VERSION) that of the top
// CMakeLists.txt's project(), e.g. "Vorda Cen :  ver.1.2.53.150212".
std::string versionText(const std::string& title, const char* buildDate);

// The date this core was built, as __DATE__ gives it.
const char* coreBuildDate();

}  // namespace vorda
