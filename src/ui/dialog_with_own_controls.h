// Running one of our dialogs modally inside the module's activation
// context, so that it gets our own common controls whatever the host's
// manifest asks for; the procedure is the shared one of util/modal_dialog.h.
#pragma once

#include "trace/trace.h"
#include "ui/activation_context.h"
#include "util/modal_dialog.h"

#include <windows.h>

#include <cstdint>

// Runs dialog template `resource` of `module` modally for `self`, with our
// own common controls. Answers what the dialog ended with, or -1 (and an
// error line) when it could not be created.
template <class Dialog>
INT_PTR run_dialog_with_own_controls(Dialog* self, HINSTANCE module, int resource, HWND owner) {
    Activation_scope own_controls;
    INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(resource), owner,
                                     modal_dialog_proc<Dialog>, reinterpret_cast<LPARAM>(self));
    if (result == -1)
        Trace::error(Dialog::trace_name)
            << "dialog " << static_cast<std::int32_t>(resource) << " could not be created, error "
            << static_cast<std::uint32_t>(GetLastError());
    return result;
}
