// The one dialog procedure of each dialog class, and running a dialog
// modally. The object travels in the window's user data: set at
// WM_INITDIALOG, cleared at WM_NCDESTROY, so no message after that can reach
// an object that is gone. No exception leaves the procedure.
//
// A dialog class provides (a friend declaration is enough):
//   static constexpr const char* trace_name = "Class::dialog_proc";
//   INT_PTR on_init_dialog(HWND dialog);   // WM_INITDIALOG
//   INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
#pragma once

#include "trace/trace.h"
#include "ui/activation_context.h"

#include <windows.h>

#include <cstdint>
#include <exception>

template <class Dialog>
INT_PTR CALLBACK modal_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
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
    } catch (const std::exception& e) {
        Trace::error(Dialog::trace_name) << "Zaptor exception: " << e.what();
        return FALSE;
    }
}

// Runs dialog template `resource` of `module` modally for `self`, with our
// own common controls. Answers what the dialog ended with, or -1 (and an
// error line) when it could not be created.
template <class Dialog>
INT_PTR run_modal_dialog(Dialog* self, HINSTANCE module, int resource, HWND owner) {
    Activation_scope own_controls;
    INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(resource), owner,
                                     modal_dialog_proc<Dialog>, reinterpret_cast<LPARAM>(self));
    if (result == -1)
        Trace::error(Dialog::trace_name)
            << "dialog " << static_cast<std::int32_t>(resource) << " could not be created, error "
            << static_cast<std::uint32_t>(GetLastError());
    return result;
}
