// Keyboard_shortcuts_impl against a reference host and a real database file.
#include "actions_test_support.h"

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "contract/own_output.h"
#include "storage/db_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <thread>

namespace {

struct Fixture {
    Work_folder folder{L"shortcuts"};
    Reference_host host;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts{&host, L"plugins\\zaptor.db", tasks};
};

std::string db_scalar(const std::wstring& path,
                      const std::string& query = "SELECT count(*) FROM key_bindings;") {
    Connection db = Db_files::open_raw(path);
    return Db_files::scalar(db.get(), query);
}

// Sends zp_action_set_abbreviation; answers "stored" and "taken_by" as "1" or
// "0", then ":" and the ident.
std::wstring set_abbreviation(Reference_host& host, const wchar_t* id, const wchar_t* text,
                              const wchar_t* kind = nullptr, int case_sensitive = -1) {
    auto list = text_list({{L"id", id}, {L"abbreviation", text}});
    if (kind)
        Param::write_text(list.get(), L"kind", kind);
    if (case_sensitive >= 0)
        Param::write_flag(list.get(), L"case_sensitive", case_sensitive != 0);
    host.deliver(L"zp_action_set_abbreviation", list.get());
    return std::wstring(Param::read_flag(list.get(), L"stored", false) ? L"1" : L"0") + L":" +
           Param::read_text(list.get(), L"taken_by");
}

std::wstring abbreviation_of(Reference_host& host, const wchar_t* id) {
    auto list = text_list({{L"id", id}});
    host.deliver(L"zp_action_abbreviation", list.get());
    if (!Param::has_value(list.get(), L"abbreviation"))
        return L"-";
    return Param::read_text(list.get(), L"abbreviation") + L"/" +
           Param::read_text(list.get(), L"kind") + L"/" +
           (Param::read_flag(list.get(), L"case_sensitive", true) ? L"cs" : L"ci");
}

const char* const abbreviation_rows =
    "SELECT group_concat(abbreviation || '=' || ident || kind || case_sensitive, ' ') FROM "
    "(SELECT * FROM abbreviations ORDER BY abbreviation);";

} // namespace

TEST(Keyboard_shortcuts, key_processing_and_the_listener_run_the_exact_binding_while_initialized) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    ASSERT_TRUE(f.shortcuts.initialize()); // neither subscribes twice nor loses the listener
    EXPECT_EQ(f.host.filter_count(L"key_processing"), 1u);
    Counting_action shift_a(L"zp_shift_a", &f.host);
    Counting_action direct(L"zp_direct", &f.host);
    set_binding(f.host, 0x141, L"zp_shift_a", L"Shift A");
    set_binding(f.host, 0x10241, L"zp_direct", L"Direct");

    // The list that went out is the one received, with the request added.
    auto list = u32_list(L"key_down", 0x41 | 0x10000000u | 0x01000000u);
    f.host.deliver(L"key_processing", list.get());
    EXPECT_EQ(Param::read_text(list.get(), L"request"), L"execute");
    EXPECT_EQ(Param::read_u32(list.get(), L"activate", 0), 0x141u);
    EXPECT_EQ(shift_a.activations(0x141), 1u);
    // Plain A, Control+A (bound only directly) and a key beyond a byte run nothing.
    for (std::uint32_t value : {0x41u, 0x41u | 0x80000000u, 0x141u})
        f.host.deliver(L"key_processing", u32_list(L"key_up", value).get());
    EXPECT_EQ(shift_a.total_runs() + direct.total_runs(), 1u);

    // The direct binding goes through the listener, on release only.
    Keyboard_listener* listener = f.host.keyboard_listener();
    ASSERT_NE(listener, nullptr);
    auto press = key_event(0x41, true);
    auto release = key_event(0x41, false);
    EXPECT_TRUE(listener->key_event(&press, listener_control));
    EXPECT_TRUE(listener->key_event(&release, listener_control));
    f.tasks.clear();
    EXPECT_EQ(direct.deactivations(0x241), 1u);
    // Other keys and modifier sets pass.
    auto b = key_event(0x42, true);
    auto huge = key_event(0x141, true);
    EXPECT_FALSE(listener->key_event(&press, 0));
    EXPECT_FALSE(listener->key_event(&release, listener_control | listener_shift));
    EXPECT_FALSE(listener->key_event(&b, listener_control));
    EXPECT_FALSE(listener->key_event(&huge, listener_control));
    EXPECT_FALSE(listener->key_event(nullptr, listener_control));
    f.tasks.clear();
    EXPECT_EQ(direct.total_runs(), 1u);

    // Deinitialized but kept: every message is withdrawn (the real DLL's
    // shut-down destroys the object, which hides a missing unsubscribe).
    f.shortcuts.deinitialize();
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(f.host.filter_count(name), 0u) << name;
    EXPECT_EQ(f.host.keyboard_listener(), nullptr);
}

