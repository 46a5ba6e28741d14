// The two list views' (the price history's and the orders') columns and cells.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace vorda::win {

inline void addListColumn(HWND list, int index, int width, std::wstring title) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = width;
    column.pszText = title.data();
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

// Column 0 inserts the item at `item`; the others set its text.
inline void setListCell(HWND list, int item, int column, std::wstring text) {
    LVITEMW cell = {};
    cell.mask = LVIF_TEXT;
    cell.iItem = item;
    cell.iSubItem = column;
    cell.pszText = text.data();
    SendMessageW(list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW,
                 column == 0 ? 0 : static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

}  // namespace vorda::win
