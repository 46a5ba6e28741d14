// Text conversions at the edge of the Win32 layer: the user interface speaks UTF-16,
// the layers below speak UTF-8 for their messages and code page 1250 for what goes to the
// tower and into the files.
#pragma once

#include <string>

namespace vorda::win {

std::wstring fromUtf8(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);
std::wstring fromCp1250(const std::string& bytes);
std::string toCp1250(const std::wstring& wide);

}  // namespace vorda::win
