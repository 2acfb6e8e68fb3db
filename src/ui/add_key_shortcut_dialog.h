// The "Add key shortcut" dialog: composes a key combination from the prefix
// and key lists and picks the action to bind it to, from every action that
// answers the listing. Storing the binding is left to the caller.
#pragma once

#include "actions/binding_directory.h"
#include "contract/host_interface.h"
#include "ui/manage_actions_dialog.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Names that begin with a letter or digit first, the rest after them; each
// group by plain comparison of UTF-16 code units. Stable for equal names.
void sort_action_rows(std::vector<Binding_row>& rows);

class Add_shortcut_dialog {
public:
    // `key_code` is the binding's previous code, Key_code::none for a new binding;
    // `activation_name` the display text of the activation key. The
    // directory is not owned and may be null (the list then stays empty).
    Add_shortcut_dialog(HINSTANCE module, Interaction_if* host, Binding_directory* directory,
                        std::wstring activation_name, std::uint32_t key_code);
    virtual ~Add_shortcut_dialog();
    Add_shortcut_dialog(const Add_shortcut_dialog&) = delete;
    Add_shortcut_dialog& operator=(const Add_shortcut_dialog&) = delete;

    // Runs the dialog modally: IDOK, IDCANCEL (also for closing), or -1 when
    // the dialog could not be created.
    virtual INT_PTR run(HWND owner);

    // The composed code after run (on OK and Cancel alike).
    std::uint32_t key_code() const { return key_code_; }
    // The action to bind; null when the action list was empty.
    const Binding_row* chosen() const;
    // The dialog window while it runs, else null.
    HWND window() const { return dialog_; }

private:
    template <class Dialog> friend INT_PTR CALLBACK modal_dialog_proc(HWND, UINT, WPARAM, LPARAM);
    template <class Dialog>
    friend INT_PTR run_dialog_with_own_controls(Dialog*, HINSTANCE, int, HWND);
    static constexpr const char* trace_name = "Add_shortcut_dialog::dialog_proc";
    INT_PTR on_init_dialog(HWND dialog);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);

    bool initialise();
    // Captions and labels in the chosen language.
    void show_texts();
    // The action and description columns, a label tip for cut texts.
    void add_columns();
    // The opening size, which the window cannot shrink below, and the client
    // size that resizing moves the controls from.
    void remember_layout();
    void fill_action_list(const std::wstring& select_ident);
    void take_chosen_row();
    void on_new_action();
    void on_size(int client_width, int client_height);
    void finish(int id);

    HINSTANCE module_;
    HWND dialog_ = nullptr;
    HWND action_list_ = nullptr;
    HWND key_box_ = nullptr;
    HWND prefix_box_ = nullptr;
    std::vector<Binding_row> rows_;
    int chosen_ = -1; // index into rows_
    std::uint32_t key_code_;
    Binding_directory* directory_;
    // For New...: created with the dialog, run on demand.
    std::unique_ptr<Manage_actions_dialog> manage_actions_;
    std::wstring activation_name_;
    SIZE initial_window_{400, 400};
    SIZE client_{0, 0};
    bool laid_out_ = false;
    // Set while the list is rebuilt, so its own notifications are ignored.
    bool refilling_ = false;
};
