#include "builtin_actions/text_transform_actions.h"
#include "ui/manage_actions_dialog.h"

#include "contract/parameter_values.h"
#include "dialog_fixture.h"
#include "ui/ui_resources.h"

namespace {

class ManageActions : public Dialogs {
protected:
    ManageActions() {
        directory.store_binding(0x41, L"zp_1_user_id", L"Greeting");
        directory.store_binding(0x10174, L"zp_2_user_id", L"Search web");
        window = open([this] { return dialog.run(nullptr); }, L"Manage actions");
        tree = GetDlgItem(window, IDC_MA_TREE);
    }
    ~ManageActions() override { runner.reset(); } // before the dialog goes
    bool select(const std::wstring& text) {
        expand_roots(tree);
        HTREEITEM item = find_tree_item(tree, text);
        return item && TreeView_SelectItem(tree, item);
    }
    // "text kind [cs]" per ident, as the keyboard shortcuts hold them.
    std::map<std::wstring, std::wstring> abbreviations() {
        std::map<std::wstring, std::wstring> held;
        for (const Abbreviation_row& row : directory.abbreviations())
            held[row.ident] = row.abbreviation + (row.immediate ? L" immediate" : L" word") +
                              (row.case_sensitive ? L" cs" : L"");
        return held;
    }
    void type_search(const std::wstring& text) {
        for (wchar_t c : text)
            SendDlgItemMessageW(window, IDC_MA_SEARCH, WM_CHAR, c, 1);
    }

    MakeUppercaseAction builtin{&host};
    Manage_actions_dialog dialog{&host};
    HWND window = nullptr, tree = nullptr;
};

TEST_F(ManageActions, ShowsSortedActionsWithTheirTypeKeyAndButtons) {
    ASSERT_NE(window, nullptr);
    // Only common controls 6 show it: the dialog's own activation context.
    wchar_t cue[64] = {};
    SendDlgItemMessageW(window, IDC_MA_SEARCH, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue), 64);
    EXPECT_STREQ(cue, L"Search");
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
    EXPECT_EQ(tree_outline(tree),
              L"Common((draft)|To upper case)|Letters(Echo|Greeting)|Web(Search web)");
    EXPECT_EQ(text_of(window, IDC_MA_CATEGORY), L"Web") << "a new action's category";

    // A vanished action must not keep the shown key: its button would unbind it.
    ASSERT_TRUE(select(L"Greeting"));
    Param::Owned_parameters gone = Param::create(&host);
    Param::write_text(gone.get(), L"ident", L"zp_3_user_id");
    Param::send(&host, L"zp_delete_action", gone.get());
    ASSERT_TRUE(select(L"Echo"));
    EXPECT_EQ(dialog.key_code(), 0xFFFFu);
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));
    EXPECT_TRUE(click(window, IDOK) && runner->wait_done());
    EXPECT_EQ(runner->result(), IDOK);
}

// Long multi-line texts outside the BMP, refused first: nothing is lost.
TEST_F(ManageActions, RefusedSaveKeepsTheEditsThenSavedShownEditedAndDeletedWithoutLoss) {
    std::wstring name;
    while (name.size() < 1000)
        name += L"Zeile \U0001F600 \u00E4\r\nnext \U00010348";
    name.resize(1000);
    const std::wstring code = name + name, category = L"Cat\r\n" + name;
    const std::wstring saved = L"typing_interpreter|" + code + L"|" + name + L"||" + category;
    ASSERT_TRUE(select(L"Greeting"));
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    SetDlgItemTextW(window, IDC_MA_NAME, name.c_str());
    SetDlgItemTextW(window, IDC_MA_CODE, code.c_str());
    // Given as a list entry: the box's edit would cut the line break.
    SendDlgItemMessageW(window, IDC_MA_CATEGORY, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(category.c_str()));
    SendDlgItemMessageW(window, IDC_MA_CATEGORY, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(category.c_str()));
    interpreters(false);
    ASSERT_TRUE(click(window, IDC_MA_SAVE));
    EXPECT_EQ(load(L"zp_5_user_id"), L"||||");
    EXPECT_TRUE(text_of(window, IDC_MA_NAME) == name && visible(window, IDC_MA_SAVE));
    EXPECT_NE(text_of(window, IDC_MA_STATUS), L"") << "says why";

    interpreters(true);
    for (int round = 0; round < 2; ++round) { // saved as new, then edited unchanged
        ASSERT_TRUE(round == 0 || click(window, IDC_MA_EDIT));
        ASSERT_TRUE(click(window, IDC_MA_SAVE));
        EXPECT_TRUE(load(L"zp_5_user_id") == saved && dialog.ident() == L"zp_5_user_id");
        EXPECT_TRUE(text_of(window, IDC_MA_CODE) == code && visible(window, IDC_MA_EDIT));
        EXPECT_TRUE(find_tree_item(tree, category) && find_tree_item(tree, name));
    }
    ASSERT_TRUE(click(window, IDC_MA_DELETE));
    EXPECT_EQ(load(L"zp_5_user_id"), L"||||");
    EXPECT_EQ(find_tree_item(tree, name), nullptr);
}

