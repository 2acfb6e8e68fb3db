// The key binding settings dialog, the "Add key shortcut" dialog and the tray
// items that open them, driven through their controls, against real keyboard
// shortcuts whose bindings are read back from the database file.
#include "plugin/tray_menu_filter.h"
#include "ui/add_key_shortcut_dialog.h"
#include "ui/key_binding_settings_dialog.h"

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "host/parameter_list.h"
#include "storage/shortcut_database.h"
#include "support/test_support.h"
#include "support/work_folder.h"
#include "ui/ui_resources.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

using Stored = std::map<std::uint32_t, std::wstring>;
using Rows = std::vector<List_row>;

class KeyBindingDialogs : public ::testing::Test {
protected:
    KeyBindingDialogs() {
        actions->put(L"zp_1_user_id",
                     {L"typing_interpreter", L"Hi", L"Greeting", L"Types a greeting.", L"Mail"});
        actions->put(L"zp_2_user_id",
                     {L"url_interpreter", L"https://example.org", L"Search web", L"Opens.", L""});
        actions->put(L"zp_3_user_id",
                     {L"batch_interpreter", L"echo", L"echo", L"Echoes.", L"Tools"});
        actions->put(L"zp_4_user_id", {L"typing_interpreter", L"x", L"(draft)", L"Draft.", L""});
        EXPECT_TRUE(shortcuts.initialize());
    }

    // Bindings as "ident" or "ident name" per key, as the database file
    // holds them, read through a connection of its own.
    Stored stored(bool with_names = false) {
        Stored result;
        for (const auto& [key, entry] : Shortcut_database(folder.database()).load_all())
            result[key] = entry.ident + (with_names ? L" " + entry.name : L"");
        return result;
    }

    HWND open_settings(Key_binding_settings_dialog& dialog) {
        runner = std::make_unique<Dialog_thread>([&dialog] { return dialog.run(nullptr); });
        window = runner->wait_for(L"Zaptor settings");
        list = GetDlgItem(window, IDC_KS_LIST);
        return window;
    }

    // Clicks a button of the settings dialog that opens "Add key shortcut".
    HWND open_add(int button) {
        add = post_click(window, button) ? runner->wait_for(L"Add key shortcut") : nullptr;
        add_list = GetDlgItem(add, IDC_AS_ACTIONS);
        return add;
    }

    // Closes "Add key shortcut" with the button and waits until the settings
    // dialog has stored what it returned (it handles WM_NULL only after).
    bool close_add(int button) {
        bool closed = click(add, button) && wait_closed(add);
        SendMessageW(window, WM_NULL, 0, 0);
        return closed;
    }

    Work_folder folder{L"binding_dialogs"};
    Reference_host host;
    std::unique_ptr<Fake_code_actions> actions = std::make_unique<Fake_code_actions>(host);
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts{&host, L"plugins\\zaptor.db", tasks};
    Binding_directory directory{
        &host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &shortcuts)};
    Key_binding_settings_dialog settings{GetModuleHandleW(nullptr), &host, &directory,
                                         L"Caps Lock"};
    std::unique_ptr<Dialog_thread> runner;
    HWND window = nullptr, list = nullptr, add = nullptr, add_list = nullptr;
};

TEST(SortActionRows, LetterOrDigitNamesFirstThenByCodeUnits) {
    std::vector<Binding_row> rows;
    for (const wchar_t* name :
         {L"zeta", L"_under", L"", L"alpha", L"Zulu", L"#hash", L"5 five", L"alpha", L" blank"})
        rows.push_back({0xFFFF, std::to_wstring(rows.size() + 1), name, L""});
    sort_action_rows(rows);
    std::wstring idents;
    for (const auto& row : rows)
        idents += row.ident;
    // Upper case before lower case (code units, not a collation); equal names
    // keep their listing order; empty and symbol names go last.
    EXPECT_EQ(idents, L"754813962");
}

