#include "ui/add_key_shortcut_dialog.h"

#include "actions/key_code.h"
#include "text/textprovider.h"
#include "trace/trace.h"
#include "ui/dialog_setup.h"
#include "ui/dialog_with_own_controls.h"
#include "ui/key_choice.h"
#include "ui/ui_resources.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>

namespace {

bool begins_alphanumeric(const std::wstring& name) {
    return !name.empty() && std::iswalnum(static_cast<wint_t>(name[0])) != 0;
}

// Moves and grows a control by pixel deltas, in dialog client coordinates.
void adjust(HWND dialog, int id, int dx, int dy, int dw, int dh) {
    HWND control = GetDlgItem(dialog, id);
    RECT box{};
    if (!control || !GetWindowRect(control, &box))
        return;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    SetWindowPos(control, nullptr, box.left + dx, box.top + dy, (box.right - box.left) + dw,
                 (box.bottom - box.top) + dh, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void sort_action_rows(std::vector<Binding_row>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const Binding_row& a, const Binding_row& b) {
        const bool a_first = begins_alphanumeric(a.name);
        const bool b_first = begins_alphanumeric(b.name);
        if (a_first != b_first)
            return a_first;
        // std::wstring compares wchar_t values: UTF-16 code units on Windows.
        return a.name < b.name;
    });
}

Add_shortcut_dialog::Add_shortcut_dialog(HINSTANCE module, Interaction_if* host,
                                         Binding_directory* directory, std::wstring activation_name,
                                         std::uint32_t key_code)
    : module_(module), key_code_(key_code), directory_(directory),
      manage_actions_(std::make_unique<Manage_actions_dialog>(host)),
      activation_name_(std::move(activation_name)) {}

Add_shortcut_dialog::~Add_shortcut_dialog() = default;

const Binding_row* Add_shortcut_dialog::chosen() const {
    if (chosen_ < 0 || static_cast<std::size_t>(chosen_) >= rows_.size())
        return nullptr;
    return &rows_[static_cast<std::size_t>(chosen_)];
}

INT_PTR Add_shortcut_dialog::run(HWND owner) {
    rows_.clear();
    chosen_ = -1;
    laid_out_ = false;
    INT_PTR result = run_dialog_with_own_controls(this, module_, IDD_ADD_KEY_SHORTCUT, owner);
    dialog_ = nullptr;
    return result;
}

INT_PTR Add_shortcut_dialog::on_init_dialog(HWND dialog) {
    dialog_ = dialog;
    return initialise() ? TRUE : FALSE;
}

INT_PTR Add_shortcut_dialog::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id == IDOK || id == IDCANCEL) {
            finish(id);
            return TRUE;
        }
        if (id == IDC_AS_NEW && HIWORD(wparam) == BN_CLICKED) {
            on_new_action();
            return TRUE;
        }
        return FALSE;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (!header || header->idFrom != IDC_AS_ACTIONS || refilling_)
            return FALSE;
        if (header->code == static_cast<UINT>(NM_CLICK)) {
            take_chosen_row();
        } else if (header->code == static_cast<UINT>(NM_DBLCLK)) {
            take_chosen_row();
            PostMessageW(dialog_, WM_COMMAND, IDOK, 0);
        } else if (header->code == LVN_ITEMCHANGED) {
            // Arrow keys move the selection without a click; the choice follows.
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
            if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                !(change->uOldState & LVIS_SELECTED))
                take_chosen_row();
        }
        return FALSE;
    }
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
        limits->ptMinTrackSize.x = initial_window_.cx;
        limits->ptMinTrackSize.y = initial_window_.cy;
        return TRUE;
    }
    case WM_SIZE:
        if (wparam != SIZE_MINIMIZED)
            on_size(LOWORD(lparam), HIWORD(lparam));
        return FALSE;
    default:
        return FALSE;
    }
}

bool Add_shortcut_dialog::initialise() {
    action_list_ = GetDlgItem(dialog_, IDC_AS_ACTIONS);
    key_box_ = GetDlgItem(dialog_, IDC_AS_KEY);
    prefix_box_ = GetDlgItem(dialog_, IDC_AS_PREFIX);
    // A new binding starts as a direct one: the blank prefix is preselected.
    const bool new_binding = Key_code::is_none(key_code_);
    if (new_binding)
        key_code_ = Key_code::direct;
    show_texts();
    add_columns();

    std::wstring bound_ident;
    if (directory_)
        bound_ident = directory_->binding_of(key_code_).ident;
    else
        Trace::error("Add_shortcut_dialog::initialise") << "no binding directory; no actions";
    fill_action_list(bound_ident);

    auto keys = key_choices(GetKeyboardLayout(0));
    fill_choice_list(key_box_, keys, preselected_key(keys, key_code_));
    auto prefixes = prefix_choices(activation_name_);
    fill_choice_list(prefix_box_, prefixes, preselected_prefix(prefixes, key_code_));

    center_dialog(dialog_);
    remember_layout();
    if (new_binding)
        return true;
    SetFocus(action_list_);
    return false;
}

