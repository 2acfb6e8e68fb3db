#include "ui/manage_actions_dialog.h"

#include "contract/parameter_values.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "ui/ui_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

const std::wstring typing_name = L"Type text and key-combinations";

class ManageActionsDialog : public ::testing::Test {
protected:
    ManageActionsDialog()
        : actions(host), builtin(L"zp_uppercase", &host, L"To upper case", L"Makes it big.") {
        actions.put(L"zp_1_user_id", {L"typing_interpreter", L"Hello {date}", L"Greeting",
                                      L"Types a greeting.", L"Letters"});
        actions.put(L"zp_2_user_id", {L"url_interpreter", L"https://example.org/?q=%s",
                                      L"Search web", L"Opens a search.", L"Web"});
        actions.put(L"zp_3_user_id", {L"batch_interpreter", L"echo hi", L"Echo", L"", L"Letters"});
        actions.bind(L"zp_1_user_id", 0x41);
        actions.bind(L"zp_2_user_id", 0x10174);
    }

    // Opens the dialog; the log then starts empty.
    HWND open(const std::wstring& caption = L"Manage actions") {
        runner = std::make_unique<Dialog_thread>([this] { return dialog.run(nullptr); });
        HWND window = runner->wait_for(caption);
        if (window)
            tree = GetDlgItem(window, IDC_MA_TREE);
        return window;
    }

    // The hint that only common controls 6 show: it proves our own
    // activation context, since the test program has no manifest.
    static std::wstring cue_banner(HWND window) {
        wchar_t cue[64] = {};
        SendDlgItemMessageW(window, IDC_MA_SEARCH, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue),
                            64);
        return cue;
    }

    bool select(const std::wstring& text) {
        expand_roots(tree);
        HTREEITEM item = find_tree_item(tree, text);
        if (!item)
            return false;
        select_tree_item(tree, item);
        return tree_selection_text(tree) == text;
    }

    std::vector<std::wstring> sent_names() {
        std::vector<std::wstring> names;
        for (const auto& request : log.take())
            names.push_back(request.name);
        return names;
    }

    Reference_host host;
    Request_log log{host};
    Fake_code_actions actions;
    Fake_builtin_action builtin;
    Manage_actions_dialog dialog{&host};
    std::unique_ptr<Dialog_thread> runner;
    HWND tree = nullptr;
};

TEST_F(ManageActionsDialog, OpensWithCaptionsSortedTreeAndTheFirstCategorySelected) {
    HWND window = open();
    ASSERT_NE(window, nullptr);
    auto contents = tree_contents(tree);
    ASSERT_EQ(contents.size(), 3u);
    EXPECT_EQ(contents[0].text, L"Common"); // the built-in action has no category
    EXPECT_EQ(contents[1].text, L"Letters");
    EXPECT_EQ(contents[2].text, L"Web");
    // Only the first category is open; the others get their items when opened.
    EXPECT_EQ(contents[0].children.size(), 1u);
    EXPECT_TRUE(contents[1].children.empty());
    expand_roots(tree);
    contents = tree_contents(tree);
    ASSERT_EQ(contents[1].children.size(), 2u);
    EXPECT_EQ(contents[1].children[0].text, L"Echo");
    EXPECT_EQ(contents[1].children[1].text, L"Greeting");
    EXPECT_EQ(tree_selection_text(tree), L"Common");

    EXPECT_EQ(cue_banner(window), L"Search");
    // View state: only New action, fields read-only, boxes and key button off.
    EXPECT_TRUE(visible(window, IDC_MA_NEW));
    EXPECT_FALSE(visible(window, IDC_MA_DELETE));
    EXPECT_FALSE(visible(window, IDC_MA_EDIT));
    EXPECT_FALSE(visible(window, IDC_MA_SAVE));
    EXPECT_FALSE(visible(window, IDC_MA_CANCEL));
    EXPECT_EQ(default_button(window), IDC_MA_NEW);
    EXPECT_TRUE(read_only(window, IDC_MA_NAME));
    EXPECT_TRUE(read_only(window, IDC_MA_CODE));
    EXPECT_FALSE(enabled(window, IDC_MA_TYPE));
    EXPECT_FALSE(enabled(window, IDC_MA_CATEGORY));
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));
    EXPECT_EQ(text_of(window, IDC_MA_TYPE), typing_name);
    EXPECT_EQ(combo_count(window, IDC_MA_TYPE), 3);
    EXPECT_EQ(text_of(window, IDC_MA_CATEGORY), L"Common");
    EXPECT_EQ(combo_count(window, IDC_MA_CATEGORY), 3);

    auto requests = log.all();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, L"zp_get_action_interpreter");
    EXPECT_EQ(requests[1].name, L"zp_broadcast_get_action_text");
    EXPECT_TRUE(requests[1].values.empty()); // no search text when opening

    EXPECT_TRUE(click(window, IDOK));
    ASSERT_TRUE(runner->wait_done());
    EXPECT_EQ(runner->result(), IDOK);
    EXPECT_EQ(dialog.window(), nullptr);
}

