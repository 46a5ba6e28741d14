// "VordaCen.exe /ceny" run for real against the program windows of this process and the
// simulated tower: each exit code with the lines it prints, the boxes and the price history
// of the running program afterwards, and no message box waiting for a person.
#include <ctime>

#include "orders/document.h"
#include "settings/clock.h"
#include "support.h"
#include "win32/command_line.h"

namespace vorda::test {
namespace {

// The time `seconds` from now, local as "/od" takes it ("2026-12-07T06:00:05"), or UTC ("...Z").
std::wstring localTimeIn(int seconds, bool local = true) {
    const int64_t t = std::time(nullptr) + seconds;
    const std::string text = orderTimeText(t, local ? systemClock().offsetAt(t) : 0);
    return win::fromUtf8(local ? text.substr(0, 19) : text);
}

// The lines as the program prints them: CR LF, in the console's code page.
std::string printed(const std::wstring& lines) {
    std::wstring text;
    for (wchar_t c : lines + L"\n") {
        text += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    }
    char bytes[4096];
    const UINT console = GetConsoleOutputCP();
    const int n = WideCharToMultiByte(console != 0 ? console : GetOEMCP(), 0, text.c_str(),
                                      static_cast<int>(text.size()), bytes, 4096, nullptr, nullptr);
    return std::string(bytes, static_cast<size_t>(n));
}

// VordaCen.exe started with the arguments.
struct Caller : Started {
    explicit Caller(const std::wstring& arguments) : Started(L"", kProgramPath, arguments) {}
};

// Without a running program: the usage, the bad arguments, and nobody to hand prices to.
TEST(CommandLine, UsageBadArgumentsAndNoRunningProgram) {
    const struct {
        const wchar_t* arguments;
        std::string expected;
    } cases[] = {
        {L"/?", "0 " + printed(win::fromUtf8(usageText()))},
        {L"/CENY 1", "4 " + printed(L"B\u0142\u0119dny argument \"1\": oczekiwano WIERSZ=CENA, "
                                    L"np. 1=5.49")},
        {L"/ceny 1=5.49", "3 " + printed(L"Vorda Cen nie jest uruchomiony")},
    };
    for (const auto& c : cases) {
        Caller caller(c.arguments);
        ASSERT_TRUE(waitUntil([&] { return caller.ended(); }));
        EXPECT_EQ(caller.result(), c.expected) << win::toUtf8(c.arguments);
    }
    // The running program refuses more than it takes with the reason, never an empty one.
    std::string big(kOrderArgumentsMax + 1, '1'), at, error;
    const COPYDATASTRUCT data = {win::kPriceOrderTag, static_cast<DWORD>(big.size()), big.data()};
    PriceOrder order;
    EXPECT_FALSE(win::readPriceOrder(data, &order, &at, &error));
    EXPECT_EQ(error, kOrderTooLong);
}

class Order : public ProgramWindow {
  protected:
    // Runs the command line while this thread handles the program's messages.
    std::string run(const std::wstring& arguments) {
        Caller caller(arguments);
        EXPECT_TRUE(pumpUntil([&] { return caller.ended(); }, 40000));
        EXPECT_EQ(findWindow(GetCurrentProcessId(), L"#32770"), nullptr) << "a message box";
        return caller.result();
    }
};

// Confirmed: the boxes set, the rows sent and recorded. Orders planned for a time: from the
// command line (its id printed) and from files dropped into the data folder's "Zlecenia" (a
// refused one set aside with its reason), carried out at their time with a result file; one
// planned before a restart goes after it.
TEST_F(Order, ConfirmedSetsTheBoxesSendsAndRecordsAndPlannedOrdersGoAtTheirTime) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start());
    // Another program's window of the same class, made later, is not taken for the program.
    const HINSTANCE other = GetModuleHandleW(L"kernel32.dll");
    WNDCLASSW foreign = {0, DefWindowProcW, 0, 0, other, {}, {}, {}, {}, L"TTYWndClass"};
    RegisterClassW(&foreign);
    HWND terminal = CreateWindowExW(0, L"TTYWndClass", L"", 0, 0, 0, 9, 9, {}, {}, other, {});
    ASSERT_EQ(FindWindowW(L"TTYWndClass", nullptr), terminal);
    type(IDC_PRICE3, L"4.99");
    EXPECT_EQ(run(L"/ceny 1=5,49 2=6.19* 4="), "0 " + printed(L"CENY POTWIERDZONE"));
    DestroyWindow(terminal);
    EXPECT_EQ(text(IDC_PRICE1) + L"|" + text(IDC_PRICE2) + L"|" + text(IDC_PRICE3) + L"|" +
                  text(IDC_PRICE4),
              L"5.49|6.19|4.99|");
    EXPECT_EQ(sim.received(), "21C5.49 22M6.19 23C4.99 24C 25C 20E 20C 20M ");
    EXPECT_EQ(history(),
              (std::vector<std::string>{"1|5.49|nie|POTWIERDZONO", "2|6.19|tak|POTWIERDZONO",
                                        "3|4.99|nie|POTWIERDZONO", "4||nie|POTWIERDZONO",
                                        "5||nie|POTWIERDZONO"}));
    const std::wstring at = localTimeIn(3);
    const std::string id =
        "skrypt-" + win::toUtf8(at.substr(0, 4) + at.substr(5, 2) + at.substr(8, 2) + L"-" +
                                at.substr(11, 2) + at.substr(14, 2));
    EXPECT_EQ(run(L"/ceny 2=6,29 /od " + at), "0 " + printed(win::fromUtf8(id)));
    const std::wstring folder = directory_ + L"\\Zlecenia\\";
    std::ofstream((folder + L"zly.json").c_str())
        << R"({"zlecenia": [{"id": "x", "ceny": {"6": "1"}}]})";
    std::ofstream((folder + L"dobry.json").c_str())
        << R"({"zlecenia": [{"id": "plik", "od": ")" << win::toUtf8(localTimeIn(5, false))
        << R"(", "ceny": {"3": "4.44"}}]})";
    EXPECT_TRUE(
        pumpUntil([&] { return !fileBytes(folder + L"odrzucone\\zly.json.txt").empty(); }, 8000));
    EXPECT_TRUE(
        pumpUntil([&] { return sim.received().find("23C4.44") != std::string::npos; }, 15000));
    // Planned before a restart, due while the program was not running: carried out at its start.
    EXPECT_EQ(run(L"/ceny 5=9.99 /od " + localTimeIn(1)).substr(0, 2), "0 ");
    program_.reset();
    Sleep(2000);
    start();
    EXPECT_TRUE(
        pumpUntil([&] { return sim.received().find("25C9.99") != std::string::npos; }, 15000));
    const std::string h = fileBytes(directory_ + L"\\HistoriaCen.csv");
    EXPECT_NE(h.find(";2;BBB;6.29;nie;POTWIERDZONO;ZLECENIE " + id + "\r\n"), std::string::npos);
    EXPECT_NE(h.find(";3;CCC;4.44;nie;POTWIERDZONO;ZLECENIE "), std::string::npos);
    const std::string result = fileBytes(folder + L"wyniki\\plik.json");
    EXPECT_NE(result.find(R"("wynik": "POTWIERDZONO")"), std::string::npos) << result;
}