TEST(Keyboard_shortcuts, binding_messages_and_the_database_agree) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    set_binding(f.host, 0x141, L"zp_a", L"Alpha");
    set_binding(f.host, 0x141, L"zp_b", L"Beta");
    EXPECT_EQ(db_scalar(f.folder.database(), "SELECT ident FROM key_bindings;"), "zp_b");
    // No combination (low 16 bits 0xFFFF), no ident, bits no key code has: refused.
    set_binding(f.host, 0x1FFFF, L"zp_c", L"C");
    set_binding(f.host, 0x142, L"", L"No ident");
    f.shortcuts.set_binding(0x841, L"zp_c", L"C");
    f.shortcuts.set_binding(0x20041, L"zp_c", L"C");
    EXPECT_EQ(db_scalar(f.folder.database()), "1");

    // An ident bound twice answers the code that sorts first: low half first.
    set_binding(f.host, 0x10041, L"zp_b", L"Beta direct");
    auto ask = text_list({{L"id", L"zp_b"}});
    f.host.deliver(L"zp_action_key_binding", ask.get());
    EXPECT_EQ(Param::read_u32(ask.get(), L"key", 0), 0x10041u);

    // Unbinding through an empty title removes the row, so a reload does
    // not bring it back; so does the removal message.
    set_binding(f.host, 0x141, L"zp_b", L"");
    f.host.deliver(L"core__notify_data_update", nullptr);
    EXPECT_TRUE(f.shortcuts.get_binding(0x141).ident.empty());
    f.host.deliver(L"zp_action_remove_key_binding", u32_list(L"combi", 0x10041).get());
    EXPECT_EQ(db_scalar(f.folder.database()), "0");
}

TEST(Keyboard_shortcuts, values_of_the_wrong_size_are_absent) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    Counting_action action(L"zp_a", &f.host);
    set_binding(f.host, 0x41, L"zp_a", L"A");
    for (std::size_t size : {0u, 1u, 2u, 3u, 5u}) {
        // A key_down of the wrong size is absent: the key_up counts.
        auto list = u32_list(L"key_up", 0x41);
        set_bytes(list.get(), L"key_down", size, 0x41);
        f.host.deliver(L"key_processing", list.get());
        auto set = text_list({{L"id", L"zp_b"}, {L"title", L"B"}});
        set_bytes(set.get(), L"combi", size, 0x42);
        f.host.deliver(L"zp_action_set_key_binding", set.get());
        auto remove = Reference_host::make_list();
        set_bytes(remove.get(), L"combi", size, 0x41);
        f.host.deliver(L"zp_action_remove_key_binding", remove.get());
    }
    EXPECT_EQ(action.deactivations(0x41), 5u);
    EXPECT_EQ(action.total_runs(), 5u);
    EXPECT_TRUE(f.shortcuts.get_binding(0x42).ident.empty());
    EXPECT_EQ(f.shortcuts.get_binding(0x41).ident, L"zp_a");
    // Child lists instead of values and no list at all change nothing.
    auto children = Reference_host::make_list();
    children->child(L"key_down");
    children->child(L"combi");
    for (const wchar_t* name : binding_messages) {
        f.host.deliver(name, children.get());
        f.shortcuts.process(name, static_cast<unsigned>(wcslen(name)), nullptr);
    }
    EXPECT_EQ(db_scalar(f.folder.database()), "1");
}