TEST_F(ManageActionsDialog, ShowsStoredActionsBuiltInActionsAndCategories) {
    HWND window = open();
    ASSERT_NE(window, nullptr);
    log.take();

    ASSERT_TRUE(select(L"Greeting"));
    EXPECT_EQ(dialog.ident(), L"zp_1_user_id");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"Greeting");
    EXPECT_EQ(text_of(window, IDC_MA_DESCRIPTION), L"Types a greeting.");
    EXPECT_EQ(text_of(window, IDC_MA_CODE), L"Hello {date}");
    EXPECT_EQ(text_of(window, IDC_MA_TYPE), typing_name);
    EXPECT_EQ(text_of(window, IDC_MA_CATEGORY), L"Letters");
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Caps Lock + a");
    EXPECT_TRUE(enabled(window, IDC_MA_KEY_BUTTON));
    EXPECT_TRUE(visible(window, IDC_MA_DELETE));
    EXPECT_TRUE(visible(window, IDC_MA_EDIT));
    EXPECT_TRUE(visible(window, IDC_MA_NEW));
    EXPECT_FALSE(visible(window, IDC_MA_SAVE));
    EXPECT_EQ(default_button(window), IDC_MA_EDIT);
    auto requests = log.take();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].name, L"zp_1_user_id");
    EXPECT_EQ(requests[0].values, std::vector<std::wstring>{L"request=get_descriptor"});

    // A direct binding shows without the activation key.
    ASSERT_TRUE(select(L"Search web"));
    EXPECT_EQ(text_of(window, IDC_MA_TYPE), L"Open URL");
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Shift + F5");

    // A built-in action: "no code", empty code, only New action; not editable.
    ASSERT_TRUE(select(L"To upper case"));
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"To upper case");
    EXPECT_EQ(text_of(window, IDC_MA_DESCRIPTION), L"Makes it big.");
    EXPECT_EQ(text_of(window, IDC_MA_TYPE), L"no code");
    EXPECT_EQ(text_of(window, IDC_MA_CODE), L"");
    EXPECT_TRUE(visible(window, IDC_MA_NEW));
    EXPECT_FALSE(visible(window, IDC_MA_DELETE));
    EXPECT_FALSE(visible(window, IDC_MA_EDIT));
    EXPECT_TRUE(enabled(window, IDC_MA_KEY_BUTTON)); // built-in actions can be bound
    double_click_tree(window, IDC_MA_TREE);
    EXPECT_FALSE(visible(window, IDC_MA_SAVE));
    EXPECT_TRUE(read_only(window, IDC_MA_NAME));

    // The marker entry goes again when a stored action is shown.
    ASSERT_TRUE(select(L"Echo"));
    EXPECT_EQ(text_of(window, IDC_MA_TYPE), L"Execute as batch script");
    EXPECT_EQ(combo_count(window, IDC_MA_TYPE), 3);

    // A category: empty fields, the typing interpreter, that category, no key button.
    ASSERT_TRUE(select(L"Web"));
    EXPECT_EQ(dialog.ident(), L"zp_new");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"");
    EXPECT_EQ(text_of(window, IDC_MA_CODE), L"");
    EXPECT_EQ(text_of(window, IDC_MA_TYPE), typing_name);
    EXPECT_EQ(text_of(window, IDC_MA_CATEGORY), L"Web");
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Set key ...");
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));

    // An action that no longer describes itself must not keep the key of
    // the action shown before: its button would unbind that one.
    ASSERT_TRUE(select(L"Greeting"));
    ASSERT_EQ(dialog.key_code(), 0x41u);
    Param::Owned_parameters gone = Param::create(&host);
    Param::write_text(gone.get(), L"ident", L"zp_3_user_id");
    Param::send(&host, L"zp_delete_action", gone.get());
    ASSERT_TRUE(select(L"Echo"));
    EXPECT_EQ(dialog.key_code(), 0xFFFFu);
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Set key ...");
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));
}

