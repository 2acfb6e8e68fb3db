// Runs a modal dialog on a thread of its own, so that a test can operate
// its controls from the test thread with SendMessage, the way a user's
// clicks arrive: each message is handled on the dialog's thread, and its
// effects are complete when SendMessage returns.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class Dialog_thread {
public:
    explicit Dialog_thread(std::function<INT_PTR()> run);
    // Closes whatever dialog the thread still shows (a failed assertion
    // leaves it open), then joins.
    ~Dialog_thread();
    Dialog_thread(const Dialog_thread&) = delete;
    Dialog_thread& operator=(const Dialog_thread&) = delete;

    // The visible dialog of the thread with this caption (any caption when
    // empty) other than `except`; null after 10 s.
    HWND wait_for(const std::wstring& caption, HWND except = nullptr) const;
    HWND wait_for_other(HWND except) const { return wait_for(L"", except); }
    // Waits until the thread's run returned; false after 10 s.
    bool wait_done() const;
    INT_PTR result() const { return result_; }

private:
    std::atomic<DWORD> thread_id_{0};
    std::atomic<bool> done_{false};
    std::atomic<INT_PTR> result_{0};
    std::thread thread_;
};

// Shows the texts in German (zaptor.lng beside the executable) for the life
// of the scope, or in English.
class Language_scope {
public:
    explicit Language_scope(bool german);
    ~Language_scope();
    Language_scope(const Language_scope&) = delete;
    Language_scope& operator=(const Language_scope&) = delete;
};

// Control helpers, callable from the test thread.
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
// Clicks a button the way a user would: only a visible, enabled button
// reacts. Answers whether it could be clicked. Posted for buttons that open
// a nested modal dialog.
bool click(HWND dialog, int id, bool post = false);
inline bool post_click(HWND dialog, int id) {
    return click(dialog, id, true);
}
// Waits until a window closed; false after 5 s.
bool wait_closed(HWND window);
void set_text(HWND dialog, int id, const std::wstring& text);
int combo_selection(HWND dialog, int id);
std::wstring combo_item(HWND dialog, int id, int index);
// Selects the entry whose item data is `code`; false when none has it.
bool select_combo_by_data(HWND dialog, int id, std::uintptr_t code);

// Tree view access by item text. The outline reads "a(a1|a2)|b": the items
// from `first` on (the root: all), with the children of expanded ones.
std::wstring tree_outline(HWND tree, HTREEITEM first = TVI_ROOT);
HTREEITEM find_tree_item(HWND tree, const std::wstring& text, HTREEITEM first = TVI_ROOT);
std::wstring tree_selection_text(HWND tree);
inline void select_tree_item(HWND tree, HTREEITEM item) {
    TreeView_SelectItem(tree, item);
}
// Expands every category as a user's clicks would: the first expansion of
// each notifies the dialog.
void expand_roots(HWND tree);

// List view access: rows as (first column, second column) texts.
struct List_row {
    std::wstring first;
    std::wstring second;
    bool operator==(const List_row& other) const {
        return first == other.first && second == other.second;
    }
};
std::vector<List_row> list_rows(HWND list);
// Selects and focuses one row, as a click would.
void select_list_row(HWND list, int row);
inline int list_selection(HWND list) {
    return ListView_GetNextItem(list, -1, LVNI_SELECTED);
}
// Index of the row whose first column reads `text`; -1 when none does.
int find_list_row(HWND list, const std::wstring& text);
