#include "win32/central_dialog.h"

#include <mutex>
#include <thread>

#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

// A field's text without the blanks and line breaks around it (a key copied with its line).
std::wstring fieldText(HWND dialog, int id) {
    const int length = GetWindowTextLengthW(GetDlgItem(dialog, id));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetDlgItemTextW(dialog, id, text.data(), length + 1)));
    const size_t first = text.find_first_not_of(L" \t\r\n");
    return first == std::wstring::npos
               ? std::wstring()
               : text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// "Okres" in seconds; 0 (refused by the settings' check) when it is no number.
int periodOf(const std::wstring& text) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return 0;
    }
    return std::stoi(text);
}

}  // namespace

struct CentralDialog::Target {
    std::mutex mutex;
    HWND dialog = nullptr;
};

CentralDialog::CentralDialog(Controller& controller)
    : controller_(controller), target_(std::make_shared<Target>()) {}

void CentralDialog::show(HINSTANCE instance, HWND owner) {
    showModal(instance, IDD_CENTRAL, owner);
}

INT_PTR CentralDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kCentralAnswerMessage:
            onAnswer(std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(lParam)));
            return TRUE;
        case WM_DESTROY:
            onDestroy();
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CENTRAL_KEY && HIWORD(wParam) == EN_SETFOCUS && keyKept_ &&
                fieldText(dialog_, IDC_CENTRAL_KEY) == kKeptKeyPlaceholder) {
                // Whatever is typed replaces the placeholder (posted: after a click's caret).
                PostMessageW(reinterpret_cast<HWND>(lParam), EM_SETSEL, 0, -1);
            }
            return Dialog::handleMessage(message, wParam, lParam);
        default:
            return Dialog::handleMessage(message, wParam, lParam);
    }
}

void CentralDialog::onInitDialog() {
    {
        std::lock_guard<std::mutex> lock(target_->mutex);
        target_->dialog = dialog_;
    }
    const CentralSettings s = controller_.headOffice().settings();
    keyKept_ = controller_.headOffice().hasKey();
    SetDlgItemTextW(dialog_, IDC_CENTRAL_ADDRESS, fromUtf8(s.documentUrl).c_str());
    SetDlgItemTextW(dialog_, IDC_CENTRAL_REPORT, fromUtf8(s.reportUrl).c_str());
    SetDlgItemTextW(dialog_, IDC_CENTRAL_STATION, fromUtf8(s.station).c_str());
    SetDlgItemTextW(dialog_, IDC_CENTRAL_PERIOD, std::to_wstring(s.periodSeconds).c_str());
    SendDlgItemMessageW(dialog_, IDC_CENTRAL_PERIOD, EM_LIMITTEXT, 6, 0);
    SetDlgItemTextW(dialog_, IDC_CENTRAL_KEY, keyKept_ ? kKeptKeyPlaceholder : L"");
}

INT_PTR CentralDialog::onCommand(int id) {
    switch (id) {
        case IDC_CENTRAL_CHECK:
            startCheck();
            return TRUE;
        case IDOK:
            if (keep()) {
                EndDialog(dialog_, IDOK);
            }
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog_, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

CentralSettings CentralDialog::readSettings() const {
    CentralSettings s;
    s.documentUrl = toUtf8(fieldText(dialog_, IDC_CENTRAL_ADDRESS));
    s.reportUrl = toUtf8(fieldText(dialog_, IDC_CENTRAL_REPORT));
    s.station = toUtf8(fieldText(dialog_, IDC_CENTRAL_STATION));
    s.periodSeconds = periodOf(fieldText(dialog_, IDC_CENTRAL_PERIOD));
    return s;
}

std::unique_ptr<std::string> CentralDialog::readKey() const {
    const std::wstring key = fieldText(dialog_, IDC_CENTRAL_KEY);
    if (keyKept_ && key == kKeptKeyPlaceholder) {
        return nullptr;
    }
    return std::make_unique<std::string>(toUtf8(key));
}

// The answer comes back as a posted message, never waited for here; a dialog closed
// meanwhile is not posted to, and the answer is freed.
void CentralDialog::startCheck() {
    HWND button = GetDlgItem(dialog_, IDC_CENTRAL_CHECK);
    if (GetFocus() == button) {
        SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, IDOK)),
                     TRUE);
    }
    EnableWindow(button, FALSE);
    setAnswer(L"Sprawdzanie\u2026");
    const std::unique_ptr<std::string> key = readKey();
    std::thread([target = target_,
                 ask = controller_.headOffice().trial(readSettings(), key.get())] {
        auto answer = std::make_unique<std::wstring>(fromUtf8(ask()));
        std::lock_guard<std::mutex> lock(target->mutex);
        if (target->dialog != nullptr && PostMessageW(target->dialog, kCentralAnswerMessage, 0,
                                                      reinterpret_cast<LPARAM>(answer.get()))) {
            answer.release();  // the dialog's now
        }
    }).detach();
}

void CentralDialog::onAnswer(std::unique_ptr<std::wstring> answer) {
    setAnswer(*answer);
    EnableWindow(GetDlgItem(dialog_, IDC_CENTRAL_CHECK), TRUE);
}

void CentralDialog::onDestroy() {
    {
        std::lock_guard<std::mutex> lock(target_->mutex);
        target_->dialog = nullptr;
    }
    // Posted before the dialog let go of its target: still in the queue.
    for (MSG msg;
         PeekMessageW(&msg, dialog_, kCentralAnswerMessage, kCentralAnswerMessage, PM_REMOVE);) {
        delete reinterpret_cast<std::wstring*>(msg.lParam);
    }
}

bool CentralDialog::keep() {
    const std::unique_ptr<std::string> key = readKey();
    std::string why;
    if (controller_.headOffice().change(readSettings(), key.get(), &why)) {
        return true;
    }
    setAnswer(fromUtf8(why));
    return false;
}

void CentralDialog::setAnswer(const std::wstring& text) {
    SetDlgItemTextW(dialog_, IDC_CENTRAL_ANSWER, text.c_str());
}

}  // namespace vorda::win
