// "Historia cen" (105): the last lines of the price history, newest first, in a list with
// the file's columns; lines that wait to be written come first, marked in their result.
// "Zamknij" closes it.
#pragma once

#include <windows.h>

#include "controller/controller.h"
#include "win32/dialog.h"

namespace vorda::win {

// The most lines the list shows.
constexpr size_t kHistoryShown = 1000;

class PriceHistoryDialog : public Dialog<PriceHistoryDialog> {
  public:
    explicit PriceHistoryDialog(Controller& controller) : controller_(controller) {}
    void show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<PriceHistoryDialog>;
    void onInitDialog();
    INT_PTR onCommand(int id);

    Controller& controller_;
};

}  // namespace vorda::win
