#include "ui/key_choice.h"

#include "contract/parameter_values.h"
#include "contract/plugin_globals.h"
#include "text/textprovider.h"
#include "trace/trace.h"
#include "ui/dialog_setup.h"
#include "ui/dialog_with_own_controls.h"
#include "ui/key_names.h"
#include "ui/ui_resources.h"

namespace {

constexpr std::uint32_t no_key = 0xFFFFFFFFu;
// VkKeyScan answers the virtual key in its low byte and the shift state
// above it (1 Shift, 2 Control, 4 Alt, 8 Hankaku): read as a key code, the
// shift state lands on the modifier bits.
constexpr std::uint32_t scan_key_and_shift_state = 0xFFF;
constexpr std::uint32_t scan_control_or_alt = 0x600; // Control or Alt needed

bool typeable_without_control_or_alt(wchar_t character, HKL layout) {
    auto scan =
        static_cast<std::uint32_t>(static_cast<std::uint16_t>(VkKeyScanExW(character, layout)));
    return (scan & scan_control_or_alt) == 0;
}

// Modifier bits named as the last modifier's key with the others held:
// Shift and Control give "Shift + Control".
std::wstring modifiers_name(std::uint32_t modifiers) {
    const struct {
        std::uint32_t bit;
        std::uint8_t virtual_key;
    } last_first[] = {
        {Key_code::alt, VK_MENU}, {Key_code::control, VK_CONTROL}, {Key_code::shift, VK_SHIFT}};
    for (const auto& last : last_first)
        if (modifiers & last.bit)
            return key_display_name(
                static_cast<std::uint16_t>((modifiers & ~last.bit) | last.virtual_key));
    return {};
}

std::uint32_t item_code(HWND combo, LRESULT index) {
    if (index == CB_ERR)
        return 0;
    LRESULT data = SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return data == CB_ERR ? 0 : static_cast<std::uint32_t>(data);
}

// The Select key combination dialog, for one Key_choice.
class Select_key_dialog {
public:
    static constexpr const char* trace_name = "Select_key_dialog::proc";
    explicit Select_key_dialog(Key_choice& choice) : choice_(choice) {}

    INT_PTR on_init_dialog(HWND dialog) {
        dialog_ = dialog;
        show_dialog_texts(dialog, translatable(L"Select key combination"),
                          {{IDOK, translatable(L"Apply")},
                           {IDC_SK_UNBIND, translatable(L"Unbind combination")},
                           {IDCANCEL, translatable(L"Cancel")},
                           {IDC_SK_LABEL, translatable(L"Key-combination")}});
        auto prefixes = prefix_choices(activation_key_name(choice_.host));
        fill_choice_list(GetDlgItem(dialog, IDC_SK_PREFIX), prefixes,
                         preselected_prefix(prefixes, choice_.current));
        auto keys = key_choices(GetKeyboardLayout(0));
        fill_choice_list(GetDlgItem(dialog, IDC_SK_KEY), keys,
                         preselected_key(keys, choice_.current));
        center_dialog(dialog);
        return TRUE;
    }

    INT_PTR handle(UINT message, WPARAM wparam, LPARAM) {
        if (message != WM_COMMAND)
            return FALSE;
        int id = LOWORD(wparam);
        if (id == IDOK) {
            choice_.chosen = chosen_key_code(GetDlgItem(dialog_, IDC_SK_PREFIX),
                                             GetDlgItem(dialog_, IDC_SK_KEY));
            EndDialog(dialog_, IDOK);
            return TRUE;
        }
        if (id == IDC_SK_UNBIND || id == IDCANCEL) {
            EndDialog(dialog_, id);
            return TRUE;
        }
        return FALSE;
    }

private:
    Key_choice& choice_;
    HWND dialog_ = nullptr;
};

} // namespace

std::uint32_t activation_key(Interaction_if* host) {
    Param::Owned_parameters list = Param::create(host);
    if (!list)
        return VK_CAPITAL;
    Param::send(host, L"vq_get_activation_key", list.get());
    const std::uint32_t key = Param::read_u32(list.get(), L"key", VK_CAPITAL);
    // Composed into a key code, a larger answer would bring modifier bits.
    if (key == 0 || key > 0xFF) {
        Trace::error("activation_key")
            << "activation key " << key << " is no virtual key; Caps Lock used";
        return VK_CAPITAL;
    }
    return key;
}

