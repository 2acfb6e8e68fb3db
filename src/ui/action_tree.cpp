#include "ui/action_tree.h"

#include "text/textprovider.h"

#include <algorithm>

namespace {

// The one order of items: case-insensitive, as users read lists. Bulk and
// single insertions use it alike, so a saved action lands where a refill
// would put it.
bool before(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) < 0;
}

std::wstring item_text(HWND tree, HTREEITEM item) {
    std::wstring text(1024, L'\0');
    for (;;) {
        TVITEMW data{};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = &text[0];
        data.cchTextMax = static_cast<int>(text.size());
        if (!TreeView_GetItem(tree, &data))
            return {};
        std::size_t length = wcslen(text.c_str());
        if (length + 1 < text.size())
            return text.substr(0, length);
        text.resize(text.size() * 2);
    }
}

// The sibling after which `text` belongs: TVI_FIRST when before all.
HTREEITEM sorted_position(HWND tree, HTREEITEM parent, const std::wstring& text) {
    HTREEITEM after = TVI_FIRST;
    HTREEITEM item = parent == TVI_ROOT ? TreeView_GetRoot(tree) : TreeView_GetChild(tree, parent);
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
        if (before(text, item_text(tree, item)))
            break;
        after = item;
    }
    return after;
}

HTREEITEM selected_item(HWND tree) {
    return tree ? TreeView_GetSelection(tree) : nullptr;
}

} // namespace

HTREEITEM Action_tree::insert(HTREEITEM parent, HTREEITEM after, const std::wstring& text,
                              LPARAM data, bool expanded) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | (expanded ? TVIF_STATE : 0);
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = data;
    insert.item.state = expanded ? TVIS_EXPANDED : 0;
    insert.item.stateMask = expanded ? TVIS_EXPANDED : 0;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void Action_tree::attach(HWND tree) {
    tree_ = tree;
}

HTREEITEM Action_tree::category_item(const std::wstring& category) {
    auto found = categories_.find(category);
    if (found != categories_.end())
        return found->second;
    HTREEITEM item = insert(TVI_ROOT, sorted_position(tree_, TVI_ROOT, category), category, 0);
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
    HTREEITEM item = insert(parent, sorted_position(tree_, parent, name), name,
                            reinterpret_cast<LPARAM>(&entry->first));
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

void Action_tree::add_actions(std::vector<Entry> entries, bool expanded) {
    if (!tree_)
        return;
    const std::wstring common = text_provider().get_string(L"Common");
    for (Entry& entry : entries)
        if (entry.category.empty())
            entry.category = common;
    // A later answer for the same ident wins, as with add_action.
    std::map<std::wstring, std::size_t> last_of_ident;
    for (std::size_t i = 0; i < entries.size(); ++i)
        last_of_ident[entries[i].ident] = i;
    std::vector<const Entry*> order;
    order.reserve(last_of_ident.size());
    for (const auto& ident : last_of_ident) {
        remove_action(ident.first);
        order.push_back(&entries[ident.second]);
    }
    std::stable_sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) {
        if (a->category != b->category)
            return a->category < b->category;
        return before(a->name, b->name);
    });
    // Categories made by this batch get their actions in sorted order, so
    // appending keeps them sorted; existing ones need the sibling walk.
    std::map<std::wstring, bool> made_here;
    for (const Entry* entry : order) {
        HTREEITEM parent;
        auto found = categories_.find(entry->category);
        if (found != categories_.end()) {
            parent = found->second;
        } else {
            parent = insert(TVI_ROOT, sorted_position(tree_, TVI_ROOT, entry->category),
                            entry->category, 0, expanded);
            if (!parent)
                continue;
            categories_.emplace(entry->category, parent);
            made_here[entry->category] = true;
        }
        auto stored = actions_.emplace(entry->ident, nullptr).first;
        HTREEITEM after = made_here.count(entry->category)
                              ? TVI_LAST
                              : sorted_position(tree_, parent, entry->name);
        HTREEITEM item =
            insert(parent, after, entry->name, reinterpret_cast<LPARAM>(&stored->first));
        if (item)
            stored->second = item;
        else
            actions_.erase(stored);
    }
}
