// The key binding settings dialog: lists every binding (combination and
// action) and adds, changes and removes bindings through the binding
// directory. Changes take effect at once; closing undoes nothing.
#pragma once

#include "actions/binding_directory.h"
#include "contract/host_interface.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The text an abbreviation is listed with in the combination column: the
// abbreviation in quotes, its kind and case.
std::wstring abbreviation_text(const Abbreviation_row& row);

// The names of the excluded-applications field, one per line: blanks
// trimmed, a path cut to its file name, ".exe" added to a name without an
// extension or final *, empty lines and names repeated (case-blind) left out.
std::vector<std::wstring> parse_excluded_applications(const std::wstring& text);

class Key_binding_settings_dialog {
public:
    // key code -> (combination text, action name) of the listed rows.
    using Row_texts = std::map<std::uint32_t, std::pair<std::wstring, std::wstring>>;

    // The directory is not owned and may be null (nothing is listed then).
    Key_binding_settings_dialog(HINSTANCE module, Interaction_if* host,
                                Binding_directory* directory, std::wstring activation_name);
    virtual ~Key_binding_settings_dialog();
    Key_binding_settings_dialog(const Key_binding_settings_dialog&) = delete;
    Key_binding_settings_dialog& operator=(const Key_binding_settings_dialog&) = delete;

    // Runs the dialog modally: IDOK or IDCANCEL, -1 when it could not be created.
    virtual INT_PTR run(HWND owner);

    const Row_texts& row_texts() const { return row_texts_; }
    // The dialog window while it runs, else null.
    HWND window() const { return dialog_; }

private:
    template <class Dialog> friend INT_PTR CALLBACK modal_dialog_proc(HWND, UINT, WPARAM, LPARAM);
    template <class Dialog>
    friend INT_PTR run_dialog_with_own_controls(Dialog*, HINSTANCE, int, HWND);
    static constexpr const char* trace_name = "Key_binding_settings_dialog::dialog_proc";
    INT_PTR on_init_dialog(HWND dialog);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);

    void initialise();
    // Captions and labels in the chosen language.
    void show_texts();
    // The combination and action columns, a label tip for cut texts.
    void add_columns();
    void refill();
    // The combination column as wide as its longest text, the action the rest.
    void fit_columns();
    void add_row(std::uint32_t key_code, const std::wstring& name);
    void add_abbreviation_row(std::size_t index);
    // Listed rows' item data: a key code, or this bit and an index into
    // abbreviation_rows_.
    static constexpr std::uint32_t abbreviation_bit = 0x80000000u;
    // Index of the selected row, -1 without one.
    int selected_row() const;
    std::uint32_t key_code_of(int row) const;
    void update_modify_button();
    void on_remove();
    void remove_abbreviation(int row, const Abbreviation_row& abbreviation);
    void show_excluded_applications();
    // False when the changed list was not saved (the status line says so).
    bool save_excluded_applications();
    void on_close(int id);
    // In the status line: the last change did not reach the file.
    void show_not_saved();
    // `previous` is the code of the binding to change, Key_code::none to add one.
    void on_change(std::uint32_t previous);
    void on_modify();

    HINSTANCE module_;
    Interaction_if* host_;
    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    Row_texts row_texts_;
    std::vector<Abbreviation_row> abbreviation_rows_;
    // As read at opening; closing saves the field only when it differs.
    std::vector<std::wstring> excluded_;
    // A failed save keeps the dialog open once; closing again gives up.
    bool close_refused_ = false;
    Binding_directory* directory_;
    std::wstring activation_name_;
};
