#include "win32/history_dialog.h"

#include <commctrl.h>

#include <iterator>
#include <string>
#include <vector>

#include "settings/history.h"
#include "win32/dpi.h"
#include "win32/list_view.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

// Pixels at 96 DPI: date, time, row, description, price sent, blinking, result (wide enough for a
// mismatch of a line that waits to be written).
constexpr int kColumnWidths[] = {72, 58, 44, 92, 60, 40, 240, 130};

}  // namespace

void PriceHistoryDialog::show(HINSTANCE instance, HWND owner) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    showModal(instance, IDD_PRICE_HISTORY, owner);
}

INT_PTR PriceHistoryDialog::onCommand(int id) {
    if (id != IDCANCEL && id != IDOK) {
        return FALSE;
    }
    EndDialog(dialog_, 1);
    return TRUE;
}

void PriceHistoryDialog::onInitDialog() {
    HWND list = GetDlgItem(dialog_, IDC_HISTORY_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const std::vector<std::string> columns = historyFields(kHistoryHeader);
    for (size_t i = 0; i < columns.size() && i < std::size(kColumnWidths); ++i) {
        addListColumn(list, static_cast<int>(i), scaledForDpi(kColumnWidths[i], windowDpi(dialog_)),
                      fromCp1250(columns[i]));
    }
    const std::vector<std::vector<std::string>> rows = controller_.priceHistory(kHistoryShown);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_SETITEMCOUNT, rows.size(), 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t f = 0; f < rows[r].size() && f < columns.size(); ++f) {
            setListCell(list, static_cast<int>(r), static_cast<int>(f), fromCp1250(rows[r][f]));
        }
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
}

}  // namespace vorda::win
