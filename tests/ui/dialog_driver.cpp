#include "dialog_driver.h"

#include "text/textprovider.h"

namespace {

BOOL CALLBACK end_dialog(HWND window, LPARAM) {
    wchar_t name[16] = {};
    if (GetClassNameW(window, name, 16) && std::wstring(name) == L"#32770")
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

std::wstring item_text(HWND tree, HTREEITEM item) {
    wchar_t buffer[4096] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = buffer;
    data.cchTextMax = 4096;
    return TreeView_GetItem(tree, &data) ? buffer : L"";
}

} // namespace

void set_language(bool german) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path);
    file = file.substr(0, file.find_last_of(L'\\') + 1) + L"plugins\\zaptor.lng";
    text_provider().set_language_from_file(file, german ? L"de" : L"");
}

Dialog_thread::Dialog_thread(std::function<INT_PTR()> run)
    : thread_([this, run] {
          thread_id_ = GetCurrentThreadId();
          result_ = run();
          done_ = true;
      }) {}

Dialog_thread::~Dialog_thread() {
    for (int i = 0; i < 20 && !done_; ++i, Sleep(100))
        if (thread_id_)
            EnumThreadWindows(thread_id_, end_dialog, 0);
    thread_.join();
}

HWND Dialog_thread::wait_for(const std::wstring& caption, HWND except) const {
    for (int i = 0; i < 1000; ++i, Sleep(10))
        for (HWND window = nullptr;
             (window = FindWindowExW(nullptr, window, L"#32770",
                                     caption.empty() ? nullptr : caption.c_str()));)
            if (window != except && IsWindowVisible(window) &&
                GetWindowThreadProcessId(window, nullptr) == thread_id_)
                return window;
    return nullptr;
}

bool Dialog_thread::wait_done() const {
    for (int i = 0; i < 1000 && !done_; ++i)
        Sleep(10);
    return done_;
}

std::wstring text_of(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, &text[0], text.size())));
    return text;
}

bool click(HWND dialog, int id, bool post) {
    if (!visible(dialog, id) || !enabled(dialog, id))
        return false;
    auto button = reinterpret_cast<LPARAM>(GetDlgItem(dialog, id));
    if (post)
        return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), button);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), button);
    return true;
}

bool wait_closed(HWND window) {
    for (int i = 0; i < 500 && IsWindow(window); ++i)
        Sleep(10);
    return !IsWindow(window);
}

std::wstring combo_item(HWND dialog, int id, int index) {
    if (index < 0)
        index = static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
    wchar_t text[1024] = {};
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

bool select_combo_by_data(HWND dialog, int id, std::uintptr_t code) {
    int count = static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (static_cast<std::uintptr_t>(SendDlgItemMessageW(dialog, id, CB_GETITEMDATA, i, 0)) ==
            code)
            return SendDlgItemMessageW(dialog, id, CB_SETCURSEL, i, 0) == i;
    return false;
}

std::wstring tree_outline(HWND tree, HTREEITEM first) {
    std::wstring outline;
    first = first == TVI_ROOT ? TreeView_GetRoot(tree) : first;
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        outline += (item == first ? L"" : L"|") + item_text(tree, item);
        if (HTREEITEM child = TreeView_GetChild(tree, item))
            outline += L"(" + tree_outline(tree, child) + L")";
    }
    return outline;
}

HTREEITEM find_tree_item(HWND tree, const std::wstring& text, HTREEITEM first) {
    first = first == TVI_ROOT ? TreeView_GetRoot(tree) : first;
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        if (item_text(tree, item) == text)
            return item;
        if (HTREEITEM found = find_tree_item(tree, text, TreeView_GetChild(tree, item)))
            return found;
    }
    return nullptr;
}

void expand_roots(HWND tree) {
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        TreeView_Expand(tree, item, TVE_EXPAND);
}

Rows list_rows(HWND list) {
    Rows rows;
    wchar_t first[1024], second[1024];
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        ListView_GetItemText(list, i, 0, first, 1024);
        ListView_GetItemText(list, i, 1, second, 1024);
        rows.emplace_back(first, second);
    }
    return rows;
}

int find_list_row(HWND list, const std::wstring& text) {
    Rows rows = list_rows(list);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].first == text)
            return static_cast<int>(i);
    return -1;
}
