// The tree of the Manage actions dialog: categories at the root, actions as
// their children, both kept sorted by the tree control. Each action item
// carries a pointer to its ident, which lives as a key of the ident map.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

class Action_tree {
public:
    Action_tree() = default;
    virtual ~Action_tree() = default;
    Action_tree(const Action_tree&) = delete;
    Action_tree& operator=(const Action_tree&) = delete;

    virtual void attach(HWND tree);
    // An empty category files the action under the translated "Common".
    virtual void add_action(const std::wstring& category, const std::wstring& ident,
                            const std::wstring& name);
    // The category item stays, even when it has no action left.
    virtual void remove_action(const std::wstring& ident);
    // "zp_new" when nothing or a category is selected.
    virtual std::wstring selected_ident() const;
    virtual bool select_action(const std::wstring& ident);
    virtual bool select_category(const std::wstring& name);
    virtual void clear_selection();
    virtual void remove_all();
    virtual void expand_all();
    virtual std::vector<std::wstring> category_names() const;
    // Of the selected category, or of the selected action's category.
    virtual std::wstring selected_category() const;

    struct Entry {
        std::wstring category, ident, name;
    };
    // Adds many actions at once into an empty tree: sorted here and appended,
    // since sorted insertion one by one costs a walk over the siblings each.
    // `expanded` opens every category as it is inserted.
    void add_actions(std::vector<Entry> entries, bool expanded);

    HWND window() const { return tree_; }
    std::size_t action_count() const { return actions_.size(); }

private:
    HTREEITEM category_item(const std::wstring& category);
    HTREEITEM insert(HTREEITEM parent, HTREEITEM after, const std::wstring& text, LPARAM data,
                     bool expanded = false);

    HWND tree_ = nullptr;
    std::map<std::wstring, HTREEITEM> actions_;
    std::map<std::wstring, HTREEITEM> categories_;
};

// The ident that stands for an action not stored yet.
inline const std::wstring new_action_ident = L"zp_new";
