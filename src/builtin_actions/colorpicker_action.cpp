#include "builtin_actions/colorpicker_action.h"

#include "output/clipboard_backup_scope.h"
#include "text/textprovider.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <commdlg.h>

#include <set>

namespace Colour_dialogs {
namespace {

std::mutex g_mutex;
std::set<HWND> g_open;
bool g_cancelling = false;

void cancel(HWND dialog) {
    Trace::info("Colour_dialogs::cancel")
        << "the plug-in shuts down: the colour dialog is cancelled";
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void opened(HWND dialog) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_open.insert(dialog);
    if (g_cancelling)
        cancel(dialog);
}

void closed(HWND dialog) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_open.erase(dialog);
}

// Records the dialog's window so that shut-down can reach it; the dialog's
// own procedure does the rest.
UINT_PTR CALLBACK hook(HWND dialog, UINT message, WPARAM, LPARAM data) {
    return Trace::guarded("Colour_dialogs::hook", UINT_PTR{0}, [&]() -> UINT_PTR {
        if (message == WM_INITDIALOG) {
            const auto* chosen = reinterpret_cast<const CHOOSECOLORW*>(data);
            if (chosen && chosen->lCustData)
                *reinterpret_cast<HWND*>(chosen->lCustData) = dialog;
            opened(dialog);
            return TRUE;
        }
        if (message == WM_DESTROY)
            closed(dialog);
        return 0;
    });
}

} // namespace

void cancel_all() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cancelling = true;
    for (HWND dialog : g_open)
        cancel(dialog);
}

void allow() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cancelling = false;
}

} // namespace Colour_dialogs

std::wstring color_code(COLORREF color) {
    static const wchar_t digits[] = L"0123456789abcdef";
    const unsigned parts[] = {GetRValue(color), GetGValue(color), GetBValue(color)};
    std::wstring code = L"#";
    for (unsigned part : parts) {
        code += digits[(part >> 4) & 0xF];
        code += digits[part & 0xF];
    }
    return code;
}

FilterColorpickerAction::FilterColorpickerAction(Interaction_if* host)
    : FilterBaseKeyAction(L"zp_colorpicker", host) {
    custom_colors_.fill(RGB(255, 255, 255));
}

int FilterColorpickerAction::process_deactivate() {
    Trace::marker("FilterColorpickerAction::process_deactivate");
    HWND owner = GetForegroundWindow();
    // The dialog works on a copy, so that two releases on worker tasks never
    // share the table while a dialog is open.
    std::array<COLORREF, 16> custom;
    {
        std::lock_guard<std::mutex> lock(custom_colors_mutex_);
        custom = custom_colors_;
    }
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.rgbResult = RGB(0, 0, 0);
    dialog.lpCustColors = custom.data();
    dialog.Flags = CC_FULLOPEN | CC_ENABLEHOOK;
    dialog.lpfnHook = &Colour_dialogs::hook;
    HWND window = nullptr;
    dialog.lCustData = reinterpret_cast<LPARAM>(&window);
    const BOOL chosen = ChooseColorW(&dialog);
    if (window)
        Colour_dialogs::closed(window); // also when it ended without WM_DESTROY reaching the hook
    {
        std::lock_guard<std::mutex> lock(custom_colors_mutex_);
        custom_colors_ = custom;
    }
    if (!chosen) {
        const DWORD error = CommDlgExtendedError();
        if (error != 0)
            Trace::error("FilterColorpickerAction::process_deactivate")
                << "ChooseColor failed with " << static_cast<std::uint32_t>(error);
        return 0;
    }
    // The code goes where the user was typing, not into whatever the
    // closing dialog left in front.
    if (owner && GetForegroundWindow() != owner)
        SetForegroundWindow(owner);
    // Pasting goes through the clipboard: the user's own contents come back.
    Clipboard_backup_scope scope(clipboard_, "FilterColorpickerAction::process_deactivate");
    if (scope)
        clipboard_.paste_text(color_code(dialog.rgbResult));
    return 0;
}

const wchar_t* FilterColorpickerAction::name() {
    return text_provider().get_string(L"Colorpicker");
}

const wchar_t* FilterColorpickerAction::description() {
    return text_provider().get_string(
        L"Opens a color picking dialog and inserts the color-code at the cursor.");
}
