#include "ui/manage_actions_dialog.h"

#include "contract/parameter_values.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "ui/ui_resources.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ManageActionsDialog : public ::testing::Test {
protected:
    ManageActionsDialog() {
        actions.put(L"zp_1_user_id",
                    {L"typing_interpreter", L"Hello {date}", L"Greeting", L"", L"Letters"});
        actions.put(L"zp_2_user_id", {L"url_interpreter", L"https://example.org/?q=%s",
                                      L"Search web", L"Opens a search.", L"Web"});
        actions.put(L"zp_3_user_id", {L"batch_interpreter", L"echo hi", L"Echo", L"", L"Letters"});
        actions.bind(L"zp_1_user_id", 0x41);
        actions.bind(L"zp_2_user_id", 0x10174);
    }

    HWND open(const std::wstring& caption = L"Manage actions") {
        runner = std::make_unique<Dialog_thread>([this] { return dialog.run(nullptr); });
        window = runner->wait_for(caption);
        tree = GetDlgItem(window, IDC_MA_TREE);
        return window;
    }

    // The hint that only common controls 6 show: it proves our own
    // activation context, since the test program has no manifest.
    std::wstring cue_banner() {
        wchar_t cue[64] = {};
        SendDlgItemMessageW(window, IDC_MA_SEARCH, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue),
                            64);
        return cue;
    }

    bool select(const std::wstring& text) {
        expand_roots(tree);
        select_tree_item(tree, find_tree_item(tree, text));
        return tree_selection_text(tree) == text;
    }

    void type_search(const std::wstring& text) {
        for (wchar_t c : text)
            SendDlgItemMessageW(window, IDC_MA_SEARCH, WM_CHAR, c, 1);
    }

    Reference_host host;
    Fake_code_actions actions{host};
    Fake_builtin_action builtin{L"zp_uppercase", &host, L"To upper case", L"Makes it big."};
    Manage_actions_dialog dialog{&host};
    std::unique_ptr<Dialog_thread> runner;
    HWND window = nullptr, tree = nullptr;
};

TEST_F(ManageActionsDialog, ShowsSortedActionsWithTheirTypeKeyAndButtons) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(cue_banner(), L"Search");
    // Only the first category is open; the built-in action is in "Common".
    EXPECT_EQ(tree_outline(tree), L"Common(To upper case)|Letters|Web");
    const struct {
        const wchar_t *entry, *type, *code, *key;
        bool key_enabled, editable;
    } rows[] = {
        {L"Greeting", L"Type text and key-combinations", L"Hello {date}", L"Caps Lock + a", 1, 1},
        {L"Search web", L"Open URL", L"https://example.org/?q=%s", L"Shift + F5", 1, 1},
        {L"To upper case", L"no code", L"", L"Set key ...", 1, 0}, // built in
        {L"Echo", L"Execute as batch script", L"echo hi", L"Set key ...", 1, 1},
        {L"Web", L"Type text and key-combinations", L"", L"Set key ...", 0, 0}, // a category
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(select(row.entry)) << row.entry;
        EXPECT_EQ(text_of(window, IDC_MA_TYPE), row.type) << row.entry;
        EXPECT_EQ(text_of(window, IDC_MA_CODE), row.code) << row.entry;
        EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), row.key) << row.entry;
        EXPECT_EQ(enabled(window, IDC_MA_KEY_BUTTON), row.key_enabled) << row.entry;
        EXPECT_EQ(visible(window, IDC_MA_EDIT) && visible(window, IDC_MA_DELETE), row.editable);
    }
    EXPECT_EQ(tree_outline(tree), L"Common(To upper case)|Letters(Echo|Greeting)|Web(Search web)");
    EXPECT_EQ(text_of(window, IDC_MA_CATEGORY), L"Web") << "a new action's category";

    // An action that no longer describes itself must not keep the key of
    // the action shown before: its button would unbind that one.
    ASSERT_TRUE(select(L"Greeting"));
    Param::Owned_parameters gone = Param::create(&host);
    Param::write_text(gone.get(), L"ident", L"zp_3_user_id");
    Param::send(&host, L"zp_delete_action", gone.get());
    ASSERT_TRUE(select(L"Echo"));
    EXPECT_EQ(dialog.key_code(), 0xFFFFu);
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));
    EXPECT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
    EXPECT_EQ(runner->result(), IDOK);
}

TEST_F(ManageActionsDialog, NewActionInATypedCategoryIsStoredAndSelected) {
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    set_text(window, IDC_MA_NAME, L"Sign off");
    set_text(window, IDC_MA_CODE, L"Regards,\r\nMe");
    set_text(window, IDC_MA_CATEGORY, L"Mail");
    ASSERT_TRUE(click(window, IDC_MA_SAVE));
    Fake_action stored = actions.all()[L"zp_1001_user_id"];
    EXPECT_EQ(stored.type + L"|" + stored.code + L"|" + stored.category,
              L"typing_interpreter|Regards,\r\nMe|Mail");
    EXPECT_EQ(tree_selection_text(tree), L"Sign off");
    EXPECT_EQ(dialog.ident(), L"zp_1001_user_id");
    EXPECT_TRUE(visible(window, IDC_MA_EDIT)) << "editing ended";
}

