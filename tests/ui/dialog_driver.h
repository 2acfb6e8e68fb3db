// Drives the dialogs through their controls from the test thread while each
// runs modally on a thread of its own: SendMessage is handled on the dialog's
// thread, and its effects are complete when it returns, as after a click.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class Dialog_thread {
public:
    explicit Dialog_thread(std::function<INT_PTR()> run);
    // Closes what the thread still shows (after a failed assertion), joins.
    ~Dialog_thread();
    // The visible dialog of the thread with this caption (any when empty)
    // other than `except`; null after 10 s.
    HWND wait_for(const std::wstring& caption, HWND except = nullptr) const;
    HWND wait_for_other(HWND except) const { return wait_for(L"", except); }
    // Waits until run returned; false after 10 s.
    bool wait_done() const;
    INT_PTR result() const { return result_; }

private:
    std::atomic<DWORD> thread_id_{0};
    std::atomic<bool> done_{false};
    std::atomic<INT_PTR> result_{0};
    std::thread thread_;
};

// German (zaptor.lng beside the executable) for the scope, or English.
struct Language_scope {
    explicit Language_scope(bool german);
    ~Language_scope();
};

std::wstring text_of(HWND window);
inline std::wstring text_of(HWND dialog, int id) {
    return text_of(GetDlgItem(dialog, id));
}
inline bool visible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id));
}
inline bool enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id));
}
// Only a visible, enabled button reacts, as for a user; false otherwise.
// Posted for buttons that open a nested modal dialog.
bool click(HWND dialog, int id, bool post = false);
inline bool post_click(HWND dialog, int id) {
    return click(dialog, id, true);
}
// Waits until a window closed; false after 5 s.
bool wait_closed(HWND window);
void set_text(HWND dialog, int id, const std::wstring& text);
std::wstring combo_item(HWND dialog, int id, int index = -1); // -1: the selected one
// Selects the entry whose item data is `code`; false when none has it.
bool select_combo_by_data(HWND dialog, int id, std::uintptr_t code);

// The outline reads "a(a1|a2)|b": the items from `first` on, with the
// children of expanded ones.
std::wstring tree_outline(HWND tree, HTREEITEM first = TVI_ROOT);
HTREEITEM find_tree_item(HWND tree, const std::wstring& text, HTREEITEM first = TVI_ROOT);
std::wstring tree_selection_text(HWND tree);
inline void select_tree_item(HWND tree, HTREEITEM item) {
    TreeView_SelectItem(tree, item);
}
// Expands every category as clicks would: the first expansion notifies.
void expand_roots(HWND tree);

using Rows = std::vector<std::pair<std::wstring, std::wstring>>; // first two columns
Rows list_rows(HWND list);
void select_list_row(HWND list, int row);
inline int list_selection(HWND list) {
    return ListView_GetNextItem(list, -1, LVNI_SELECTED);
}
int find_list_row(HWND list, const std::wstring& text); // by first column; -1
