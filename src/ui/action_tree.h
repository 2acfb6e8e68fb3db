// The tree of the Manage actions dialog: categories at the root, actions as
// their children, both in one case-insensitive order. A category's actions
// enter the tree control only when the category is first expanded or shown
// expanded: with thousands of actions, opening the dialog and each search
// keystroke then cost only the categories and what is seen. Each action
// item carries a pointer to its ident, which lives as a key of the ident map.
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
    virtual void remove_all();
    virtual std::vector<std::wstring> category_names() const;
    // Of the selected category, or of the selected action's category.
    virtual std::wstring selected_category() const;

    struct Entry {
        std::wstring category, ident, name;
    };
    // Adds many actions at once: the categories in one sorted pass, their
    // actions kept for the first expansion. `expanded` opens the categories
    // that the tree shows without scrolling; those below open on a click.
    void add_actions(std::vector<Entry> entries, bool expanded);
    // Inserts the actions of a category item not yet filled; the dialog
    // calls it when the user expands the category.
    void fill(HTREEITEM category);
    // Fills and expands.
    void expand(HTREEITEM category);

private:
    struct Action {
        HTREEITEM category = nullptr;
        HTREEITEM item = nullptr; // null while the category is not filled
        std::wstring name;
    };
    using Actions = std::map<std::wstring, Action>;
    HTREEITEM category_item(const std::wstring& category);
    HTREEITEM insert(HTREEITEM parent, HTREEITEM after, const std::wstring& text, LPARAM data,
                     bool has_children = false);
    // Expands categories from the top until the tree's window is full: what
    // lies below would cost its insertion before anyone scrolls to it.
    void expand_while_visible();
    // Records the action; inserts it at once only where its category is filled.
    void place(HTREEITEM category, const std::wstring& ident, const std::wstring& name);

    HWND tree_ = nullptr;
    Actions actions_;
    std::map<std::wstring, HTREEITEM> categories_;
    // Categories whose actions are not in the control yet, with those actions.
    std::map<HTREEITEM, std::vector<Actions::iterator>> unfilled_;
};

// The ident that stands for an action not stored yet.
inline const std::wstring new_action_ident = L"zp_new";
