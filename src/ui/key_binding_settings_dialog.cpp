#include "ui/key_binding_settings_dialog.h"

#include "actions/key_code.h"
#include "contract/parameter_values.h"
#include "contract/win32_text.h"
#include "text/textprovider.h"
#include "trace/trace.h"
#include "ui/add_key_shortcut_dialog.h"
#include "ui/dialog_setup.h"
#include "ui/dialog_with_own_controls.h"
#include "ui/key_choice.h"
#include "ui/key_names.h"
#include "ui/ui_resources.h"

#include <commctrl.h>

#include <algorithm>

namespace {

bool same_name(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

std::wstring abbreviation_text(const Abbreviation_row& row) {
    const wchar_t* format =
        row.immediate ? (row.case_sensitive ? translatable(L"“%1” (immediate, case-sensitive)")
                                            : translatable(L"“%1” (immediate)"))
                      : (row.case_sensitive ? translatable(L"“%1” (word, case-sensitive)")
                                            : translatable(L"“%1” (word)"));
    std::wstring text = text_provider().get_string(format);
    const std::size_t at = text.find(L"%1");
    if (at == std::wstring::npos)
        return row.abbreviation + L" " + text;
    return text.replace(at, 2, row.abbreviation);
}

std::vector<std::wstring> parse_excluded_applications(const std::wstring& text) {
    std::vector<std::wstring> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        // Matched against the program's file name: a pasted path would never match.
        const std::size_t slash = line.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            line.erase(0, slash + 1);
        const std::size_t first = line.find_first_not_of(L" \t\r");
        if (first == std::wstring::npos)
            continue;
        line = line.substr(first, line.find_last_not_of(L" \t\r") - first + 1);
        // "notepad" means the program notepad.exe; a trailing * covers it already.
        if (line.find(L'.') == std::wstring::npos && line.back() != L'*')
            line += L".exe";
        bool repeated = false;
        for (const std::wstring& name : names)
            repeated = repeated || same_name(name, line);
        if (!repeated)
            names.push_back(std::move(line));
    }
    return names;
}

Key_binding_settings_dialog::Key_binding_settings_dialog(HINSTANCE module, Interaction_if* host,
                                                         Binding_directory* directory,
                                                         std::wstring activation_name)
    : module_(module), host_(host), directory_(directory),
      activation_name_(std::move(activation_name)) {}

Key_binding_settings_dialog::~Key_binding_settings_dialog() = default;

INT_PTR Key_binding_settings_dialog::run(HWND owner) {
    INT_PTR result = run_dialog_with_own_controls(this, module_, IDD_KEY_BINDING_SETTINGS, owner);
    dialog_ = nullptr;
    list_ = nullptr;
    return result;
}

INT_PTR Key_binding_settings_dialog::on_init_dialog(HWND dialog) {
    dialog_ = dialog;
    close_refused_ = false;
    initialise();
    return TRUE;
}

INT_PTR Key_binding_settings_dialog::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_KS_ADD:
            on_change(Key_code::none);
            return TRUE;
        case IDC_KS_MODIFY:
            on_modify();
            return TRUE;
        case IDC_KS_REMOVE:
            on_remove();
            return TRUE;
        case IDOK:
        case IDCANCEL:
            on_close(LOWORD(wparam));
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (!header || header->idFrom != IDC_KS_LIST)
            return FALSE;
        if (header->code == static_cast<UINT>(NM_CLICK)) {
            update_modify_button();
        } else if (header->code == static_cast<UINT>(NM_DBLCLK)) {
            on_modify();
        } else if (header->code == LVN_ITEMCHANGED) {
            // Arrow keys select without a click.
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
            if (change->uChanged & LVIF_STATE)
                update_modify_button();
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void Key_binding_settings_dialog::initialise() {
    list_ = GetDlgItem(dialog_, IDC_KS_LIST);
    show_texts();
    add_columns();
    if (!directory_)
        Trace::error("Key_binding_settings_dialog::initialise")
            << "no binding directory; bindings cannot be listed or changed";
    refill();
    show_excluded_applications();
    center_dialog(dialog_);
}

void Key_binding_settings_dialog::show_texts() {
    show_dialog_texts(
        dialog_, translatable(L"Zaptor settings"),
        {{IDC_KS_ADD, translatable(L"Add shortcut ...")},
         {IDC_KS_MODIFY, translatable(L"Modify shortcut ...")},
         {IDC_KS_REMOVE, translatable(L"Remove shortcut")},
         {IDC_KS_EXCLUDED_LABEL,
          translatable(L"Excluded applications (one name per line, * and ? allowed)")},
         {IDOK, translatable(L"OK")},
         {IDCANCEL, translatable(L"Cancel")}});
}

void Key_binding_settings_dialog::add_columns() {
    // Widths until the rows are in (fit_columns).
    const int width = client_width(list_);
    add_text_columns(list_, {{translatable(L"Keycombination"), width * 3 / 8},
                             {translatable(L"Action"), width * 5 / 8}});
}

void Key_binding_settings_dialog::refill() {
    ListView_DeleteAllItems(list_);
    row_texts_.clear();
    abbreviation_rows_.clear();
    if (directory_) {
        for (const Binding_row& row : directory_->bound_rows())
            add_row(row.key_code, row.name);
        abbreviation_rows_ = directory_->abbreviations();
        for (std::size_t i = 0; i < abbreviation_rows_.size(); ++i)
            add_abbreviation_row(i);
    }
    fit_columns();
    update_modify_button();
}

void Key_binding_settings_dialog::fit_columns() {
    const int width = client_width(list_);
    // Cell text is drawn with a margin on either side.
    constexpr int margin = 16;
    int combination = static_cast<int>(
        SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0,
                     reinterpret_cast<LPARAM>(text_provider().get_string(L"Keycombination"))));
    auto widen = [&](const std::wstring& text) {
        combination = std::max(
            combination, static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0,
                                                       reinterpret_cast<LPARAM>(text.c_str()))));
    };
    for (const auto& row : row_texts_)
        widen(row.second.first);
    for (const Abbreviation_row& row : abbreviation_rows_)
        widen(abbreviation_text(row));
    // The combination gets what it needs, within reason: the action keeps a
    // quarter of the list at least.
    const int first = std::min(std::max(combination + margin, width * 3 / 8), width - width / 4);
    ListView_SetColumnWidth(list_, 0, first);
    ListView_SetColumnWidth(list_, 1, width - first);
}