TEST_F(ManageActions, KeyButtonBindsChangesAndUnbinds) {
    ASSERT_TRUE(select(L"Greeting"));
    // clang-format off
    const struct {
        int button, prefix; // -1: the preselection
        std::uint32_t key;
        Stored stored;
        const wchar_t* shown;
    } steps[] = {
        {IDOK, -1, 0, {{0x41, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}}, L"Caps Lock + a"},
        {IDOK, 3, 0x74, {{0x274, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}},
         L"Caps Lock + Control + F5"},
        // With the activation key and Shift: bit 8 is Shift, not "direct".
        {IDOK, 2, 0x74, {{0x174, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}},
         L"Caps Lock + Shift + F5"},
        {IDC_SK_UNBIND, -1, 0, {{0x10174, L"zp_2_user_id"}}, L"Set key ..."},
        // Shift without the activation key: Search web's combination, taken.
        {IDOK, 8, 0x74, {{0x10174, L"zp_1_user_id"}}, L"Shift + F5"},
    };
    // clang-format on
    for (const auto& step : steps) {
        ASSERT_TRUE(click(window, IDC_MA_KEY_BUTTON, true));
        HWND keys = runner->wait_for(L"Select key combination");
        ASSERT_NE(keys, nullptr);
        if (step.prefix >= 0) {
            SendDlgItemMessageW(keys, IDC_SK_PREFIX, CB_SETCURSEL, step.prefix, 0);
            ASSERT_TRUE(select_combo_by_data(keys, IDC_SK_KEY, step.key));
        }
        ASSERT_TRUE(click(keys, step.button) && wait_closed(keys));
        SendMessageW(window, WM_NULL, 0, 0); // the key button's handler has finished
        EXPECT_EQ(stored(), step.stored) << step.shown;
        EXPECT_EQ(text_of(window, IDC_MA_KEY_BUTTON), step.shown);
    }
}

TEST_F(ManageActions, SearchRefillsPerKeystroke) {
    type_search(L"gre");
    EXPECT_EQ(tree_outline(tree), L"Letters(Greeting)");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"Greeting") << "selected";
    type_search(L"zzz");
    EXPECT_EQ(tree_outline(tree), L"");
    EXPECT_EQ(text_of(window, IDC_MA_NAME), L"");
    EXPECT_FALSE(enabled(window, IDC_MA_KEY_BUTTON));
    SetDlgItemTextW(window, IDC_MA_SEARCH, L"");
    EXPECT_EQ(tree_outline(tree), L"Common((draft)|To upper case)|Letters|Web");
}

