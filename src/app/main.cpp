#include <windows.h>

#include "app/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR, int showMode) {
    return vorda::win::runProgram(instance, previous, showMode);
}