// Backups carry the bindings, the abbreviations and the excluded
// applications; a backup from before abbreviations is restored (and has
// none). A damaged backup, or one whose tables have another shape (the
// writing statements bind by position and replace by the integer key), is
// refused and changes nothing.
TEST(Keyboard_shortcuts, backup_and_restore_never_lose_the_bindings) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    set_binding(f.host, 0x141, L"zp_a", L"Alpha");
    set_binding(f.host, 0x10241, L"zp_d", L"Direct");
    ASSERT_EQ(set_abbreviation(f.host, L"zp_a", L"btw"), L"1:");
    ASSERT_TRUE(f.shortcuts.set_excluded_applications({L"putty.exe"}));
    std::wstring backup = Test_support::make_temp_directory(L"shortcuts_backup");
    EXPECT_EQ(f.shortcuts.create_backup(backup), 0);
    set_binding(f.host, 0x142, L"zp_b", L"Beta");
    EXPECT_EQ(f.shortcuts.create_backup(backup + L"\\"), 0); // overwrites the older one
    EXPECT_EQ(db_scalar(backup + L"\\zaptor.db"), "3");
    // A backup into the database's own folder is refused and keeps the file.
    EXPECT_EQ(f.shortcuts.create_backup(f.folder.path() + L"\\plugins"), 1);
    EXPECT_EQ(db_scalar(f.folder.database()), "3");
    const std::string good = Test_support::read_file(backup + L"\\zaptor.db");

    for (std::uint32_t code : {0x141u, 0x142u, 0x10241u})
        f.shortcuts.remove_binding(code);
    ASSERT_EQ(set_abbreviation(f.host, L"zp_a", L""), L"1:");
    ASSERT_TRUE(f.shortcuts.set_excluded_applications({}));
    const struct {
        const char* change; // to the good backup; not SQL: a damaged file
        int outcome;
        const wchar_t* abbreviation; // after the restore (or kept when refused)
        std::size_t excluded;
    } cases[] = {
        {"", 0, L"btw/word/ci", 1},
        {"DROP TABLE abbreviations; DROP TABLE excluded_applications;", 0, L"-", 0},
        {"ALTER TABLE key_bindings ADD COLUMN extra TEXT;", 1, L"-", 0},
        {"ALTER TABLE key_bindings DROP COLUMN name;", 1, L"-", 0},
        {"ALTER TABLE key_bindings RENAME TO other;", 1, L"-", 0},
        {"CREATE TABLE t (key TEXT PRIMARY KEY, ident TEXT, name TEXT); DROP TABLE key_bindings; "
         "ALTER TABLE t RENAME TO key_bindings;",
         1, L"-", 0},
        {"garbage", 1, L"-", 0},
        {"ALTER TABLE abbreviations ADD COLUMN extra TEXT;", 1, L"-", 0},
        {"ALTER TABLE excluded_applications RENAME COLUMN pattern TO name;", 1, L"-", 0},
        {"DROP TABLE abbreviations; CREATE TABLE abbreviations (abbreviation TEXT, ident TEXT, "
         "case_sensitive INTEGER, kind INTEGER);",
         1, L"-", 0},
    };
    // Each case starts from the previous outcome: the first restores the
    // backup, the second one from before abbreviations empties them again.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        ASSERT_TRUE(Test_support::write_file(backup + L"\\zaptor.db", good));
        Connection db = Db_files::open_raw(backup + L"\\zaptor.db");
        const bool changed = Db_files::run(db.get(), c.change);
        db.reset();
        if (!changed) {
            ASSERT_TRUE(Test_support::write_file(backup + L"\\zaptor.db", "not a database"));
        }
        const std::string live = Test_support::read_file(f.folder.database());
        EXPECT_EQ(f.shortcuts.restore_backup(backup), c.outcome);
        EXPECT_TRUE(c.outcome == 0 || Test_support::read_file(f.folder.database()) == live);
        EXPECT_EQ(db_scalar(f.folder.database()), "3");
        EXPECT_EQ(abbreviation_of(f.host, L"zp_a"), c.abbreviation);
        EXPECT_EQ(f.shortcuts.excluded_applications().size(), c.excluded);
        EXPECT_EQ(f.shortcuts.get_binding(0x141).ident, L"zp_a");
        EXPECT_EQ(f.host.filter_count(L"key_processing"), 1u);
    }
    // Back in service: the listener registered and loaded; a restored file
    // from before abbreviations takes new ones.
    ASSERT_EQ(f.host.keyboard_listener(), f.shortcuts.listener());
    auto press = key_event(0x41, true);
    EXPECT_TRUE(f.host.keyboard_listener()->key_event(&press, listener_control));
    EXPECT_EQ(set_abbreviation(f.host, L"zp_a", L"bt"), L"1:");
    EXPECT_TRUE(f.shortcuts.set_binding(0x143, L"zp_c", L"C")) << "still usable";
    Test_support::remove_tree(backup);
}

