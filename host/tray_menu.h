// The tray menu's model: the items the plug-ins answer to
// "get_tray_menu_items" (the host sends an empty list; each plug-in adds one
// child list per item, keyed by the item key, with a text "name"), in list
// order, and the host's own "Exit" last. Picking an item sends
// "add_tray_item_action" with the text "action" = its key.
#pragma once

#include "host/reference_host.h"

#include <string>
#include <vector>

struct Tray_item {
    std::wstring key;
    std::wstring name;
    bool is_exit = false; // the host's own item; never sent to the plug-ins
};

class Tray_menu {
public:
    explicit Tray_menu(Reference_host& host) : host_(host) {}

    // Asks the plug-ins anew (their names may have changed with the language).
    // Children without a non-empty "name" are traced and left out.
    std::vector<Tray_item> collect();
    // Sends "add_tray_item_action" for a plug-in's item; false (traced) for
    // an empty key. Runs on the calling thread until the plug-in returns
    // (its dialogs are modal).
    bool trigger(const std::wstring& key);

private:
    Reference_host& host_;
};
