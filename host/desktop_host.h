// vqhost.exe without --script: the reference host as a desktop program.
//
// Start: the current directory becomes the root folder (plug-ins open
// plugins\... relative to it); the key-value store is kept in
// vqhost_store.txt there; every *.dll in ROOT\plugins is loaded and
// initialized in name order (one that does not load is traced and skipped);
// "set_language" (when a language is given) and "startup" go to the filters;
// the keyboard hook, the hidden window and the tray icon come up; the tray
// items given in the options are triggered, once each, from the message loop.
//
// Stop (the menu's Exit, WM_CLOSE to the window, or the destructor): typing
// still queued is finished, the hook and the icon go, "shutdown" goes to the
// filters, then every plug-in in reverse load order is finalized and freed.
//
// Another process triggers a tray item without a tray: WM_COPYDATA to the
// window of class window_class, dwData = copydata_tray_item, data = the item
// key as UTF-16 (without NUL). The window answers TRUE when the key was
// queued; the item runs from the message loop, so the sender does not wait
// for a dialog. `vqhost.exe --remote-tray-item KEY` does exactly this.
#pragma once

#include "contract/unique_handle.h"
#include "host/ask_dialogs.h"
#include "host/keyboard_hook.h"
#include "host/plugin_library.h"
#include "host/reference_host.h"
#include "host/send_input_typist.h"
#include "host/tray_menu.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct Desktop_options {
    std::wstring root; // empty: the folder of the running executable
    std::uint32_t activation_key = VK_CAPITAL;
    std::vector<std::wstring> tray_items;
    std::wstring language;
    bool keyboard_hook = true;
    bool tray_icon = true;
    // SendInput typing and question dialogs; off, the host only records.
    bool interactive = true;
};

class Desktop_host {
public:
    static constexpr const wchar_t* window_class = L"Vqhost_desktop";
    static constexpr ULONG_PTR copydata_tray_item = 0x56515449; // "VQTI"
    static constexpr const wchar_t* store_file_name = L"vqhost_store.txt";

    explicit Desktop_host(Desktop_options options);
    ~Desktop_host();
    Desktop_host(const Desktop_host&) = delete;
    Desktop_host& operator=(const Desktop_host&) = delete;

    // False with a message when the host cannot run at all (no root folder,
    // no window). Plug-ins that fail to load do not stop it.
    bool start(std::string& error);
    // Serves messages until the host is closed, then stops. Answers 0.
    int run();
    // Idempotent.
    void stop();

    Reference_host& host() { return host_; }
    HWND window() const { return window_.get(); }
    const std::vector<Plugin_library>& plugins() const { return plugins_; }
    Tray_menu& tray_menu() { return tray_menu_; }
    // Waits until queued typing is done (true at once when not interactive).
    bool wait_typing_idle(unsigned int timeout_ms);

    // Queues a tray item as WM_COPYDATA does (on the host's thread); false
    // for an empty key.
    bool queue_tray_item(const std::wstring& key);
    // Sends a tray item key to a running desktop host; false (with a message)
    // when none runs or it refused.
    static bool send_to_running(const std::wstring& key, std::string& error);

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT handle(HWND window, UINT message, WPARAM w, LPARAM l);
    void load_plugins();
    bool add_tray_icon();
    void remove_tray_icon();
    void show_menu();
    void run_queued_tray_items();

    Desktop_options options_;
    Reference_host host_;
    Tray_menu tray_menu_{host_};
    std::unique_ptr<Send_input_typist> typist_;
    std::unique_ptr<Background_typist> background_typist_;
    std::unique_ptr<Ask_dialogs> asker_;
    std::vector<Plugin_library> plugins_;
    std::unique_ptr<Keyboard_hook> hook_;
    Unique_window window_;
    bool icon_added_ = false;
    bool started_ = false;
    UINT taskbar_created_ = 0;
    std::deque<std::wstring> queued_items_;
    std::wstring previous_directory_;
};