// Another process holding the file: a change waits for it within the busy
// timeout; beyond it the change is reported as failed, the map stays what
// the file holds, and a reload that cannot read keeps the bindings in use.
TEST(Keyboard_shortcuts, a_busy_file_delays_or_refuses_a_change_and_loses_nothing) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    ASSERT_TRUE(f.shortcuts.set_binding(0x141, L"zp_a", L"Alpha"));
    ASSERT_EQ(set_abbreviation(f.host, L"zp_a", L"btw"), L"1:");
    struct Case {
        int hold_ms;
        std::uint32_t code; // 0: a reload instead of a change; 1: an abbreviation
        bool saved;
    } cases[] = {{1000, 0x142, true},
                 {SQLite::busy_timeout_ms + 1500, 0x143, false},
                 {SQLite::busy_timeout_ms + 1500, 1, false},
                 {SQLite::busy_timeout_ms + 1500, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Connection other = Db_files::open_raw(f.folder.database());
        ASSERT_TRUE(Db_files::run(other.get(), "BEGIN EXCLUSIVE;"));
        std::thread release([&] {
            Sleep(static_cast<DWORD>(c.hold_ms));
            Db_files::run(other.get(), "COMMIT;");
        });
        if (c.code > 1) {
            // The message the Manage actions dialog sends answers "stored".
            auto list = text_list({{L"id", L"zp_new"}, {L"title", L"New"}});
            Param::write_u32(list.get(), L"combi", c.code);
            f.host.deliver(L"zp_action_set_key_binding", list.get());
            EXPECT_EQ(Param::read_flag(list.get(), L"stored", !c.saved), c.saved);
        } else if (c.code == 1) {
            EXPECT_EQ(set_abbreviation(f.host, L"zp_a", L"bytheway"), L"0:");
        } else
            f.host.deliver(L"core__notify_data_update", nullptr);
        // Checked while the file may still be locked: the map in memory.
        EXPECT_EQ(f.shortcuts.get_binding(0x141).ident, L"zp_a");
        EXPECT_EQ(f.shortcuts.get_binding(0x142).ident, L"zp_new");
        EXPECT_EQ(abbreviation_of(f.host, L"zp_a"), L"btw/word/ci");
        release.join();
        if (c.code > 1) {
            EXPECT_EQ(f.shortcuts.get_binding(c.code).ident, c.saved ? L"zp_new" : L"");
        }
    }
    EXPECT_EQ(db_scalar(f.folder.database(), "SELECT group_concat(key) FROM key_bindings;"),
              "321,322");
    EXPECT_EQ(db_scalar(f.folder.database(), abbreviation_rows), "btw=zp_a00");
    EXPECT_EQ(f.shortcuts.list_bindings().size(), 2u);
    EXPECT_EQ(set_abbreviation(f.host, L"zp_a", L"bytheway"), L"1:");
}

// Two host processes on one file: each writes only the row it changes and
// then reads the file, so neither undoes the other.
TEST(Keyboard_shortcuts, two_instances_on_one_file_keep_each_others_changes) {
    Fixture f;
    Reference_host second_host;
    Keyboard_shortcuts_impl second{&second_host, L"plugins\\zaptor.db", f.tasks};
    ASSERT_TRUE(f.shortcuts.initialize());
    ASSERT_TRUE(f.shortcuts.set_binding(0x141, L"zp_a", L"Alpha"));
    ASSERT_TRUE(second.initialize());
    ASSERT_TRUE(f.shortcuts.set_binding(0x142, L"zp_b", L"Beta"));
    ASSERT_TRUE(second.set_binding(0x143, L"zp_c", L"Gamma")); // knows nothing of 0x142
    ASSERT_TRUE(f.shortcuts.remove_binding(0x141));
    ASSERT_TRUE(second.set_binding(0x143, L"zp_c", L"Gamma 2")); // still holds 0x141
    ASSERT_TRUE(f.shortcuts.set_binding(0x144, L"zp_d", L"Delta"));
    EXPECT_EQ(db_scalar(f.folder.database(),
                        "SELECT group_concat(key || ident || name) FROM key_bindings;"),
              "322zp_bBeta,323zp_cGamma 2,324zp_dDelta");
    EXPECT_EQ(second.list_bindings().size(), 2u) << "read back after its own change";
}

