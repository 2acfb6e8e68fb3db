#include "builtin_actions/colorpicker_action.h"

#include "output/clipboard_backup_scope.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <commdlg.h>

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
    dialog.Flags = CC_FULLOPEN;
    const BOOL chosen = ChooseColorW(&dialog);
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
