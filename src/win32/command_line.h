// The command line: "/?" prints the usage; "/ceny ROW=PRICE ..." hands the prices to the
// program that is already running (its main window, found through its instance mutex and
// message: win32/session.h) with WM_COPYDATA,
// waits at most 30 seconds for the result it sends back the same way, prints it to the
// console it was started from and exits with its code.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "controller/price_order.h"

namespace vorda::win {

// WM_COPYDATA tags. An order to the main window: wParam the caller's window, the data the
// ROW=PRICE arguments in UTF-8, one per line; the main window answers TRUE when it took it.
// The result back to the caller's window: wParam the main window, the tag plus the exit
// code, the data the lines to print in UTF-8.
constexpr ULONG_PTR kPriceOrderTag = 0x56430100;
constexpr ULONG_PTR kPriceResultTag = 0x56430200;

// How long a caller waits for the result.
constexpr DWORD kOrderWaitMs = 35000;

// The program's words after its name; nothing when they start the program itself,
// otherwise what the command line did, as its exit code.
std::optional<int> runCommandLine(const std::vector<std::wstring>& words);
std::optional<int> runCommandLine();  // this process's own command line

// The running program's side: the order a WM_COPYDATA carries (false with `error` when it
// is none), and its result sent back to the caller.
bool readPriceOrder(const COPYDATASTRUCT& data, PriceOrder* order, std::string* at,
                    std::string* error);
void sendOrderResult(HWND caller, HWND from, OrderExit code, const std::string& lines);

}  // namespace vorda::win
