#include "ui/action_tree.h"

#include "text/textprovider.h"

#include <algorithm>
#include <set>

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

// An unfilled category shows its expand button before it has children.
void show_expand_button(HWND tree, HTREEITEM category, bool shown) {
    TVITEMW data{};
    data.mask = TVIF_CHILDREN | TVIF_HANDLE;
    data.hItem = category;
    data.cChildren = shown ? 1 : 0;
    TreeView_SetItem(tree, &data);
}

} // namespace

HTREEITEM Action_tree::insert(HTREEITEM parent, HTREEITEM after, const std::wstring& text,
                              LPARAM data, bool has_children) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = data;
    insert.item.cChildren = has_children ? 1 : 0;
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
    HTREEITEM item =
        insert(TVI_ROOT, sorted_position(tree_, TVI_ROOT, category), category, 0, true);
    if (item) {
        categories_.emplace(category, item);
        unfilled_[item];
    }
    return item;
}

void Action_tree::place(HTREEITEM category, const std::wstring& ident, const std::wstring& name) {
    auto [entry, added] = actions_.emplace(ident, Action{category, nullptr, name});
    if (!added) {
        // A later answer for the same ident replaces the earlier one.
        remove_action(ident);
        entry = actions_.emplace(ident, Action{category, nullptr, name}).first;
    }
    auto unfilled = unfilled_.find(category);
    if (unfilled != unfilled_.end()) {
        unfilled->second.push_back(entry);
        return;
    }
    // The map's key outlives the item: remove_action deletes the item first.
    entry->second.item = insert(category, sorted_position(tree_, category, name), name,
                                reinterpret_cast<LPARAM>(&entry->first));
    if (entry->second.item)
        show_expand_button(tree_, category, true);
    else
        actions_.erase(entry);
}

void Action_tree::add_action(const std::wstring& category, const std::wstring& ident,
                             const std::wstring& name) {
    if (!tree_)
        return;
    const std::wstring filed_under =
        category.empty() ? text_provider().get_string(L"Common") : category;
    if (HTREEITEM parent = category_item(filed_under))
        place(parent, ident, name);
}

void Action_tree::remove_action(const std::wstring& ident) {
    auto found = actions_.find(ident);
    if (found == actions_.end())
        return;
    if (found->second.item) {
        TreeView_DeleteItem(tree_, found->second.item);
    } else {
        auto unfilled = unfilled_.find(found->second.category);
        if (unfilled != unfilled_.end()) {
            auto& pending = unfilled->second;
            pending.erase(std::remove(pending.begin(), pending.end(), found), pending.end());
        }
    }
    actions_.erase(found);
}

void Action_tree::fill(HTREEITEM category) {
    auto found = unfilled_.find(category);
    if (found == unfilled_.end())
        return;
    std::vector<Actions::iterator> pending = std::move(found->second);
    unfilled_.erase(found);
    std::stable_sort(pending.begin(), pending.end(), [](Actions::iterator a, Actions::iterator b) {
        return before(a->second.name, b->second.name);
    });
    // Sorted already: appending needs no walk over the siblings.
    for (Actions::iterator action : pending) {
        action->second.item = insert(category, TVI_LAST, action->second.name,
                                     reinterpret_cast<LPARAM>(&action->first));
        if (!action->second.item)
            actions_.erase(action);
    }
    show_expand_button(tree_, category, TreeView_GetChild(tree_, category) != nullptr);
}

void Action_tree::expand(HTREEITEM category) {
    fill(category);
    TreeView_Expand(tree_, category, TVE_EXPAND);
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
    if (found == actions_.end())
        return false;
    if (!found->second.item)
        fill(found->second.category);
    return found->second.item && TreeView_SelectItem(tree_, found->second.item);
}

bool Action_tree::select_category(const std::wstring& name) {
    auto found = categories_.find(name);
    return found != categories_.end() && TreeView_SelectItem(tree_, found->second);
}

void Action_tree::remove_all() {
    // Items first: their data points into the ident map.
    if (tree_)
        TreeView_DeleteAllItems(tree_);
    unfilled_.clear();
    actions_.clear();
    categories_.clear();
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
    std::set<std::wstring> new_categories;
    for (Entry& entry : entries) {
        if (entry.category.empty())
            entry.category = common;
        if (!categories_.count(entry.category))
            new_categories.insert(entry.category);
    }
    // Into an empty tree the categories go in one sorted pass, appended;
    // next to existing ones each needs its place found.
    std::vector<std::wstring> names(new_categories.begin(), new_categories.end());
    std::stable_sort(names.begin(), names.end(), before);
    const bool append = categories_.empty();
    for (const std::wstring& name : names) {
        if (!append) {
            category_item(name);
            continue;
        }
        if (HTREEITEM item = insert(TVI_ROOT, TVI_LAST, name, 0, true)) {
            categories_.emplace(name, item);
            unfilled_[item];
        }
    }
    // A later answer for the same ident wins, as with add_action.
    for (const Entry& entry : entries) {
        auto category = categories_.find(entry.category);
        if (category != categories_.end())
            place(category->second, entry.ident, entry.name);
    }
    if (expanded)
        expand_while_visible();
}

void Action_tree::expand_while_visible() {
    const UINT rows = TreeView_GetVisibleCount(tree_);
    std::size_t shown = 0;
    for (HTREEITEM item = TreeView_GetRoot(tree_); item && shown < rows;
         item = TreeView_GetNextSibling(tree_, item)) {
        auto unfilled = unfilled_.find(item);
        shown += 1 + (unfilled == unfilled_.end() ? 0 : unfilled->second.size());
        expand(item);
    }
}
