// The key binding settings dialog and the "Add key shortcut" dialog, driven
// through their controls, against real keyboard shortcuts whose bindings are
// read back from the database file.
#include "ui/add_key_shortcut_dialog.h"
#include "ui/key_binding_settings_dialog.h"

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "storage/shortcut_database.h"
#include "ui/ui_resources.h"
#include "support/work_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <thread>

namespace {

constexpr wchar_t settings_caption[] = L"Zaptor settings";
constexpr wchar_t add_caption[] = L"Add key shortcut";

std::map<std::uint32_t, std::wstring> idents_by_key(const Binding_map& bindings) {
    std::map<std::uint32_t, std::wstring> result;
    for (const auto& [key, entry] : bindings)
        result[key] = entry.ident;
    return result;
}

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

    // Bindings as the database file holds them, read through a connection
    // of its own.
    std::map<std::uint32_t, std::wstring> stored() {
        Shortcut_database file(folder.database());
        return idents_by_key(file.load_all());
    }
    std::wstring stored_name(std::uint32_t key) {
        Shortcut_database file(folder.database());
        auto all = file.load_all();
        auto found = all.find(key);
        return found == all.end() ? L"" : found->second.name;
    }

    HWND open_settings() {
        runner = std::make_unique<Dialog_thread>([this] { return settings.run(nullptr); });
        HWND window = runner->wait_for(settings_caption);
        if (window)
            list = GetDlgItem(window, IDC_KS_LIST);
        return window;
    }

    // Clicks a button of the settings dialog that opens "Add key shortcut".
    HWND open_add(HWND window, int button) {
        if (!post_click(window, button))
            return nullptr;
        return runner->wait_for(add_caption);
    }

    // Closes "Add key shortcut" with the button and waits until its owner
    // has stored what it returned.
    bool close_add(HWND add, int button) {
        HWND owner = GetWindow(add, GW_OWNER);
        if (!click(add, button))
            return false;
        for (int i = 0; i < 500 && IsWindow(add); ++i)
            Sleep(10);
        settle(owner);
        return !IsWindow(add);
    }
    // Returns once the window's thread has finished the work in hand: the
    // message is handled only when that thread pumps again.
    static void settle(HWND window) {
        if (window)
            SendMessageW(window, WM_NULL, 0, 0);
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
    HWND list = nullptr;
};

TEST(SortActionRows, LetterOrDigitNamesFirstThenByCodeUnits) {
    std::vector<Binding_row> rows = {
        {0xFFFF, L"1", L"zeta", L""},   {0xFFFF, L"2", L"_under", L""},
        {0xFFFF, L"3", L"", L""},       {0xFFFF, L"4", L"alpha", L""},
        {0xFFFF, L"5", L"Zulu", L""},   {0xFFFF, L"6", L"#hash", L""},
        {0xFFFF, L"7", L"5 five", L""}, {0xFFFF, L"8", L"alpha", L"second"},
        {0xFFFF, L"9", L" blank", L""},
    };
    sort_action_rows(rows);
    std::vector<std::wstring> idents;
    for (const auto& row : rows)
        idents.push_back(row.ident);
    // Upper case sorts before lower case (code units, not a collation); equal
    // names keep their listing order; empty and symbol names go last.
    EXPECT_EQ(idents,
              (std::vector<std::wstring>{L"7", L"5", L"4", L"8", L"1", L"3", L"9", L"6", L"2"}));
}

TEST(CombinationText, ActivationKeyOnlyWithoutTheDirectBit) {
    EXPECT_EQ(combination_text(0x41, L"Caps Lock"), L"Caps Lock + a");
    EXPECT_EQ(combination_text(0x10041, L"Caps Lock"), L"a");
    EXPECT_EQ(combination_text(0x10174, L"Caps Lock"), L"Shift + F5");
    EXPECT_EQ(combination_text(0x274, L"Scroll Key"), L"Scroll Key + Control + F5");
}

TEST_F(KeyBindingDialogs, SettingsListsSortedRowsAndRemovesTheSelectedBinding) {
    directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
    directory.store_binding(0x41, L"zp_1_user_id", L"Old greeting");
    directory.store_binding(0x242, L"zp_gone", L"Deleted action");
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);