TEST_F(KeyBindingDialogs, SettingsListsSortedRowsAndRemovesTheSelectedBinding) {
    directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
    directory.store_binding(0x41, L"zp_1_user_id", L"Old greeting");
    directory.store_binding(0x242, L"zp_gone", L"Deleted action");
    ASSERT_NE(open_settings(settings), nullptr);
    // Sorted by combination text; the action's current name wins over the
    // stored one, a vanished action keeps its stored name.
    EXPECT_EQ(list_rows(list), (Rows{{L"Caps Lock + a", L"Greeting"},
                                     {L"Caps Lock + Control + b", L"Deleted action"},
                                     {L"Shift + F5", L"Search web"}}));
    ASSERT_TRUE(click(window, IDC_KS_REMOVE)); // nothing selected: nothing removed
    EXPECT_EQ(stored().size(), 3u);
    select_list_row(list, 1);
    ASSERT_TRUE(click(window, IDC_KS_REMOVE));
    EXPECT_EQ(list_rows(list).size(), 2u);
    EXPECT_EQ(stored(), (Stored{{0x41, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}}));
    EXPECT_TRUE(shortcuts.get_binding(0x242).ident.empty());
    EXPECT_FALSE(enabled(window, IDC_KS_MODIFY)) << "no selection left";
    ASSERT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
}

TEST_F(KeyBindingDialogs, AddingWithTheBlankPrefixStoresADirectBinding) {
    ASSERT_NE(open_settings(settings), nullptr);
    ASSERT_NE(open_add(IDC_KS_ADD), nullptr);
    // A new binding starts direct: the blank prefix and the first key (F1).
    EXPECT_EQ(combo_item(add, IDC_AS_PREFIX, combo_selection(add, IDC_AS_PREFIX)), L" ");
    EXPECT_EQ(combo_item(add, IDC_AS_KEY, combo_selection(add, IDC_AS_KEY)), L"F1");
    // All actions, sorted; nothing bound yet, so the first row is chosen.
    EXPECT_EQ(list_rows(add_list), (Rows{{L"Greeting", L"Types a greeting."},
                                         {L"Search web", L"Opens."},
                                         {L"echo", L"Echoes."},
                                         {L"(draft)", L"Draft."}}));
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Types a greeting.");
    select_list_row(add_list, 2);
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Echoes.");
    ASSERT_TRUE(select_combo_by_data(add, IDC_AS_KEY, 0x41));
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(true), (Stored{{0x10041, L"zp_3_user_id echo"}}));
    EXPECT_EQ(shortcuts.get_binding(0x10041).ident, L"zp_3_user_id");
    EXPECT_EQ(list_rows(list), (Rows{{L"a", L"echo"}}));

    // Cancel stores nothing, whatever was chosen.
    ASSERT_NE(open_add(IDC_KS_ADD), nullptr);
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 3, 0);
    select_list_row(add_list, 1);
    ASSERT_TRUE(close_add(IDCANCEL));
    EXPECT_EQ(stored(), (Stored{{0x10041, L"zp_3_user_id"}}));
}

TEST_F(KeyBindingDialogs, ModifyChangesTheActionOrMovesToAnotherActionsCombination) {
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
    ASSERT_NE(open_settings(settings), nullptr);
    select_list_row(list, find_list_row(list, L"Caps Lock + a"));
    ASSERT_NE(open_add(IDC_KS_MODIFY), nullptr);
    // The binding's own combination and action are preselected.
    EXPECT_EQ(combo_selection(add, IDC_AS_PREFIX), 0);
    EXPECT_EQ(combo_item(add, IDC_AS_KEY, combo_selection(add, IDC_AS_KEY)), L"a");
    EXPECT_EQ(list_selection(add_list), find_list_row(add_list, L"Greeting"));
    select_list_row(add_list, find_list_row(add_list, L"(draft)"));
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(true),
              (Stored{{0x41, L"zp_4_user_id (draft)"}, {0x10174, L"zp_2_user_id Search web"}}));

    // Shift, direct, with F5: the combination of another action, replaced.
    select_list_row(list, find_list_row(list, L"Caps Lock + a"));
    ASSERT_NE(open_add(IDC_KS_MODIFY), nullptr);
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 8, 0);
    ASSERT_TRUE(select_combo_by_data(add, IDC_AS_KEY, 0x74));
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(), (Stored{{0x10174, L"zp_4_user_id"}}));
    EXPECT_TRUE(shortcuts.get_binding(0x41).ident.empty());
    EXPECT_EQ(list_rows(list), (Rows{{L"Shift + F5", L"(draft)"}}));
}

