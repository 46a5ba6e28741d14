#include "win32/win32_display.h"

#include "win32/resources/resource.h"
#include "win32/wide.h"

namespace vorda::win {

namespace {

constexpr int kPriceEdits[kPriceRows] = {IDC_PRICE1, IDC_PRICE2, IDC_PRICE3, IDC_PRICE4,
                                         IDC_PRICE5};

Win32Display* of(void* c) {
    return static_cast<Win32Display*>(c);
}

std::wstring itemText(HWND panel, int id) {
    wchar_t buffer[512];
    const UINT n = GetDlgItemTextW(panel, id, buffer, 512);
    return std::wstring(buffer, n);
}

}  // namespace

Win32Display::Win32Display() : uiThread_(GetCurrentThreadId()) {}

// Runs `call` on the user-interface thread after every call made before it.
void Win32Display::dispatch(std::function<void()> call) {
    if (GetCurrentThreadId() == uiThread_) {
        applyQueued();
        call();
        return;
    }
    queue(std::move(call));
}

void Win32Display::queue(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(std::move(call));
    }
    announce(kDisplayCallsMessage);
}

void Win32Display::queueResult(std::function<void()> deliver) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        results_.push_back(std::move(deliver));
    }
    announce(kDisplayCallsMessage);
}

void Win32Display::deliverResults() {
    for (;;) {
        std::function<void()> deliver;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (results_.empty()) {
                return;
            }
            deliver = std::move(results_.front());
            results_.pop_front();
        }
        ModalLoop loop;  // an order that arrives meanwhile is refused, not started
        deliver();
    }
}

void Win32Display::announce(UINT message) {
    PostMessageW(mainWindow_.load(), message, 0, 0);
}

void Win32Display::applyQueued() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (queue_.empty()) {
                return;
            }
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
    }
}

void Win32Display::setText(int id, const std::wstring& text) {
    if (panelWindow_ != nullptr) {
        SetDlgItemTextW(panelWindow_, id, text.c_str());
    }
}

void Win32Display::boxChanged(int id) {
    HWND panel = panelWindow_;
    std::lock_guard<std::mutex> lock(boxMutex_);
    for (int row = 0; row < kPriceRows; ++row) {
        if (id == kPriceEdits[row]) {
            prices_[row] = itemText(panel, id);
        } else if (id == IDC_BLINK1 + row) {
            blinks_[row] = IsDlgButtonChecked(panel, id) == BST_CHECKED;
        }
    }
    if (id == IDC_CONTROL_FILE) {
        controlFile_ = itemText(panel, id);
    } else if (id == IDC_TEMPERATURE) {
        temperature_ = itemText(panel, id);
    }
}

void Win32Display::showStatus(Text status) {
    setText(IDC_STATUS, fromUtf8(messageText(status)));
}

void Win32Display::showStatusText(std::string utf8) {
    setText(IDC_STATUS, fromUtf8(utf8));
}

void Win32Display::showLightLevel(std::string text) {
    setText(IDC_LIGHT_LEVEL, fromCp1250(text));
}

void Win32Display::showPriceText(int row, std::string text) {
    setText(kPriceEdits[row], fromCp1250(text));
}

void Win32Display::showBlinkBox(int row, bool checked) {
    if (panelWindow_ != nullptr) {
        CheckDlgButton(panelWindow_, IDC_BLINK1 + row, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    std::lock_guard<std::mutex> lock(boxMutex_);
    blinks_[row] = checked;
}

void Win32Display::showStartStop(bool running) {
    setText(IDC_START_STOP, running ? L"Stop" : L"Start");
}

void Win32Display::showMenuStates(bool connect, bool disconnect, bool test) {
    HWND main = mainWindow_;
    HMENU menu = GetMenu(main);
    auto set = [menu](UINT id, bool enabled) {
        EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    };
    set(IDM_CONNECT, connect);
    set(IDM_DISCONNECT, disconnect);
    set(IDM_TEST, test);
    DrawMenuBar(main);
}

// Queued: shown from its own message, after whatever box is open now.
void Win32Display::showMessage(std::string text, Text caption) {
    if (closing_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        boxes_.push_back({fromUtf8(text), fromUtf8(messageText(caption))});
    }
    announce(kMessageBoxMessage);
}

void Win32Display::showQueuedBox() {
    if (boxOpen_ || closing_) {
        return;
    }
    Box box;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (boxes_.empty()) {
            return;
        }
        box = std::move(boxes_.front());
        boxes_.pop_front();
    }
    runBox(box.text, box.caption, MB_OK | MB_ICONEXCLAMATION);
}

int Win32Display::runBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    const bool nested = boxOpen_;
    int answer = 0;
    {
        ModalLoop loop;
        boxOpen_ = true;
        answer = MessageBoxW(mainWindow_, text.c_str(), caption.c_str(), type);
        boxOpen_ = nested;
    }
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (!boxes_.empty() && !closing_) {
        announce(kMessageBoxMessage);  // the next waits for its own message
    }
    return answer;
}

