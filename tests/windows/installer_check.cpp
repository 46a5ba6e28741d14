// The installer in a Wine prefix of its own: silent install, the Start menu shortcut's start
// directory where the program writes its settings file, a refusal while it runs, an install
// over it, a silent uninstall keeping the settings. Usage: installer_check <setup.exe>.
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitialize(nullptr);
    const std::wstring setup = L"\"" + std::wstring(argc > 1 ? argv[1] : L"") + L"\" /S";
    const std::wstring program = folder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Vorda Cen";
    const std::wstring work = folder(CSIDL_LOCAL_APPDATA) + L"\\Vorda Cen";
    const std::wstring menuLink = folder(CSIDL_PROGRAMS) + L"\\Vorda Cen.lnk";
    const std::wstring desktopLink = folder(CSIDL_DESKTOPDIRECTORY) + L"\\Vorda Cen.lnk";

    check(run(setup) == 0, "silent install");
    check(exists(program + L"\\Uninstall.exe") && exists(work) && !exists(desktopLink), "files");
    check(uninstallEntry(L"InstallLocation") == program &&
              uninstallEntry(L"DisplayVersion") == L"" VORDA_VERSION,
          "uninstall entry");
    wchar_t target[MAX_PATH] = L"", directory[MAX_PATH] = L"";
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(menuLink.c_str(), STGM_READ))) {
        link->GetPath(target, MAX_PATH, nullptr, 0);
        link->GetWorkingDirectory(directory, MAX_PATH);
    }
    check(target == program + L"\\VordaCen.exe" && directory == work, "Start menu shortcut");

    HANDLE running = start(L"\"" + std::wstring(target) + L"\"", directory);
    check(eventually([&] { return exists(work + L"\\VordaCen.ini"); }),
          "the program started there writes its settings file there");
    check(FindWindowW(L"TTYWndClass", nullptr) != nullptr && run(setup) == 3,
          "install refused while the program runs");
    TerminateProcess(running, 0);
    WaitForSingleObject(running, 10000);
    check(run(setup + L" /DESKTOP") == 0 && exists(desktopLink), "install over it");

    check(run(uninstallEntry(L"QuietUninstallString")) == 0, "silent uninstall");
    // The uninstaller goes on from a copy of itself after the caller's process has ended, and
    // removes the folder before the shortcuts and the entry: wait for all of them.
    check(eventually([&] {
              return !exists(program) && !exists(menuLink) && !exists(desktopLink) &&
                     uninstallEntry(L"DisplayName").empty();
          }),
          "program, shortcuts and uninstall entry removed");
    check(exists(work + L"\\VordaCen.ini"), "settings file kept");
    return failures == 0 ? 0 : 1;
}
