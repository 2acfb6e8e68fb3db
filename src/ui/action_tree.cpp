#include "ui/action_tree.h"

#include "text/textprovider.h"

namespace {

HTREEITEM insert_sorted(HWND tree, HTREEITEM parent, const std::wstring& text, LPARAM data) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_SORT;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

HTREEITEM selected_item(HWND tree) {
    return tree ? TreeView_GetSelection(tree) : nullptr;
}

} // namespace

void Action_tree::attach(HWND tree) {
    tree_ = tree;
}

HTREEITEM Action_tree::category_item(const std::wstring& category) {
    auto found = categories_.find(category);
    if (found != categories_.end())
        return found->second;
    HTREEITEM item = insert_sorted(tree_, TVI_ROOT, category, 0);
    if (item)
        categories_.emplace(category, item);
    return item;
}

void Action_tree::add_action(const std::wstring& category, const std::wstring& ident,
                             const std::wstring& name) {
    if (!tree_)
        return;
    const std::wstring filed_under =
        category.empty() ? text_provider().get_string(L"Common") : category;
    HTREEITEM parent = category_item(filed_under);
    if (!parent)
        return;
    remove_action(ident);
    auto entry = actions_.emplace(ident, nullptr).first;
    // The map's key outlives the item: remove_action deletes the item first.
    HTREEITEM item = insert_sorted(tree_, parent, name, reinterpret_cast<LPARAM>(&entry->first));
    if (item)
        entry->second = item;
    else
        actions_.erase(entry);
}

void Action_tree::remove_action(const std::wstring& ident) {
    auto found = actions_.find(ident);
    if (found == actions_.end())
        return;
    TreeView_DeleteItem(tree_, found->second);
    actions_.erase(found);
}

std::wstring Action_tree::selected_ident() const {
    HTREEITEM item = selected_item(tree_);
    if (!item)
        return new_action_ident;
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!TreeView_GetItem(tree_, &data) || data.lParam == 0)
        return new_action_ident;
    return *reinterpret_cast<const std::wstring*>(data.lParam);
}

bool Action_tree::select_action(const std::wstring& ident) {
    auto found = actions_.find(ident);
    return found != actions_.end() && TreeView_SelectItem(tree_, found->second);
}

bool Action_tree::select_category(const std::wstring& name) {
    auto found = categories_.find(name);
    return found != categories_.end() && TreeView_SelectItem(tree_, found->second);
}

void Action_tree::clear_selection() {
    if (tree_)
        TreeView_SelectItem(tree_, nullptr);
}

void Action_tree::remove_all() {
    // Items first: their data points into the ident map.
    if (tree_)
        TreeView_DeleteAllItems(tree_);
    actions_.clear();
    categories_.clear();
}

void Action_tree::expand_all() {
    for (const auto& category : categories_)
        TreeView_Expand(tree_, category.second, TVE_EXPAND);
}

std::vector<std::wstring> Action_tree::category_names() const {
    std::vector<std::wstring> names;
    names.reserve(categories_.size());
    for (const auto& category : categories_)
        names.push_back(category.first);
    return names;
}

std::wstring Action_tree::selected_category() const {
    HTREEITEM item = selected_item(tree_);
    if (!item)
        return {};
    if (HTREEITEM parent = TreeView_GetParent(tree_, item))
        item = parent;
    for (const auto& category : categories_)
        if (category.second == item)
            return category.first;
    return {};
}
