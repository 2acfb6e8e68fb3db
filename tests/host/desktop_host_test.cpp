// The desktop host: the tray menu from a plug-in's answers, and the order of
// start-up and shut-down.
#include "host/desktop_host.h"
#include "host/reference_host.h"

#include "contract/parameter_values.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Temp_root {
    std::wstring dir = Test_support::make_temp_directory(L"desktop");
    Temp_root() { CreateDirectoryW((dir + L"\\plugins").c_str(), nullptr); }
    ~Temp_root() { Test_support::remove_tree(dir); }
    std::wstring plugin() const { return dir + L"\\plugins\\host_test_plugin.dll"; }
    bool install_plugin() const {
        return CopyFileW((Test_support::exe_directory() + L"host_test_plugin.dll").c_str(),
                         plugin().c_str(), FALSE) != 0;
    }
};

Desktop_options quiet_options(const std::wstring& root) {
    Desktop_options options;
    options.root = root;
    options.keyboard_hook = false;
    options.tray_icon = false;
    options.interactive = false;
    return options;
}

// Records what the test plug-in reports through its requests.
struct Plugin_reports {
    std::vector<std::wstring> lifecycle;
    std::vector<std::wstring> tray_runs;
    void attach(Reference_host& host) {
        host.set_request_observer([this](const std::wstring& name, Parameters* list) {
            if (name == L"tp_lifecycle")
                lifecycle.push_back(Param::read_text(list, L"event"));
            else if (name == L"tp_tray_ran")
                tray_runs.push_back(Param::read_text(list, L"action", L"<none>"));
        });
    }
};

} // namespace

TEST(Desktop_host, tray_menu_lists_named_items_in_order_and_triggers_them) {
    Temp_root root;
    ASSERT_TRUE(root.install_plugin());
    // A file that only looks like a plug-in is skipped, not fatal.
    ASSERT_TRUE(Test_support::write_file(root.dir + L"\\plugins\\broken.dll", "not a library"));
    Desktop_options options = quiet_options(root.dir);
    options.tray_items = {L"tp_tray_second"};
    Desktop_host desktop(options);
    Plugin_reports reports;
    reports.attach(desktop.host());
    std::string error;
    ASSERT_TRUE(desktop.start(error)) << error;
    ASSERT_EQ(desktop.plugins().size(), 1u);

    const auto items = desktop.tray_menu().collect();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].key, L"tp_tray_first");
    EXPECT_EQ(items[1].key, L"tp_tray_second");
    EXPECT_TRUE(items[2].is_exit);

    // Another thread plays the other process: WM_COPYDATA with a key, then one
    // that is no tray item, then closes the host.
    std::string remote_error;
    bool remote_ok = false;
    LRESULT foreign = TRUE;
    std::thread other([&] {
        remote_ok = Desktop_host::send_to_running(L"tp_tray_first", remote_error);
        COPYDATASTRUCT data{};
        data.dwData = 1234;
        foreign = SendMessageW(desktop.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        PostMessageW(desktop.window(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(desktop.run(), 0);
    other.join();
    EXPECT_TRUE(remote_ok) << remote_error;
    EXPECT_EQ(foreign, FALSE);
    // The option's item ran first (queued at start-up), then the remote one.
    EXPECT_EQ(reports.tray_runs, (std::vector<std::wstring>{L"tp_tray_second", L"tp_tray_first"}));
    EXPECT_FALSE(desktop.queue_tray_item(L""));
    EXPECT_FALSE(Desktop_host::send_to_running(L"tp_tray_first", remote_error));
}

TEST(Desktop_host, starts_and_stops_plugins_in_the_host_order) {
    Temp_root root;
    ASSERT_TRUE(root.install_plugin());
    Plugin_reports reports;
    {
        Desktop_options options = quiet_options(root.dir);
        options.keyboard_hook = true;
        options.activation_key = 0x91;
        Desktop_host desktop(options);
        reports.attach(desktop.host());
        std::string error;
        ASSERT_TRUE(desktop.start(error)) << error;
        EXPECT_EQ(reports.lifecycle, (std::vector<std::wstring>{L"startup"}));
        EXPECT_NE(GetModuleHandleW(root.plugin().c_str()), nullptr);
        // The plug-in registered its listener and sees the configured VQ-Key.
        EXPECT_NE(desktop.host().keyboard_listener(), nullptr);
        EXPECT_EQ(desktop.host().activation_key(), 0x91u);
        desktop.host().kv_store(L"k", L"v");

        PostMessageW(desktop.window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(desktop.run(), 0);
        EXPECT_EQ(reports.lifecycle,
                  (std::vector<std::wstring>{L"startup", L"shutdown", L"finalize"}));
        EXPECT_EQ(GetModuleHandleW(root.plugin().c_str()), nullptr);
        EXPECT_EQ(desktop.host().keyboard_listener(), nullptr);
        desktop.stop(); // a second stop does nothing
    }
    EXPECT_EQ(reports.lifecycle.size(), 3u);

    // The destructor stops a host that never ran its loop, in the same order.
    Plugin_reports again;
    {
        Desktop_host desktop(quiet_options(root.dir));
        again.attach(desktop.host());
        std::string error;
        ASSERT_TRUE(desktop.start(error)) << error;
        std::wstring value;
        EXPECT_TRUE(desktop.host().kv_read(L"k", value)); // kept from the first host
        EXPECT_EQ(value, L"v");
    }
    EXPECT_EQ(again.lifecycle, (std::vector<std::wstring>{L"startup", L"shutdown", L"finalize"}));

    // A root that does not exist stops the start with a message.
    Desktop_host nowhere(quiet_options(root.dir + L"\\missing"));
    std::string error;
    EXPECT_FALSE(nowhere.start(error));
}