TEST_F(KeyBindingDialogs, OkWithAnEmptyActionListChangesNothing) {
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    actions.reset(); // nothing answers the listing any more
    ASSERT_NE(open_settings(settings), nullptr);
    EXPECT_EQ(list_rows(list), (Rows{{L"Caps Lock + a", L"Greeting"}})) << "the stored name";
    select_list_row(list, 0);
    ASSERT_NE(open_add(IDC_KS_MODIFY), nullptr);
    EXPECT_TRUE(list_rows(add_list).empty());
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 1, 0);
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(), (Stored{{0x41, L"zp_1_user_id"}}));
}

TEST_F(KeyBindingDialogs, NewActionFromTheAddDialogIsListedAndChosen) {
    ASSERT_NE(open_settings(settings), nullptr);
    ASSERT_NE(open_add(IDC_KS_ADD), nullptr);
    ASSERT_TRUE(post_click(add, IDC_AS_NEW));
    HWND manage = runner->wait_for(L"Manage actions");
    ASSERT_NE(manage, nullptr);
    ASSERT_TRUE(click(manage, IDC_MA_NEW));
    set_text(manage, IDC_MA_NAME, L"Address");
    set_text(manage, IDC_MA_DESCRIPTION, L"Types the address.");
    set_text(manage, IDC_MA_CODE, L"Main Street 1");
    ASSERT_TRUE(click(manage, IDC_MA_SAVE));
    ASSERT_TRUE(click(manage, IDOK) && wait_closed(manage));
    SendMessageW(add, WM_NULL, 0, 0); // the list is rebuilt
    EXPECT_EQ(list_rows(add_list).size(), 5u);
    EXPECT_EQ(list_selection(add_list), find_list_row(add_list, L"Address"));
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Types the address.");
    ASSERT_TRUE(select_combo_by_data(add, IDC_AS_KEY, 0x71)); // F2
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(), (Stored{{0x10071, L"zp_1001_user_id"}}));
}

struct Child_names final : Child_visitor {
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override {
        names.push_back(std::wstring(key) + L"=" + Param::read_text(child, L"name"));
    }
    std::vector<std::wstring> names;
};

class TrayMenu : public KeyBindingDialogs {
protected:
    TrayMenu() { directory.store_binding(0x41, L"zp_1_user_id", L"Greeting"); }

    std::vector<std::wstring> items() {
        items_list = Reference_host::make_list();
        host.deliver(L"get_tray_menu_items", items_list.get());
        Child_names names;
        items_list->visit_children(&names);
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

    std::unique_ptr<Tray_menu_filter, Slot_deleter> tray{new Tray_menu_filter(
        GetModuleHandleW(nullptr),
        std::shared_ptr<Binding_directory>(std::shared_ptr<void>(), &directory), &host)};
    std::unique_ptr<Parameter_list> items_list;
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
    ASSERT_TRUE(items_list->find_child(L"zaptor_tray_action")->get(L"name", &data, &bytes));
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
        window = runner->wait_for(row.caption);
        ASSERT_NE(window, nullptr) << row.shown;
        expand_roots(GetDlgItem(window, IDC_MA_TREE));
        EXPECT_TRUE(find_list_row(GetDlgItem(window, IDC_KS_LIST), row.shown) == 0 ||
                    find_tree_item(GetDlgItem(window, IDC_MA_TREE), row.shown))
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
