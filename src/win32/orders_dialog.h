// "Zlecenia cen" (106): every price order held, newest first, with its time, prices,
// source, result, id and description; below it, while the head office is set, its last
// contact and the results waiting to be sent to it. "Nowe…" plans a new one ("Nowe
// zlecenie", 107), "Anuluj" cancels the selected order while it waits, "Zamknij" closes the
// list.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "win32/dialog.h"

namespace vorda::win {

// Posted to the open list (OrdersDialog::open()) when the orders changed: it shows them
// again. Safe to post from any thread.
constexpr UINT kOrdersChangedMessage = WM_APP + 3;

// The local time of an order's list row: "07.12.2026 06:00" in the order's own offset, or
// "natychmiast" for an order without a time.
std::wstring orderListTime(const Order& order);
// The rows an order names as "1=5.49 2=6.19* 4=".
std::string orderListPrices(const PriceOrder& prices);

class OrdersDialog : public Dialog<OrdersDialog> {
  public:
    explicit OrdersDialog(Controller& controller) : controller_(controller) {}
    void show(HINSTANCE instance, HWND owner);
    // The list open now, or nullptr.
    static HWND open() { return open_.load(); }

  private:
    friend class Dialog<OrdersDialog>;
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog();
    INT_PTR onCommand(int id);
    // Fills the list from the controller, keeping the selected order selected.
    void fill();
    // The selected order's index in `ids_`, or -1.
    int selected() const;
    // "Anuluj" is enabled while the selected order waits.
    void updateCancel();
    // The head office's two lines, from its contact now.
    void showHeadOffice();

    Controller& controller_;
    HINSTANCE instance_ = nullptr;
    std::vector<std::string> ids_;  // the listed orders, in the list's order
    std::vector<bool> waiting_;
    static inline std::atomic<HWND> open_{nullptr};
};

// "Nowe zlecenie": the rows to change ("zmień"), their prices and "Mrugaj" (filled with the
// panel's boxes), the time (the next full hour) and "Opis". "Ok" hands the order to the
// controller; a price or an order it refuses is shown and the dialog stays.
class NewOrderDialog : public Dialog<NewOrderDialog> {
  public:
    explicit NewOrderDialog(Controller& controller) : controller_(controller) {}
    // True when an order was added.
    bool show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<NewOrderDialog>;
    void onInitDialog();
    INT_PTR onCommand(int id);
    // Reads the fields and adds the order; false, with the reason shown, when refused.
    bool addOrder();
    void refuse(const std::string& why);

    Controller& controller_;
};

}  // namespace vorda::win
