#include <windows.h>

#include "win32/command_line.h"
#include "win32/program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR, int showMode) {
    if (const std::optional<int> code = vorda::win::runCommandLine()) {
        return *code;
    }
    vorda::win::Program program(instance);
    return program.run(previous, showMode);
}