// An order that arrives while a box waits for the operator is not started inside the box's
// loop: it is refused at once, and the program answers the next once the box is closed.
// A difference prints the rows instead of a message box.
TEST_F(Order, ABoxWaitingMissingPortMismatchSilentTowerTestModeAndASecondOrderAtOnce) {
    std::string whileOpen;
    auto box = onDialog(L"B\u0142\u0105d", [&](HWND d) {  // "Błąd otwarcia COM1": no tower
        Caller caller(L"/ceny 1=5.49");
        waitUntil([&] { return caller.ended(); }, 20000);
        whileOpen = caller.result();
        pressButton(d, IDOK);
    });
    click(IDC_SEND_PRICES);
    EXPECT_TRUE(answered(box, 30000));
    EXPECT_EQ(whileOpen, "5 " + printed(L"Program czeka na odpowied\u017a operatora."));
    EXPECT_EQ(run(L"/ceny 1=5.49"), "2 " + printed(L"B\u0142\u0105d otwarcia COM1"));
    {
        TowerSimProcess sim;
        ASSERT_TRUE(sim.start("--stuck-segment 2:1:e"));  // "6.09" shows as "5.09"
        EXPECT_EQ(
            run(L"/ceny 1=5.49 2=6.09"),
            "1 " + printed(L"CENY NIEZGODNE\nCena 2: wys\u0142ano 6.09, Vorda pokazuje 5.09"));
        EXPECT_EQ(history()[1], "2|6.09|nie|NIEZGODNE: 5.09");
        EXPECT_TRUE(pumpUntil([&] { return !connected(); }, 8000));
    }
    {
        TowerSimProcess sim;
        ASSERT_TRUE(sim.start("--silent"));
        Caller first(L"/ceny 1=5.49");
        ASSERT_TRUE(pumpUntil([&] { return !sim.received().empty(); }, 10000));
        EXPECT_EQ(run(L"/ceny 2=6.19"),
                  "5 " + printed(L"Trwa ju\u017c inne wysy\u0142anie cen z wiersza polece\u0144"));
        EXPECT_TRUE(pumpUntil([&] { return first.ended(); }, 40000));
        EXPECT_EQ(first.result(), "2 " + printed(L"B\u0141\u0104D TRANSMISJI"));
        EXPECT_EQ(history()[5], "1|5.49|nie|BRAK ODPOWIEDZI");  // after the five rows above
    }
    menu(IDM_TEST);
    EXPECT_EQ(run(L"/ceny 1=5.49"), "5 " + printed(L"TRYB TESTU"));
}

