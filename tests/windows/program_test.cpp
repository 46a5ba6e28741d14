// The real VordaCen.exe: its resources, its main window, and closing it.
#include <shlobj.h>

#include <thread>

#include "settings/files.h"
#include "settings/messages.h"
#include "settings/version.h"
#include "support.h"
#include "vorda_version.h"

namespace vorda::test {
namespace {

// The built program, loaded as a data file so that its own resources are read.
const HMODULE kProgram = LoadLibraryExW(kProgramPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);

std::wstring loadString(UINT id) {
    const wchar_t* p = nullptr;
    const int n = LoadStringW(kProgram, id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 ? std::wstring(p, static_cast<size_t>(n)) : std::wstring();
}

// Each item's text, then its id or its pop-up's items in braces.
std::wstring describeMenu(HMENU menu) {
    std::wstring out;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, i);
        out += text + (sub != nullptr ? L" {" + describeMenu(sub) + L"} "
                                      : L" " + std::to_wstring(GetMenuItemID(menu, i)) + L", ");
    }
    return out;
}

// A file another program holds open for a moment (a virus scanner, a backup) is replaced once
// it lets go; one held for longer than the save waits leaves the old bytes and a failure.
TEST(Files, AReplaceWaitsForAProgramThatHoldsTheFileAMoment) {
    const std::wstring directory = makeTempDirectory(L"-zapis");
    const std::wstring path = directory + L"\\ZleceniaCen.json";
    for (const DWORD holdMs : {150u, 2000u}) {
        ASSERT_TRUE(writeFileReplacing(win::toUtf8(path), "stare"));
        HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread reader([&] {
            Sleep(holdMs);
            CloseHandle(held);
        });
        const bool written = writeFileReplacing(win::toUtf8(path), "nowe");
        reader.join();
        EXPECT_EQ(written, holdMs < 500) << holdMs;
        EXPECT_EQ(fileBytes(path), holdMs < 500 ? "nowe" : "stare") << holdMs;
    }
}

// The string table (the message texts and the names of the transmission dialog's lists),
// the menu and the version resource. (The accelerators are pressed in the window tests, and
// the COM list's name is among the message texts.)
TEST(ProgramResources, StringTableMenuAndVersion) {
    for (Text id : kAllTexts) {
        EXPECT_EQ(loadString(static_cast<UINT>(id)), win::fromUtf8(defaultMessageText(id)))
            << static_cast<int>(id);
    }
    const std::pair<UINT, std::wstring> lists[] = {
        {IDS_BAUD_FIRST, L"110 300 600 1200 2400 4800 9600 14.4k 19.2k 38.4k 56k 128k 256k"},
        {IDS_PARITY_FIRST, L"None Even Odd Mark Space"},
        {IDS_STOPBITS_FIRST, L"1 1.5 2"}};
    for (const auto& [first, names] : lists) {
        std::wstring list = loadString(first);
        for (UINT id = first + 1; !loadString(id).empty(); ++id) {
            list += L" " + loadString(id);
        }
        EXPECT_EQ(list, names);
    }
    HMENU menu = LoadMenuW(kProgram, MAKEINTRESOURCEW(IDM_MAIN));
    EXPECT_EQ(describeMenu(menu),
              L"&Akcja {Po\u0142\u0105cz 256, Test 40047, Historia cen 40054, "
              L"Zlecenia cen\u2026 40055, Roz\u0142\u0105cz 257,  0, Zako\u0144cz 258, } "
              L"&Ustawienia {Transmisja 259, \u015awiat\u0142o 40046, Ustawienia programu 40050, "
              L"Centrala\u2026 40056, } "
              L"Czytaj z Vordy 40053, Program 260, ");
    // What Windows shows in the file's properties, and the About box's version in it.
    DWORD unused = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(kProgramPath.c_str(), &unused));
    ASSERT_TRUE(!data.empty() && GetFileVersionInfoW(kProgramPath.c_str(), 0,
                                                     static_cast<DWORD>(data.size()), data.data()));
    auto query = [&](const std::wstring& path) {
        void* value = nullptr;
        UINT size = 0;
        return VerQueryValueW(data.data(), path.c_str(), &value, &size) ? value : nullptr;
    };
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    const auto* language = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
    ASSERT_TRUE(fixed != nullptr && language != nullptr);
    const WORD v[] = {VORDA_FILE_VERSION};  // the project's version and 0
    EXPECT_EQ((std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                  fixed->dwProductVersionLS, language[0], language[1]}),
              (std::vector<DWORD>{MAKELONG(v[1], v[0]), MAKELONG(v[3], v[2]), MAKELONG(v[3], v[2]),
                                  0x0415, 1200}));
    // "<version>.YYMMDD", as at the end of the About box's " :  ver.<version>.YYMMDD".
    const std::string about = versionText("", VORDA_BUILD_DATE);
    const std::wstring version = win::fromUtf8(about.substr(about.find("ver.") + 4));
    const std::pair<const wchar_t*, std::wstring> texts[] = {
        {L"ProductName", L"Vorda Cen"},
        {L"CompanyName", L"Vorda"},
        {L"FileDescription", L"Vorda Cen \u2013 sterowanie wy\u015bwietlaczem cen"},
        {L"FileVersion", version},
        {L"ProductVersion", version}};
    for (const auto& [name, expected] : texts) {
        const void* value = query(std::wstring(L"\\StringFileInfo\\041504B0\\") + name);
        EXPECT_EQ(value != nullptr ? static_cast<const wchar_t*>(value) : L"", expected) << name;
    }
}