TEST_F(ManageActionsDialog, NewActionInATypedCategoryIsStoredAndSelected) {
    HWND window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    log.take();

    ASSERT_TRUE(click(window, IDC_MA_NEW));
    EXPECT_TRUE(visible(window, IDC_MA_SAVE));
    EXPECT_TRUE(visible(window, IDC_MA_CANCEL));
    EXPECT_FALSE(visible(window, IDC_MA_NEW));
    EXPECT_FALSE(visible(window, IDC_MA_EDIT));
    EXPECT_EQ(default_button(window), IDC_MA_SAVE);
    EXPECT_FALSE(read_only(window, IDC_MA_NAME));
    EXPECT_TRUE(enabled(window, IDC_MA_TYPE));
    EXPECT_TRUE(enabled(window, IDC_MA_CATEGORY));
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"");
    EXPECT_EQ(text_of(window, IDC_MA_CATEGORY), L"Letters");

    set_text(window, IDC_MA_NAME, L"Sign off");
    set_text(window, IDC_MA_DESCRIPTION, L"Types the closing line.");
    set_text(window, IDC_MA_CODE, L"Regards,\r\nMe");
    set_text(window, IDC_MA_CATEGORY, L"Mail");
    ASSERT_TRUE(click(window, IDC_MA_SAVE));

    auto requests = log.all();
    auto store = std::find_if(requests.begin(), requests.end(),
                              [](const auto& r) { return r.name == L"zp_store_action_code"; });
    ASSERT_NE(store, requests.end());
    EXPECT_EQ(store->values,
              (std::vector<std::wstring>{L"zp_new.ident=zp_new", L"zp_new.type=typing_interpreter",
                                         L"zp_new.code=Regards,\r\nMe", L"zp_new.name=Sign off",
                                         L"zp_new.description=Types the closing line.",
                                         L"zp_new.category=Mail"}));
    Fake_action stored;
    ASSERT_TRUE(actions.get(L"zp_1001_user_id", stored));
    EXPECT_EQ(stored.code, L"Regards,\r\nMe");
    EXPECT_EQ(stored.category, L"Mail");

    auto contents = tree_contents(tree);
    auto mail = std::find_if(contents.begin(), contents.end(),
                             [](const Tree_node& n) { return n.text == L"Mail"; });
    ASSERT_NE(mail, contents.end());
    ASSERT_EQ(mail->children.size(), 1u);
    EXPECT_EQ(mail->children[0].text, L"Sign off");
    EXPECT_EQ(tree_selection_text(tree), L"Sign off");
    EXPECT_EQ(dialog.ident(), L"zp_1001_user_id");
    EXPECT_EQ(text_of(window, IDC_MA_CODE), L"Regards,\r\nMe");
    EXPECT_TRUE(read_only(window, IDC_MA_NAME));
    EXPECT_TRUE(visible(window, IDC_MA_EDIT));
}

