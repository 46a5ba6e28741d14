// The head office, with the stand-in central-sim on 127.0.0.1 and the tower simulator on COM1:
// the real program reading "Centrala.ini" at its start, carrying out the head office's order
// and sending its result back; the "Centrala" dialog and the orders list's lines in the
// program's windows of this process.
#include <windows.h>

#include <commctrl.h>

#include <ctime>

#include "engine/central_store.h"
#include "orders/document.h"
#include "support.h"
#include "win32/central_dialog.h"

namespace vorda::test {
namespace {

// What the orders list's "Centrala: DD.MM HH:MM:SS – TEXT" says after its time; "?" for a
// line of another shape.
std::wstring contactSays(const std::wstring& line) {
    unsigned d = 0, m = 0, h = 0, mi = 0, s = 0;
    const bool timed =
        swscanf(line.c_str(), L"Centrala: %2u.%2u %2u:%2u:%2u", &d, &m, &h, &mi, &s) == 5 &&
        d >= 1 && d <= 31 && m >= 1 && m <= 12 && h < 24 && mi < 60 && s < 60;
    return timed && line.size() > 27 && line.substr(24, 3) == L" \u2013 " ? line.substr(27) : L"?";
}

// The real program, its "Centrala.ini" written before its start (the key protected for the
// user), fetches the station's document at once and then every second: the order the head
// office publishes goes to the tower at its time while the head office is down, the orders
// list shows its result waiting, and the result is posted as soon as the head office answers
// again; the unchanged document then costs only 304s, and one for another station or no JSON
// changes nothing.
TEST(HeadOffice, ItsOrderGoesAtItsTimeAndItsResultFollowsAnOutage) {
    TowerSimProcess tower;
    ASSERT_TRUE(tower.start());
    CentralSimProcess central;
    central.publish("S1", "");
    const std::string key = "--expect-key tajny-klucz";
    ASSERT_TRUE(central.start(key));
    const std::wstring directory = makeTempDirectory(L"-centrala");
    const CentralStore store = platformCentralStore();
    ASSERT_TRUE(store.save(store.context, win::toUtf8(directory + L"\\Centrala.ini"),
                           {central.url() + "/stacje/S1.json", central.url() + "/raporty", "S1", 1,
                            store.protect(store.context, "tajny-klucz")}));
    Started program(directory);
    const HWND window = program.window();
    ASSERT_NE(window, nullptr);
    const auto gets = [&](const std::string& how) {  // "- 200", "inm 304", ...
        const std::vector<std::string> r = central.requests();
        return std::count(r.begin(), r.end(), "GET /stacje/S1.json " + how);
    };
    ASSERT_TRUE(waitUntil([&] { return gets("- 200") == 1; }, 15000));
    const std::string plan = R"({"id": "c1", "od": ")" + orderTimeText(std::time(nullptr) + 4, 0) +
                             R"(", "ceny": {"1": "5.55"}})";
    central.publish("S1", plan);
    ASSERT_TRUE(waitUntil([&] { return gets("inm 200") == 1; }));
    central.stop();  // down when the order ends
    ASSERT_TRUE(
        waitUntil([&] { return tower.received().find("21C5.55") != std::string::npos; }, 15000));

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_ORDERS, 0), 0);
    HWND orders = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        return (orders = findWindow(program.process.dwProcessId, L"#32770", L"Zlecenia cen"));
    }));
    const auto contact = [&] { return contactSays(controlText(orders, IDC_ORDERS_CENTRAL)); };
    const auto waiting = [&] { return controlText(orders, IDC_ORDERS_WAITING); };
    EXPECT_TRUE(waitUntil(
        [&] {
            return waiting().rfind(
                       L"Wyniki czekaj\u0105ce na wys\u0142anie: 1 (b\u0142\u0105d "
                       L"wysy\u0142ania: ",
                       0) == 0;
        },
        15000))
        << win::toUtf8(waiting());
    EXPECT_NE(contact(), L"?");
    EXPECT_NE(contact(), L"BEZ ZMIAN");  // what went wrong, in words

    ASSERT_TRUE(central.start(key, central.port()));
    EXPECT_TRUE(waitUntil(
        [&] { return central.reports().find("\tauth\tnew\tS1\tc1\t") != std::string::npos; },
        15000));  // well before the 60 s pause after a failed post
    EXPECT_NE(central.reports().find(R"("wynik": "POTWIERDZONO")"), std::string::npos);
    EXPECT_TRUE(waitUntil([&] {
        return contact() == L"BEZ ZMIAN" &&
               waiting() == L"Wyniki czekaj\u0105ce na wys\u0142anie: 0";
    }));
    const std::vector<std::string> after = central.requests();  // a POST, and only 304s
    EXPECT_EQ(std::count(after.begin(), after.end(), "POST /raporty - 204"), 1);
    EXPECT_EQ(std::count(after.begin(), after.end(), "GET /stacje/S1.json inm 304"),
              static_cast<std::ptrdiff_t>(after.size()) - 1);
    // A document for another station, or no JSON, changes nothing and is told.
    const std::string book = fileBytes(directory + L"\\ZleceniaCen.json");
    const std::string reports = central.reports(), sent = tower.received();
    for (const std::string refused :
         {R"({"stacja": "S2", "zlecenia": [{"id": "c3", "ceny": {"3": "7.77"}}]})", "nie JSON"}) {
        central.publishText("S1", refused);
        EXPECT_TRUE(waitUntil([&] { return contact().rfind(L"dokument odrzucony: ", 0) == 0; }))
            << refused;
        central.publish("S1", plan);  // as before: 304
        EXPECT_TRUE(waitUntil([&] { return contact() == L"BEZ ZMIAN"; })) << refused;
    }
    EXPECT_EQ(fileBytes(directory + L"\\ZleceniaCen.json"), book);
    EXPECT_EQ(central.reports(), reports);
    EXPECT_EQ(tower.received(), sent);
    pressButton(orders, IDCANCEL);
}

