// The installer in a Wine prefix of its own: install, shortcuts, the program's data folder, a
// refusal while it runs, a downgrade, an uninstall keeping the settings; last, it is installed
// again and left so. Usage: installer_check <folder of signed.exe and older.exe>.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
}

std::wstring folder(int id) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, id, nullptr, 0, path);
    return path;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Within thirty seconds.
template <typename Done>
bool eventually(Done done) {
    for (int i = 0; i < 300 && !done(); ++i) {
        Sleep(100);
    }
    return done();
}

// Starts a command line in `directory`: the process; run(): its exit code.
HANDLE start(std::wstring line, const wchar_t* directory = nullptr) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                   &process);
    return process.hProcess;
}
DWORD run(const std::wstring& line) {
    HANDLE process = start(line);
    DWORD code = 255;
    WaitForSingleObject(process, 60000);
    GetExitCodeProcess(process, &code);
    return code;
}

std::wstring uninstallEntry(const wchar_t* name) {
    wchar_t value[512] = L"";
    DWORD size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER,
                 L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorda Cen", name,
                 RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

// A shortcut's target and start directory, "|" between them.
std::wstring shortcut(const std::wstring& path) {
    wchar_t target[MAX_PATH] = L"", directory[MAX_PATH] = L"";
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        link->GetPath(target, MAX_PATH, nullptr, 0);
        link->GetWorkingDirectory(directory, MAX_PATH);
    }
    return std::wstring(target) + L"|" + directory;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitialize(nullptr);
    const std::wstring setups = argc > 1 ? argv[1] : L".";
    auto silent = [&](const wchar_t* name) { return L"\"" + setups + L"\\" + name + L"\" /S"; };
    const std::wstring setup = silent(L"signed.exe"), older = silent(L"older.exe");
    const std::wstring program = folder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Vorda Cen";
    const std::wstring data = folder(CSIDL_LOCAL_APPDATA) + L"\\Vorda Cen";
    const std::wstring menuLink = folder(CSIDL_PROGRAMS) + L"\\Vorda Cen.lnk";
    const std::wstring startupLink = folder(CSIDL_STARTUP) + L"\\Vorda Cen.lnk";
    const std::wstring desktopLink = folder(CSIDL_DESKTOPDIRECTORY) + L"\\Vorda Cen.lnk";
    // This build's version, and the one before it (its last number one less).
    const std::wstring version = L"" VORDA_VERSION;
    const size_t dot = version.rfind(L'.');
    const std::wstring previous =
        version.substr(0, dot + 1) + std::to_wstring(std::stoi(version.substr(dot + 1)) - 1);

    // A terminal program's main window, of the class the program's has too.
    WNDCLASSW terminal = {0, DefWindowProcW, 0, 0, {}, {}, {}, {}, {}, L"TTYWndClass"};
    RegisterClassW(&terminal);
    CreateWindowExW(0, terminal.lpszClassName, L"", 0, 0, 0, 9, 9, {}, {}, {}, {});
    check(run(setup) == 0, "silent install beside another program's window of the class");
    check(exists(program + L"\\Uninstall.exe") && !exists(desktopLink) &&
              uninstallEntry(L"InstallLocation") == program &&
              uninstallEntry(L"DisplayVersion") == version,
          "files and uninstall entry");
    const std::wstring target = program + L"\\VordaCen.exe", link = target + L"|" + program;
    check(shortcut(menuLink) == link && shortcut(startupLink) == link,
          "Start menu and Startup shortcuts, in the program folder");

    HANDLE running = start(L"\"" + target + L"\"", program.c_str());
    check(eventually([&] { return exists(data + L"\\VordaCen.ini"); }) &&
              !exists(program + L"\\VordaCen.ini"),
          "the program started there keeps its settings in %LOCALAPPDATA%\\Vorda Cen");
    check(run(setup) == 3, "install refused while the program runs");
    TerminateProcess(running, 0);
    WaitForSingleObject(running, 10000);

    check(run(older) == 6 && uninstallEntry(L"DisplayVersion") == version,
          "an older version refused over a newer one");
    check(run(older + L" /FORCE") == 0 && uninstallEntry(L"DisplayVersion") == previous,
          "an older version installed over a newer one with /FORCE");
    check(run(setup + L" /DESKTOP") == 0 && exists(desktopLink) &&
              uninstallEntry(L"DisplayVersion") == version,
          "install over it");

    check(run(uninstallEntry(L"QuietUninstallString")) == 0, "silent uninstall");
    // The uninstaller goes on from a copy of itself after the caller's process has ended, and
    // removes the folder before the shortcuts and the entry: wait for all of them.
    check(eventually([&] {
              return !exists(program) && !exists(menuLink) && !exists(startupLink) &&
                     !exists(desktopLink) && uninstallEntry(L"DisplayName").empty();
          }),
          "program, shortcuts and uninstall entry removed");
    check(exists(data + L"\\VordaCen.ini"), "settings file kept");

    check(run(setup) == 0 && exists(target), "installed again, for its signatures");
    return failures == 0 ? 0 : 1;
}