std::wstring activation_key_name(Interaction_if* host) {
    return key_display_name(static_cast<std::uint16_t>(activation_key(host)));
}

std::vector<Choice_entry> prefix_choices(const std::wstring& activation_name) {
    using Key_code::alt;
    using Key_code::control;
    using Key_code::shift;
    // Control + Alt is offered without the activation key only.
    const std::uint32_t with_activation[] = {shift,           control,     alt,
                                             shift | control, shift | alt, shift | control | alt};
    const std::uint32_t without_activation[] = {
        shift, control, alt, shift | control, shift | alt, control | alt, shift | control | alt};
    std::vector<Choice_entry> prefixes{{activation_name, 0}, {L" ", Key_code::direct}};
    for (std::uint32_t modifiers : with_activation)
        prefixes.push_back({activation_name + L" + " + modifiers_name(modifiers), modifiers});
    for (std::uint32_t modifiers : without_activation)
        prefixes.push_back({modifiers_name(modifiers), Key_code::direct | modifiers});
    return prefixes;
}

int preselected_prefix(const std::vector<Choice_entry>& prefixes, std::uint32_t current) {
    for (std::size_t i = 0; i < prefixes.size(); ++i)
        if (prefixes[i].code == (current & ~Key_code::virtual_key_mask))
            return static_cast<int>(i);
    return 1;
}

std::vector<std::uint32_t> candidate_key_codes(HKL layout) {
    std::vector<std::uint32_t> codes;
    for (std::uint32_t vk = VK_F1; vk <= VK_F12; ++vk)
        codes.push_back(vk);
    for (const wchar_t* c = L"abcdefghijklmnopqrstuvwxyz0123456789"; *c; ++c) {
        SHORT scan = VkKeyScanExW(*c, layout);
        codes.push_back(scan == -1 ? no_key
                                   : static_cast<std::uint32_t>(scan) & scan_key_and_shift_state);
    }
    for (std::uint32_t vk : {VK_SPACE, VK_BACK, VK_TAB, VK_PAUSE})
        codes.push_back(vk);
    for (std::uint32_t vk = VK_NUMPAD0; vk <= VK_ADD; ++vk)
        codes.push_back(vk);
    for (std::uint32_t vk : {VK_SUBTRACT, VK_DECIMAL, VK_DIVIDE})
        if (typeable_without_control_or_alt(static_cast<wchar_t>(vk), layout))
            codes.push_back(vk);
    // Further keys: numbers whose character the layout types without Control
    // or Alt, read as virtual keys (navigation, Windows, F13-F24, punctuation).
    const std::pair<std::uint32_t, std::uint32_t> ranges[] = {
        {33, 47}, {58, 64}, {91, 96}, {123, 255}};
    for (const auto& range : ranges)
        for (std::uint32_t n = range.first; n <= range.second; ++n)
            if (typeable_without_control_or_alt(static_cast<wchar_t>(n), layout))
                codes.push_back(n);
    return codes;
}

std::vector<Choice_entry> key_choices(HKL layout) {
    std::vector<Choice_entry> keys;
    for (std::uint32_t code : candidate_key_codes(layout)) {
        if (code == no_key)
            continue;
        std::wstring text = key_display_name(static_cast<std::uint16_t>(code & Key_code::low_mask));
        if (!text.empty())
            keys.push_back({std::move(text), code});
    }
    return keys;
}

int preselected_key(const std::vector<Choice_entry>& keys, std::uint32_t current) {
    for (std::size_t i = keys.size(); i-- > 0;)
        if (Key_code::virtual_key(keys[i].code) == Key_code::virtual_key(current))
            return static_cast<int>(i);
    return 0;
}

void fill_choice_list(HWND combo, const std::vector<Choice_entry>& entries, int selected) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const Choice_entry& entry : entries) {
        LRESULT index =
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
        if (index >= 0)
            SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index),
                         static_cast<LPARAM>(entry.code));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

std::uint32_t chosen_key_code(HWND prefix_list, HWND key_list) {
    return item_code(prefix_list, SendMessageW(prefix_list, CB_GETCURSEL, 0, 0)) |
           item_code(key_list, SendMessageW(key_list, CB_GETCURSEL, 0, 0));
}

INT_PTR run_select_key_combination(HWND owner, Key_choice& choice) {
    choice.chosen = Key_code::none;
    Select_key_dialog dialog(choice);
    return run_dialog_with_own_controls(&dialog, Plugin_globals::module(), IDD_SELECT_KEY, owner);
}
