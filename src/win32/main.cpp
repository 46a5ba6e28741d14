#include <windows.h>

#include "win32/program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR, int showMode) {
    vorda::win::Program program(instance);
    return program.run(previous, showMode);
}
