// The real VordaCen.exe: its resources, its main window, and closing it.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "settings/messages.h"
#include "settings/version.h"
#include "support.h"
#include "vorda_version.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::test {
namespace {

using win::fromUtf8;

// The built program, loaded as a data file so that its own resources are read.
HMODULE programResources() {
    static HMODULE module =
        LoadLibraryExW(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::wstring loadString(UINT id) {
    const wchar_t* p = nullptr;
    const int n = LoadStringW(programResources(), id, reinterpret_cast<LPWSTR>(&p), 0);
    return n > 0 ? std::wstring(p, static_cast<size_t>(n)) : std::wstring();
}

// One line per item: indentation by depth, the text, then the id or "{" for a pop-up.
std::wstring describeMenu(HMENU menu, const std::wstring& indent = L"") {
    std::wstring out;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, i);
        out += indent + (text[0] == 0 ? L"-\n"
                         : sub != nullptr
                             ? text + std::wstring(L" {\n") + describeMenu(sub, indent + L"  ")
                             : text + (L" " + std::to_wstring(GetMenuItemID(menu, i)) + L"\n"));
    }
    return out;
}

const wchar_t kExpectedMenu[] =
    L"&Akcja {\n"
    L"  Po\u0142\u0105cz 256\n"
    L"  Test 40047\n"
    L"  Roz\u0142\u0105cz 257\n"
    L"  -\n"
    L"  Zako\u0144cz 258\n"
    L"&Ustawienia {\n"
    L"  Transmisja 259\n"
    L"  \u015awiat\u0142o 40046\n"
    L"  Ustawienia programu 40050\n"
    L"Czytaj z Vordy 40053\n"
    L"Program 260\n";

// The string table (the message texts and the names of the transmission dialog's lists),
// the menu, and the accelerators Shift+PageUp "Połącz" and Shift+PageDown "Rozłącz".
TEST(ProgramResources, StringTableMenuAndAccelerators) {
    for (Text id : kAllTexts) {
        EXPECT_EQ(loadString(static_cast<UINT>(id)), fromUtf8(defaultMessageText(id)))
            << "string " << static_cast<int>(id);
    }
    auto names = [](UINT first, UINT count) {
        std::wstring list;
        for (UINT i = 0; i < count; ++i) {
            list += (i == 0 ? L"" : L" ") + loadString(first + i);
        }
        return list;
    };
    EXPECT_EQ(names(IDS_COM, 1), L"COM");
    EXPECT_EQ(names(IDS_BAUD_FIRST, 13),
              L"110 300 600 1200 2400 4800 9600 14.4k 19.2k 38.4k 56k 128k 256k");
    EXPECT_EQ(names(IDS_PARITY_FIRST, 5), L"None Even Odd Mark Space");
    EXPECT_EQ(names(IDS_STOPBITS_FIRST, 3), L"1 1.5 2");

    HMENU menu = LoadMenuW(programResources(), MAKEINTRESOURCEW(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(describeMenu(menu), kExpectedMenu);
    DestroyMenu(menu);

    HACCEL table = LoadAcceleratorsW(programResources(), MAKEINTRESOURCEW(IDA_MAIN));
    ASSERT_NE(table, nullptr);
    ACCEL entries[8];
    ASSERT_EQ(CopyAcceleratorTableW(table, entries, 8), 2);
    const std::pair<WORD, WORD> keys[2] = {{VK_PRIOR, IDM_CONNECT}, {VK_NEXT, IDM_DISCONNECT}};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(entries[i].key, keys[i].first);
        EXPECT_EQ(entries[i].cmd, keys[i].second);
        EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY | FSHIFT);
    }
    DestroyAcceleratorTable(table);
}

// What Windows shows in the file's properties, and the About box's version in it.
TEST(ProgramResources, VersionResourceWithTheNameLanguageAndTheAboutBoxDate) {
    DWORD unused = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(programPath().c_str(), &unused));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(programPath().c_str(), 0, static_cast<DWORD>(data.size()),
                                    data.data()));
    auto query = [&](const std::wstring& path) {
        void* value = nullptr;
        UINT size = 0;
        return VerQueryValueW(data.data(), path.c_str(), &value, &size) ? value : nullptr;
    };
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(2, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 53));
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    const auto* language = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language[0], 0x0415);
    EXPECT_EQ(language[1], 1200);
    auto text = [&](const wchar_t* name) {
        const void* value = query(std::wstring(L"\\StringFileInfo\\041504B0\\") + name);
        return value != nullptr ? std::wstring(static_cast<const wchar_t*>(value)) : L"";
    };
    EXPECT_EQ(text(L"ProductName"), L"Vorda Cen");
    EXPECT_EQ(text(L"CompanyName"), L"Vorda");
    EXPECT_EQ(text(L"FileDescription"), L"Vorda Cen \u2013 sterowanie wy\u015bwietlaczem cen");
    // "1.2.53.YYMMDD", as at the end of the About box's " :  ver.1.2.53.YYMMDD".
    const std::string about = versionText("", VORDA_BUILD_DATE);
    const std::wstring version = fromUtf8(about.substr(about.find("ver.") + 4));
    EXPECT_EQ(text(L"FileVersion"), version);
    EXPECT_EQ(text(L"ProductVersion"), version);
}

// Asks the program to close (through the menu, or with the close box) and answers the
// confirmation with `button`.
void close(ProgramProcess& program, bool throughMenu, int button) {
    PostMessageW(program.mainWindow(), throughMenu ? WM_COMMAND : WM_CLOSE,
                 throughMenu ? MAKEWPARAM(IDM_EXIT, 0) : 0, 0);
    HWND confirm = nullptr;
    waitUntil([&] { return (confirm = findDialog(program.id(), L"Vorda Cen")) != nullptr; }, 10000);
    ASSERT_NE(confirm, nullptr) << "no close confirmation";
    EXPECT_EQ(messageOf(confirm), L"Czy zamkn\u0105\u0107 program?");
    pressButton(confirm, button);
}

// The main window's class, title, place and size; the close confirmation, through the
// menu and with the close box: "Anuluj" keeps the program running, OK ends it with 0.
TEST(RunningProgram, MainWindowAndItsCloseConfirmation) {
    const std::wstring directory = makeTempDirectory(L"vorda-program");
    for (bool throughMenu : {true, false}) {
        SCOPED_TRACE(throughMenu ? "menu" : "close box");
        ProgramProcess program;
        ASSERT_TRUE(program.start(directory));
        HWND window = program.mainWindow();
        EXPECT_EQ(className(window), L"TTYWndClass");
        EXPECT_EQ(windowText(window), L"Vorda Cen");
        RECT r;
        GetWindowRect(window, &r);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (std::vector<LONG>{10, 10, 650, 577}));
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        for (LONG bit : {WS_CLIPCHILDREN, WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX,
                         WS_MAXIMIZEBOX}) {
            EXPECT_EQ(style & bit, bit);
        }
        EXPECT_EQ(GetClassLongPtrW(window, GCL_CBWNDEXTRA), sizeof(LONG_PTR));
        EXPECT_NE(GetMenu(window), nullptr);

        ASSERT_NO_FATAL_FAILURE(close(program, throughMenu, IDCANCEL));
        Sleep(300);
        EXPECT_TRUE(program.running());
        EXPECT_TRUE(IsWindow(window));
        ASSERT_NO_FATAL_FAILURE(close(program, throughMenu, IDOK));
        EXPECT_EQ(program.waitForExit(), 0);
    }
}

}  // namespace
}  // namespace vorda::test