TEST_F(ManageActionsDialog, LongMultiLineTextsOutsideTheBmpSaveAndShowWithoutLoss) {
    std::wstring name;
    while (name.size() < 1000)
        name += L"Zeile \U0001F600 \u00E4\r\nnext \U00010348";
    name.resize(1000);
    const std::wstring category = L"Cat\r\n" + name.substr(0, 995);
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(select(L"Echo"));
    for (int round = 0; round < 2; ++round) { // saved again unchanged: nothing lost either
        ASSERT_TRUE(click(window, IDC_MA_EDIT));
        set_text(window, IDC_MA_NAME, name);
        set_text(window, IDC_MA_CODE, name + name);
        // A category with a line break: the box's edit would cut it, so it
        // is given as a list entry, as a category shown earlier is.
        SendDlgItemMessageW(window, IDC_MA_CATEGORY, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(category.c_str()));
        SendDlgItemMessageW(window, IDC_MA_CATEGORY, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(category.c_str()));
        ASSERT_TRUE(click(window, IDC_MA_SAVE));
        Fake_action stored = actions.all()[L"zp_3_user_id"];
        EXPECT_TRUE(stored.name == name && stored.code == name + name &&
                    stored.category == category);
        EXPECT_TRUE(text_of(window, IDC_MA_NAME) == name &&
                    text_of(window, IDC_MA_CODE) == name + name);
        EXPECT_NE(find_tree_item(tree, category), nullptr);
    }
}

TEST_F(ManageActionsDialog, RefusedSaveKeepsTheEditsAndSaysWhyAndDeleteRemoves) {
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(select(L"Letters"));
    actions.accepting = false;
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    set_text(window, IDC_MA_NAME, L"Unsaved");
    set_text(window, IDC_MA_CODE, L"code");
    ASSERT_TRUE(click(window, IDC_MA_SAVE));
    EXPECT_EQ(actions.all().size(), 3u);
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"Unsaved");
    EXPECT_TRUE(visible(window, IDC_MA_SAVE)) << "still editing";
    EXPECT_EQ(text_of(window, IDC_MA_STATUS),
              L"Not saved: no interpreter of this code type accepted the action.");
    ASSERT_TRUE(click(window, IDC_MA_CANCEL));
    EXPECT_EQ(text_of(window, IDC_MA_STATUS), L"");

    ASSERT_TRUE(select(L"Echo"));
    ASSERT_TRUE(click(window, IDC_MA_DELETE));
    EXPECT_EQ(actions.all().count(L"zp_3_user_id"), 0u);
    EXPECT_EQ(find_tree_item(tree, L"Echo"), nullptr);
}

TEST_F(ManageActionsDialog, KeyButtonBindsChangesAndUnbinds) {
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    const struct {
        int button, prefix; // -1: the preselection
        std::uint32_t key, bound;
        const wchar_t* shown;
    } steps[] = {
        {IDOK, -1, 0, 0x41, L"Caps Lock + a"}, // preselected as bound: nothing changes
        {IDOK, 3, 0x74, 0x274, L"Caps Lock + Control + F5"},
        {IDC_SK_UNBIND, -1, 0, 0xFFFF, L"Set key ..."},
        {IDOK, 8, 0x74, 0x10174, L"Shift + F5"}, // Shift without the activation key
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(post_click(window, IDC_MA_KEY_BUTTON));
        HWND keys = runner->wait_for(L"Select key combination");
        ASSERT_NE(keys, nullptr);
        if (step.prefix >= 0) {
            SendDlgItemMessageW(keys, IDC_SK_PREFIX, CB_SETCURSEL, step.prefix, 0);
            ASSERT_TRUE(select_combo_by_data(keys, IDC_SK_KEY, step.key));
        }
        ASSERT_TRUE(click(keys, step.button) && wait_closed(keys));
        SendMessageW(window, WM_NULL, 0, 0); // the key button's handler has finished
        EXPECT_EQ(actions.binding_of(L"zp_1_user_id"), step.bound) << step.shown;
        EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), step.shown);
    }
    EXPECT_EQ(actions.binding_of(L"zp_2_user_id"), 0xFFFFu) << "its combination was taken";
}

TEST_F(ManageActionsDialog, SearchRefillsPerKeystroke) {
    ASSERT_NE(open(), nullptr);
    type_search(L"gre");
    EXPECT_EQ(tree_outline(tree), L"Letters(Greeting)");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"Greeting") << "selected";
    type_search(L"zzz");
    EXPECT_EQ(tree_outline(tree), L"");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"");
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));
    set_text(window, IDC_MA_SEARCH, L"");
    EXPECT_EQ(tree_outline(tree), L"Common(To upper case)|Letters|Web");
}

TEST_F(ManageActionsDialog, HostWithoutParameterListsOpensEmptyAndClosesCleanly) {
    host.set_parameters_available(false);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(tree_outline(tree), L"");
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    set_text(window, IDC_MA_NAME, L"Nowhere");
    EXPECT_TRUE(click(window, IDC_MA_SAVE));
    type_search(L"a");
    EXPECT_EQ(actions.all().size(), 3u);
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0); // Escape
    ASSERT_TRUE(runner->wait_done());
}

TEST_F(ManageActionsDialog, GermanTextsAndDefaultCategory) {
    Language_scope german(true);
    ASSERT_NE(open(L"Aktionen verwalten"), nullptr);
    EXPECT_EQ(cue_banner(), L"Suchen");
    EXPECT_NE(find_tree_item(tree, L"Allgemein"), nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Feststelltaste + a");
    EXPECT_TRUE(click(window, IDOK));
    EXPECT_TRUE(runner->wait_done());
}

} // namespace