// A swallowed press lasts one key stroke, and our own injected output is
// never a user's combination. Control+A is bound directly; each row is a
// sequence of steps: p press or r release of A with modifiers c (Control),
// s (Shift), a (Alt) or none, i injected, ! swallowed by the listener; u
// unbinds Control+A; ( and ) begin and end our own output. Alt+A, bound first
// to another action, runs only from its own combination.
TEST(Keyboard_shortcuts, a_swallowed_press_lasts_one_stroke_and_our_own_output_passes) {
    const struct {
        const char* steps;
        unsigned runs;
        unsigned other_runs = 0;
    } cases[] = {
        {"pc! pc! rc!", 1},         // auto-repeat stays swallowed
        {"pc! r!", 1},              // Control let go before A
        {"pc! p r", 0},             // release lost, then a plain A
        {"pc! pcs rcs", 0},         // ... then Shift+Control+A
        {"pc! u rc!", 0},           // unbound between press and release
        {"pc! u pc rc", 0},         // ... its release lost, then pressed again
        {"pci! rci!", 1},           // injected by another program
        {"( pci rci )", 0},         // injected while our own output is typed
        {"pc! ( pci rci ) rc!", 1}, // the user's stroke around our own output
        {"pa! ra! pc! rc!", 1, 1},  // each release runs its own binding
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        Fixture f;
        ASSERT_TRUE(f.shortcuts.initialize());
        Counting_action direct(L"zp_direct", &f.host), other(L"zp_other", &f.host);
        set_binding(f.host, 0x10441, L"zp_other", L"Other");
        set_binding(f.host, 0x10241, L"zp_direct", L"Direct");
        Keyboard_listener* listener = f.host.keyboard_listener();
        std::unique_ptr<Own_output::Scope> own;
        std::istringstream steps(c.steps);
        for (std::string step; steps >> step;) {
            if (step == "u") {
                f.shortcuts.remove_binding(0x10241);
            } else if (step == "(" || step == ")") {
                own.reset(step == "(" ? new Own_output::Scope : nullptr);
            } else {
                auto event = key_event(0x41, step[0] == 'p');
                unsigned modifiers = 0;
                for (char flag : step.substr(1)) {
                    modifiers |= flag == 'c'   ? listener_control
                                 : flag == 's' ? listener_shift
                                 : flag == 'a' ? listener_alt
                                               : 0;
                    event.flags |= flag == 'i' ? LLKHF_INJECTED : 0;
                }
                EXPECT_EQ(listener->key_event(&event, modifiers), step.back() == '!') << step;
            }
        }
        f.tasks.clear();
        EXPECT_EQ(direct.total_runs(), c.runs);
        EXPECT_EQ(other.total_runs(), c.other_runs);
    }
}

