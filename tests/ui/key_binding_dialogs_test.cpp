#include "plugin/tray_menu_filter.h"
#include "ui/add_key_shortcut_dialog.h"
#include "ui/key_binding_settings_dialog.h"

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "dialog_fixture.h"
#include "ui/ui_resources.h"

namespace {

class BindingDialogs : public Dialogs {
protected:
    ~BindingDialogs() override { runner.reset(); } // before the dialogs go
    HWND open_settings() {
        window = open([this] { return settings.run(nullptr); }, L"Zaptor settings");
        list = GetDlgItem(window, IDC_KS_LIST);
        return window;
    }
    HWND open_add(int button) {
        add = click(window, button, true) ? runner->wait_for(L"Add key shortcut") : nullptr;
        add_list = GetDlgItem(add, IDC_AS_ACTIONS);
        return add;
    }
    // WM_NULL is handled only after the settings dialog stored the result.
    bool close_add(int button) {
        bool closed = click(add, button) && wait_closed(add);
        SendMessageW(window, WM_NULL, 0, 0);
        return closed;
    }

    Key_binding_settings_dialog settings{GetModuleHandleW(nullptr), &host, &directory,
                                         L"Caps Lock"};
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
    // Upper before lower case (code units); equal names keep their order.
    EXPECT_EQ(idents, L"754813962");
}

TEST_F(BindingDialogs, SettingsListsRemovesAndModifiesBindings) {
    directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
    directory.store_binding(0x41, L"zp_1_user_id", L"Old greeting");
    directory.store_binding(0x242, L"zp_gone", L"Deleted action");
    ASSERT_NE(open_settings(), nullptr);
    // The action's current name wins; a vanished action keeps its stored one.
    EXPECT_EQ(list_rows(list), (Rows{{L"Caps Lock + a", L"Greeting"},
                                     {L"Caps Lock + Control + b", L"Deleted action"},
                                     {L"Shift + F5", L"Search web"}}));
    ASSERT_TRUE(click(window, IDC_KS_REMOVE)); // nothing selected: nothing removed
    EXPECT_EQ(stored().size(), 3u);
    select_list_row(list, 1);
    ASSERT_TRUE(click(window, IDC_KS_REMOVE));
    EXPECT_EQ(stored(), (Stored{{0x41, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}}));
    EXPECT_TRUE(shortcuts.get_binding(0x242).ident.empty());
    EXPECT_FALSE(enabled(window, IDC_KS_MODIFY)) << "no selection left";

    select_list_row(list, 0);
    ASSERT_NE(open_add(IDC_KS_MODIFY), nullptr);
    EXPECT_EQ(combo_item(add, IDC_AS_PREFIX) + L"|" + combo_item(add, IDC_AS_KEY), L"Caps Lock|a");
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

    interpreters(false); // no action answers: OK in "Add key shortcut" changes nothing
    select_list_row(list, 0);
    ASSERT_NE(open_add(IDC_KS_MODIFY), nullptr);
    EXPECT_TRUE(list_rows(add_list).empty());
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 1, 0);
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(), (Stored{{0x10174, L"zp_4_user_id"}}));
    ASSERT_TRUE(click(window, IDOK) && runner->wait_done());
}

