#include "app/win32_panel.h"

#include "app/wide.h"
#include "resources/resource.h"

namespace vorda::win {

namespace {

constexpr int kPriceEdits[kPriceRows] = {IDC_PRICE1, IDC_PRICE2, IDC_PRICE3, IDC_PRICE4,
                                         IDC_PRICE5};

Win32Panel* of(void* c) {
    return static_cast<Win32Panel*>(c);
}

// Runs `call` on the user-interface thread after every call made before it.
void dispatch(Win32Panel* p, std::function<void()> call) {
    if (GetCurrentThreadId() == p->uiThread) {
        applyPanelCalls(*p);
        call();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(p->queueMutex);
        p->queue.push_back(std::move(call));
    }
    PostMessageW(p->panelWindow != nullptr ? p->panelWindow : p->mainWindow, kPanelCallsMessage, 0,
                 0);
}

void setText(Win32Panel* p, int id, const std::wstring& text) {
    if (p->panelWindow != nullptr) {
        SetDlgItemTextW(p->panelWindow, id, text.c_str());
    }
}

}  // namespace

void applyPanelCalls(Win32Panel& panel) {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(panel.queueMutex);
            if (panel.queue.empty()) {
                return;
            }
            call = std::move(panel.queue.front());
            panel.queue.pop_front();
        }
        call();  // a message box may run a message loop that applies the next calls
    }
}

void installWin32Panel(Core& core, Win32Panel& panel) {
    panel.core = &core;
    panel.uiThread = GetCurrentThreadId();
    Panel& s = core.panel;
    s.context = &panel;
    s.setStatus = [](void* c, Text status) {
        Win32Panel* p = of(c);
        dispatch(p, [p, status] { setText(p, IDC_STATUS, fromUtf8(messageText(status))); });
    };
    s.setLightLevel = [](void* c, const std::string& text) {
        Win32Panel* p = of(c);
        dispatch(p, [p, text] { setText(p, IDC_LIGHT_LEVEL, fromCp1250(text)); });
    };
    s.setPriceText = [](void* c, int row, const std::string& text) {
        Win32Panel* p = of(c);
        dispatch(p, [p, row, text] { setText(p, kPriceEdits[row], fromCp1250(text)); });
    };
    s.setBlinkBox = [](void* c, int row, bool checked) {
        Win32Panel* p = of(c);
        dispatch(p, [p, row, checked] {
            if (p->panelWindow != nullptr) {
                CheckDlgButton(p->panelWindow, IDC_BLINK1 + row,
                               checked ? BST_CHECKED : BST_UNCHECKED);
            }
            std::lock_guard<std::mutex> lock(p->boxMutex);
            p->blinks[row] = checked;
        });
    };
    s.setStartStop = [](void* c, bool running) {
        Win32Panel* p = of(c);
        dispatch(p, [p, running] { setText(p, IDC_START_STOP, running ? L"Stop" : L"Start"); });
    };
    s.setMenuStates = [](void* c, bool connect, bool disconnect, bool test) {
        Win32Panel* p = of(c);
        dispatch(p, [p, connect, disconnect, test] {
            HMENU menu = GetMenu(p->mainWindow);
            auto set = [menu](UINT id, bool enabled) {
                EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
            };
            set(IDM_CONNECT, connect);
            set(IDM_DISCONNECT, disconnect);
            set(IDM_TEST, test);
            DrawMenuBar(p->mainWindow);
        });
    };
    s.showMessage = [](void* c, const std::string& text, Text caption) {
        Win32Panel* p = of(c);
        dispatch(p, [p, text, caption] {
            MessageBoxW(p->mainWindow, fromUtf8(text).c_str(),
                        fromUtf8(messageText(caption)).c_str(), MB_OK | MB_ICONEXCLAMATION);
        });
    };
    s.invalidate = [](void* c, PanelRect r, bool erase) {
        Win32Panel* p = of(c);
        dispatch(p, [p, r, erase] {
            const RECT rect{r.left, r.top, r.right, r.bottom};
            InvalidateRect(p->panelWindow, &rect, erase ? TRUE : FALSE);
        });
    };
    s.setTimer = [](void* c, int id, uint32_t ms) {
        Win32Panel* p = of(c);
        dispatch(p,
                 [p, id, ms] { SetTimer(p->panelWindow, static_cast<UINT_PTR>(id), ms, nullptr); });
    };
    s.killTimer = [](void* c, int id) {
        Win32Panel* p = of(c);
        dispatch(p, [p, id] { KillTimer(p->panelWindow, static_cast<UINT_PTR>(id)); });
    };
    s.showWaitCursor = [](void* c) {
        Win32Panel* p = of(c);
        dispatch(p, [] { SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))); });  // IDC_WAIT
    };
    s.priceBoxText = [](void* c, int row) {
        Win32Panel* p = of(c);
        std::lock_guard<std::mutex> lock(p->boxMutex);
        return toCp1250(p->prices[row]);
    };
    s.blinkBoxChecked = [](void* c, int row) {
        Win32Panel* p = of(c);
        std::lock_guard<std::mutex> lock(p->boxMutex);
        return p->blinks[row];
    };
    s.controlFilePath = [](void* c) {
        Win32Panel* p = of(c);
        std::lock_guard<std::mutex> lock(p->boxMutex);
        return toUtf8(p->controlFile.substr(0, 259));
    };
    s.temperatureText = [](void* c) {
        Win32Panel* p = of(c);
        std::lock_guard<std::mutex> lock(p->boxMutex);
        return toCp1250(p->temperature);
    };
}

}  // namespace vorda::win
