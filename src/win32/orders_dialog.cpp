#include "win32/orders_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <iterator>

#include "orders/document.h"
#include "win32/list_view.h"
#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

// The columns and their widths in dialog units.
struct Column {
    const wchar_t* title;
    int width;
};
constexpr Column kColumns[] = {{L"Czas", 64},  {L"Ceny", 124}, {L"\u0179r\u00f3d\u0142o", 48},
                               {L"Wynik", 78}, {L"Id", 92},    {L"Opis", 90}};

// The head office's lines are read again this often while the list is open (its contact's
// time changes at every fetch; the list is told only when the contact's text changes).
constexpr UINT_PTR kContactTimer = 1;
constexpr UINT kContactRefreshMs = 1000;

// "07.12 06:00:04": a time (seconds since 1970 UTC) in the system's local time.
std::wstring localContactTime(int64_t utc) {
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (static_cast<ULONGLONG>(utc) + 11644473600ULL) * 10000000ULL;
    const FILETIME file = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME system, local;
    if (!FileTimeToSystemTime(&file, &system) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &system, &local)) {
        return L"?";
    }
    wchar_t text[32];
    swprintf(text, 32, L"%02u.%02u %02u:%02u:%02u", local.wDay, local.wMonth, local.wHour,
             local.wMinute, local.wSecond);
    return text;
}

}  // namespace

std::wstring orderListTime(const Order& order) {
    if (order.immediate) {
        return L"natychmiast";
    }
    // "2026-12-07T06:00:00+01:00" -> "07.12.2026 06:00"
    const std::string t = orderTimeText(order.due, order.offsetMinutes);
    return fromUtf8(t.substr(8, 2) + "." + t.substr(5, 2) + "." + t.substr(0, 4) + " " +
                    t.substr(11, 5));
}

std::string orderListPrices(const PriceOrder& prices) {
    std::string text;
    for (int row = 0; row < kPriceRows; ++row) {
        if (prices.named[row]) {
            text += (text.empty() ? "" : " ") + std::to_string(row + 1) + "=" + prices.text[row] +
                    (prices.blink[row] ? "*" : "");
        }
    }
    return text;
}

void OrdersDialog::show(HINSTANCE instance, HWND owner) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    instance_ = instance;
    showModal(instance, IDD_ORDERS, owner);
}

INT_PTR OrdersDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kOrdersChangedMessage:
            fill();
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_ORDERS_LIST && header->code == LVN_ITEMCHANGED) {
                updateCancel();
            }
            return FALSE;
        }
        case WM_TIMER:
            if (wParam == kContactTimer) {
                showHeadOffice();
            }
            return TRUE;
        case WM_DESTROY:
            open_ = nullptr;
            KillTimer(dialog_, kContactTimer);
            return FALSE;
        default:
            return Dialog::handleMessage(message, wParam, lParam);
    }
}

void OrdersDialog::onInitDialog() {
    open_ = dialog_;
    HWND list = GetDlgItem(dialog_, IDC_ORDERS_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (size_t i = 0; i < std::size(kColumns); ++i) {
        RECT width = {0, 0, kColumns[i].width, 0};
        MapDialogRect(dialog_, &width);
        addListColumn(list, static_cast<int>(i), width.right, kColumns[i].title);
    }
    fill();
    SetTimer(dialog_, kContactTimer, kContactRefreshMs, nullptr);
}

INT_PTR OrdersDialog::onCommand(int id) {
    switch (id) {
        case IDC_ORDER_NEW:
            if (NewOrderDialog(controller_).show(instance_, dialog_)) {
                fill();
            }
            return TRUE;
        case IDC_ORDER_CANCEL:
            if (const int at = selected(); at >= 0) {
                controller_.cancelOrder(ids_[at]);
                fill();
            }
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog_, 1);
            return TRUE;
        default:
            return FALSE;
    }
}

