#include "ui/manage_actions_dialog.h"

#include "actions/key_code.h"
#include "contract/parameter_values.h"
#include "contract/plugin_globals.h"
#include "contract/win32_text.h"
#include "text/textprovider.h"
#include "trace/boundary.h"
#include "trace/trace.h"
#include "ui/dialog_setup.h"
#include "ui/dialog_with_own_controls.h"
#include "ui/key_choice.h"
#include "ui/key_names.h"
#include "ui/ui_resources.h"

#include <commctrl.h>

namespace {

constexpr int select_all_fields[] = {IDC_MA_SEARCH, IDC_MA_NAME, IDC_MA_DESCRIPTION, IDC_MA_CODE,
                                     IDC_MA_ABBREVIATION};
constexpr int text_fields[] = {IDC_MA_NAME, IDC_MA_DESCRIPTION, IDC_MA_CODE};
constexpr wchar_t typing_interpreter[] = L"typing_interpreter";
// Abbreviations are short by nature; the listener keeps no more than 64
// typed characters, separator included.
constexpr int abbreviation_limit = 32;

std::wstring trimmed(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Edit controls have no Ctrl+A of their own; it arrives as character 1.
// The subclass goes with the control, so nothing needs undoing at close.
LRESULT CALLBACK select_all_on_ctrl_a(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR) {
    return Trace::guarded("select_all_on_ctrl_a", LRESULT{0}, [&]() -> LRESULT {
        if (message == WM_CHAR && wparam == 1) {
            SendMessageW(edit, EM_SETSEL, 0, -1);
            return 0;
        }
        if (message == WM_NCDESTROY)
            RemoveWindowSubclass(edit, select_all_on_ctrl_a, id);
        return DefSubclassProc(edit, message, wparam, lparam);
    });
}

std::wstring combo_item_text(HWND combo, LRESULT index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                  reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

int combo_count(HWND combo) {
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

// Collects the child lists of an answer as (key, list) pairs.
class Child_collector final : public Child_visitor {
public:
    struct Child {
        std::wstring key;
        Parameters* list;
    };
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override {
        Trace::guarded("Child_collector::visit", [&] {
            if (child)
                children.push_back({key ? key : L"", child});
        });
    }
    std::vector<Child> children;
};

} // namespace

Manage_actions_dialog::Manage_actions_dialog(Interaction_if* host)
    : host_(host), tree_(std::make_unique<Action_tree>()) {}

Manage_actions_dialog::~Manage_actions_dialog() = default;

INT_PTR Manage_actions_dialog::run(HWND owner) {
    INT_PTR result =
        run_dialog_with_own_controls(this, Plugin_globals::module(), IDD_MANAGE_ACTIONS, owner);
    dialog_ = nullptr;
    return result;
}

INT_PTR Manage_actions_dialog::on_init_dialog(HWND dialog) {
    dialog_ = dialog;
    initialise();
    return TRUE;
}

INT_PTR Manage_actions_dialog::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        on_command(LOWORD(wparam), HIWORD(wparam));
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (!header || header->idFrom != IDC_MA_TREE)
            return FALSE;
        if (header->code == TVN_SELCHANGEDW || header->code == TVN_SELCHANGEDA) {
            on_selection_changed();
        } else if (header->code == TVN_ITEMEXPANDINGW || header->code == TVN_ITEMEXPANDINGA) {
            // The A and W forms agree up to the item handle.
            const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lparam);
            if (change->action & TVE_EXPAND)
                tree_->fill(change->itemNew.hItem);
        } else if (header->code == static_cast<UINT>(NM_DBLCLK))
            on_edit();
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void Manage_actions_dialog::initialise() {
    code_type_box_ = item(IDC_MA_TYPE);
    category_box_ = item(IDC_MA_CATEGORY);
    tree_window_ = item(IDC_MA_TREE);
    search_field_ = item(IDC_MA_SEARCH);
    tree_->attach(tree_window_);
    state_ = State::view;
    prepare_fields();
    show_texts();

    fill_code_types();
    fill_abbreviation_kinds();
    refill_tree(nullptr, false, false);
    SendMessageW(category_box_, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& category : tree_->category_names())
        SendMessageW(category_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(category.c_str()));

    if (HTREEITEM first = TreeView_GetFirstVisible(tree_window_)) {
        tree_->expand(first);
        TreeView_SelectItem(tree_window_, first);
    }
    enter(State::view);
    center_dialog(dialog_);
}

void Manage_actions_dialog::prepare_fields() {
    for (int id : select_all_fields)
        if (!SetWindowSubclass(item(id), select_all_on_ctrl_a, 0, 0))
            Trace::error("Manage_actions_dialog::prepare_fields")
                << "field " << id << " not subclassed; Ctrl+A does not select all in it";
    // Long codes and descriptions must not be cut at the default limit.
    for (int id : text_fields)
        SendMessageW(item(id), EM_LIMITTEXT, 0, 0);
    SendMessageW(category_box_, CB_LIMITTEXT, 0, 0);
    SendMessageW(item(IDC_MA_ABBREVIATION), EM_LIMITTEXT, abbreviation_limit, 0);
}

void Manage_actions_dialog::show_texts() {
    show_dialog_texts(
        dialog_, translatable(L"Manage actions"),
        {{IDC_MA_NAME_LABEL, translatable(L"Action name")},
         {IDC_MA_KEY_LABEL, translatable(L"Key-combination")},
         {IDC_MA_KEY_BUTTON, translatable(L"Set key ...")},
         {IDC_MA_ABBREVIATION_LABEL, translatable(L"Abbreviation")},
         {IDC_MA_CASE_SENSITIVE, translatable(L"Case-sensitive")},
         {IDC_MA_DESCRIPTION_LABEL, translatable(L"Description")},
         {IDC_MA_CODE_LABEL, translatable(L"Code (what is executed on activation)")},
         {IDC_MA_TYPE_LABEL, translatable(L"Code type (what language was the code written in)")},
         {IDC_MA_CATEGORY_LABEL, translatable(L"Category (type a new name to add one)")},
         {IDC_MA_NEW, translatable(L"New action")},
         {IDC_MA_DELETE, translatable(L"Delete")},
         {IDC_MA_SAVE, translatable(L"Save")},
         {IDC_MA_EDIT, translatable(L"Edit")},
         {IDC_MA_CANCEL, translatable(L"Cancel")},
         {IDOK, translatable(L"Close")}});
    SendMessageW(search_field_, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(text_provider().get_string(L"Search")));
}

void Manage_actions_dialog::on_command(int id, int code) {
    switch (id) {
    case IDC_MA_SEARCH:
        if (code == EN_CHANGE)
            on_search();
        break;
    case IDC_MA_NEW:
        on_new_action();
        break;
    case IDC_MA_EDIT:
        on_edit();
        break;
    case IDC_MA_SAVE:
        on_save();
        break;
    case IDC_MA_DELETE:
        on_delete();
        break;
    case IDC_MA_CANCEL:
        on_cancel();
        break;
    case IDC_MA_KEY_BUTTON:
        on_key_button();
        break;
    case IDOK:
    case IDCANCEL:
        close(id);
        break;
    default:
        break;
    }
}

void Manage_actions_dialog::fill_code_types() {
    clear_code_types();
    Param::Owned_parameters list = Param::create(host_);
    if (!list)
        return;
    Param::send(host_, L"zp_get_action_interpreter", list.get());
    Child_collector answers;
    list->visit_children(&answers);
    for (const auto& answer : answers.children) {
        std::wstring name = Param::read_text(answer.list, L"name");
        if (name.empty() || answer.key.empty())
            continue;
        LRESULT index =
            SendMessageW(code_type_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (index < 0)
            continue;
        code_type_idents_.push_back(std::make_unique<std::wstring>(answer.key));
        SendMessageW(code_type_box_, CB_SETITEMDATA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(code_type_idents_.back().get()));
    }
}

void Manage_actions_dialog::clear_code_types() {
    if (code_type_box_)
        SendMessageW(code_type_box_, CB_RESETCONTENT, 0, 0);
    code_type_idents_.clear();
}

void Manage_actions_dialog::refill_tree(const std::wstring* search_text, bool expanded,
                                        bool select_first) {
    refilling_ = true;
    SendMessageW(tree_window_, WM_SETREDRAW, FALSE, 0);
    tree_->remove_all();
    tree_->add_actions(action_entries(search_text), expanded);
    if (select_first) {
        // Selected while the tree does not draw: selecting in a drawn tree
        // repaints it at once, which costs more than the filling.
        HTREEITEM first = TreeView_GetRoot(tree_window_);
        if (first && !expanded)
            tree_->expand(first);
        HTREEITEM child = first ? TreeView_GetChild(tree_window_, first) : nullptr;
        TreeView_SelectItem(tree_window_, child ? child : first);
    }
    SendMessageW(tree_window_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree_window_, nullptr, TRUE);
    refilling_ = false;
}

std::vector<Action_tree::Entry>
Manage_actions_dialog::action_entries(const std::wstring* search_text) {
    std::vector<Action_tree::Entry> entries;
    Param::Owned_parameters list = Param::create(host_);
    if (!list)
        return entries;
    if (search_text)
        Param::write_text(list.get(), L"search_text", *search_text);
    Param::send(host_, L"zp_broadcast_get_action_text", list.get());
    Child_collector answers;
    list->visit_children(&answers);
    entries.reserve(answers.children.size());
    for (const auto& answer : answers.children) {
        Action_tree::Entry entry{Param::read_text(answer.list, L"category"),
                                 Param::read_text(answer.list, L"ident"),
                                 Param::read_text(answer.list, L"name")};
        if (!entry.name.empty() && !entry.ident.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

void Manage_actions_dialog::on_search() {
    const std::wstring search = text_of(IDC_MA_SEARCH);
    // Hits open in their categories; without a search the tree is shown as
    // at opening, the first category open, rather than all actions at once.
    refill_tree(&search, !search.empty(), true);
    // The first hit, or nothing when nothing matches: the fields must not
    // keep showing a vanished action.
    on_selection_changed();
}

void Manage_actions_dialog::on_selection_changed() {
    if (refilling_)
        return;
    ident_ = tree_->selected_ident();
    shown_without_code_ = false;
    // The key button acts on the shown action's binding: it stays off until
    // a descriptor names the action, so no earlier action's key is kept.
    HWND key_button = item(IDC_MA_KEY_BUTTON);
    EnableWindow(key_button, FALSE);
    if (ident_.empty() || ident_ == new_action_ident) {
        reset_fields_for_new_action();
        std::wstring category = tree_->selected_category();
        if (!category.empty())
            select_category_in_box(category);
        enter(State::view);
        return;
    }
    enter(State::showing);
    if (!show_descriptor()) {
        // Nothing of the action shown before may stay, its key least of all.
        reset_fields_for_new_action();
        Trace::info("Manage_actions_dialog::on_selection_changed")
            << "no descriptor for " << ident_;
        return;
    }
    EnableWindow(key_button, TRUE);
    show_key_combination();
    show_abbreviation();
}

bool Manage_actions_dialog::show_descriptor() {
    Param::Owned_parameters list = Param::create(host_);
    if (!list)
        return false;
    Param::write_text(list.get(), L"request", L"get_descriptor");
    Param::send(host_, ident_, list.get());
    const std::wstring name = Param::read_text(list.get(), L"name");
    if (name.empty())
        return false;
    const std::wstring type = Param::read_text(list.get(), L"type");
    const std::wstring code = Param::read_text(list.get(), L"code");
    set_field(IDC_MA_NAME, name);
    set_field(IDC_MA_DESCRIPTION, Param::read_text(list.get(), L"description"));
    if (type.empty() || code.empty()) {
        show_no_code();
        set_field(IDC_MA_CODE, L"");
        shown_without_code_ = true;
        enter(State::showing); // without Delete now
    } else {
        select_code_type(type);
        set_field(IDC_MA_CODE, code);
    }
    select_category_in_box(
        Param::read_text(list.get(), L"category", text_provider().get_string(L"Common")));
    return true;
}

void Manage_actions_dialog::select_code_type(const std::wstring& type_ident) {
    // The "no code" marker entry has no ident and is only shown for built-in actions.
    for (int i = combo_count(code_type_box_); i-- > 0;)
        if (SendMessageW(code_type_box_, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == 0)
            SendMessageW(code_type_box_, CB_DELETESTRING, static_cast<WPARAM>(i), 0);
    SendMessageW(code_type_box_, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(L""));
    for (int i = 0, count = combo_count(code_type_box_); i < count; ++i) {
        LRESULT data = SendMessageW(code_type_box_, CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
        if (data != CB_ERR && data != 0 &&
            *reinterpret_cast<const std::wstring*>(data) == type_ident) {
            SendMessageW(code_type_box_, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
}

void Manage_actions_dialog::show_no_code() {
    // A drop-down list shows only its entries, so "no code" becomes one,
    // without an ident: saving with it selected stores nothing.
    const wchar_t* no_code = text_provider().get_string(L"no code");
    for (int i = 0, count = combo_count(code_type_box_); i < count; ++i) {
        if (SendMessageW(code_type_box_, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == 0) {
            SendMessageW(code_type_box_, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
    LRESULT index =
        SendMessageW(code_type_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(no_code));
    if (index >= 0) {
        SendMessageW(code_type_box_, CB_SETITEMDATA, static_cast<WPARAM>(index), 0);
        SendMessageW(code_type_box_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

std::wstring Manage_actions_dialog::selected_code_type() const {
    LRESULT index = SendMessageW(code_type_box_, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return {};
    LRESULT data = SendMessageW(code_type_box_, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    if (data == CB_ERR || data == 0)
        return {};
    return *reinterpret_cast<const std::wstring*>(data);
}

void Manage_actions_dialog::select_category_in_box(const std::wstring& category) {
    // Exact comparison: CB_FINDSTRINGEXACT ignores case, categories do not.
    for (int i = 0, count = combo_count(category_box_); i < count; ++i) {
        if (combo_item_text(category_box_, i) == category) {
            SendMessageW(category_box_, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
    LRESULT index =
        SendMessageW(category_box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(category.c_str()));
    if (index >= 0)
        SendMessageW(category_box_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::wstring Manage_actions_dialog::category_box_text() const {
    std::wstring typed = window_text(category_box_);
    // The combo's one-line edit cuts a category at its first line break;
    // the selected entry still holds the whole name.
    LRESULT index = SendMessageW(category_box_, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) {
        std::wstring entry = combo_item_text(category_box_, index);
        if (entry.size() > typed.size() && entry.compare(0, typed.size(), typed) == 0 &&
            (entry[typed.size()] == L'\r' || entry[typed.size()] == L'\n'))
            return entry;
    }
    return typed;
}

void Manage_actions_dialog::reset_fields_for_new_action() {
    select_code_type(typing_interpreter);
    const wchar_t* common = text_provider().get_string(L"Common");
    bool found = false;
    for (int i = 0, count = combo_count(category_box_); i < count && !found; ++i) {
        if (combo_item_text(category_box_, i) == common) {
            SendMessageW(category_box_, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            found = true;
        }
    }
    if (!found) {
        SendMessageW(category_box_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetWindowTextW(category_box_, common);
    }
    for (int id : text_fields)
        set_field(id, L"");
    key_code_ = Key_code::none;
    SetDlgItemTextW(dialog_, IDC_MA_KEY_BUTTON, text_provider().get_string(L"Set key ..."));
    stored_abbreviation_ = {};
    set_abbreviation_fields(stored_abbreviation_);
}

void Manage_actions_dialog::on_new_action() {
    const std::wstring category = tree_->selected_category();
    tree_->select_category(category);
    // Selecting the category resets the fields, unless it was selected already.
    EnableWindow(item(IDC_MA_KEY_BUTTON), FALSE);
    reset_fields_for_new_action();
    ident_ = new_action_ident;
    shown_without_code_ = false;
    if (!category.empty())
        select_category_in_box(category);
    enter(State::editing);
}

void Manage_actions_dialog::on_edit() {
    ident_ = tree_->selected_ident();
    if (!ident_.empty())
        enter(State::editing);
}

void Manage_actions_dialog::on_save() {
    Param::Owned_parameters list = Param::create(host_);
    if (!list) {
        show_refusal(translatable(L"Not saved: the host did not answer."));
        return;
    }
    const std::wstring key = tree_->selected_ident();
    if (shown_without_code_) { // a built-in action: only its abbreviation
        if (store_abbreviation(key, false))
            on_selection_changed();
        return;
    }
    const std::wstring type = selected_code_type();
    if (type.empty()) {
        Trace::error("Manage_actions_dialog::on_save") << "no code type selected; nothing stored";
        show_refusal(translatable(L"Not saved: choose a code type."));
        return;
    }
    // A stored action's abbreviation first: refused (taken by another
    // action), nothing is stored and the edits stay for another try.
    const bool new_action = key.empty() || key == new_action_ident;
    if (!new_action && !store_abbreviation(key, false))
        return;
    const std::wstring name = text_of(IDC_MA_NAME);
    const std::wstring category = category_box_text();
    const std::wstring ident = store_code(list.get(), key, type, name, category);
    if (ident.empty())
        return;
    if (new_action && !store_abbreviation(ident, true)) {
        // The action is stored, its abbreviation not: from here on the
        // edits belong to the stored action, so another Save cannot make a
        // second one. The fields keep what was typed.
        refilling_ = true;
        tree_->add_action(category, ident, name);
        tree_->select_action(ident);
        refilling_ = false;
        ident_ = ident;
        return;
    }
    enter(State::view);
    tree_->add_action(category, ident, name);
    reset_fields_for_new_action();
    ident_ = ident;
    tree_->select_action(ident_);
}

std::wstring Manage_actions_dialog::store_code(Parameters* list, const std::wstring& key,
                                               const std::wstring& type, const std::wstring& name,
                                               const std::wstring& category) {
    Parameters* child = list->child(key.c_str());
    if (!child) {
        Trace::error("Manage_actions_dialog::store_code")
            << "host gave no child list; nothing stored";
        show_refusal(translatable(L"Not saved: the host did not answer."));
        return {};
    }
    Param::write_text(child, L"ident", key);
    Param::write_text(child, L"type", type);
    Param::write_text(child, L"code", text_of(IDC_MA_CODE));
    Param::write_text(child, L"name", name);
    Param::write_text(child, L"description", text_of(IDC_MA_DESCRIPTION));
    Param::write_text(child, L"category", category);
    Param::send(host_, L"zp_store_action_code", list);

    // Storing answers the ident it stored under; without it nothing was
    // stored, and the typed fields stay so that the user can fix and retry.
    std::wstring ident;
    if (Parameters* result = list->find_child(L"result"))
        ident = Param::read_text(result, key.c_str());
    if (ident.empty() || ident == new_action_ident) {
        Trace::error("Manage_actions_dialog::store_code")
            << "not stored (no code interpreter of type " << type << " accepted it): " << key;
        show_refusal(
            translatable(L"Not saved: no interpreter of this code type accepted the action."));
        return {};
    }
    return ident;
}

void Manage_actions_dialog::on_delete() {
    enter(State::view);
    const bool built_in = shown_without_code_;
    reset_fields_for_new_action();
    ident_ = tree_->selected_ident();
    if (ident_.empty() || ident_ == new_action_ident || built_in)
        return;
    if (Param::Owned_parameters list = Param::create(host_)) {
        Param::write_text(list.get(), L"ident", ident_);
        Param::send(host_, L"zp_delete_action", list.get());
    }
    tree_->remove_action(ident_);
    ident_ = tree_->selected_ident();
}

void Manage_actions_dialog::on_cancel() {
    // An unsaved abbreviation would pass for the one that fires.
    set_abbreviation_fields(stored_abbreviation_);
    enter(State::view);
}

void Manage_actions_dialog::on_key_button() {
    Key_choice choice;
    choice.host = host_;
    choice.current = key_code_;
    INT_PTR result = run_select_key_combination(dialog_, choice);
    std::uint32_t chosen;
    if (result == Select_key_result::apply)
        chosen = choice.chosen;
    else if (result == Select_key_result::unbind)
        chosen = Key_code::none;
    else
        return;
    if (chosen == key_code_)
        return;
    // The new combination first: were it refused, the old one stays bound.
    const bool stored = (Key_code::is_none(chosen) || bind_key(chosen)) &&
                        (Key_code::is_none(key_code_) || unbind_key(key_code_));
    show_key_combination();
    if (!stored)
        show_refusal(
            translatable(L"Not saved: the key bindings file is busy or cannot be written."));
}

bool Manage_actions_dialog::bind_key(std::uint32_t code) {
    Param::Owned_parameters list = Param::create(host_);
    if (!list)
        return false;
    Param::write_u32(list.get(), L"combi", code);
    Param::write_text(list.get(), L"id", ident_);
    Param::write_text(list.get(), L"title", text_of(IDC_MA_NAME));
    Param::send(host_, L"zp_action_set_key_binding", list.get());
    return Param::read_flag(list.get(), L"stored", false);
}

bool Manage_actions_dialog::unbind_key(std::uint32_t code) {
    Param::Owned_parameters list = Param::create(host_);
    if (!list)
        return false;
    Param::write_u32(list.get(), L"combi", code);
    Param::send(host_, L"zp_action_remove_key_binding", list.get());
    return Param::read_flag(list.get(), L"stored", false);
}

void Manage_actions_dialog::show_key_combination() {
    Param::Owned_parameters list = Param::create(host_);
    if (!list) {
        key_code_ = Key_code::none;
        return;
    }
    Param::write_text(list.get(), L"id", ident_);
    Param::send(host_, L"zp_action_key_binding", list.get());
    key_code_ = Param::read_u32(list.get(), L"key", Key_code::none);
    std::wstring text;
    if (Key_code::is_none(key_code_)) {
        text = text_provider().get_string(L"Set key ...");
    } else {
        // The host is asked only when its key is part of the text.
        text = combination_text(key_code_, Key_code::is_direct(key_code_)
                                               ? std::wstring()
                                               : activation_key_name(host_));
    }
    SetDlgItemTextW(dialog_, IDC_MA_KEY_BUTTON, text.c_str());
}

bool Manage_actions_dialog::Abbreviation::operator==(const Abbreviation& other) const {
    if (text.empty() || other.text.empty())
        return text.empty() && other.text.empty();
    return text == other.text && immediate == other.immediate &&
           case_sensitive == other.case_sensitive;
}

void Manage_actions_dialog::fill_abbreviation_kinds() {
    HWND kinds = item(IDC_MA_ABBREVIATION_KIND);
    SendMessageW(kinds, CB_RESETCONTENT, 0, 0);
    // In this order: the entry's index is the kind (0 word, 1 immediate).
    for (const wchar_t* kind : {translatable(L"Word"), translatable(L"Immediate")})
        SendMessageW(kinds, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(text_provider().get_string(kind)));
    SendMessageW(kinds, CB_SETCURSEL, 0, 0);
}

void Manage_actions_dialog::show_abbreviation() {
    stored_abbreviation_ = {};
    if (Param::Owned_parameters list = Param::create(host_)) {
        Param::write_text(list.get(), L"id", ident_);
        Param::send(host_, L"zp_action_abbreviation", list.get());
        stored_abbreviation_.text = Param::read_text(list.get(), L"abbreviation");
        const std::wstring kind = Param::read_text(list.get(), L"kind", L"word");
        stored_abbreviation_.immediate = kind == L"immediate";
        stored_abbreviation_.case_sensitive =
            Param::read_flag(list.get(), L"case_sensitive", false);
        if (kind != L"word" && kind != L"immediate")
            Trace::error("Manage_actions_dialog::show_abbreviation")
                << "unknown kind '" << kind << "' of " << ident_ << "; shown as word";
    }
    set_abbreviation_fields(stored_abbreviation_);
}

void Manage_actions_dialog::set_abbreviation_fields(const Abbreviation& shown) {
    SetDlgItemTextW(dialog_, IDC_MA_ABBREVIATION, shown.text.c_str());
    SendDlgItemMessageW(dialog_, IDC_MA_ABBREVIATION_KIND, CB_SETCURSEL, shown.immediate ? 1 : 0,
                        0);
    CheckDlgButton(dialog_, IDC_MA_CASE_SENSITIVE,
                   shown.case_sensitive ? BST_CHECKED : BST_UNCHECKED);
}

Manage_actions_dialog::Abbreviation Manage_actions_dialog::abbreviation_fields() const {
    Abbreviation fields;
    // Blanks around it would never be typed as part of it.
    fields.text = trimmed(text_of(IDC_MA_ABBREVIATION));
    fields.immediate =
        SendDlgItemMessageW(dialog_, IDC_MA_ABBREVIATION_KIND, CB_GETCURSEL, 0, 0) == 1;
    fields.case_sensitive = IsDlgButtonChecked(dialog_, IDC_MA_CASE_SENSITIVE) == BST_CHECKED;
    return fields;
}

bool Manage_actions_dialog::store_abbreviation(const std::wstring& ident, bool new_action) {
    const Abbreviation wanted = abbreviation_fields();
    if (new_action ? wanted.text.empty() : wanted == stored_abbreviation_)
        return true;
    Param::Owned_parameters list = Param::create(host_);
    if (!list) {
        show_refusal(translatable(L"Not saved: the host did not answer."));
        return false;
    }
    Param::write_text(list.get(), L"id", ident);
    Param::write_text(list.get(), L"abbreviation", wanted.text);
    Param::write_text(list.get(), L"kind", wanted.immediate ? L"immediate" : L"word");
    Param::write_flag(list.get(), L"case_sensitive", wanted.case_sensitive);
    Param::send(host_, L"zp_action_set_abbreviation", list.get());
    if (Param::read_flag(list.get(), L"stored", false)) {
        stored_abbreviation_ = wanted;
        return true;
    }
    const std::wstring taken_by = Param::read_text(list.get(), L"taken_by");
    Trace::info("Manage_actions_dialog::store_abbreviation")
        << "'" << wanted.text << "' for " << ident << " refused"
        << (taken_by.empty() ? std::wstring() : L", taken by " + taken_by);
    if (taken_by.empty()) {
        show_refusal(translatable(L"Not saved: the abbreviation could not be stored."));
        return false;
    }
    std::wstring text = text_provider().get_string(L"The abbreviation is taken by '%1'.");
    const std::size_t at = text.find(L"%1");
    if (at != std::wstring::npos)
        text.replace(at, 2, action_name(taken_by));
    show_status(text);
    return false;
}

std::wstring Manage_actions_dialog::action_name(const std::wstring& ident) {
    // Asked afresh: the tree holds only what the search shows.
    for (const Action_tree::Entry& entry : action_entries(nullptr))
        if (entry.ident == ident)
            return entry.name;
    return ident;
}

void Manage_actions_dialog::close(int id) {
    clear_code_types();
    refilling_ = true;
    tree_->remove_all();
    refilling_ = false;
    EndDialog(dialog_, id);
}

void Manage_actions_dialog::show_refusal(const wchar_t* english) {
    show_status(text_provider().get_string(english));
}

void Manage_actions_dialog::show_status(const std::wstring& text) {
    SetDlgItemTextW(dialog_, IDC_MA_STATUS, text.c_str());
    MessageBeep(MB_ICONWARNING);
}

void Manage_actions_dialog::enter(State state) {
    const bool leaves_editing = state_ == State::editing && state != State::editing;
    state_ = state;
    show_buttons();
    // The focus must not stay in a field that turns read-only.
    if (leaves_editing)
        SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search_field_), TRUE);
    set_fields_writable();
    if (state_ == State::editing)
        SendMessageW(
            dialog_, WM_NEXTDLGCTL,
            reinterpret_cast<WPARAM>(item(shown_without_code_ ? IDC_MA_ABBREVIATION : IDC_MA_NAME)),
            TRUE);
}

void Manage_actions_dialog::show_buttons() {
    const bool showing = state_ == State::showing;
    const bool editing = state_ == State::editing;
    // A new state answers the last refusal.
    SetDlgItemTextW(dialog_, IDC_MA_STATUS, L"");
    const struct {
        int id;
        bool shown;
    } buttons[] = {
        {IDC_MA_NEW, !editing},
        // A built-in action cannot go; its abbreviation can change.
        {IDC_MA_DELETE, showing && !shown_without_code_},
        {IDC_MA_EDIT, showing},
        {IDC_MA_SAVE, editing},
        {IDC_MA_CANCEL, editing},
    };
    for (const auto& button : buttons)
        ShowWindow(item(button.id), button.shown ? SW_SHOW : SW_HIDE);
    int default_button = IDC_MA_NEW;
    if (state_ != State::view)
        default_button = editing ? IDC_MA_SAVE : IDC_MA_EDIT;
    SendMessageW(dialog_, DM_SETDEFID, default_button, 0);
}

void Manage_actions_dialog::set_fields_writable() {
    const bool editing = state_ == State::editing;
    // Built-in actions have no code to edit; storing one would shadow them.
    // Their abbreviation is theirs to have.
    const bool code_writable = editing && !shown_without_code_;
    for (int id : text_fields)
        SendMessageW(item(id), EM_SETREADONLY, !code_writable, 0);
    EnableWindow(code_type_box_, code_writable);
    EnableWindow(category_box_, code_writable);
    SendMessageW(item(IDC_MA_ABBREVIATION), EM_SETREADONLY, !editing, 0);
    EnableWindow(item(IDC_MA_ABBREVIATION_KIND), editing);
    EnableWindow(item(IDC_MA_CASE_SENSITIVE), editing);
}

void Manage_actions_dialog::set_field(int id, const std::wstring& text) {
    // A multi-line field repaints its scroll bar at once for each new text,
    // which costs more than the rest of showing an action: the field is
    // drawn once, afterwards.
    HWND field = item(id);
    SendMessageW(field, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(field, text.c_str());
    SendMessageW(field, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(field, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
}

std::wstring Manage_actions_dialog::text_of(int id) const {
    return window_text(item(id));
}
