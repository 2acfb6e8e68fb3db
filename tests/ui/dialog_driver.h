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
    ~Dialog_thread(); // closes what the thread still shows, joins
    // The visible dialog with the caption (any: "") but `except`; null after 10 s.
    HWND wait_for(const std::wstring& caption, HWND except = nullptr) const;
    bool wait_done() const; // false after 10 s
    INT_PTR result() const { return result_; }

private:
    std::atomic<DWORD> thread_id_{0};
    std::atomic<bool> done_{false};
    std::atomic<INT_PTR> result_{0};
    std::thread thread_;
};

void set_language(bool german); // from zaptor.lng beside the executable; or English
struct Language_scope {
    explicit Language_scope(bool german) { set_language(german); }
    ~Language_scope() { set_language(false); }
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
// Only a visible, enabled button reacts. Posted when it opens a modal dialog.
bool click(HWND dialog, int id, bool post = false);
bool wait_closed(HWND window);                                // false after 5 s
std::wstring combo_item(HWND dialog, int id, int index = -1); // -1: the selected one
bool select_combo_by_data(HWND dialog, int id, std::uintptr_t code);

// "a(a1|a2)|b": the items from `first` on, with the children of expanded ones.
std::wstring tree_outline(HWND tree, HTREEITEM first = TVI_ROOT);
HTREEITEM find_tree_item(HWND tree, const std::wstring& text, HTREEITEM first = TVI_ROOT);
// Expands every category as clicks would: the first expansion notifies.
void expand_roots(HWND tree);

using Rows = std::vector<std::pair<std::wstring, std::wstring>>; // first two columns
Rows list_rows(HWND list);
inline void select_list_row(HWND list, int row) {
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}
inline int list_selection(HWND list) {
    return ListView_GetNextItem(list, -1, LVNI_SELECTED);
}
int find_list_row(HWND list, const std::wstring& text); // by first column; -1