TEST_F(ManageActions, AbbreviationShownSavedRemovedAndRefusedWithTheOwnersName) {
    using Held = std::map<std::wstring, std::wstring>;
    set_abbreviation(L"zp_2_user_id", L"sig;", L"immediate");
    const Held start{{L"zp_2_user_id", L"sig; immediate"}};
    std::wstring fresh;
    ASSERT_TRUE(select(L"Search web"));
    EXPECT_EQ(text_of(window, IDC_MA_ABBREVIATION) + L"|" +
                  combo_item(window, IDC_MA_ABBREVIATION_KIND),
              L"sig;|Immediate");
    EXPECT_FALSE(enabled(window, IDC_MA_ABBREVIATION_KIND) ||
                 enabled(window, IDC_MA_CASE_SENSITIVE));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(window, IDC_MA_ABBREVIATION), GWL_STYLE) & ES_READONLY);

    const Held both{{L"zp_1_user_id", L"btw word cs"}, {L"zp_2_user_id", L"sig; immediate"}};
    // clang-format off
    const struct {
        const wchar_t* select; // null: New action in the selected category; "": go on editing
        const wchar_t *typed, *name;
        int kind; // 0 word, 1 immediate
        bool case_sensitive, cancel;
        Held held;
        const wchar_t* status; // non-empty: still editing
    } steps[] = {
        {L"Greeting", L" btw\t", L"Greeting", 0, true, false, both, L""}, // blanks trimmed
        // Taken, whatever the case: nothing stored, the new name neither.
        {L"Greeting", L"SIG;", L"Renamed", 1, false, false, both,
         L"The abbreviation is taken by 'Search web'."},
        {L"", L"g\x01r", L"Greeting", 0, false, false, both,
         L"Not saved: the abbreviation could not be stored."},
        {L"", L"zzz", L"Greeting", 1, false, true, both, L""}, // Cancel shows the stored one
        {L"Greeting", L"", L"Greeting", 1, true, false, start, L""},
        // A new action is stored first; its refused abbreviation keeps the
        // edits on the stored action, so the next Save makes no second one.
        {nullptr, L"sig;", L"Fresh", 0, false, false, start,
         L"The abbreviation is taken by 'Search web'."},
        {L"", L"fr", L"Fresh", 0, false, false,
         {{L"zp_2_user_id", L"sig; immediate"}, {L"new", L"fr word"}}, L""},
        // A built-in action keeps its name and gets no code; only the abbreviation.
        {L"To upper case", L"UP", L"Renamed", 1, true, false,
         {{L"zp_2_user_id", L"sig; immediate"}, {L"new", L"fr word"},
          {L"zp_uppercase", L"UP immediate cs"}}, L""},
    };
    // clang-format on
    for (const auto& step : steps) {
        const std::wstring at = step.typed;
        if (!step.select) {
            ASSERT_TRUE(click(window, IDC_MA_NEW)) << at;
        } else if (*step.select) { // from nothing selected: the action is shown afresh
            ASSERT_TRUE(TreeView_SelectItem(tree, nullptr) && select(step.select) &&
                        click(window, IDC_MA_EDIT))
                << at;
        }
        SetDlgItemTextW(window, IDC_MA_NAME, step.name);
        SetDlgItemTextW(window, IDC_MA_CODE, L"Hello {date}");
        SetDlgItemTextW(window, IDC_MA_ABBREVIATION, step.typed);
        SendDlgItemMessageW(window, IDC_MA_ABBREVIATION_KIND, CB_SETCURSEL, step.kind, 0);
        CheckDlgButton(window, IDC_MA_CASE_SENSITIVE, step.case_sensitive);
        ASSERT_TRUE(click(window, step.cancel ? IDC_MA_CANCEL : IDC_MA_SAVE)) << at;
        if (!step.select)
            fresh = dialog.ident();
        Held held = step.held;
        if (held.count(L"new")) // the ident the new action was stored under
            held[fresh] = held[L"new"], held.erase(L"new");
        EXPECT_EQ(abbreviations(), held) << at;
        EXPECT_EQ(text_of(window, IDC_MA_STATUS), step.status) << at;
        EXPECT_EQ(visible(window, IDC_MA_SAVE), *step.status != 0) << at;
        if (step.select && *step.select == L'T') { // the built-in's other fields stayed
            EXPECT_EQ(text_of(window, IDC_MA_NAME) + L"|" + text_of(window, IDC_MA_CODE),
                      L"To upper case|")
                << at;
        }
        if (*step.status) { // the edits stay
            EXPECT_EQ(text_of(window, IDC_MA_ABBREVIATION) + L"|" + text_of(window, IDC_MA_NAME),
                      std::wstring(step.typed) + L"|" + step.name);
            continue;
        }
        // Shown as stored: "text kind [cs]" again.
        std::wstring shown = text_of(window, IDC_MA_ABBREVIATION);
        if (!shown.empty())
            shown += (combo_item(window, IDC_MA_ABBREVIATION_KIND) == L"Immediate" ? L" immediate"
                                                                                   : L" word") +
                     std::wstring(IsDlgButtonChecked(window, IDC_MA_CASE_SENSITIVE) ? L" cs" : L"");
        EXPECT_EQ(shown, abbreviations()[dialog.ident()]) << at;
    }
    EXPECT_EQ(load(L"zp_1_user_id"),
              L"typing_interpreter|Hello {date}|Greeting|Types a greeting.|Letters");
    EXPECT_EQ(load(fresh), L"typing_interpreter|Hello {date}|Fresh||Letters");
    EXPECT_EQ(load(L"zp_uppercase"), L"||||");
    EXPECT_EQ(tree_outline(tree),
              L"Common((draft)|To upper case)|Letters(Echo|Fresh|Greeting)|Web(Search web)")
        << "one new action, not two";
}

