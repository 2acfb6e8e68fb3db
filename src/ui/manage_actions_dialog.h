// The Manage actions dialog: browse every action by category, search as you
// type, write, edit and delete code actions and bind a key to an action.
// It stores nothing itself: every read and write is a host message.
#pragma once

#include "actions/key_code.h"
#include "contract/host_interface.h"
#include "ui/action_tree.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Manage_actions_dialog {
public:
    explicit Manage_actions_dialog(Interaction_if* host);
    virtual ~Manage_actions_dialog();
    Manage_actions_dialog(const Manage_actions_dialog&) = delete;
    Manage_actions_dialog& operator=(const Manage_actions_dialog&) = delete;

    // Runs the dialog modally; answers the id of the control that closed it
    // (1 Close, 2 Escape), or -1 when the dialog could not be created.
    virtual INT_PTR run(HWND owner);

    // The ident shown or edited last ("zp_new" for an unsaved action).
    const std::wstring& ident() const { return ident_; }
    // The dialog window while it runs, else null.
    HWND window() const { return dialog_; }
    std::uint32_t key_code() const { return key_code_; }

private:
    template <class Dialog> friend INT_PTR CALLBACK modal_dialog_proc(HWND, UINT, WPARAM, LPARAM);
    template <class Dialog>
    friend INT_PTR run_dialog_with_own_controls(Dialog*, HINSTANCE, int, HWND);
    static constexpr const char* trace_name = "Manage_actions_dialog::dialog_proc";
    INT_PTR on_init_dialog(HWND dialog);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);

    void initialise();
    // Ctrl+A selects all in the edit fields; the text fields take any length.
    void prepare_fields();
    // Captions and labels in the chosen language.
    void show_texts();
    void on_command(int id, int code);
    void on_search();
    void on_selection_changed();
    void on_new_action();
    void on_edit();
    void on_save();
    void on_delete();
    void on_cancel();
    void on_key_button();
    void close(int id);

    void fill_code_types();
    void clear_code_types();
    // Expanded: the categories open (a search shows its hits). Select first:
    // the first action (or category) is selected, without notice; the
    // caller shows it.
    void refill_tree(const std::wstring* search_text, bool expanded, bool select_first);
    // Every action with a name the actions answer, or those the search
    // text finds (null: no search).
    std::vector<Action_tree::Entry> action_entries(const std::wstring* search_text);
    // Fills the fields from the shown action's descriptor; false when the
    // action answers none.
    bool show_descriptor();
    // Sends the fields as action `key` (new_action_ident for a new one) in
    // `list`; answers the ident it was stored under, or nothing (the status
    // line says why).
    std::wstring store_code(Parameters* list, const std::wstring& key, const std::wstring& type,
                            const std::wstring& name, const std::wstring& category);
    void select_code_type(const std::wstring& type_ident);
    void show_no_code();
    std::wstring selected_code_type() const;
    void select_category_in_box(const std::wstring& category);
    std::wstring category_box_text() const;
    void reset_fields_for_new_action();
    void show_key_combination();
    // The shown action's binding: false when the host or the bindings file
    // refused it.
    bool bind_key(std::uint32_t code);
    bool unbind_key(std::uint32_t code);

    // The abbreviation fields: what they show and what the action has stored.
    struct Abbreviation {
        std::wstring text; // empty: none
        bool immediate = false;
        bool case_sensitive = false;
        bool operator==(const Abbreviation& other) const;
    };
    void fill_abbreviation_kinds();
    void show_abbreviation();
    void set_abbreviation_fields(const Abbreviation& shown);
    Abbreviation abbreviation_fields() const;
    // Stores the fields' abbreviation for `ident` unless it is what the
    // action has; false when refused (the status line says why).
    bool store_abbreviation(const std::wstring& ident, bool new_action);
    // The name the actions answer for `ident`; the ident when none does.
    std::wstring action_name(const std::wstring& ident);
    // Says in the dialog why Save stored nothing; the edits stay.
    void show_refusal(const wchar_t* english);
    void show_status(const std::wstring& text);

    // What the dialog is doing; its buttons and which fields can be
    // written follow from it (and from shown_without_code_).
    enum class State {
        view,    // New only: nothing shown, or an edit cancelled
        showing, // an action shown: New, Edit, Delete
        editing, // Save, Cancel; a built-in action's abbreviation only
    };
    void enter(State state);
    void show_buttons();
    void set_fields_writable();

    HWND item(int id) const { return GetDlgItem(dialog_, id); }
    std::wstring text_of(int id) const;
    void set_field(int id, const std::wstring& text);

    Interaction_if* host_;
    HWND dialog_ = nullptr;
    HWND code_type_box_ = nullptr;
    HWND category_box_ = nullptr;
    HWND tree_window_ = nullptr;
    HWND search_field_ = nullptr;
    std::uint32_t key_code_ = Key_code::none;
    std::unique_ptr<Action_tree> tree_;
    std::wstring ident_ = new_action_ident;
    // Item data of the code-type entries point at these.
    std::vector<std::unique_ptr<std::wstring>> code_type_idents_;
    // Set while the tree is refilled, so the selection changes that clearing
    // and filling cause do not each fetch a descriptor.
    bool refilling_ = false;
    State state_ = State::view;
    // The action shown has no code (a built-in action): not editable.
    bool shown_without_code_ = false;
    // What the shown action has stored; Save sends only a change.
    Abbreviation stored_abbreviation_;
};
