// The real VordaCen.exe: its resources, its main window, and closing it.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/program.h"
#include "app/wide.h"
#include "program_driver.h"
#include "record/messages.h"
#include "resources/resource.h"
#include "storage/version.h"

namespace vorda::test {
namespace {

using win::fromUtf8;

// The built program, loaded as a data file so that its own resources are read.
class ProgramResources : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::wstring exe = binaryDirectory() + L"\\VordaCen.exe";
        module_ = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    std::wstring loadString(UINT id) const {
        const wchar_t* p = nullptr;
        const int n = LoadStringW(module_, id, reinterpret_cast<LPWSTR>(&p), 0);
        return n > 0 ? std::wstring(p, static_cast<size_t>(n)) : std::wstring();
    }
    HMODULE module_ = nullptr;
};

// One line per item: indentation by depth, the text, then the id or "{" for a pop-up.
std::wstring describeMenu(HMENU menu, int depth = 0) {
    std::wstring out;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t textBuffer[128] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = textBuffer;
        info.cch = 127;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        out += std::wstring(static_cast<size_t>(depth) * 2, L' ');
        if (info.fType & MFT_SEPARATOR) {
            out += L"-\n";
        } else if (info.hSubMenu != nullptr) {
            out += std::wstring(textBuffer) + L" {\n" + describeMenu(info.hSubMenu, depth + 1);
        } else {
            out += std::wstring(textBuffer) + L" " + std::to_wstring(info.wID) + L"\n";
        }
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

TEST_F(ProgramResources, StringTableHoldsTheCoreMessageTexts) {
    for (Text id : kAllTexts) {
        EXPECT_EQ(loadString(static_cast<UINT>(id)), fromUtf8(defaultMessageText(id)))
            << "string " << static_cast<int>(id);
    }
}

TEST_F(ProgramResources, MenuHasEveryItemWithItsTextAndId) {
    HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(IDM_MAIN));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(describeMenu(menu), kExpectedMenu);
    DestroyMenu(menu);
}

TEST_F(ProgramResources, ShiftPageUpConnectsAndShiftPageDownDisconnects) {
    HACCEL table = LoadAcceleratorsW(module_, MAKEINTRESOURCEW(IDA_MAIN));
    ASSERT_NE(table, nullptr);
    ACCEL entries[8];
    ASSERT_EQ(CopyAcceleratorTableW(table, entries, 8), 2);
    EXPECT_EQ(entries[0].key, VK_PRIOR);
    EXPECT_EQ(entries[0].cmd, IDM_CONNECT);
    EXPECT_EQ(entries[0].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY | FSHIFT);
    EXPECT_EQ(entries[1].key, VK_NEXT);
    EXPECT_EQ(entries[1].cmd, IDM_DISCONNECT);
    EXPECT_EQ(entries[1].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY | FSHIFT);
    DestroyAcceleratorTable(table);
}

TEST_F(ProgramResources, PortSettingNamesForTheTransmissionDialog) {
    EXPECT_EQ(loadString(IDS_COM), L"COM");
    const wchar_t* speeds[] = {L"110",   L"300",   L"600",   L"1200", L"2400", L"4800", L"9600",
                               L"14.4k", L"19.2k", L"38.4k", L"56k",  L"128k", L"256k"};
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(loadString(IDS_BAUD_FIRST + i), speeds[i]);
    }
    const wchar_t* parities[] = {L"None", L"Even", L"Odd", L"Mark", L"Space"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(loadString(IDS_PARITY_FIRST + i), parities[i]);
    }
    const wchar_t* stops[] = {L"1", L"1.5", L"2"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(loadString(IDS_STOPBITS_FIRST + i), stops[i]);
    }
}

// What Windows shows in the file's properties, and the About box's version in it.
TEST(ProgramVersion, ResourceHasTheVersionNameAndLanguageAndTheAboutBoxDate) {
    const std::wstring exe = binaryDirectory() + L"\\VordaCen.exe";
    DWORD unused = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(exe.c_str(), &unused));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    auto query = [&](const std::wstring& path) {
        void* value = nullptr;
        UINT size = 0;
        return VerQueryValueW(data.data(), path.c_str(), &value, &size) ? value : nullptr;
    };
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(2, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 53));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
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
    const std::string about = versionText("", win::programBuildDate());
    const std::wstring version = fromUtf8(about.substr(about.find("ver.") + 4));
    EXPECT_EQ(text(L"FileVersion"), version);
    EXPECT_EQ(text(L"ProductVersion"), version);
}

class RunningProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = makeTempDirectory(L"vorda-program");
        ASSERT_TRUE(program_.start(directory_));
    }

    // Asks to close through the menu and answers the confirmation with `button`.
    void exitThroughMenu(int button) {
        PostMessageW(program_.mainWindow(), WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        HWND confirm = program_.waitForDialog(L"Vorda Cen");
        ASSERT_NE(confirm, nullptr) << "no close confirmation";
        bool questionShown = false;
        for (HWND child : childWindows(confirm, L"Static")) {
            questionShown = questionShown || windowText(child) == L"Czy zamkn\u0105\u0107 program?";
        }
        EXPECT_TRUE(questionShown);
        EXPECT_NE(GetDlgItem(confirm, IDOK), nullptr);
        EXPECT_NE(GetDlgItem(confirm, IDCANCEL), nullptr);
        pressButton(confirm, button);
    }

    std::wstring directory_;
    Program program_;
};

TEST_F(RunningProgram, MainWindowHasItsClassTitlePlaceAndSize) {
    HWND window = program_.mainWindow();
    EXPECT_EQ(className(window), L"TTYWndClass");
    EXPECT_EQ(windowText(window), L"Vorda Cen");
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, 650);
    EXPECT_EQ(r.bottom - r.top, 577);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    for (LONG bit :
         {WS_CLIPCHILDREN, WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX}) {
        EXPECT_EQ(style & bit, bit);
    }
    EXPECT_EQ(GetClassLongPtrW(window, GCL_CBWNDEXTRA), static_cast<ULONG_PTR>(sizeof(LONG_PTR)));
    EXPECT_NE(GetMenu(window), nullptr);
}

TEST_F(RunningProgram, CancelInTheCloseConfirmationKeepsItRunning) {
    exitThroughMenu(IDCANCEL);
    Sleep(300);
    EXPECT_TRUE(program_.running());
    EXPECT_TRUE(IsWindow(program_.mainWindow()));
    exitThroughMenu(IDOK);
    EXPECT_EQ(program_.waitForExit(), 0);
}

TEST_F(RunningProgram, ExitFromTheMenuAsksAndEndsWithCodeZero) {
    exitThroughMenu(IDOK);
    EXPECT_EQ(program_.waitForExit(), 0);
}

TEST_F(RunningProgram, CloseBoxAsksTheSameQuestion) {
    PostMessageW(program_.mainWindow(), WM_CLOSE, 0, 0);
    HWND confirm = program_.waitForDialog(L"Vorda Cen");
    ASSERT_NE(confirm, nullptr);
    pressButton(confirm, IDOK);
    EXPECT_EQ(program_.waitForExit(), 0);
}

}  // namespace
}  // namespace vorda::test