void OrdersDialog::fill() {
    const int at = selected();
    const std::string keep = at >= 0 ? ids_[at] : std::string();
    const std::vector<Order> orders = controller_.orders();
    HWND list = GetDlgItem(dialog_, IDC_ORDERS_LIST);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ids_.clear();  // no item is selected while the list is emptied and filled
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(list, LVM_SETITEMCOUNT, orders.size(), 0);
    waiting_.clear();
    for (const Order& order : orders) {
        ids_.push_back(order.id);
        waiting_.push_back(order.result == OrderResult::Waiting);
    }
    for (size_t i = 0; i < orders.size(); ++i) {
        const Order& order = orders[i];
        const int item = static_cast<int>(i);
        setListCell(list, item, 0, orderListTime(order));
        setListCell(list, item, 1, fromUtf8(orderListPrices(order.prices)));
        setListCell(list, item, 2, fromUtf8(orderSourceText(order.source)));
        setListCell(list, item, 3, fromUtf8(orderResultText(order.result)));
        setListCell(list, item, 4, fromUtf8(order.id));
        setListCell(list, item, 5, fromUtf8(order.description));
        if (order.id == keep) {
            LVITEMW state = {};
            state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
        }
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    updateCancel();
    showHeadOffice();
}

void OrdersDialog::showHeadOffice() {
    const HeadOfficeContact c = controller_.headOffice().contact();
    std::wstring contact, waiting;
    if (c.enabled) {
        contact = c.at == 0
                      ? std::wstring(L"Centrala: jeszcze bez kontaktu")
                      : L"Centrala: " + localContactTime(c.at) + L" \u2013 " + fromUtf8(c.text);
    }
    if (c.enabled || !c.waiting.empty()) {
        waiting = L"Wyniki czekaj\u0105ce na wys\u0142anie: " + std::to_wstring(c.waiting.size());
        if (!c.reportFault.empty()) {
            waiting += L" (b\u0142\u0105d wysy\u0142ania: " + fromUtf8(c.reportFault) + L")";
        }
    }
    // Set only when changed: the timer must not make the lines flicker.
    for (const auto& [id, text] :
         {std::pair{IDC_ORDERS_CENTRAL, &contact}, std::pair{IDC_ORDERS_WAITING, &waiting}}) {
        HWND line = GetDlgItem(dialog_, id);
        std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(line)) + 1, L'\0');
        shown.resize(static_cast<size_t>(
            GetWindowTextW(line, shown.data(), static_cast<int>(shown.size()))));
        if (*text != shown) {
            SetDlgItemTextW(dialog_, id, text->c_str());
        }
    }
}

int OrdersDialog::selected() const {
    const LRESULT item = SendDlgItemMessageW(dialog_, IDC_ORDERS_LIST, LVM_GETNEXTITEM,
                                             static_cast<WPARAM>(-1), LVNI_SELECTED);
    return item >= 0 && static_cast<size_t>(item) < ids_.size() ? static_cast<int>(item) : -1;
}

void OrdersDialog::updateCancel() {
    const int at = selected();
    EnableWindow(GetDlgItem(dialog_, IDC_ORDER_CANCEL), at >= 0 && waiting_[at]);
}

bool NewOrderDialog::show(HINSTANCE instance, HWND owner) {
    return showModal(instance, IDD_NEW_ORDER, owner) == IDOK;
}

