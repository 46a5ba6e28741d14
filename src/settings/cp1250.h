// Code page 1250 (Central European) and UTF-8: the tower, the settings file, the logs and
// the price history keep single bytes of code page 1250; orders and what the program
// exchanges with other programs are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vorda {

// A character code page 1250 has no byte for becomes '?'; bytes that are not UTF-8 too.
std::string cp1250FromUtf8(std::string_view utf8);
std::string utf8FromCp1250(std::string_view cp1250);

}  // namespace vorda
