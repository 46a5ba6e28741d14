// The tower simulator for a test: started with the test build's tower-sim, and the
// program's framing written again independently.
#pragma once

#include <string>
#include <vector>

#include "process.h"

namespace vorda::test {

using towersim::LineEnd;

class TowerSim : public towersim::Process {
  public:
    explicit TowerSim(const std::vector<std::string>& options = {})
        : Process(TOWER_SIM_PATH, options) {}
};

// STX, text, checksum digits, ETX, as the program frames a command.
std::string frameOf(const std::string& text);

// "02 32 30 43 ...", as the transcript spells bytes.
inline std::string toHex(const std::string& bytes) {
    return towersim::hex(bytes);
}

}  // namespace vorda::test