TEST(ManageActionsDialog, HostWithoutParameterListsOpensEmptyAndClosesCleanly) {
    Reference_host host;
    host.set_parameters_available(false);
    Manage_actions_dialog dialog(&host);
    Dialog_thread runner([&dialog] { return dialog.run(nullptr); });
    HWND window = runner.wait_for(L"Manage actions");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(tree_outline(GetDlgItem(window, IDC_MA_TREE)), L"");
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    SetDlgItemTextW(window, IDC_MA_NAME, L"Nowhere");
    EXPECT_TRUE(click(window, IDC_MA_SAVE));
    SendDlgItemMessageW(window, IDC_MA_SEARCH, WM_CHAR, L'a', 1);
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0); // Escape
    EXPECT_TRUE(runner.wait_done());
}

} // namespace

// Ctrl+A reaches an edit control as character 1, which the edit itself
// ignores: each field selects all of its text, leaves the text as it was,
// and does so again once the dialog has been closed and opened again.
TEST_F(ManageActions, CtrlASelectsAllInEachTextFieldAfterReopeningToo) {
    const struct {
        int id;
        const wchar_t* name;
        const wchar_t* text;
    } fields[] = {
        {IDC_MA_NAME, L"name", L"Greeting card"},
        {IDC_MA_DESCRIPTION, L"description", L"first line\r\nsecond line"},
        {IDC_MA_CODE, L"code", L"Hello {date}\r\n{enter}"},
        {IDC_MA_ABBREVIATION, L"abbreviation", L"grt"},
        {IDC_MA_SEARCH, L"search", L"Gre"}, // last: searching ends the editing
    };
    for (int opening = 1; opening <= 2; ++opening) {
        ASSERT_NE(window, nullptr) << "opening " << opening;
        // Editing, where the fields take typing: character 1 must not change a text.
        ASSERT_TRUE(select(L"Greeting") && click(window, IDC_MA_EDIT)) << "opening " << opening;
        for (const auto& field : fields) {
            HWND edit = GetDlgItem(window, field.id);
            SetWindowTextW(edit, field.text);
            SendMessageW(edit, EM_SETSEL, 1, 2);
            SendMessageW(edit, WM_CHAR, 1, 0x001E0001); // 'A' with Control, one press
            DWORD first = 0, last = 0;
            SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&first),
                         reinterpret_cast<LPARAM>(&last));
            EXPECT_EQ(first, 0u) << field.name << ", opening " << opening;
            EXPECT_EQ(last, wcslen(field.text)) << field.name << ", opening " << opening;
            EXPECT_EQ(text_of(edit), field.text) << field.name << ", opening " << opening;
        }
        ASSERT_TRUE(click(window, IDOK) && runner->wait_done());
        if (opening == 1) {
            window = open([this] { return dialog.run(nullptr); }, L"Manage actions");
            tree = GetDlgItem(window, IDC_MA_TREE);
        }
    }
}