// "Ustawienia > Centrala…": "Sprawdź" asks on a thread of its own ("Anuluj" closes the dialog
// while a silent server is asked), shows the head office's 401 for a wrong key, refuses a key
// with a line break inside (neither sent nor kept) and takes one with a line break after it
// (pasted with its line) without it; "OK" shows what the settings' check refuses and stays, then
// keeps the settings and the key, protected (in no file of the data folder in clear). The orders
// list shows the head office's order and the contact. Opened again, the key box holds the
// placeholder: left so, the key stays; clicked into, it is selected and typing replaces it;
// emptied, the key goes.
TEST_F(ProgramWindow, CentralDialogChecksAndKeepsTheSettingsAndTheOrdersListShowsTheContact) {
    const int fields[] = {IDC_CENTRAL_ADDRESS, IDC_CENTRAL_REPORT, IDC_CENTRAL_STATION,
                          IDC_CENTRAL_PERIOD, IDC_CENTRAL_KEY};
    const auto shown = [&](HWND d) {
        std::wstring text = windowText(GetDlgItem(d, fields[0]));
        for (int id : {fields[1], fields[2], fields[3], fields[4]}) {
            text += L"|" + windowText(GetDlgItem(d, id));
        }
        return text;
    };
    const auto answer = [](HWND d) { return windowText(GetDlgItem(d, IDC_CENTRAL_ANSWER)); };
    // Presses a button and waits for its answer, or for the dialog to close.
    const auto run = [&](HWND d, int button) {
        SetDlgItemTextW(d, IDC_CENTRAL_ANSWER, L"");
        pressButton(d, button);
        waitUntil([&] {
            return !IsWindow(d) || (!answer(d).empty() && answer(d) != L"Sprawdzanie\u2026" &&
                                    IsWindowEnabled(GetDlgItem(d, IDC_CENTRAL_CHECK)));
        });
        return IsWindow(d) ? answer(d) : L"closed";
    };
    std::vector<std::wstring> seen;
    CentralSimProcess silent;  // asked, it answers only after the dialog is gone
    ASSERT_TRUE(silent.start("--slow 60000"));
    auto first = onDialog(L"Centrala", [&](HWND d) {
        seen.push_back(shown(d));
        SetDlgItemTextW(d, IDC_CENTRAL_ADDRESS,
                        win::fromUtf8(silent.url() + "/stacje/S1.json").c_str());
        SetDlgItemTextW(d, IDC_CENTRAL_STATION, L"S1");
        pressButton(d, IDC_CENTRAL_CHECK);
        waitUntil([&] { return answer(d) == L"Sprawdzanie\u2026"; });
        seen.push_back(answer(d) + L" " +
                       std::to_wstring(IsWindowEnabled(GetDlgItem(d, IDC_CENTRAL_CHECK))));
        const ULONGLONG pressed = GetTickCount64();
        pressButton(d, IDCANCEL);
        seen.push_back(std::to_wstring(waitUntil([&] { return !IsWindow(d); }) &&
                                       GetTickCount64() - pressed < 10000));  // asked for 20 s
    });
    menu(IDM_CENTRAL);
    EXPECT_TRUE(first.get());
    silent.stop();  // the check ends now: its answer finds no dialog
    pump(500);
    EXPECT_EQ(controller().headOffice().settings().documentUrl, "");

    CentralSimProcess central;
    central.publish("S1", R"({"id": "c9", "od": ")" + orderTimeText(std::time(nullptr) + 86400, 0) +
                              R"(", "ceny": {"3": "4.44"}})");
    ASSERT_TRUE(central.start("--expect-key tajny-klucz"));
    const std::wstring address = win::fromUtf8(central.url() + "/stacje/S1.json");
    const std::wstring report = win::fromUtf8(central.url() + "/raporty");
    const struct {
        int field;
        const wchar_t* text;
        int button;
    } steps[] = {{IDC_CENTRAL_KEY, L"zly-klucz", IDC_CENTRAL_CHECK},
                 {IDC_CENTRAL_KEY, L"tajny\r\nklucz", IDC_CENTRAL_CHECK},
                 {IDC_CENTRAL_KEY, L"tajny\r\nklucz", IDOK},
                 {IDC_CENTRAL_KEY, L"tajny-klucz\r\n", IDC_CENTRAL_CHECK},
                 {IDC_CENTRAL_PERIOD, L"0", IDOK},
                 {IDC_CENTRAL_PERIOD, L"1", IDOK}};
    auto second = onDialog(L"Centrala", [&](HWND d) {
        SetDlgItemTextW(d, IDC_CENTRAL_ADDRESS, address.c_str());
        SetDlgItemTextW(d, IDC_CENTRAL_REPORT, report.c_str());
        SetDlgItemTextW(d, IDC_CENTRAL_STATION, L"S1");
        for (const auto& step : steps) {
            SetDlgItemTextW(d, step.field, step.text);
            seen.push_back(run(d, step.button));
        }
        if (IsWindow(d)) {
            pressButton(d, IDCANCEL);  // kept open by a refusal
        }
    });
    menu(IDM_CENTRAL);
    EXPECT_TRUE(second.get());
    const std::wstring ini = directory_ + L"\\Centrala.ini";
    const auto storedKey = [&] {
        wchar_t text[1024] = L"";
        GetPrivateProfileStringW(L"Centrala", L"Klucz", L"", text, 1024, ini.c_str());
        return std::wstring(text);
    };
    const std::wstring protectedKey = storedKey();
    EXPECT_GT(protectedKey.size(), 20u);
    EXPECT_EQ(filesHolding(directory_, "tajny-klucz"), std::vector<std::wstring>{});

    EXPECT_TRUE(
        pumpUntil([&] { return controller().headOffice().contact().text == "BEZ ZMIAN"; }, 10000));
    auto list = onDialog(L"Zlecenia cen", [&](HWND d) {
        std::wstring row;
        for (int column : {2, 3, 4}) {
            wchar_t cell[64] = L"";
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = cell;
            item.cchTextMax = 64;
            SendDlgItemMessageW(d, IDC_ORDERS_LIST, LVM_GETITEMTEXTW, 0,
                                reinterpret_cast<LPARAM>(&item));
            row += cell + std::wstring(L"|");
        }
        seen.push_back(row + contactSays(windowText(GetDlgItem(d, IDC_ORDERS_CENTRAL))) + L"|" +
                       windowText(GetDlgItem(d, IDC_ORDERS_WAITING)));
        pressButton(d, IDCANCEL);
    });
    menu(IDM_ORDERS);
    EXPECT_TRUE(list.get());

    for (const wchar_t* key : {win::kKeptKeyPlaceholder, L""}) {
        auto again = onDialog(L"Centrala", [&](HWND d) {
            seen.push_back(shown(d));
            if (*key == L'\0') {  // a click into the placeholder selects it: typing replaces it
                const HWND box = GetDlgItem(d, IDC_CENTRAL_KEY);
                PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
                PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
                waitUntil(
                    [&] {
                        DWORD from = 1, to = 0;
                        SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                                     reinterpret_cast<LPARAM>(&to));
                        return from == 0 && to == 8;
                    },
                    3000);
                PostMessageW(box, WM_CHAR, L'k', 0);
                waitUntil([&] { return windowText(box) != win::kKeptKeyPlaceholder; }, 3000);
                seen.push_back(windowText(box));
            }
            SetDlgItemTextW(d, IDC_CENTRAL_KEY, key);
            if (run(d, IDOK) != L"closed") {
                pressButton(d, IDCANCEL);  // refused: seen below
            }
        });
        menu(IDM_CENTRAL);
        EXPECT_TRUE(again.get());
        const size_t asked = central.requests().size();  // the next but one is surely after "OK"
        pumpUntil([&] { return central.requests().size() >= asked + 2; });
        seen.push_back((storedKey() == protectedKey ? L"kept "
                        : storedKey().empty()       ? L"gone "
                                                    : L"? ") +
                       win::fromUtf8(central.requests().back()));
    }
    const std::wstring keyFault =
        L"Klucz: dozwolone s\u0105 tylko znaki ASCII, bez spacji i znak\u00f3w steruj\u0105cych";
    const std::wstring stored = address + L"|" + report + L"|S1|1|" + win::kKeptKeyPlaceholder;
    EXPECT_EQ(
        seen,
        (std::vector<std::wstring>{
            L"|||300|", L"Sprawdzanie\u2026 0", L"1",
            L"HTTP 401: odmowa dost\u0119pu (sprawd\u017a klucz)", keyFault, keyFault,
            L"HTTP 200, stacja S1, zlece\u0144: 1", L"Okres: od 1 do 86400 sekund", L"closed",
            L"CENTRALA|OCZEKUJE|c9|BEZ ZMIAN|Wyniki czekaj\u0105ce na wys\u0142anie: 0", stored,
            L"kept GET /stacje/S1.json inm 304", stored, L"k", L"gone GET /stacje/S1.json - 401"}));
}

}  // namespace
}  // namespace vorda::test
