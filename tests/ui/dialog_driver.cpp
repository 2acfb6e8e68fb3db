#include "dialog_driver.h"

#include "text/textprovider.h"

namespace {

struct Search {
    const std::wstring* caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK find_dialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    if (std::wstring(class_name) != L"#32770" || !IsWindowVisible(window) ||
        window == search->except)
        return TRUE;
    if (search->caption && text_of(window) != *search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND poll(DWORD thread, const std::wstring* caption, HWND except) {
    for (int i = 0; i < 1000; ++i) {
        if (thread) {
            Search search{caption, except, nullptr};
            EnumThreadWindows(thread, find_dialog, reinterpret_cast<LPARAM>(&search));
            if (search.found)
                return search.found;
        }
        Sleep(10);
    }
    return nullptr;
}

BOOL CALLBACK end_dialog(HWND window, LPARAM) {
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    if (std::wstring(class_name) == L"#32770")
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

std::vector<Tree_node> nodes_below(HWND tree, HTREEITEM first) {
    std::vector<Tree_node> nodes;
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t buffer[4096] = {};
        TVITEMW data{};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = buffer;
        data.cchTextMax = 4096;
        TreeView_GetItem(tree, &data);
        nodes.push_back({buffer, nodes_below(tree, TreeView_GetChild(tree, item))});
    }
    return nodes;
}

HTREEITEM find_below(HWND tree, HTREEITEM first, const std::wstring& text) {
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t buffer[4096] = {};
        TVITEMW data{};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = buffer;
        data.cchTextMax = 4096;
        if (TreeView_GetItem(tree, &data) && text == buffer)
            return item;
        if (HTREEITEM found = find_below(tree, TreeView_GetChild(tree, item), text))
            return found;
    }
    return nullptr;
}

} // namespace

Dialog_thread::Dialog_thread(std::function<INT_PTR()> run)
    : thread_([this, run] {
          thread_id_ = GetCurrentThreadId();
          result_ = run();
          done_ = true;
      }) {}

Dialog_thread::~Dialog_thread() {
    for (int i = 0; i < 20 && !done_; ++i) {
        if (thread_id_)
            EnumThreadWindows(thread_id_, end_dialog, 0);
        Sleep(100);
    }
    thread_.join();
}

HWND Dialog_thread::wait_for(const std::wstring& caption) const {
    for (int i = 0; i < 100 && !thread_id_; ++i)
        Sleep(10);
    return poll(thread_id_, &caption, nullptr);
}

HWND Dialog_thread::wait_for_other(HWND except) const {
    for (int i = 0; i < 100 && !thread_id_; ++i)
        Sleep(10);
    return poll(thread_id_, nullptr, except);
}

namespace {

std::wstring translation_file() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"plugins\\zaptor.lng";
}

} // namespace

Language_scope::Language_scope(bool german) {
    text_provider().set_language_from_file(translation_file(), german ? L"de" : L"");
}

Language_scope::~Language_scope() {
    text_provider().set_language_from_file(translation_file(), L"");
}

bool Dialog_thread::wait_done() const {
    for (int i = 0; i < 1000 && !done_; ++i)
        Sleep(10);
    return done_;
}

std::wstring text_of(HWND window) {
    int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                               reinterpret_cast<LPARAM>(&text[0])));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring text_of(HWND dialog, int id) {
    return text_of(GetDlgItem(dialog, id));
}

bool visible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

bool enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool read_only(HWND dialog, int id) {
    return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & ES_READONLY) != 0;
}

bool click(HWND dialog, int id) {
    if (!visible(dialog, id) || !enabled(dialog, id))
        return false;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return true;
}

bool post_click(HWND dialog, int id) {
    if (!visible(dialog, id) || !enabled(dialog, id))
        return false;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return true;
}

void set_text(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void type_chars(HWND dialog, int id, const std::wstring& text) {
    HWND field = GetDlgItem(dialog, id);
    for (wchar_t c : text)
        SendMessageW(field, WM_CHAR, c, 1);
}

int default_button(HWND dialog) {
    LRESULT id = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    return HIWORD(id) == DC_HASDEFID ? LOWORD(id) : 0;
}

int combo_selection(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

int combo_count(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
}

std::wstring combo_item(HWND dialog, int id, int index) {
    LRESULT length =
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR)
        return L"<none>";
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::vector<Tree_node> tree_contents(HWND tree) {
    return nodes_below(tree, TreeView_GetRoot(tree));
}

HTREEITEM find_tree_item(HWND tree, const std::wstring& text) {
    return find_below(tree, TreeView_GetRoot(tree), text);
}

std::wstring tree_selection_text(HWND tree) {
    HTREEITEM item = TreeView_GetSelection(tree);
    if (!item)
        return L"<none>";
    wchar_t buffer[4096] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = buffer;
    data.cchTextMax = 4096;
    TreeView_GetItem(tree, &data);
    return buffer;
}

void select_tree_item(HWND tree, HTREEITEM item) {
    TreeView_SelectItem(tree, item);
}

void expand_roots(HWND tree) {
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        TreeView_Expand(tree, item, TVE_EXPAND);
}

void double_click_tree(HWND dialog, int tree_id) {
    NMHDR header{GetDlgItem(dialog, tree_id), static_cast<UINT_PTR>(tree_id),
                 static_cast<UINT>(NM_DBLCLK)};
    SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(tree_id),
                 reinterpret_cast<LPARAM>(&header));
}

namespace {

std::wstring list_text(HWND list, int row, int column) {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

} // namespace

std::vector<List_row> list_rows(HWND list) {
    std::vector<List_row> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        rows.push_back({list_text(list, i, 0), list_text(list, i, 1)});
    return rows;
}

void select_list_row(HWND list, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (row < 0)
        return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
}

int list_selection(HWND list) {
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int find_list_row(HWND list, const std::wstring& text) {
    auto rows = list_rows(list);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].first == text)
            return static_cast<int>(i);
    return -1;
}

void double_click_list(HWND dialog, int list_id) {
    NMITEMACTIVATE activate{};
    activate.hdr = {GetDlgItem(dialog, list_id), static_cast<UINT_PTR>(list_id),
                    static_cast<UINT>(NM_DBLCLK)};
    activate.iItem = list_selection(GetDlgItem(dialog, list_id));
    SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(list_id),
                 reinterpret_cast<LPARAM>(&activate));
}

bool select_combo_by_data(HWND dialog, int id, std::uintptr_t code) {
    int count = combo_count(dialog, id);
    for (int i = 0; i < count; ++i) {
        auto data = static_cast<std::uintptr_t>(
            SendDlgItemMessageW(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
        if (data == code) {
            SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return true;
        }
    }
    return false;
}

RECT control_rect(HWND dialog, int id) {
    RECT box{};
    GetWindowRect(GetDlgItem(dialog, id), &box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    return box;
}