TEST_F(ManageActionsDialog, LongMultiLineTextsOutsideTheBmpSaveAndShowWithoutLoss) {
    std::wstring block = L"Zeile \U0001F600 \u00E4\r\nnext \U00010348";
    std::wstring name, description, category;
    while (name.size() < 1000)
        name += block;
    name.resize(1000);
    description = L"D" + name.substr(0, 999);
    category = L"Cat\r\n" + name.substr(0, 995);
    actions.put(L"zp_9_user_id", {L"typing_interpreter", L"x", L"Short", L"", L"Letters"});

    HWND window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(select(L"Short"));
    ASSERT_TRUE(click(window, IDC_MA_EDIT));
    EXPECT_EQ(dialog.ident(), L"zp_9_user_id");
    set_text(window, IDC_MA_NAME, name);
    set_text(window, IDC_MA_DESCRIPTION, description);
    set_text(window, IDC_MA_CODE, name + name);
    EXPECT_EQ(text_of(window, IDC_MA_NAME), name);
    // A new category typed with a line break: the box's edit would cut it,
    // so it is given as a list entry, as a category shown earlier is.
    SendDlgItemMessageW(window, IDC_MA_CATEGORY, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(category.c_str()));
    SendDlgItemMessageW(window, IDC_MA_CATEGORY, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(category.c_str()));
    ASSERT_TRUE(click(window, IDC_MA_SAVE));

    Fake_action stored;
    ASSERT_TRUE(actions.get(L"zp_9_user_id", stored));
    EXPECT_EQ(stored.name, name);
    EXPECT_EQ(stored.description, description);
    EXPECT_EQ(stored.code, name + name);
    EXPECT_EQ(stored.category, category);
    EXPECT_EQ(dialog.ident(), L"zp_9_user_id");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), name);
    EXPECT_EQ(text_of(window, IDC_MA_DESCRIPTION), description);
    EXPECT_EQ(text_of(window, IDC_MA_CODE), name + name);
    EXPECT_NE(find_tree_item(tree, category), nullptr);

    // Saved again unchanged, nothing is lost either.
    ASSERT_TRUE(click(window, IDC_MA_EDIT));
    ASSERT_TRUE(click(window, IDC_MA_SAVE));
    ASSERT_TRUE(actions.get(L"zp_9_user_id", stored));
    EXPECT_EQ(stored.name, name);
    EXPECT_EQ(stored.category, category);
}

TEST_F(ManageActionsDialog, RejectedSaveKeepsWhatWasTypedAndDeleteRemoves) {
    HWND window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(select(L"Letters"));
    actions.set_accepting(false);
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    set_text(window, IDC_MA_NAME, L"Unsaved");
    set_text(window, IDC_MA_CODE, L"code");
    ASSERT_TRUE(click(window, IDC_MA_SAVE));
    EXPECT_EQ(actions.size(), 3u);
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"Unsaved");
    EXPECT_TRUE(visible(window, IDC_MA_SAVE));
    EXPECT_EQ(find_tree_item(tree, L"Unsaved"), nullptr);
    EXPECT_EQ(text_of(window, IDC_MA_STATUS),
              L"Not saved: no interpreter of this code type accepted the action.");

    // Cancel leaves editing without restoring.
    ASSERT_TRUE(click(window, IDC_MA_CANCEL));
    EXPECT_EQ(text_of(window, IDC_MA_STATUS), L"");
    EXPECT_TRUE(read_only(window, IDC_MA_NAME));
    EXPECT_FALSE(enabled(window, IDC_MA_TYPE));
    EXPECT_FALSE(visible(window, IDC_MA_SAVE));
    EXPECT_TRUE(visible(window, IDC_MA_NEW));

    log.take();
    ASSERT_TRUE(select(L"Echo"));
    ASSERT_TRUE(click(window, IDC_MA_DELETE));
    Fake_action gone;
    EXPECT_FALSE(actions.get(L"zp_3_user_id", gone));
    EXPECT_EQ(find_tree_item(tree, L"Echo"), nullptr);
    auto requests = log.take();
    auto del = std::find_if(requests.begin(), requests.end(),
                            [](const auto& r) { return r.name == L"zp_delete_action"; });
    ASSERT_NE(del, requests.end());
    EXPECT_EQ(del->values, std::vector<std::wstring>{L"ident=zp_3_user_id"});
    EXPECT_NE(dialog.ident(), L"zp_3_user_id");

    // A built-in action offers no Delete.
    ASSERT_TRUE(select(L"To upper case"));
    EXPECT_FALSE(click(window, IDC_MA_DELETE));
}