    EXPECT_FALSE(visible(window, IDCANCEL));
    // Sorted by combination text; the action's current name wins over the
    // stored one, a vanished action keeps its stored name.
    auto rows = list_rows(list);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].first, L"Caps Lock + a");
    EXPECT_EQ(rows[0].second, L"Greeting");
    EXPECT_EQ(rows[1].first, L"Caps Lock + Control + b");
    EXPECT_EQ(rows[1].second, L"Deleted action");
    EXPECT_EQ(rows[2].first, L"Shift + F5");
    EXPECT_EQ(rows[2].second, L"Search web");
    ASSERT_EQ(settings.row_texts().size(), 3u);
    EXPECT_EQ(settings.row_texts().at(0x10174).first, L"Shift + F5");

    // Modify follows the selection; Remove without one does nothing.
    EXPECT_FALSE(enabled(window, IDC_KS_MODIFY));
    ASSERT_TRUE(click(window, IDC_KS_REMOVE));
    EXPECT_EQ(list_rows(list).size(), 3u);
    EXPECT_EQ(stored().size(), 3u);
    select_list_row(list, 1);
    EXPECT_TRUE(enabled(window, IDC_KS_MODIFY));

    ASSERT_TRUE(click(window, IDC_KS_REMOVE));
    rows = list_rows(list);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].first, L"Shift + F5");
    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x41, L"zp_1_user_id"},
                                                               {0x10174, L"zp_2_user_id"}}));
    EXPECT_EQ(settings.row_texts().count(0x242), 0u);
    EXPECT_FALSE(enabled(window, IDC_KS_MODIFY));
    EXPECT_TRUE(shortcuts.get_binding(0x242).ident.empty());

    ASSERT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
    EXPECT_EQ(runner->result(), IDOK);
}

TEST_F(KeyBindingDialogs, AddingWithTheBlankPrefixStoresADirectBinding) {
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(list_rows(list).empty());
    HWND add = open_add(window, IDC_KS_ADD);
    ASSERT_NE(add, nullptr);
    EXPECT_FALSE(IsWindowEnabled(window)); // owned and modal

    EXPECT_EQ(text_of(add, IDC_AS_KEY_LABEL), L"Key-combination");
    EXPECT_EQ(text_of(add, IDC_AS_ACTIONS_LABEL), L"Actions (select one)");
    EXPECT_EQ(text_of(add, IDC_AS_NEW), L"New...");
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION_LABEL), L"Action description");
    // A new binding starts direct: the blank prefix and the first key (F1).
    EXPECT_EQ(combo_selection(add, IDC_AS_PREFIX), 1);
    EXPECT_EQ(combo_item(add, IDC_AS_PREFIX, 0), L"Caps Lock");
    EXPECT_EQ(combo_count(add, IDC_AS_PREFIX), 15);
    EXPECT_EQ(combo_selection(add, IDC_AS_KEY), 0);
    EXPECT_EQ(combo_item(add, IDC_AS_KEY, 0), L"F1");

    // All actions, sorted; nothing bound yet, so the first row is chosen.
    HWND actions_list = GetDlgItem(add, IDC_AS_ACTIONS);
    auto rows = list_rows(actions_list);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].first, L"Greeting");
    EXPECT_EQ(rows[0].second, L"Types a greeting.");
    EXPECT_EQ(rows[1].first, L"Search web");
    EXPECT_EQ(rows[2].first, L"echo");
    EXPECT_EQ(rows[3].first, L"(draft)");
    EXPECT_EQ(list_selection(actions_list), 0);
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Types a greeting.");

    select_list_row(actions_list, 2);
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Echoes.");
    ASSERT_TRUE(select_combo_by_data(add, IDC_AS_KEY, 0x41));
    ASSERT_TRUE(close_add(add, IDOK));

    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x10041, L"zp_3_user_id"}}));
    EXPECT_EQ(stored_name(0x10041), L"echo");
    EXPECT_EQ(shortcuts.get_binding(0x10041).ident, L"zp_3_user_id");
    rows = list_rows(list);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, L"a");
    EXPECT_EQ(rows[0].second, L"echo");

    // Cancel and closing store nothing, whatever was chosen.
    add = open_add(window, IDC_KS_ADD);
    ASSERT_NE(add, nullptr);
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 3, 0);
    select_list_row(GetDlgItem(add, IDC_AS_ACTIONS), 1);
    ASSERT_TRUE(close_add(add, IDCANCEL));
    add = open_add(window, IDC_KS_ADD);
    ASSERT_NE(add, nullptr);
    PostMessageW(add, WM_CLOSE, 0, 0);
    for (int i = 0; i < 500 && IsWindow(add); ++i)
        Sleep(10);
    settle(window);
    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x10041, L"zp_3_user_id"}}));
    EXPECT_EQ(list_rows(list).size(), 1u);
}

