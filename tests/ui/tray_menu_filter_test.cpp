// The tray items through the host's two tray messages: their translated
// names, and the dialogs they open.
#include "plugin/tray_menu_filter.h"

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "host/parameter_list.h"
#include "support/test_support.h"
#include "text/textprovider.h"
#include "ui/ui_resources.h"
#include "support/work_folder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Child_names final : Child_visitor {
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override {
        keys.push_back(key ? key : L"");
        names.push_back(Param::read_text(child, L"name"));
    }
    std::vector<std::wstring> keys;
    std::vector<std::wstring> names;
};

class TrayMenu : public ::testing::Test {
protected:
    TrayMenu() {
        actions.put(L"zp_1_user_id",
                    {L"typing_interpreter", L"Hi", L"Greeting", L"Types a greeting.", L"Mail"});
        EXPECT_TRUE(shortcuts.initialize());
        directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    }

    Child_names items() {
        auto list = Reference_host::make_list();
        host.deliver(L"get_tray_menu_items", list.get());
        Child_names names;
        list->visit_children(&names);
        return names;
    }

    // Delivers the tray click on a thread of its own: it returns only when
    // the dialog it opens is closed.
    void click_item(const wchar_t* action) {
        runner = std::make_unique<Dialog_thread>([this, action] {
            auto list = Reference_host::make_list();
            if (action)
                Param::write_text(list.get(), L"action", action);
            return static_cast<INT_PTR>(host.deliver(L"add_tray_item_action", list.get()));
        });
    }

    Work_folder folder{L"tray_menu"};
    Reference_host host;
    Fake_code_actions actions{host};
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts{&host, L"plugins\\zaptor.db", tasks};
    Binding_directory directory{
        &host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &shortcuts)};
    std::unique_ptr<Tray_menu_filter, Slot_deleter> tray{new Tray_menu_filter(
        GetModuleHandleW(nullptr),
        std::shared_ptr<Binding_directory>(std::shared_ptr<void>(), &directory), &host)};
    std::unique_ptr<Dialog_thread> runner;
};

TEST_F(TrayMenu, ListsTwoItemsWithTranslatedNamesAndWithdrawsOnDestruction) {
    Child_names english = items();
    EXPECT_EQ(english.keys,
              (std::vector<std::wstring>{L"zaptor_tray_settings", L"zaptor_tray_action"}));
    EXPECT_EQ(english.names,
              (std::vector<std::wstring>{L"Change key bindings", L"Manage actions"}));
    {
        Language_scope german(true);
        Child_names deutsch = items();
        EXPECT_EQ(deutsch.keys, english.keys);
        EXPECT_EQ(deutsch.names, (std::vector<std::wstring>{L"Tastenbelegung \u00E4ndern",
                                                            L"Aktionen verwalten"}));
    }
    // The name is stored as text with its terminating NUL counted.
    auto list = Reference_host::make_list();
    host.deliver(L"get_tray_menu_items", list.get());
    const void* data = nullptr;
    unsigned int bytes = 0;
    ASSERT_TRUE(list->find_child(L"zaptor_tray_action")->get(L"name", &data, &bytes));
    EXPECT_EQ(bytes, sizeof(L"Manage actions"));

    EXPECT_EQ(host.filter_count(L"get_tray_menu_items"), 1u);
    EXPECT_EQ(host.filter_count(L"add_tray_item_action"), 1u);
    tray.reset();
    EXPECT_EQ(host.filter_count(L"get_tray_menu_items"), 0u);
    EXPECT_EQ(host.filter_count(L"add_tray_item_action"), 0u);
}

TEST_F(TrayMenu, SettingsItemShowsCapsLockWhenTheHostNamesNoActivationKey) {
    host.set_no_answer(L"vq_get_activation_key");
    click_item(L"zaptor_tray_settings");
    HWND window = runner->wait_for(L"Zaptor settings");
    ASSERT_NE(window, nullptr);
    auto rows = list_rows(GetDlgItem(window, IDC_KS_LIST));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, L"Caps Lock + a");
    EXPECT_EQ(rows[0].second, L"Greeting");
    ASSERT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());

    // The host's own activation key is used when it names one.
    host.clear_answer(L"vq_get_activation_key");
    host.set_activation_key(VK_SCROLL);
    click_item(L"zaptor_tray_settings");
    window = runner->wait_for(L"Zaptor settings");
    ASSERT_NE(window, nullptr);
    rows = list_rows(GetDlgItem(window, IDC_KS_LIST));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, L"Scroll Key + a");
    ASSERT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
}

TEST_F(TrayMenu, ActionItemOpensManageActions) {
    click_item(L"zaptor_tray_action");
    HWND window = runner->wait_for(L"Manage actions");
    ASSERT_NE(window, nullptr);
    HWND tree = GetDlgItem(window, IDC_MA_TREE);
    EXPECT_NE(find_tree_item(tree, L"Greeting"), nullptr);
    ASSERT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
}

TEST_F(TrayMenu, ClickWithoutOrWithAForeignActionDoesNothing) {
    for (const wchar_t* action : {static_cast<const wchar_t*>(nullptr), L"", L"other_tray_item",
                                  L"zaptor_tray_settingsX"}) {
        click_item(action);
        ASSERT_TRUE(runner->wait_done()); // a dialog would have kept the click from returning
        EXPECT_EQ(runner->result(), 1);
    }
    // A host that hands over no list: no crash.
    EXPECT_EQ(tray->process(L"add_tray_item_action", 20, nullptr), 0);
    EXPECT_EQ(tray->process(L"get_tray_menu_items", 19, nullptr), 0);
}

} // namespace
