#include "protocol/commands.h"

namespace vorda {

std::string priceCommand(int row, bool blink, const std::string& text) {
    std::string command = "2";
    command += static_cast<char>('1' + row);
    command += blink ? 'M' : 'C';
    return command + text;
}

std::string lightCommand(char letter, int value) {
    std::string command = "20";
    command += letter;
    return command + std::to_string(value);
}

}  // namespace vorda