TEST_F(KeyBindingDialogs, ChangingTheActionOnlyReStoresTheSameCode) {
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);
    select_list_row(list, find_list_row(list, L"Caps Lock + a"));

    ASSERT_TRUE(post_click(window, IDC_KS_MODIFY));
    HWND add = runner->wait_for(add_caption);
    ASSERT_NE(add, nullptr);
    // The binding's own combination and action are preselected, and the
    // action list has the focus.
    EXPECT_EQ(combo_selection(add, IDC_AS_PREFIX), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(
                  SendDlgItemMessageW(add, IDC_AS_KEY, CB_GETITEMDATA,
                                      static_cast<WPARAM>(combo_selection(add, IDC_AS_KEY)), 0)),
              0x41u);
    HWND actions_list = GetDlgItem(add, IDC_AS_ACTIONS);
    EXPECT_EQ(list_rows(actions_list)[static_cast<std::size_t>(list_selection(actions_list))].first,
              L"Greeting");
    GUITHREADINFO focus{};
    focus.cbSize = sizeof(focus);
    ASSERT_TRUE(GetGUIThreadInfo(runner->thread_id(), &focus));
    EXPECT_EQ(focus.hwndFocus, actions_list);

    select_list_row(actions_list, find_list_row(actions_list, L"(draft)"));
    ASSERT_TRUE(close_add(add, IDOK));
    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x41, L"zp_4_user_id"},
                                                               {0x10174, L"zp_2_user_id"}}));
    EXPECT_EQ(stored_name(0x41), L"(draft)");
    EXPECT_EQ(
        list_rows(list)[static_cast<std::size_t>(find_list_row(list, L"Caps Lock + a"))].second,
        L"(draft)");
}

TEST_F(KeyBindingDialogs, ChangingToACombinationOfAnotherActionReplacesIt) {
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);
    select_list_row(list, find_list_row(list, L"Caps Lock + a"));

    // A double click changes the selected binding, like Modify. The
    // notification returns only when the nested dialog has closed.
    std::thread clicker([window] { double_click_list(window, IDC_KS_LIST); });
    HWND add = runner->wait_for(add_caption);
    bool chosen = add && SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 8, 0) == 8 &&
                  select_combo_by_data(add, IDC_AS_KEY, 0x74); // Shift, direct; F5
    bool closed = add && close_add(add, chosen ? IDOK : IDCANCEL);
    clicker.join();
    ASSERT_TRUE(chosen);
    ASSERT_TRUE(closed);

    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x10174, L"zp_1_user_id"}}));
    EXPECT_TRUE(shortcuts.get_binding(0x41).ident.empty());
    auto rows = list_rows(list);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, L"Shift + F5");
    EXPECT_EQ(rows[0].second, L"Greeting");
}

TEST_F(KeyBindingDialogs, OkWithAnEmptyActionListChangesNothing) {
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    actions.reset(); // nothing answers the listing any more
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(list_rows(list).size(), 1u);
    EXPECT_EQ(list_rows(list)[0].second, L"Greeting"); // the stored name

    select_list_row(list, 0);
    HWND add = open_add(window, IDC_KS_MODIFY);
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(list_rows(GetDlgItem(add, IDC_AS_ACTIONS)).empty());
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"");
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 1, 0);
    ASSERT_TRUE(close_add(add, IDOK));

    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x41, L"zp_1_user_id"}}));
    EXPECT_EQ(list_rows(list).size(), 1u);
}

TEST_F(KeyBindingDialogs, NewActionFromTheAddDialogIsListedAndChosen) {
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);
    HWND add = open_add(window, IDC_KS_ADD);
    ASSERT_NE(add, nullptr);

    ASSERT_TRUE(post_click(add, IDC_AS_NEW));
    HWND manage = runner->wait_for(L"Manage actions");
    ASSERT_NE(manage, nullptr);
    EXPECT_FALSE(IsWindowEnabled(add));
    ASSERT_TRUE(click(manage, IDC_MA_NEW));
    set_text(manage, IDC_MA_NAME, L"Address");
    set_text(manage, IDC_MA_DESCRIPTION, L"Types the address.");
    set_text(manage, IDC_MA_CODE, L"Main Street 1");
    ASSERT_TRUE(click(manage, IDC_MA_SAVE));
    ASSERT_TRUE(click(manage, IDOK)); // Close
    for (int i = 0; i < 500 && IsWindow(manage); ++i)
        Sleep(10);
    ASSERT_FALSE(IsWindow(manage));

    // The list is rebuilt with the new action, which is chosen.
    for (int i = 0; i < 500 && !IsWindowEnabled(add); ++i)
        Sleep(10);
    settle(add);
    EXPECT_TRUE(IsWindowEnabled(add));
    HWND actions_list = GetDlgItem(add, IDC_AS_ACTIONS);
    auto rows = list_rows(actions_list);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].first, L"Address");
    EXPECT_EQ(list_selection(actions_list), 0);
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Types the address.");

    // Leaving the Manage actions dialog with Escape keeps the list as it is.
    select_list_row(actions_list, find_list_row(actions_list, L"Search web"));
    ASSERT_TRUE(post_click(add, IDC_AS_NEW));
    manage = runner->wait_for(L"Manage actions");
    ASSERT_NE(manage, nullptr);
    PostMessageW(manage, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 500 && !IsWindowEnabled(add); ++i)
        Sleep(10);
    settle(add);
    EXPECT_EQ(list_rows(actions_list)[static_cast<std::size_t>(list_selection(actions_list))].first,
              L"Search web");
    select_list_row(actions_list, 0);

    ASSERT_TRUE(select_combo_by_data(add, IDC_AS_KEY, 0x71)); // F2
    ASSERT_TRUE(close_add(add, IDOK));
    Fake_action stored_action;
    ASSERT_TRUE(actions->get(L"zp_1001_user_id", stored_action));
    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x10071, L"zp_1001_user_id"}}));
}

