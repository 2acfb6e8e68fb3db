#include "builtin_actions/text_transform_actions.h"
#include "ui/manage_actions_dialog.h"

#include "contract/parameter_values.h"
#include "dialog_fixture.h"
#include "ui/ui_resources.h"

namespace {

// Answers the two abbreviation messages as the keyboard shortcuts do: one
// abbreviation per action, one action per abbreviation (case-blind unless
// both are case-sensitive).
class Abbreviation_store final : public Filter {
public:
    explicit Abbreviation_store(Reference_host& host)
        : registration_(&host, this, {L"zp_action_set_abbreviation", L"zp_action_abbreviation"}) {}
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name_data, unsigned int length, Parameters* list) override {
        const std::wstring name(name_data, length), id = Param::read_text(list, L"id");
        if (name == L"zp_action_abbreviation") {
            auto found = stored.find(id);
            if (found != stored.end()) {
                Param::write_text(list, L"abbreviation", found->second.text);
                Param::write_text(list, L"kind", found->second.kind);
                Param::write_flag(list, L"case_sensitive", found->second.case_sensitive);
            }
            return 0;
        }
        Entry entry{Param::read_text(list, L"abbreviation"), Param::read_text(list, L"kind"),
                    Param::read_flag(list, L"case_sensitive", false)};
        for (const auto& [other, held] : stored)
            if (other != id && !entry.text.empty() &&
                (entry.case_sensitive && held.case_sensitive
                     ? held.text == entry.text
                     : lstrcmpiW(held.text.c_str(), entry.text.c_str()) == 0)) {
                Param::write_flag(list, L"stored", false);
                Param::write_text(list, L"taken_by", other);
                return 0;
            }
        if (!busy) {
            if (entry.text.empty())
                stored.erase(id);
            else
                stored[id] = entry;
        }
        Param::write_flag(list, L"stored", !busy);
        return 0;
    }
    // "text kind [cs]" per ident, as stored.
    std::map<std::wstring, std::wstring> all() const {
        std::map<std::wstring, std::wstring> result;
        for (const auto& [id, entry] : stored)
            result[id] = entry.text + L" " + entry.kind + (entry.case_sensitive ? L" cs" : L"");
        return result;
    }