// One abbreviation per action, one action per abbreviation (case-blind for
// case-insensitive ones); the dialogs' messages and the directory agree with
// the file, and deleting an action takes its abbreviation and bindings along.
TEST(Keyboard_shortcuts, abbreviation_messages_keep_one_per_action_and_per_text) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    EXPECT_EQ(db_scalar(f.folder.database(),
                        "SELECT count(*) FROM sqlite_master WHERE name='abbreviations';"),
              "0")
        << "created on first use";
    const struct {
        const wchar_t* id;
        const wchar_t* text;
        const wchar_t* kind;
        int case_sensitive;
        const wchar_t* answer;
    } steps[] = {
        {L"zp_a", L"btw", nullptr, -1, L"1:"},
        {L"zp_b", L"BTW", L"word", 1, L"0:zp_a"}, // zp_a ignores case
        {L"zp_b", L"Btw", L"immediate", 0, L"0:zp_a"},
        {L"zp_b", L"sig;", L"immediate", 1, L"1:"},
        {L"zp_c", L"SIG;", L"word", 1, L"1:"},     // both case-sensitive: distinct
        {L"zp_d", L"sig;", L"word", 0, L"0:zp_c"}, // the first clash in sort order
        {L"zp_a", L"bytw", L"word", 0, L"1:"},     // replaces zp_a's "btw"
        {L"zp_d", L"btw", L"sideways", 0, L"0:"},
        {L"", L"x", nullptr, -1, L"0:"},
        {L"zp_d", L"a\u000108", nullptr, -1, L"0:"},
        {L"zp_d", L"btw", nullptr, -1, L"1:"},
        {L"zp_d", L"123456789012345678901234567890123456789012345678901234567890abcd", nullptr, -1,
         L"0:"},                            // longer than the typed buffer can match
        {L"zp_d", L"", nullptr, -1, L"1:"}, // removes zp_d's
    };
    for (const auto& s : steps)
        EXPECT_EQ(set_abbreviation(f.host, s.id, s.text, s.kind, s.case_sensitive), s.answer)
            << s.id << " " << ::testing::PrintToString(std::wstring(s.text));
    EXPECT_EQ(db_scalar(f.folder.database(), abbreviation_rows),
              "SIG;=zp_c01 bytw=zp_a00 sig;=zp_b11");
    EXPECT_EQ(abbreviation_of(f.host, L"zp_a"), L"bytw/word/ci");
    EXPECT_EQ(abbreviation_of(f.host, L"zp_b"), L"sig;/immediate/cs");
    EXPECT_EQ(abbreviation_of(f.host, L"zp_d"), L"-");

    Counting_action named(L"zp_b", &f.host, L"Signature");
    Binding_directory directory(
        &f.host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &f.shortcuts));
    std::wstring listed;
    for (const Abbreviation_row& row : directory.abbreviations())
        listed += row.abbreviation + L"=" + row.name + (row.immediate ? L"!" : L"") +
                  (row.case_sensitive ? L"C " : L" ");
    EXPECT_EQ(listed, L"SIG;=zp_cC bytw=zp_a sig;=Signature!C ");
    EXPECT_TRUE(directory.set_excluded_applications({L"keepass*.exe", L"", L"putty.exe"}));
    EXPECT_EQ(directory.excluded_applications(),
              (std::vector<std::wstring>{L"keepass*.exe", L"putty.exe"}));

    set_binding(f.host, 0x141, L"zp_a", L"Alpha");
    set_binding(f.host, 0x10242, L"zp_a", L"Alpha");
    set_binding(f.host, 0x143, L"zp_c", L"Gamma");
    f.host.deliver(L"zp_delete_action", text_list({{L"ident", L"zp_a"}}).get());
    EXPECT_EQ(db_scalar(f.folder.database(), abbreviation_rows), "SIG;=zp_c01 sig;=zp_b11");
    EXPECT_EQ(db_scalar(f.folder.database(), "SELECT group_concat(ident) FROM key_bindings;"),
              "zp_c");
    EXPECT_EQ(f.shortcuts.list_abbreviations().size(), 2u);
}

namespace {

// Steps: "t:TEXT" types TEXT as key strokes (letters and space), "c+"/"c-"
// press and release the left Control, "w+"/"w-" the left Windows key,
// "i+"/"i-" mark the keys that follow injected, "(" and ")" begin and end
// our own output, "<" a Backspace, "l" the Left arrow, "." waits until an
// expansion is over.
unsigned run_steps(Fixture& f, const std::string& steps) {
    Keyboard_listener* listener = f.host.keyboard_listener();
    bool injected = false;
    std::unique_ptr<Own_output::Scope> own;
    unsigned swallowed = 0;
    auto stroke = [&](DWORD vk) {
        for (bool down : {true, false}) {
            auto event = key_event(vk, down);
            event.scanCode = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
            event.flags |= injected ? LLKHF_INJECTED : 0;
            swallowed += listener->key_event(&event, 0) ? 1 : 0;
        }
    };
    std::istringstream in(steps);
    for (std::string step; std::getline(in, step, '|');) {
        if (step.rfind("t:", 0) == 0) {
            for (char c : step.substr(2))
                stroke(c == ' ' ? VK_SPACE : static_cast<DWORD>(std::toupper(c)));
        } else if (step == ".") {
            f.tasks.clear(); // the expansion done, and a moment's quiet after it
            Sleep(300);
        } else if (step == "(" || step == ")") {
            own.reset(step == "(" ? new Own_output::Scope : nullptr);
        } else if (step == "i+" || step == "i-") {
            injected = step == "i+";
        } else if (step == "<" || step == "l") {
            stroke(step == "<" ? VK_BACK : VK_LEFT);
        } else {
            auto event = key_event(step[0] == 'c' ? VK_LCONTROL : VK_LWIN, step[1] == '+');
            swallowed += listener->key_event(&event, 0) ? 1 : 0;
        }
    }
    f.tasks.clear();
    return swallowed;
}

} // namespace

