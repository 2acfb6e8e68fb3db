#pragma once

#include "actions/filter_base_key_action.h"
#include "output/clipboard_handler.h"

#include <windows.h>

#include <array>
#include <mutex>
#include <string>

// The colour dialogs open on any thread. Shut-down must not wait for a
// person to close one: it cancels them, and each that opens until the next
// start-up is cancelled as it opens.
namespace Colour_dialogs {
void cancel_all();
void allow();
} // namespace Colour_dialogs

// "#rrggbb" in lower-case hex.
std::wstring color_code(COLORREF color);

// Shows the system colour dialog and pastes the chosen colour's code at the
// cursor. The custom colours of the dialog are kept for the life of the action.
class FilterColorpickerAction final : public FilterBaseKeyAction {
public:
    explicit FilterColorpickerAction(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;

private:
    Clipboard_handler clipboard_;
    std::mutex custom_colors_mutex_;
    std::array<COLORREF, 16> custom_colors_;
};