TEST_F(ManageActionsDialog, KeyButtonBindsChangesAndUnbinds) {
    HWND window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    ASSERT_EQ(dialog.key_code(), 0x41u);

    auto run_key_dialog = [&](int button, int prefix, std::uint32_t key_code) -> bool {
        if (!post_click(window, IDC_MA_KEY_BUTTON))
            return false;
        HWND keys = runner->wait_for(L"Select key combination");
        if (!keys)
            return false;
        if (prefix >= 0) {
            SendDlgItemMessageW(keys, IDC_SK_PREFIX, CB_SETCURSEL, static_cast<WPARAM>(prefix), 0);
            int count = combo_count(keys, IDC_SK_KEY);
            for (int i = 0; i < count; ++i)
                if (static_cast<std::uint32_t>(
                        SendDlgItemMessageW(keys, IDC_SK_KEY, CB_GETITEMDATA, i, 0)) == key_code)
                    SendDlgItemMessageW(keys, IDC_SK_KEY, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        }
        log.take();
        if (!click(keys, button))
            return false;
        for (int i = 0; i < 500 && IsWindow(keys); ++i)
            Sleep(10);
        Sleep(50); // the key button's handler finishes after the nested loop
        return !IsWindow(keys);
    };

    // The dialog opens preselected with the current binding: prefix 0, key a.
    ASSERT_TRUE(post_click(window, IDC_MA_KEY_BUTTON));
    HWND keys = runner->wait_for(L"Select key combination");
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(combo_selection(keys, IDC_SK_PREFIX), 0);
    EXPECT_EQ(combo_item(keys, IDC_SK_KEY, combo_selection(keys, IDC_SK_KEY)), L"a");
    EXPECT_EQ(text_of(keys, IDOK), L"Apply");
    EXPECT_EQ(text_of(keys, IDC_SK_UNBIND), L"Unbind combination");
    ASSERT_TRUE(click(keys, IDCANCEL));
    for (int i = 0; i < 500 && IsWindow(keys); ++i)
        Sleep(10);

    // The same combination again: nothing is sent.
    ASSERT_TRUE(run_key_dialog(IDOK, -1, 0));
    Sleep(50);
    for (const auto& request : log.take())
        EXPECT_TRUE(request.name != L"zp_action_remove_key_binding" &&
                    request.name != L"zp_action_set_key_binding")
            << std::string(request.name.begin(), request.name.end());

    // Activation key + Control with F5: remove the old, then set the new.
    ASSERT_TRUE(run_key_dialog(IDOK, 3, 0x74));
    auto requests = log.take();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, L"zp_action_remove_key_binding");
    EXPECT_EQ(requests[0].values, std::vector<std::wstring>{L"combi=u32:65"});
    EXPECT_EQ(requests[1].name, L"zp_action_set_key_binding");
    EXPECT_EQ(requests[1].values,
              (std::vector<std::wstring>{L"combi=u32:628", L"id=zp_1_user_id", L"title=Greeting"}));
    EXPECT_EQ(actions.binding_of(L"zp_1_user_id"), 0x274u);
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Caps Lock + Control + F5");

    // Unbinding sends only the removal.
    ASSERT_TRUE(run_key_dialog(IDC_SK_UNBIND, -1, 0));
    requests = log.take();
    std::vector<std::wstring> names;
    for (const auto& r : requests)
        if (r.name.find(L"key_binding") != std::wstring::npos && r.name != L"zp_action_key_binding")
            names.push_back(r.name);
    EXPECT_EQ(names, std::vector<std::wstring>{L"zp_action_remove_key_binding"});
    EXPECT_EQ(actions.binding_of(L"zp_1_user_id"), 0xFFFFu);
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Set key ...");

    // A direct combination: prefix 8 (Shift without the activation key).
    ASSERT_TRUE(run_key_dialog(IDOK, 8, 0x74));
    EXPECT_EQ(actions.binding_of(L"zp_1_user_id"), 0x10174u);
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Shift + F5");
}