void Key_binding_settings_dialog::add_row(std::uint32_t key_code, const std::wstring& name) {
    auto& texts = row_texts_[key_code];
    texts = {combination_text(key_code, activation_name_), name};
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = ListView_GetItemCount(list_);
    row.pszText = const_cast<wchar_t*>(texts.first.c_str());
    row.lParam = static_cast<LPARAM>(key_code);
    int index =
        static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (index < 0) {
        Trace::error("Key_binding_settings_dialog::add_row")
            << "the list refused the row of key code " << key_code;
        return;
    }
    ListView_SetItemText(list_, index, 1, const_cast<wchar_t*>(texts.second.c_str()));
}

void Key_binding_settings_dialog::add_abbreviation_row(std::size_t index) {
    const Abbreviation_row& abbreviation = abbreviation_rows_[index];
    const std::wstring text = abbreviation_text(abbreviation);
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = ListView_GetItemCount(list_);
    row.pszText = const_cast<wchar_t*>(text.c_str());
    row.lParam = static_cast<LPARAM>(abbreviation_bit | index);
    int at =
        static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (at < 0) {
        Trace::error("Key_binding_settings_dialog::add_abbreviation_row")
            << "the list refused the row of " << abbreviation.abbreviation;
        return;
    }
    ListView_SetItemText(list_, at, 1, const_cast<wchar_t*>(abbreviation.name.c_str()));
}

int Key_binding_settings_dialog::selected_row() const {
    return ListView_GetNextItem(list_, -1, LVNI_SELECTED);
}

std::uint32_t Key_binding_settings_dialog::key_code_of(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return Key_code::none;
    return static_cast<std::uint32_t>(item.lParam);
}

void Key_binding_settings_dialog::update_modify_button() {
    // An abbreviation is changed in Manage actions, with its action.
    const int row = selected_row();
    EnableWindow(GetDlgItem(dialog_, IDC_KS_MODIFY),
                 row >= 0 && !(key_code_of(row) & abbreviation_bit));
}