void Add_shortcut_dialog::remember_layout() {
    RECT window{};
    GetWindowRect(dialog_, &window);
    initial_window_ = {window.right - window.left, window.bottom - window.top};
    RECT client{};
    GetClientRect(dialog_, &client);
    client_ = {client.right, client.bottom};
    laid_out_ = true;
}

void Add_shortcut_dialog::show_texts() {
    show_dialog_texts(dialog_, translatable(L"Add key shortcut"),
                      {{IDC_AS_KEY_LABEL, translatable(L"Key-combination")},
                       {IDC_AS_ACTIONS_LABEL, translatable(L"Actions (select one)")},
                       {IDC_AS_NEW, translatable(L"New...")},
                       {IDC_AS_DESCRIPTION_LABEL, translatable(L"Action description")},
                       {IDOK, translatable(L"OK")},
                       {IDCANCEL, translatable(L"Cancel")}});
}

void Add_shortcut_dialog::add_columns() {
    const int width = client_width(action_list_);
    add_text_columns(action_list_, {{translatable(L"Action"), width * 2 / 5},
                                    {translatable(L"Description"), width * 3 / 5 - 16}});
}

void Add_shortcut_dialog::fill_action_list(const std::wstring& select_ident) {
    refilling_ = true;
    ListView_DeleteAllItems(action_list_);
    rows_.clear();
    if (directory_)
        rows_ = directory_->action_texts();
    sort_action_rows(rows_);
    int select = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        LVITEMW row{};
        row.mask = LVIF_TEXT | LVIF_PARAM;
        row.iItem = static_cast<int>(i);
        row.pszText = const_cast<wchar_t*>(rows_[i].name.c_str());
        row.lParam = static_cast<LPARAM>(i);
        int index = static_cast<int>(
            SendMessageW(action_list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
        if (index < 0)
            continue;
        ListView_SetItemText(action_list_, index, 1,
                             const_cast<wchar_t*>(rows_[i].description.c_str()));
        if (!select_ident.empty() && rows_[i].ident == select_ident)
            select = index;
    }
    if (!rows_.empty()) {
        const UINT state = LVIS_SELECTED | LVIS_FOCUSED;
        ListView_SetItemState(action_list_, -1, 0, state);
        ListView_SetItemState(action_list_, select, state, state);
        ListView_EnsureVisible(action_list_, select, FALSE);
    }
    refilling_ = false;
    take_chosen_row();
}

void Add_shortcut_dialog::take_chosen_row() {
    const int count = ListView_GetItemCount(action_list_);
    if (count <= 0) {
        chosen_ = -1;
        SetDlgItemTextW(dialog_, IDC_AS_DESCRIPTION, L"");
        return;
    }
    int focused = ListView_GetNextItem(action_list_, -1, LVNI_FOCUSED);
    if (focused < 0)
        focused = 0;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = focused;
    if (!SendMessageW(action_list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ||
        item.lParam < 0 || static_cast<std::size_t>(item.lParam) >= rows_.size()) {
        Trace::error("Add_shortcut_dialog::take_chosen_row")
            << "row " << focused << " has no action";
        return;
    }
    chosen_ = static_cast<int>(item.lParam);
    SetDlgItemTextW(dialog_, IDC_AS_DESCRIPTION,
                    rows_[static_cast<std::size_t>(chosen_)].description.c_str());
}

void Add_shortcut_dialog::on_new_action() {
    // The Manage actions dialog has no owner (it centres on the screen), so
    // this dialog is disabled by hand while it runs, as an owner would be.
    EnableWindow(dialog_, FALSE);
    INT_PTR result = manage_actions_->run(nullptr);
    EnableWindow(dialog_, TRUE);
    SetForegroundWindow(dialog_);
    if (result != IDOK)
        return;
    fill_action_list(manage_actions_->ident());
}

void Add_shortcut_dialog::on_size(int client_width, int client_height) {
    if (!laid_out_)
        return;
    const int dw = client_width - client_.cx;
    const int dh = client_height - client_.cy;
    if (dw == 0 && dh == 0)
        return;
    adjust(dialog_, IDC_AS_KEY, 0, 0, dw, 0);
    adjust(dialog_, IDC_AS_ACTIONS, 0, 0, dw, dh);
    adjust(dialog_, IDC_AS_DESCRIPTION_LABEL, 0, dh, 0, 0);
    adjust(dialog_, IDC_AS_DESCRIPTION, 0, dh, dw, 0);
    adjust(dialog_, IDOK, 0, dh, 0, 0);
    adjust(dialog_, IDCANCEL, 0, dh, 0, 0);
    client_ = {client_width, client_height};
    InvalidateRect(dialog_, nullptr, TRUE);
}

void Add_shortcut_dialog::finish(int id) {
    key_code_ = chosen_key_code(prefix_box_, key_box_);
    EndDialog(dialog_, id);
}
