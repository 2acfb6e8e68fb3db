#include "host/tray_menu.h"

#include "contract/parameter_values.h"
#include "trace/trace.h"

std::vector<Tray_item> Tray_menu::collect() {
    std::vector<Tray_item> items;
    auto list = Reference_host::make_list();
    // Host broadcasts that nobody subscribed must not reach the default handler.
    if (host_.filter_count(L"get_tray_menu_items") > 0)
        host_.deliver(L"get_tray_menu_items", list.get());
    for (const auto& entry : list->entries()) {
        if (!entry.is_child) {
            Trace::info("Tray_menu::collect") << "value " << entry.key << " is no item; ignored";
            continue;
        }
        std::wstring name = Param::read_text(entry.child.get(), L"name");
        if (name.empty()) {
            Trace::info("Tray_menu::collect") << "item " << entry.key << " has no name; left out";
            continue;
        }
        items.push_back({entry.key, name, false});
    }
    items.push_back({L"", L"Exit", true});
    return items;
}

bool Tray_menu::trigger(const std::wstring& key) {
    if (key.empty()) {
        Trace::error("Tray_menu::trigger") << "empty item key; nothing sent";
        return false;
    }
    Trace::info("Tray_menu::trigger") << "add_tray_item_action " << key;
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"action", key);
    if (host_.filter_count(L"add_tray_item_action") == 0) {
        Trace::info("Tray_menu::trigger") << "no plug-in answers add_tray_item_action";
        return true;
    }
    host_.deliver(L"add_tray_item_action", list.get());
    return true;
}