// The listener on real translated keys, with an action that does not type:
// it runs after three Backspaces that the host types for it, and the kept
// separator is typed after it.
TEST(Keyboard_shortcuts, typed_abbreviations_fire_only_on_the_users_own_text) {
    const struct {
        const char* steps;
        unsigned runs;
        unsigned swallowed;   // strokes (press and release)
        const wchar_t* typed; // the host's typing runs, "#" for a Backspace
    } cases[] = {
        {"t:btw ", 1, 1, L"###| "},
        {"t:btw |.|t:btw ", 2, 2, L"###| |###| "},
        {"t:btw |t:x|<", 1, 3, L"###| |x|#"}, // typed on at once: after it
        {"t:btw |c+|t:x|c-", 1, 1, L"###| "}, // ... but not a combination
        {"t:bt|<|t:tw ", 1, 1, L"###| "},
        {"t:btw|c+|c-|t: ", 1, 1, L"###| "}, // Control alone changes nothing
        {"t:btw|c+|t: |c-", 0, 0, L""},      // Control+Space
        {"t:btw|w+|t: |w-", 0, 0, L""},      // Windows+Space
        {"t:btw|l|t: ", 0, 0, L""},          // the caret moved
        {"i+|t:btw |i-", 1, 1, L"###| "},    // injected by another program
        // Our own output during an expansion keeps the held keys' buffer.
        {"t:btw |t:b|i+|t:x|i-|t:tw ", 2, 5, L"###| |b|t|w|###| "},
        {"(|i+|t:btw |i-|)", 0, 0, L""},    // our own output
        {"(|i+|t:bt|i-|)|t:w ", 0, 0, L""}, // ... never feeds the buffer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        Fixture f;
        ASSERT_TRUE(f.shortcuts.initialize());
        Counting_action action(L"zp_count", &f.host);
        ASSERT_EQ(set_abbreviation(f.host, L"zp_count", L"btw"), L"1:");
        EXPECT_EQ(run_steps(f, c.steps), 2 * c.swallowed);
        EXPECT_EQ(action.total_runs(), c.runs);
        std::wstring typed;
        for (std::wstring text : f.host.typed_texts()) {
            for (std::size_t at; (at = text.find(L"\u000108")) != std::wstring::npos;)
                text.replace(at, 3, L"#");
            typed += (typed.empty() ? L"" : L"|") + text;
        }
        EXPECT_EQ(typed, c.typed);
    }
}

// A password edit in the foreground keeps no buffer; an excluded application
// turns abbreviations and direct bindings off. The window is the test's own.
TEST(Keyboard_shortcuts, nothing_fires_in_a_password_edit_or_an_excluded_application) {
    const struct {
        DWORD style;
        const wchar_t* excluded;
        unsigned runs;
    } cases[] = {
        {0, L"", 2},
        {ES_PASSWORD, L"", 1}, // the direct binding still runs
        {0, L"ACTIONS_?EST*.EXE", 0},
        {0, L"notepad.exe", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.excluded);
        Fixture f;
        ASSERT_TRUE(f.shortcuts.initialize());
        HWND window = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE | c.style,
                                      0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        SetForegroundWindow(window);
        SetFocus(window);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        ASSERT_EQ(GetForegroundWindow(), window);
        Counting_action action(L"zp_count", &f.host);
        ASSERT_EQ(set_abbreviation(f.host, L"zp_count", L"btw"), L"1:");
        set_binding(f.host, 0x10241, L"zp_count", L"Direct");
        if (*c.excluded) {
            ASSERT_TRUE(f.shortcuts.set_excluded_applications({c.excluded}));
        }
        // A key typed on at once is not held in our own window (where an
        // action's question is answered): only the space is swallowed.
        EXPECT_EQ(run_steps(f, "t:btw |t:x"), c.runs == 2 ? 2u : 0u);
        auto press = key_event(0x41, true);
        auto release = key_event(0x41, false);
        f.host.keyboard_listener()->key_event(&press, listener_control);
        f.host.keyboard_listener()->key_event(&release, listener_control);
        f.tasks.clear();
        EXPECT_EQ(action.total_runs(), c.runs);
        DestroyWindow(window);
    }
}
