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
#include "ui/ui_resources.h"
#include "work_folder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Child_names final : Child_visitor {
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override {
        names.push_back(std::wstring(key) + L"=" + Param::read_text(child, L"name"));
    }
    std::vector<std::wstring> names;
};

class TrayMenu : public ::testing::Test {
protected:
    TrayMenu() {
        actions.put(L"zp_1_user_id", {L"typing_interpreter", L"Hi", L"Greeting", L"", L"Mail"});
        EXPECT_TRUE(shortcuts.initialize());
        directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    }

    std::vector<std::wstring> items() {
        list = Reference_host::make_list();
        host.deliver(L"get_tray_menu_items", list.get());
        Child_names names;
        list->visit_children(&names);
        return names.names;
    }

    // Delivers the tray click on a thread of its own: it returns only when
    // the dialog it opens is closed.
    void click_item(const wchar_t* action) {
        runner = std::make_unique<Dialog_thread>([this, action] {
            auto click = Reference_host::make_list();
            if (action)
                Param::write_text(click.get(), L"action", action);
            return static_cast<INT_PTR>(host.deliver(L"add_tray_item_action", click.get()));
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
    std::unique_ptr<Parameter_list> list;
};

TEST_F(TrayMenu, ListsTwoItemsWithTranslatedNamesAndWithdrawsOnDestruction) {
    {
        Language_scope german(true);
        EXPECT_EQ(items(),
                  (std::vector<std::wstring>{L"zaptor_tray_settings=Tastenbelegung \u00E4ndern",
                                             L"zaptor_tray_action=Aktionen verwalten"}));
    }
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"zaptor_tray_settings=Change key bindings",
                                                  L"zaptor_tray_action=Manage actions"}));
    // The name is text with its terminating NUL counted.
    const void* data = nullptr;
    unsigned int bytes = 0;
    ASSERT_TRUE(list->find_child(L"zaptor_tray_action")->get(L"name", &data, &bytes));
    EXPECT_EQ(bytes, sizeof(L"Manage actions"));
    tray.reset();
    EXPECT_EQ(
        host.filter_count(L"get_tray_menu_items") + host.filter_count(L"add_tray_item_action"), 0u);
}

TEST_F(TrayMenu, ItemsOpenTheirDialogsWithTheHostsActivationKeyOrCapsLock) {
    const struct {
        const wchar_t *item, *caption, *shown;
        int activation_key; // 0: the host names none
    } rows[] = {{L"zaptor_tray_settings", L"Zaptor settings", L"Caps Lock + a", 0},
                {L"zaptor_tray_settings", L"Zaptor settings", L"Scroll Key + a", VK_SCROLL},
                {L"zaptor_tray_action", L"Manage actions", L"Greeting", 0}};
    for (const auto& row : rows) {
        host.clear_answer(L"vq_get_activation_key");
        if (row.activation_key)
            host.set_activation_key(row.activation_key);
        else
            host.set_no_answer(L"vq_get_activation_key");
        click_item(row.item);
        HWND window = runner->wait_for(row.caption);
        ASSERT_NE(window, nullptr) << row.shown;
        HWND content = GetDlgItem(window, IDC_KS_LIST);
        EXPECT_TRUE(content ? find_list_row(content, row.shown) == 0
                            : find_tree_item(GetDlgItem(window, IDC_MA_TREE), row.shown) != nullptr)
            << row.shown;
        ASSERT_TRUE(click(window, IDOK));
        ASSERT_TRUE(runner->wait_done());
    }
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
