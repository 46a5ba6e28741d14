#include <windows.h>

#include "app/program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR, int showMode) {
    return vorda::win::runProgram(instance, previous, showMode);
}
