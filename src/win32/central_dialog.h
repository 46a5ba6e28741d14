// "Centrala" (108): the head office's settings: "Adres" (the station's order document),
// "Raport" (where results go; may be empty), "Stacja", "Okres" (seconds, 1..86400) and the
// access key "Klucz". "Sprawdź" asks the server with what the fields hold, on a thread of its
// own, and shows the answer in the dialog's answer line; "OK" keeps the settings, or shows
// why not and stays; "Anuluj" keeps nothing.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "controller/controller.h"
#include "win32/dialog.h"

namespace vorda::win {

// Posted to the dialog by the thread of "Sprawdź": lParam is the answer, a std::wstring on the
// heap that the dialog takes over.
constexpr UINT kCentralAnswerMessage = WM_APP + 5;

// What the key box shows while a key is kept: the placeholder "keep the key" (not a key).
constexpr wchar_t kKeptKeyPlaceholder[] = L"\u25cf\u25cf\u25cf\u25cf\u25cf\u25cf\u25cf\u25cf";

class CentralDialog : public Dialog<CentralDialog> {
  public:
    explicit CentralDialog(Controller& controller);
    void show(HINSTANCE instance, HWND owner);

  private:
    friend class Dialog<CentralDialog>;
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog();
    INT_PTR onCommand(int id);
    // The fields as settings, and the key: null while the box holds the placeholder (the kept
    // key stays), else what was typed ("" removes the key).
    CentralSettings readSettings() const;
    std::unique_ptr<std::string> readKey() const;
    void startCheck();
    void onAnswer(std::unique_ptr<std::wstring> answer);
    // The dialog closes: no answer is posted to it any more, and those queued are freed.
    void onDestroy();
    bool keep();
    void setAnswer(const std::wstring& text);

    Controller& controller_;
    bool keyKept_ = false;  // a key was kept when the dialog opened
    // Shared with the threads of "Sprawdź": the dialog to post to, null once it closes.
    struct Target;
    std::shared_ptr<Target> target_;
};

}  // namespace vorda::win