void Win32Display::close() {
    closing_ = true;
    std::lock_guard<std::mutex> lock(queueMutex_);
    boxes_.clear();
}

void Win32Display::invalidate(PanelRect r, bool erase) {
    const RECT rect = panelScale_.rect(r);
    InvalidateRect(panelWindow_, &rect, erase ? TRUE : FALSE);
}

void Win32Display::showTrayTip(std::string utf8) {
    if (trayTip_) {
        trayTip_(fromUtf8(utf8));
    }
}

void Win32Display::showOrdersChanged() {
    if (ordersChanged_) {
        ordersChanged_();
    }
}

void Win32Display::showWaitCursor() {
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
}

DisplaySeam Win32Display::seam() {
    DisplaySeam s;
    s.context = this;
    s.setStatus = [](void* c, Text status) { post(c, &Win32Display::showStatus, status); };
    s.setStatusText = [](void* c, const std::string& text) {
        post(c, &Win32Display::showStatusText, text);
    };
    s.setLightLevel = [](void* c, const std::string& text) {
        post(c, &Win32Display::showLightLevel, text);
    };
    s.setPriceText = [](void* c, int row, const std::string& text) {
        post(c, &Win32Display::showPriceText, row, text);
    };
    s.setBlinkBox = [](void* c, int row, bool checked) {
        post(c, &Win32Display::showBlinkBox, row, checked);
    };
    s.setStartStop = [](void* c, bool running) { post(c, &Win32Display::showStartStop, running); };
    s.setMenuStates = [](void* c, bool connect, bool disconnect, bool test) {
        post(c, &Win32Display::showMenuStates, connect, disconnect, test);
    };
    s.showMessage = [](void* c, const std::string& text, Text caption) {
        post(c, &Win32Display::showMessage, text, caption);
    };
    s.invalidate = [](void* c, PanelRect r, bool erase) {
        post(c, &Win32Display::invalidate, r, erase);
    };
    s.showWaitCursor = [](void* c) { post(c, &Win32Display::showWaitCursor); };
    s.setTrayTip = [](void* c, const std::string& tip) {
        post(c, &Win32Display::showTrayTip, tip);
    };
    s.ordersChanged = [](void* c) { post(c, &Win32Display::showOrdersChanged); };
    return s;
}

PanelSeam Win32Display::panelSeam() {
    PanelSeam s;
    s.context = this;
    s.priceBoxText = [](void* c, int row) {
        Win32Display* d = of(c);
        std::lock_guard<std::mutex> lock(d->boxMutex_);
        return toCp1250(d->prices_[row]);
    };
    s.blinkBoxChecked = [](void* c, int row) {
        Win32Display* d = of(c);
        std::lock_guard<std::mutex> lock(d->boxMutex_);
        return d->blinks_[row];
    };
    s.controlFilePath = [](void* c) {
        Win32Display* d = of(c);
        std::lock_guard<std::mutex> lock(d->boxMutex_);
        return toUtf8(d->controlFile_.substr(0, 259));
    };
    s.temperatureText = [](void* c) {
        Win32Display* d = of(c);
        std::lock_guard<std::mutex> lock(d->boxMutex_);
        return toCp1250(d->temperature_);
    };
    s.operatorBusy = [](void*) { return ModalLoop::open(); };
    return s;
}

}  // namespace vorda::win