void Key_binding_settings_dialog::on_remove() {
    const int row = selected_row();
    if (row < 0 || !directory_)
        return;
    const std::uint32_t key_code = key_code_of(row);
    if (key_code & abbreviation_bit) {
        const std::size_t index = key_code & ~abbreviation_bit;
        if (index < abbreviation_rows_.size())
            remove_abbreviation(row, abbreviation_rows_[index]);
        return;
    }
    if (Key_code::is_none(key_code))
        return;
    if (!directory_->remove_binding(key_code)) {
        refill();
        show_not_saved();
        return;
    }
    SetDlgItemTextW(dialog_, IDC_KS_STATUS, L"");
    ListView_DeleteItem(list_, row);
    row_texts_.erase(key_code);
    update_modify_button();
}

void Key_binding_settings_dialog::remove_abbreviation(int row,
                                                      const Abbreviation_row& abbreviation) {
    // Through the message that Manage actions sends: the one way in.
    Param::Owned_parameters list = Param::create(host_);
    bool removed = false;
    if (list) {
        Param::write_text(list.get(), L"id", abbreviation.ident);
        Param::write_text(list.get(), L"abbreviation", L"");
        Param::send(host_, L"zp_action_set_abbreviation", list.get());
        removed = Param::read_flag(list.get(), L"stored", false);
    }
    if (!removed) {
        Trace::error("Key_binding_settings_dialog::remove_abbreviation")
            << "not removed: " << abbreviation.abbreviation << " of " << abbreviation.ident;
        refill();
        show_not_saved();
        return;
    }
    SetDlgItemTextW(dialog_, IDC_KS_STATUS, L"");
    ListView_DeleteItem(list_, row);
    update_modify_button();
}

void Key_binding_settings_dialog::show_excluded_applications() {
    excluded_ = directory_ ? directory_->excluded_applications() : std::vector<std::wstring>{};
    std::wstring text;
    for (const std::wstring& name : excluded_)
        text += (text.empty() ? L"" : L"\r\n") + name;
    HWND field = GetDlgItem(dialog_, IDC_KS_EXCLUDED);
    SendMessageW(field, EM_LIMITTEXT, 0, 0);
    SetWindowTextW(field, text.c_str());
}

bool Key_binding_settings_dialog::save_excluded_applications() {
    const std::vector<std::wstring> wanted =
        parse_excluded_applications(window_text(GetDlgItem(dialog_, IDC_KS_EXCLUDED)));
    if (wanted == excluded_)
        return true;
    if (!directory_ || !directory_->set_excluded_applications(wanted)) {
        Trace::error("Key_binding_settings_dialog::save_excluded_applications")
            << "the excluded applications were not saved";
        show_not_saved();
        return false;
    }
    excluded_ = wanted;
    return true;
}

void Key_binding_settings_dialog::on_close(int id) {
    // Refused once, the user has been told: the next close does not insist.
    if (!save_excluded_applications() && !close_refused_) {
        close_refused_ = true;
        return;
    }
    EndDialog(dialog_, id);
}

void Key_binding_settings_dialog::show_not_saved() {
    SetDlgItemTextW(dialog_, IDC_KS_STATUS,
                    text_provider().get_string(
                        L"Not saved: the key bindings file is busy or cannot be written."));
    MessageBeep(MB_ICONWARNING);
}

void Key_binding_settings_dialog::on_modify() {
    const int row = selected_row();
    if (row < 0 || (key_code_of(row) & abbreviation_bit))
        return;
    on_change(key_code_of(row));
}

void Key_binding_settings_dialog::on_change(std::uint32_t previous) {
    if (!directory_) {
        Trace::error("Key_binding_settings_dialog::on_change") << "no binding directory";
        return;
    }
    Add_shortcut_dialog add(module_, host_, directory_, activation_name_, previous);
    if (add.run(dialog_) != IDOK)
        return;
    const Binding_row* action = add.chosen();
    if (!action) {
        Trace::info("Key_binding_settings_dialog::on_change") << "no action chosen; unchanged";
        return;
    }
    const std::uint32_t chosen = add.key_code();
    // The new binding first: were it refused, the old one stays.
    bool stored = true;
    if (!Key_code::is_none(chosen))
        stored = directory_->store_binding(chosen, action->ident, action->name);
    if (stored && !Key_code::is_none(previous) && previous != chosen)
        stored = directory_->remove_binding(previous);
    refill();
    if (stored)
        SetDlgItemTextW(dialog_, IDC_KS_STATUS, L"");
    else
        show_not_saved();
}
