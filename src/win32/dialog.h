// The base of the program's dialogs: one object per dialog, given to the dialog as the
// parameter of its creation and kept in DWLP_USER from WM_INITDIALOG on; the dialog
// procedure forwards every later message to the object's handleMessage, up to
// WM_NCDESTROY. Messages before WM_INITDIALOG are left to the system.
#pragma once

#include <windows.h>

#include "win32/win32_display.h"

namespace vorda::win {

template <typename T>
class Dialog {
  public:
    HWND window() const { return dialog_; }

  protected:
    // Runs the dialog `id` modally; the value EndDialog gave.
    INT_PTR showModal(HINSTANCE instance, int id, HWND owner) {
        ModalLoop loop;
        return DialogBoxParamW(instance, MAKEINTRESOURCEW(id), owner, dialogProc,
                               reinterpret_cast<LPARAM>(this));
    }
    // Creates the modeless dialog `name` as a child of `owner`.
    HWND createModeless(HINSTANCE instance, const wchar_t* name, HWND owner) {
        return CreateDialogParamW(instance, name, owner, dialogProc,
                                  reinterpret_cast<LPARAM>(this));
    }

    // The messages of a plain dialog: WM_INITDIALOG to the dialog's onInitDialog(), and
    // WM_COMMAND to its onCommand(id). A dialog that handles more declares its own.
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
        T* self = static_cast<T*>(this);
        if (message == WM_INITDIALOG) {
            self->onInitDialog();
            return TRUE;
        }
        return message == WM_COMMAND ? self->onCommand(LOWORD(wParam)) : FALSE;
    }

    HWND dialog_ = nullptr;

  private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            reinterpret_cast<Dialog*>(lParam)->dialog_ = dialog;
        }
        auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (self == nullptr) {
            return FALSE;
        }
        const INT_PTR result = static_cast<T*>(self)->handleMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            self->dialog_ = nullptr;
        }
        return result;
    }
};

}  // namespace vorda::win