// A caller that answers order A's result by sending order C at once, from inside its
// window: C arrives while the program delivers A's result.
struct NestingCaller {
    HWND program = nullptr, own = nullptr;
    std::vector<std::string> results;  // "<code> <lines>", on its thread
    std::thread thread;
    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<NestingCaller*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        if (m != WM_COPYDATA || self == nullptr) {
            return DefWindowProcW(w, m, wp, lp);
        }
        const auto* d = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        self->results.push_back(std::to_string(d->dwData - win::kPriceResultTag) + " " +
                                std::string(static_cast<const char*>(d->lpData), d->cbData));
        if (self->results.size() == 1) {
            self->send("1=7.77");
        } else {
            PostQuitMessage(0);
        }
        return TRUE;
    }
    void send(std::string payload) {
        COPYDATASTRUCT data = {win::kPriceOrderTag, static_cast<DWORD>(payload.size()),
                               payload.data()};
        SendMessageTimeoutW(program, WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                            reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 20000, nullptr);
    }
    explicit NestingCaller(HWND main) : program(main) {
        thread = std::thread([this] {
            WNDCLASSW wc = {0, proc, 0, 0, GetModuleHandleW(nullptr), {}, {}, {}, {}, L"Nest"};
            RegisterClassW(&wc);
            own = CreateWindowExW(0, L"Nest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, {}, {}, {});
            SetWindowLongPtrW(own, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            send("1=5.49");
            for (MSG msg; GetMessageW(&msg, nullptr, 0, 0) > 0;) {
                DispatchMessageW(&msg);
            }
        });
    }
};

// An order's result goes to its caller only from the program's own message, never from
// inside an action: an order that arrives while it is delivered waits and starts after
// "Rozłącz" is over, and "Rozłącz" leaves the link closed.
TEST_F(Order, AnOrderArrivingWhileAResultIsDeliveredWaitsForTheActionToEnd) {
    TowerSimProcess sim;
    ASSERT_TRUE(sim.start("--delay 80"));  // the first check outlasts the way to "Rozłącz"
    NestingCaller caller(main);
    ASSERT_TRUE(pumpUntil([&] { return controller().priceCheck().hasOrder(); }, 10000));
    menu(IDM_DISCONNECT);
    EXPECT_FALSE(connected());
    EXPECT_TRUE(pumpUntil(
        [&] {
            return caller.thread.joinable() && !connected() &&
                   sim.received().find("21C7.77") != std::string::npos;
        },
        20000));
    pumpUntil([] { return false; }, 500);
    caller.thread.join();
    EXPECT_EQ(caller.results,
              (std::vector<std::string>{"5 Wysy\xc5\x82"
                                        "anie przerwane w programie przed potwierdzeniem",
                                        "0 CENY POTWIERDZONE"}));
}

}  // namespace
}  // namespace vorda::test