// The main window's title, place, size and style; the close confirmation, through the menu
// and with the close box: "Anuluj" keeps the program running. A price check that ends with a
// difference while "Czy zamknąć program?" is open asks nothing more: once the close is
// confirmed the program ends with 0, its check recorded.
TEST(RunningProgram, MainWindowAndAConfirmedCloseThatEndsItWithoutAnotherBox) {
    const std::wstring directory = makeTempDirectory(L"vorda-close");
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start("--stuck-segment 2:1:e --delay 100"));  // "6.09" shows "5.09"
    Started program(directory);
    HWND window = program.window();
    EXPECT_EQ(windowText(window), L"Vorda Cen");
    RECT r;
    GetWindowRect(window, &r);
    const LONG style =
        WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top,
                                 GetWindowLongW(window, GWL_STYLE) & style}),
              (std::vector<LONG>{10, 10, 650, 577, style}));
    auto confirmation = [&](bool throughMenu) {
        PostMessageW(window, throughMenu ? WM_COMMAND : WM_CLOSE,
                     throughMenu ? MAKEWPARAM(IDM_EXIT, 0) : 0, 0);
        HWND box = nullptr;
        EXPECT_TRUE(waitUntil([&] {
            return (box = findWindow(program.process.dwProcessId, L"#32770", L"Vorda Cen"));
        }));
        EXPECT_EQ(windowText(GetDlgItem(box, 0xFFFF)),  // the message box's text
                  L"Czy zamkn\u0105\u0107 program?");
        return box;
    };
    for (bool throughMenu : {true, false}) {
        pressButton(confirmation(throughMenu), IDCANCEL);
        EXPECT_EQ(program.exitCode(300), 99u) << throughMenu;
    }
    HWND panel = FindWindowExW(window, nullptr, L"#32770", nullptr);
    SetDlgItemTextW(panel, IDC_PRICE2, L"6.09");
    PostMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_SEND_PRICES, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(panel, IDC_SEND_PRICES)));
    HWND confirm = confirmation(false);
    ASSERT_TRUE(waitUntil([&] { return sim.received().find("20M") != std::string::npos; }));
    Sleep(500);  // its answer read and the rows compared
    EXPECT_EQ(findWindow(program.process.dwProcessId, L"#32770", L"Vorda Cen", confirm), nullptr);
    pressButton(confirm, IDOK);
    EXPECT_EQ(program.exitCode(10000), 0u);
    const std::string history = fileBytes(directory + L"\\HistoriaCen.csv");
    EXPECT_NE(history.find(";2;BBB;6.09;nie;NIEZGODNE: 5.09;PANEL\r\n"), std::string::npos);
}

// The settings file stays in a fresh working folder, and in the program's own folder when it
// is there (a portable copy), else goes to %LOCALAPPDATA%\Vorda Cen. A second start brings the
// first window back from the tray and ends with 0; a session's end ends it at once with 0.
TEST(RunningProgram, DataFolderSecondStartAndSessionEnd) {
    const std::wstring own = makeTempDirectory(L"-own"), work = makeTempDirectory(L"-work");
    const std::wstring copy = own + L"\\VordaCen.exe", ownIni = own + L"\\VordaCen.ini";
    ASSERT_TRUE(CopyFileW(kProgramPath.c_str(), copy.c_str(), FALSE));
    wchar_t appData[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, appData);
    const std::wstring local = appData + std::wstring(L"\\Vorda Cen");
    const std::wstring localIni = local + L"\\VordaCen.ini";
    auto removeLocal = [&] {  // only this test makes it in the tests' prefix
        DeleteFileW(localIni.c_str());
        RemoveDirectoryW(local.c_str());
    };
    removeLocal();
    // Started in `directory`; with `again`, hidden in the tray and started a second time.
    auto run = [&](const std::wstring& directory, bool again) {
        Started program(directory, copy);
        HWND w = program.window();
        if (again) {
            ShowWindow(w, SW_MINIMIZE);
            ShowWindow(w, SW_HIDE);
            EXPECT_EQ(Started(directory, copy).exitCode(), 0u);
            EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(w) && !IsIconic(w); }));
        }
        SendMessageTimeoutW(w, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        SendMessageTimeoutW(w, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        EXPECT_EQ(program.exitCode(), 0u);
    };
    run(work, true);
    EXPECT_NE(fileBytes(work + L"\\VordaCen.ini"), "");
    std::ofstream(ownIni.c_str(), std::ios::binary) << "2\r\n";
    run(own, false);
    EXPECT_EQ(fileBytes(ownIni) + "|" + fileBytes(localIni), "2\r\n|");
    DeleteFileW(ownIni.c_str());
    run(own, false);
    EXPECT_TRUE(fileBytes(ownIni).empty() && !fileBytes(localIni).empty());

    removeLocal();
}

}  // namespace
}  // namespace vorda::test