void NewOrderDialog::onInitDialog() {
    const Settings settings = controller_.settings();
    for (int row = 0; row < kPriceRows; ++row) {
        SetDlgItemTextW(dialog_, IDC_NEW_LABEL1 + row, fromCp1250(settings.labelText[row]).c_str());
        SendDlgItemMessageW(dialog_, IDC_NEW_PRICE1 + row, EM_LIMITTEXT, kOrderPriceMax, 0);
        SetDlgItemTextW(dialog_, IDC_NEW_PRICE1 + row,
                        fromCp1250(controller_.panel().priceBoxText(row)).c_str());
        CheckDlgButton(dialog_, IDC_NEW_BLINK1 + row,
                       controller_.panel().blinkBoxChecked(row) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog_, IDC_NEW_CHANGE1 + row, BST_CHECKED);
    }
    // The next full hour of local time.
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wMinute = now.wSecond = now.wMilliseconds = 0;
    FILETIME file;
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER ticks = {{file.dwLowDateTime, file.dwHighDateTime}};
    ticks.QuadPart += 3600ULL * 10000000ULL;
    file = {ticks.LowPart, ticks.HighPart};
    FileTimeToSystemTime(&file, &now);
    HWND picker = GetDlgItem(dialog_, IDC_NEW_TIME);
    SendMessageW(picker, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(L"dd.MM.yyyy HH:mm"));
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&now));
    // The operator starts at the first price (after this message the dialog would focus
    // the first "zmień").
    PostMessageW(dialog_, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetDlgItem(dialog_, IDC_NEW_PRICE1)), TRUE);
}

INT_PTR NewOrderDialog::onCommand(int id) {
    if (id >= IDC_NEW_CHANGE1 && id < IDC_NEW_CHANGE1 + kPriceRows) {
        // A row the order leaves as it is: its price and "Mrugaj" are not asked for.
        const BOOL named = IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
        EnableWindow(GetDlgItem(dialog_, IDC_NEW_PRICE1 + id - IDC_NEW_CHANGE1), named);
        EnableWindow(GetDlgItem(dialog_, IDC_NEW_BLINK1 + id - IDC_NEW_CHANGE1), named);
        return TRUE;
    }
    if (id == IDOK && addOrder()) {
        EndDialog(dialog_, IDOK);
    } else if (id == IDCANCEL) {
        EndDialog(dialog_, IDCANCEL);
    }
    return id == IDOK || id == IDCANCEL;
}

bool NewOrderDialog::addOrder() {
    PriceOrder prices;
    for (int row = 0; row < kPriceRows; ++row) {
        prices.named[row] = IsDlgButtonChecked(dialog_, IDC_NEW_CHANGE1 + row) == BST_CHECKED;
        if (!prices.named[row]) {
            continue;
        }
        wchar_t box[64] = L"";
        GetDlgItemTextW(dialog_, IDC_NEW_PRICE1 + row, box, 64);
        std::string why;
        bool starred = false;
        if (!readOrderPrice(toCp1250(box), &prices.text[row], &starred, &why)) {
            refuse("Cena " + std::to_string(row + 1) + ": " + why);
            return false;
        }
        prices.blink[row] =
            starred || IsDlgButtonChecked(dialog_, IDC_NEW_BLINK1 + row) == BST_CHECKED;
    }
    SYSTEMTIME at = {};
    SendDlgItemMessageW(dialog_, IDC_NEW_TIME, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&at));
    char local[64];
    std::snprintf(local, sizeof local, "%04d-%02d-%02dT%02d:%02d", at.wYear, at.wMonth, at.wDay,
                  at.wHour, at.wMinute);
    int64_t utc = 0;
    int offset = 0;
    std::string idOrWhy;
    if (!controller_.localOrderTime(local, &utc, &offset)) {
        idOrWhy = std::string("Zlecenie: czas ") + local + " nie jest poprawny";
    } else {
        wchar_t description[256] = L"";
        GetDlgItemTextW(dialog_, IDC_NEW_DESCRIPTION, description, 256);
        if (controller_.addOrder(prices, utc, offset, OrderSource::Panel, &idOrWhy,
                                 toUtf8(description))) {
            return true;
        }
    }
    refuse(idOrWhy);
    return false;
}

void NewOrderDialog::refuse(const std::string& why) {
    MessageBoxW(dialog_, fromUtf8(why).c_str(), fromUtf8(messageText(Text::Error)).c_str(),
                MB_OK | MB_ICONWARNING);
}

}  // namespace vorda::win
