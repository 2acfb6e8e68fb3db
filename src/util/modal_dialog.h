// The one dialog procedure of each dialog class. The object travels in the
// window's user data: set at WM_INITDIALOG, cleared at WM_NCDESTROY, so no
// message after that can reach an object that is gone. Nothing thrown
// leaves the procedure.
//
// A dialog class provides (a friend declaration is enough):
//   static constexpr const char* trace_name = "Class::dialog_proc";
//   INT_PTR on_init_dialog(HWND dialog);   // WM_INITDIALOG
//   INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
#pragma once

#include "trace/boundary.h"

#include <windows.h>

template <class Dialog>
INT_PTR CALLBACK modal_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return Trace::guarded(Dialog::trace_name, INT_PTR{FALSE}, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(window, DWLP_USER, lparam);
            auto* self = reinterpret_cast<Dialog*>(lparam);
            return self ? self->on_init_dialog(window) : FALSE;
        }
        auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!self)
            return FALSE;
        if (message == WM_NCDESTROY)
            SetWindowLongPtrW(window, DWLP_USER, 0);
        return self->handle(message, wparam, lparam);
    });
}