    struct Entry {
        std::wstring text, kind;
        bool case_sensitive;
    };
    std::map<std::wstring, Entry> stored;
    bool busy = false; // the file cannot be written: refused without an owner

private:
    Filter_registration registration_;
};

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
    void type_search(const std::wstring& text) {
        for (wchar_t c : text)
            SendDlgItemMessageW(window, IDC_MA_SEARCH, WM_CHAR, c, 1);
    }

    MakeUppercaseAction builtin{&host};
    Abbreviation_store abbreviations{host};
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
    const struct {
        int button, prefix; // -1: the preselection
        std::uint32_t key;
        Stored stored;
        const wchar_t* shown;
    } steps[] = {
        {IDOK, -1, 0, {{0x41, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}}, L"Caps Lock + a"},
        {IDOK,
         3,
         0x74,
         {{0x274, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}},
         L"Caps Lock + Control + F5"},
        // With the activation key and Shift: bit 8 is Shift, not "direct".
        {IDOK,
         2,
         0x74,
         {{0x174, L"zp_1_user_id"}, {0x10174, L"zp_2_user_id"}},
         L"Caps Lock + Shift + F5"},
        {IDC_SK_UNBIND, -1, 0, {{0x10174, L"zp_2_user_id"}}, L"Set key ..."},
        // Shift without the activation key: Search web's combination, taken.
        {IDOK, 8, 0x74, {{0x10174, L"zp_1_user_id"}}, L"Shift + F5"},
    };
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
    abbreviations.stored[L"zp_2_user_id"] = {L"sig;", L"immediate", false};
    const Held start{{L"zp_2_user_id", L"sig; immediate"}};
    std::wstring fresh;
    ASSERT_TRUE(select(L"Search web"));
    EXPECT_EQ(text_of(window, IDC_MA_ABBREVIATION) + L"|" +
                  combo_item(window, IDC_MA_ABBREVIATION_KIND),
              L"sig;|Immediate");
    EXPECT_FALSE(enabled(window, IDC_MA_ABBREVIATION_KIND) ||
                 enabled(window, IDC_MA_CASE_SENSITIVE));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(window, IDC_MA_ABBREVIATION), GWL_STYLE) & ES_READONLY);

    const struct {
        const wchar_t* select; // null: New action in the selected category
        const wchar_t *typed, *name;
        int kind; // 0 word, 1 immediate
        bool case_sensitive, busy, cancel;
        Held held;
        const wchar_t* status; // non-empty: still editing
    } steps[] = {
        // Blanks trimmed; kind and case as chosen.
        {L"Greeting",
         L" btw\t",
         L"Greeting",
         0,
         true,
         false,
         false,
         {{L"zp_1_user_id", L"btw word cs"}, {L"zp_2_user_id", L"sig; immediate"}},
         L""},
        // Taken, whatever the case: nothing stored, the name not either.
        {L"Greeting",
         L"SIG;",
         L"Renamed",
         1,
         false,
         false,
         false,
         {{L"zp_1_user_id", L"btw word cs"}, {L"zp_2_user_id", L"sig; immediate"}},
         L"The abbreviation is taken by 'Search web'."},
        {L"Greeting",
         L"gr",
         L"Greeting",
         0,
         false,
         true,
         false,
         {{L"zp_1_user_id", L"btw word cs"}, {L"zp_2_user_id", L"sig; immediate"}},
         L"Not saved: the abbreviation could not be stored."},
        // Cancel shows the stored one again.
        {L"Greeting",
         L"zzz",
         L"Greeting",
         1,
         false,
         false,
         true,
         {{L"zp_1_user_id", L"btw word cs"}, {L"zp_2_user_id", L"sig; immediate"}},
         L""},
        {L"Greeting", L"", L"Greeting", 1, true, false, false, start, L""},
        // A new action is stored first; its refused abbreviation keeps the edits
        // on the stored action, so the next Save makes no second one.
        {nullptr, L"sig;", L"Fresh", 0, false, false, false, start,
         L"The abbreviation is taken by 'Search web'."},
        {L"",
         L"fr",
         L"Fresh",
         0,
         false,
         false,
         false,
         {{L"zp_2_user_id", L"sig; immediate"}, {L"new", L"fr word"}},
         L""},
    };
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
        abbreviations.busy = step.busy;
        ASSERT_TRUE(click(window, step.cancel ? IDC_MA_CANCEL : IDC_MA_SAVE)) << at;
        if (!step.select)
            fresh = dialog.ident();
        Held held = step.held;
        if (held.count(L"new")) // the ident the new action was stored under
            held[fresh] = held[L"new"], held.erase(L"new");
        EXPECT_EQ(abbreviations.all(), held) << at;
        EXPECT_EQ(text_of(window, IDC_MA_STATUS), step.status) << at;
        EXPECT_EQ(visible(window, IDC_MA_SAVE), *step.status != 0) << at;
        if (*step.status) { // the edits stay
            EXPECT_EQ(text_of(window, IDC_MA_ABBREVIATION) + L"|" + text_of(window, IDC_MA_NAME),
                      std::wstring(step.typed) + L"|" + step.name);
            continue;
        }
        Abbreviation_store::Entry shown{L"", L"word", false};
        if (abbreviations.stored.count(dialog.ident()))
            shown = abbreviations.stored[dialog.ident()];
        EXPECT_EQ(text_of(window, IDC_MA_ABBREVIATION), shown.text) << at;
        EXPECT_EQ(combo_item(window, IDC_MA_ABBREVIATION_KIND),
                  shown.kind == L"immediate" ? L"Immediate" : L"Word")
            << at;
        EXPECT_EQ(IsDlgButtonChecked(window, IDC_MA_CASE_SENSITIVE) == BST_CHECKED,
                  shown.case_sensitive)
            << at;
    }
    abbreviations.busy = false;
    EXPECT_EQ(load(L"zp_1_user_id"),
              L"typing_interpreter|Hello {date}|Greeting|Types a greeting.|Letters");
    EXPECT_EQ(load(fresh), L"typing_interpreter|Hello {date}|Fresh||Letters");
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