TEST(ParseExcludedApplications, OneNamePerLineTrimmedCutToTheFileNameOnceEach) {
    const struct {
        const wchar_t* text;
        std::vector<std::wstring> names;
    } rows[] = {
        {L"", {}},
        {L" \r\n\t\n", {}},
        {L"  KeePass*.exe \r\n\r\nC:\\Tools\\pw?.exe\nkeepass*.EXE\nx/y/\u00E9dit.exe",
         {L"KeePass*.exe", L"pw?.exe", L"\u00E9dit.exe"}},
        {L"a.exe\r\nb.exe", {L"a.exe", L"b.exe"}}, // no line break at the end
        {L"C:\\dir\\", {}},                        // a folder names no program
        {L"notepad\nNOTEPAD.exe\nkeepass*\n.hidden", {L"notepad.exe", L"keepass*", L".hidden"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parse_excluded_applications(row.text), row.names) << row.text;
}

TEST_F(BindingDialogs, AbbreviationRowsListedAndRemovedExcludedApplicationsSavedAndReadBack) {
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    set_abbreviation(L"zp_1_user_id", L"btw", L"word");
    set_abbreviation(L"zp_2_user_id", L";sig", L"immediate", true);
    set_abbreviation(L"zp_gone", L"old", L"word");
    ASSERT_TRUE(directory.set_excluded_applications({L"keepass*.exe", L"Secret?.exe"}));
    ASSERT_NE(open_settings(), nullptr);
    // Current names; a vanished action by its ident.
    EXPECT_EQ(list_rows(list),
              (Rows{{L"\u201C;sig\u201D (immediate, case-sensitive)", L"Search web"},
                    {L"\u201Cbtw\u201D (word)", L"Greeting"},
                    {L"\u201Cold\u201D (word)", L"zp_gone"},
                    {L"Caps Lock + a", L"Greeting"}}));
    EXPECT_EQ(text_of(window, IDC_KS_EXCLUDED), L"keepass*.exe\r\nSecret?.exe");

    select_list_row(list, 1);
    EXPECT_FALSE(enabled(window, IDC_KS_MODIFY)) << "changed in Manage actions";
    ASSERT_TRUE(click(window, IDC_KS_REMOVE));
    EXPECT_EQ(list_rows(list).size(), 3u);
    std::wstring held;
    for (const Abbreviation_row& row : directory.abbreviations())
        held += row.abbreviation + L"=" + row.ident + L" ";
    EXPECT_EQ(held, L";sig=zp_2_user_id old=zp_gone ");
    EXPECT_EQ(stored(), (Stored{{0x41, L"zp_1_user_id"}})) << "the binding stays";

    SetDlgItemTextW(window, IDC_KS_EXCLUDED, L" KeePass*.exe\r\nC:\\Tools\\pw?.exe\r\n\r\n");
    ASSERT_TRUE(click(window, IDOK) && runner->wait_done());
    EXPECT_EQ(directory.excluded_applications(),
              (std::vector<std::wstring>{L"KeePass*.exe", L"pw?.exe"}));
    ASSERT_NE(open_settings(), nullptr);
    EXPECT_EQ(text_of(window, IDC_KS_EXCLUDED), L"KeePass*.exe\r\npw?.exe");
    ASSERT_TRUE(click(window, IDOK) && runner->wait_done());
}

// Not saved: the dialog stays open once and says so; closing again gives up.
TEST_F(BindingDialogs, AnExcludedListThatIsNotSavedKeepsTheDialogOpenOnce) {
    struct Refusing final : Binding_directory {
        using Binding_directory::Binding_directory;
        bool set_excluded_applications(const std::vector<std::wstring>&) override { return false; }
    } refusing{&host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &shortcuts)};
    Key_binding_settings_dialog dialog(GetModuleHandleW(nullptr), &host, &refusing, L"Caps Lock");
    struct Closer { // the dialog closes before it goes, also after a failed assertion
        std::unique_ptr<Dialog_thread>& runner;
        ~Closer() { runner.reset(); }
    } closer{runner};
    window = open([&] { return dialog.run(nullptr); }, L"Zaptor settings");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(click(window, IDOK) && runner->wait_done()) << "unchanged: nothing to save";
    window = open([&] { return dialog.run(nullptr); }, L"Zaptor settings");
    SetDlgItemTextW(window, IDC_KS_EXCLUDED, L"a.exe");
    ASSERT_TRUE(click(window, IDOK));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(text_of(window, IDC_KS_STATUS),
              L"Not saved: the key bindings file is busy or cannot be written.");
    ASSERT_TRUE(click(window, IDOK) && runner->wait_done());
    EXPECT_TRUE(shortcuts.excluded_applications().empty());
}

TEST_F(BindingDialogs, AddingANewActionWithTheBlankPrefixStoresADirectBinding) {
    ASSERT_NE(open_settings(), nullptr);
    ASSERT_NE(open_add(IDC_KS_ADD), nullptr);
    // A new binding starts direct: the blank prefix and the first key.
    EXPECT_EQ(combo_item(add, IDC_AS_PREFIX) + L"|" + combo_item(add, IDC_AS_KEY), L" |F1");
    // Nothing bound yet: the first row is chosen. Sorted: "(draft)" is last.
    EXPECT_EQ(list_selection(add_list), 0);
    select_list_row(add_list, 3);
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Draft.");
    ASSERT_TRUE(click(add, IDC_AS_NEW, true));
    HWND manage = runner->wait_for(L"Manage actions");
    ASSERT_NE(manage, nullptr);
    ASSERT_TRUE(click(manage, IDC_MA_NEW));
    SetDlgItemTextW(manage, IDC_MA_NAME, L"Address");
    SetDlgItemTextW(manage, IDC_MA_DESCRIPTION, L"Types the address.");
    SetDlgItemTextW(manage, IDC_MA_CODE, L"Main Street 1");
    ASSERT_TRUE(click(manage, IDC_MA_SAVE));
    ASSERT_TRUE(click(manage, IDOK) && wait_closed(manage));
    SendMessageW(add, WM_NULL, 0, 0); // the list is rebuilt, the new action chosen
    EXPECT_EQ(list_rows(add_list).size(), 5u);
    EXPECT_EQ(list_selection(add_list), find_list_row(add_list, L"Address"));
    EXPECT_EQ(text_of(add, IDC_AS_DESCRIPTION), L"Types the address.");
    ASSERT_TRUE(select_combo_by_data(add, IDC_AS_KEY, 0x41));
    ASSERT_TRUE(close_add(IDOK));
    EXPECT_EQ(stored(true), (Stored{{0x10041, L"zp_5_user_id Address"}}));
    EXPECT_EQ(shortcuts.get_binding(0x10041).ident, L"zp_5_user_id");
    EXPECT_EQ(list_rows(list), (Rows{{L"a", L"Address"}}));

    // Cancel stores nothing, whatever was chosen.
    ASSERT_NE(open_add(IDC_KS_ADD), nullptr);
    SendDlgItemMessageW(add, IDC_AS_PREFIX, CB_SETCURSEL, 3, 0);
    select_list_row(add_list, 1);
    ASSERT_TRUE(close_add(IDCANCEL));
    EXPECT_EQ(stored(), (Stored{{0x10041, L"zp_5_user_id"}}));
}

TEST_F(BindingDialogs, TrayItemsOpenTheirDialogsAndWithdrawOnDestruction) {
    std::unique_ptr<Tray_menu_filter, Slot_deleter> tray{new Tray_menu_filter(
        GetModuleHandleW(nullptr),
        std::shared_ptr<Binding_directory>(std::shared_ptr<void>(), &directory), &host)};
    directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
    auto items = Reference_host::make_list();
    host.deliver(L"get_tray_menu_items", items.get());
    for (const wchar_t* item : {L"zaptor_tray_settings", L"zaptor_tray_action"}) {
        Parameters* child = items->find_child(item);
        EXPECT_TRUE(child && !Param::read_text(child, L"name").empty()) << item;
    }

    const struct {
        const wchar_t *item, *caption, *shown; // caption null: nothing opens
        int activation_key;                    // 0: the host names none
    } rows[] = {{L"zaptor_tray_settings", L"Zaptor settings", L"Caps Lock + a", 0},
                {L"zaptor_tray_settings", L"Zaptor settings", L"Scroll Key + a", VK_SCROLL},
                // No virtual key: its high bits must not show as modifiers.
                {L"zaptor_tray_settings", L"Zaptor settings", L"Caps Lock + a", 0x114},
                {L"zaptor_tray_action", L"Manage actions", L"Greeting", 0},
                {nullptr, nullptr, L"no action", 0},
                {L"other_tray_item", nullptr, L"foreign", 0},
                {L"zaptor_tray_settingsX", nullptr, L"longer", 0}};
    // Delivered on a thread of its own: it returns when its dialog closed.
    auto clicked = [this](const wchar_t* item) {
        return std::make_unique<Dialog_thread>([this, item] {
            auto click = Reference_host::make_list();
            if (item)
                Param::write_text(click.get(), L"action", item);
            return static_cast<INT_PTR>(host.deliver(L"add_tray_item_action", click.get()));
        });
    };
    for (const auto& row : rows) {
        host.clear_answer(L"vq_get_activation_key");
        if (!row.activation_key)
            host.set_no_answer(L"vq_get_activation_key");
        host.set_activation_key(row.activation_key);
        runner = clicked(row.item);
        if (!row.caption) {
            EXPECT_TRUE(runner->wait_done() && runner->result() == 1) << row.shown;
            continue;
        }
        HWND shown = runner->wait_for(row.caption);
        ASSERT_NE(shown, nullptr) << row.shown;
        // A click while it is open opens nothing more.
        EXPECT_TRUE(clicked(L"zaptor_tray_action")->wait_done()) << row.shown;
        expand_roots(GetDlgItem(shown, IDC_MA_TREE));
        EXPECT_TRUE(find_list_row(GetDlgItem(shown, IDC_KS_LIST), row.shown) == 0 ||
                    find_tree_item(GetDlgItem(shown, IDC_MA_TREE), row.shown))
            << row.shown;
        ASSERT_TRUE(click(shown, IDOK) && runner->wait_done());
    }
    EXPECT_EQ(tray->process(L"add_tray_item_action", 20, nullptr), 0); // no list: no crash
    EXPECT_EQ(tray->process(L"get_tray_menu_items", 19, nullptr), 0);
    tray.reset();
    EXPECT_EQ(
        host.filter_count(L"get_tray_menu_items") + host.filter_count(L"add_tray_item_action"), 0u);
}

} // namespace
