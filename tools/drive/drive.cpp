// vorda-drive: operates a running VordaCen.exe from outside, for scripts (the soak run,
// the benchmark), as the operator would:
//
//   vorda-drive connect        "Akcja > Połącz"
//   vorda-drive play FILE      that, then FILE (a Windows path) in the control panel's
//                              control-file box and "Start"
//   vorda-drive test FILE      "Akcja > Test" instead of "Połącz", then the same (the
//                              same load without the link, to tell what is the link's)
//
// It waits up to 20 s for the program's main window, prints the status field after
// another second and ends; 0 when the status reads as connected or in test mode.
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"

namespace {

// The window that holds the control panel's Start/Stop button: the panel.
BOOL CALLBACK findPanel(HWND window, LPARAM found) {
    if (GetDlgItem(window, IDC_START_STOP) != nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void command(HWND window, int id, HWND control) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control), SMTO_ABORTIFHUNG, 10000, &result);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring action = argc > 1 ? argv[1] : L"";
    const bool play = action == L"play" || action == L"test";
    if ((action != L"connect" && !play) || (play && argc < 3)) {
        std::fputs("usage: vorda-drive connect | vorda-drive play FILE | vorda-drive test FILE\n",
                   stderr);
        return 2;
    }
    HWND main = nullptr;
    HWND panel = nullptr;
    for (int waited = 0; waited < 20000 && panel == nullptr; waited += 100) {
        main = FindWindowW(L"TTYWndClass", nullptr);
        if (main != nullptr) {
            EnumChildWindows(main, findPanel, reinterpret_cast<LPARAM>(&panel));
        }
        if (panel == nullptr) {
            Sleep(100);
        }
    }
    if (panel == nullptr) {
        std::fputs("vorda-drive: VordaCen.exe is not running\n", stderr);
        return 1;
    }
    command(main, action == L"test" ? IDM_TEST : IDM_CONNECT, nullptr);
    if (play) {
        SetDlgItemTextW(panel, IDC_CONTROL_FILE, argv[2]);
        command(panel, IDC_START_STOP, GetDlgItem(panel, IDC_START_STOP));
    }
    Sleep(1000);
    wchar_t status[64] = {};
    GetDlgItemTextW(panel, IDC_STATUS, status, 64);
    char utf8[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, status, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("%s\n", utf8);
    const std::wstring shown(status);
    return shown.compare(0, 4, L"PO\u0141\u0104") == 0 || shown.compare(0, 4, L"TRYB") == 0 ? 0 : 1;
}