TEST_F(KeyBindingDialogs, AddDialogGrowsItsControlsAndCannotShrinkBelowItsFirstSize) {
    HWND window = open_settings();
    ASSERT_NE(window, nullptr);
    HWND add = open_add(window, IDC_KS_ADD);
    ASSERT_NE(add, nullptr);
    EXPECT_NE(GetWindowLongW(add, GWL_STYLE) & WS_THICKFRAME, 0);

    RECT first{};
    GetWindowRect(add, &first);
    const int width = first.right - first.left;
    const int height = first.bottom - first.top;
    SetWindowPos(add, nullptr, 0, 0, width - 120, height - 90, SWP_NOMOVE | SWP_NOZORDER);
    RECT shrunk{};
    GetWindowRect(add, &shrunk);
    EXPECT_EQ(shrunk.right - shrunk.left, width);
    EXPECT_EQ(shrunk.bottom - shrunk.top, height);

    const RECT prefix = control_rect(add, IDC_AS_PREFIX);
    const RECT key = control_rect(add, IDC_AS_KEY);
    const RECT actions_box = control_rect(add, IDC_AS_ACTIONS);
    const RECT description = control_rect(add, IDC_AS_DESCRIPTION);
    const RECT label = control_rect(add, IDC_AS_DESCRIPTION_LABEL);
    const RECT ok = control_rect(add, IDOK);
    const RECT cancel = control_rect(add, IDCANCEL);
    const RECT new_button = control_rect(add, IDC_AS_NEW);
    const int dw = 150, dh = 110;
    SetWindowPos(add, nullptr, 0, 0, width + dw, height + dh, SWP_NOMOVE | SWP_NOZORDER);

    auto same = [](RECT a, RECT b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    auto moved = [](RECT r, int dx, int dy, int grow_x, int grow_y) {
        return RECT{r.left + dx, r.top + dy, r.right + dx + grow_x, r.bottom + dy + grow_y};
    };
    EXPECT_TRUE(same(control_rect(add, IDC_AS_PREFIX), prefix));
    EXPECT_TRUE(same(control_rect(add, IDC_AS_NEW), new_button));
    EXPECT_TRUE(same(control_rect(add, IDC_AS_KEY), moved(key, 0, 0, dw, 0)));
    EXPECT_TRUE(same(control_rect(add, IDC_AS_ACTIONS), moved(actions_box, 0, 0, dw, dh)));
    EXPECT_TRUE(same(control_rect(add, IDC_AS_DESCRIPTION), moved(description, 0, dh, dw, 0)));
    EXPECT_TRUE(same(control_rect(add, IDC_AS_DESCRIPTION_LABEL), moved(label, 0, dh, 0, 0)));
    EXPECT_TRUE(same(control_rect(add, IDOK), moved(ok, 0, dh, 0, 0)));
    EXPECT_TRUE(same(control_rect(add, IDCANCEL), moved(cancel, 0, dh, 0, 0)));

    // Back to the first size: every control is where it started.
    SetWindowPos(add, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(same(control_rect(add, IDC_AS_ACTIONS), actions_box));
    EXPECT_TRUE(same(control_rect(add, IDOK), ok));
    ASSERT_TRUE(close_add(add, IDCANCEL));
}

TEST_F(KeyBindingDialogs, WithoutADirectoryTheDialogsOpenEmptyAndChangeNothing) {
    Key_binding_settings_dialog orphan(GetModuleHandleW(nullptr), &host, nullptr, L"Caps Lock");
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    runner = std::make_unique<Dialog_thread>([&] { return orphan.run(nullptr); });
    HWND window = runner->wait_for(settings_caption);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(list_rows(GetDlgItem(window, IDC_KS_LIST)).empty());
    ASSERT_TRUE(click(window, IDC_KS_ADD)); // no dialog opens: nothing to bind with
    ASSERT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
    EXPECT_EQ(stored(), (std::map<std::uint32_t, std::wstring>{{0x41, L"zp_1_user_id"}}));
}

} // namespace
