// The plug-in's items in the host's tray menu: "Change key bindings" opens
// the key binding settings dialog, "Manage actions" the Manage actions
// dialog. Both run modally on the thread that delivered the click, one at a
// time: the modal loop still delivers the host's tray clicks, and a second
// dialog over the same data would overwrite the first one's edits.
#pragma once

#include "contract/filter_registration.h"
#include "contract/host_interface.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class Binding_directory;

class Tray_menu_filter final : public Filter {
public:
    // Registers for "get_tray_menu_items" and "add_tray_item_action". A null
    // directory leaves the settings dialog empty.
    Tray_menu_filter(HINSTANCE module, std::shared_ptr<Binding_directory> directory,
                     Interaction_if* host);
    ~Tray_menu_filter();
    Tray_menu_filter(const Tray_menu_filter&) = delete;
    Tray_menu_filter& operator=(const Tray_menu_filter&) = delete;

    void* destroy(unsigned int flags) override;
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int name_length, Parameters* list) override;

private:
    void list_items(Parameters* list);
    void run_item(const std::wstring& item);
    void run_settings();
    void run_manage_actions();
    // Runs `dialog` unless one of ours is open: that one comes to the front.
    template <class Dialog> void run_alone(Dialog& dialog);

    HINSTANCE module_;
    std::shared_ptr<Binding_directory> directory_;
    Interaction_if* host_;
    Filter_registration registration_;
    std::mutex open_mutex_;
    std::function<HWND()> open_window_; // of the dialog open now, if any
};
