// "Wyślij" through the real program against the simulated tower: the message box for a row
// the tower shows otherwise, and "Historia cen" listing the last send first, quickly, over
// a 20 MB backup that fills it up to its 1000 lines.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <fstream>

#include "support.h"

namespace vorda::test {
namespace {

TEST_F(ProgramWindow, ARowTheTowerShowsOtherwiseIsReportedRecordedAndListed) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start("--stuck-segment 2:1:e"));  // "6.09" shows as "5.09"
    type(IDC_PRICE1, L"5.49");
    type(IDC_PRICE2, L"6.09");
    std::wstring message;
    auto box = onDialog(L"Vorda Cen", [&](HWND d) {
        message = windowText(GetDlgItem(d, 0xFFFF));  // the message box's text
        pressButton(d, IDOK);
    });
    click(IDC_SEND_PRICES);
    ASSERT_TRUE(pumpUntil(
        [&] { return box.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 8000));
    EXPECT_TRUE(box.get());
    EXPECT_EQ(message,
              L"Vorda pokazuje inne ceny ni\u017c wys\u0142ane:\n"
              L"Cena 2: wys\u0142ano 6.09, Vorda pokazuje 5.09");
    ASSERT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    EXPECT_EQ(text(IDC_PRICE2), L"5.09");

    std::string older;
    while (older.size() < 20000000) {
        older += "01.01.2025;08:00:00;1;AAA;4.99;nie;POTWIERDZONO\r\n";
    }
    std::ofstream((directory_ + L"\\HistoriaCen_1.csv").c_str(), std::ios::binary) << older;
    std::vector<std::wstring> listed;  // the count, and "Cena", "Wysłano" and "Wynik"
    auto shown = onDialog(L"Historia cen", [&](HWND d) {
        HWND list = GetDlgItem(d, IDC_HISTORY_LIST);
        listed.push_back(std::to_wstring(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
        for (int item : {-1, 0, 3, 999}) {
            std::wstring fields;
            for (int column : {2, 4, 6}) {
                wchar_t buffer[64] = L"";
                LVCOLUMNW c = {};
                c.mask = LVCF_TEXT;
                LVITEMW i = {};
                i.iSubItem = column;
                c.pszText = i.pszText = buffer;
                c.cchTextMax = i.cchTextMax = 64;
                item < 0 ? SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&c))
                         : SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&i));
                fields += (column == 2 ? L"" : L"|") + std::wstring(buffer);
            }
            listed.push_back(fields);
        }
        pressButton(d, IDCANCEL);
    });
    const auto opened = std::chrono::steady_clock::now();
    menu(IDM_PRICE_HISTORY);
    EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::milliseconds(1000));
    EXPECT_TRUE(shown.get());
    EXPECT_EQ(listed,
              (std::vector<std::wstring>{L"1000", L"Cena|Wys\u0142ano|Wynik", L"5||POTWIERDZONO",
                                         L"2|6.09|NIEZGODNE: 5.09", L"1|4.99|POTWIERDZONO"}));
}

}  // namespace
}  // namespace vorda::test