TEST_F(ManageActionsDialog, ControlASelectsAllInTheFourFieldsAndSearchRefillsPerKeystroke) {
    HWND window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    set_text(window, IDC_MA_SEARCH, L"");
    for (int id : {IDC_MA_NAME, IDC_MA_DESCRIPTION, IDC_MA_CODE}) {
        HWND field = GetDlgItem(window, id);
        SendMessageW(field, EM_SETSEL, 0, 0);
        std::wstring before = text_of(field);
        SendMessageW(field, WM_CHAR, 1, 1);
        DWORD start = 0, end = 0;
        SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u) << id;
        EXPECT_EQ(end, before.size()) << id;
        EXPECT_EQ(text_of(field), before) << id;
    }
    log.take();
    type_chars(window, IDC_MA_SEARCH, L"gre");
    HWND search = GetDlgItem(window, IDC_MA_SEARCH);
    SendMessageW(search, WM_CHAR, 1, 1);
    DWORD start = 0, end = 0;
    SendMessageW(search, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 3u);
    EXPECT_EQ(text_of(search), L"gre");

    std::vector<std::wstring> searches;
    for (const auto& r : log.take())
        if (r.name == L"zp_broadcast_get_action_text")
            searches.push_back(r.values.empty() ? L"<none>" : r.values[0]);
    EXPECT_EQ(searches,
              (std::vector<std::wstring>{L"search_text=g", L"search_text=gr", L"search_text=gre"}));
    auto contents = tree_contents(tree);
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0].text, L"Letters");
    ASSERT_EQ(contents[0].children.size(), 1u);
    EXPECT_EQ(tree_selection_text(tree), L"Greeting");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"Greeting");

    type_chars(window, IDC_MA_SEARCH, L"zzz");
    EXPECT_TRUE(tree_contents(tree).empty());
    EXPECT_EQ(tree_selection_text(tree), L"<none>");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"");
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));

    // Emptying the search is sent as an empty text and shows everything again.
    log.take();
    set_text(window, IDC_MA_SEARCH, L"");
    auto requests = log.take();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].values, std::vector<std::wstring>{L"search_text="});
    EXPECT_EQ(tree_contents(tree).size(), 3u);
}

TEST_F(ManageActionsDialog, HostWithoutParameterListsOpensEmptyAndClosesCleanly) {
    host.set_parameters_available(false);
    HWND window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(tree_contents(tree).empty());
    EXPECT_EQ(combo_count(window, IDC_MA_TYPE), 0);
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    set_text(window, IDC_MA_NAME, L"Nowhere");
    EXPECT_TRUE(click(window, IDC_MA_SAVE));
    type_chars(window, IDC_MA_SEARCH, L"a");
    EXPECT_EQ(actions.size(), 3u);
    EXPECT_TRUE(log.all().empty());
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0); // Escape
    ASSERT_TRUE(runner->wait_done());
    EXPECT_EQ(runner->result(), IDCANCEL);
}

TEST_F(ManageActionsDialog, GermanCaptionsAndDefaultCategory) {
    Language_scope german(true);
    HWND window = open(L"Aktionen verwalten");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(cue_banner(window), L"Suchen");
    EXPECT_NE(find_tree_item(tree, L"Allgemein"), nullptr);
    ASSERT_TRUE(select(L"Greeting"));
    EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), L"Feststelltaste + a");
    EXPECT_TRUE(click(window, IDOK));
    EXPECT_TRUE(runner->wait_done());
}

} // namespace
