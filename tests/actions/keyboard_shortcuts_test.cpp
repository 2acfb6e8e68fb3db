// Keyboard_shortcuts_impl against a reference host and a real database file.
#include "actions_test_support.h"

#include "actions/keyboard_shortcuts.h"
#include "host/parameter_list.h"
#include "storage/db_files.h"
#include "storage/trace_capture.h"

#include <gtest/gtest.h>

namespace {

const wchar_t* const binding_messages[] = {L"key_processing", L"core__notify_data_update",
                                           L"zp_action_key_binding", L"zp_action_set_key_binding",
                                           L"zp_action_remove_key_binding"};

struct Fixture {
    Work_folder folder{L"shortcuts"};
    Reference_host host;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts{&host, L"plugins\\zaptor.db", tasks};
};

void send_key(Reference_host& host, const wchar_t* key, std::uint32_t value) {
    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), key, value);
    host.deliver(L"key_processing", list.get());
}

void set_binding(Reference_host& host, std::uint32_t combi, const std::wstring& id,
                 const std::wstring& title) {
    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), L"combi", combi);
    Param::write_text(list.get(), L"id", id);
    Param::write_text(list.get(), L"title", title);
    host.deliver(L"zp_action_set_key_binding", list.get());
}

std::string db_ident(const std::wstring& path, std::uint32_t key) {
    Connection db = Db_files::open_raw(path);
    return Db_files::scalar(
        db.get(), "SELECT ident FROM key_bindings WHERE key=" + std::to_string(key) + ";");
}

std::string db_count(const std::wstring& path) {
    Connection db = Db_files::open_raw(path);
    return Db_files::scalar(db.get(), "SELECT count(*) FROM key_bindings;");
}

} // namespace

TEST(Keyboard_shortcuts, initialize_subscribes_registers_and_deinitialize_withdraws) {
    Work_folder folder(L"shortcuts_life");
    Reference_host host;
    Running_tasks tasks;
    {
        Keyboard_shortcuts_impl shortcuts(&host, L"plugins\\zaptor.db", tasks);
        ASSERT_TRUE(shortcuts.initialize());
        for (const wchar_t* name : binding_messages)
            EXPECT_EQ(host.filter_count(name), 1u) << name;
        EXPECT_EQ(host.keyboard_listener(), shortcuts.listener());
        EXPECT_TRUE(Test_support::file_exists(folder.database()));
        // A second initialize neither subscribes twice nor loses the listener.
        ASSERT_TRUE(shortcuts.initialize());
        EXPECT_EQ(host.filter_count(L"key_processing"), 1u);
        shortcuts.deinitialize();
        EXPECT_EQ(host.filter_count(L"key_processing"), 0u);
        EXPECT_EQ(host.keyboard_listener(), nullptr);
        EXPECT_FALSE(shortcuts.has_database());
        ASSERT_TRUE(shortcuts.initialize());
    }
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(host.filter_count(name), 0u) << name;
    EXPECT_EQ(host.keyboard_listener(), nullptr);
}

TEST(Keyboard_shortcuts, key_processing_runs_the_exact_binding) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    Counting_action shift_a(L"zp_shift_a", &f.host);
    Counting_action right_shift(L"zp_rshift", &f.host);
    Counting_action direct(L"zp_direct", &f.host);
    set_binding(f.host, 0x141, L"zp_shift_a", L"Shift A");
    set_binding(f.host, 0x1A1, L"zp_rshift", L"Right shift");
    set_binding(f.host, 0x10241, L"zp_direct", L"Direct");

    send_key(f.host, L"key_down", 0x41 | 0x10000000u);
    EXPECT_EQ(shift_a.activations(0x141), 1u);
    send_key(f.host, L"key_up", 0x41 | 0x10000000u);
    EXPECT_EQ(shift_a.deactivations(0x141), 1u);
    // The list that went out is the one received, with the request added.
    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), L"key_down", 0x41 | 0x10000000u | 0x01000000u);
    f.host.deliver(L"key_processing", list.get());
    EXPECT_EQ(Param::read_text(list.get(), L"request"), L"execute");
    EXPECT_EQ(Param::read_u32(list.get(), L"activate", 0), 0x141u);
    EXPECT_FALSE(Param::has_value(list.get(), L"deactivate"));

    send_key(f.host, L"key_down", 0xA1);
    EXPECT_EQ(right_shift.activations(0x1A1), 1u);

    // Plain A, Control+A (bound only directly) and a key beyond a byte run nothing.
    send_key(f.host, L"key_down", 0x41);
    send_key(f.host, L"key_down", 0x41 | 0x80000000u);
    send_key(f.host, L"key_up", 0x41 | 0x80000000u);
    send_key(f.host, L"key_down", 0x141);
    EXPECT_EQ(shift_a.total_runs(), 3u);
    EXPECT_EQ(direct.total_runs(), 0u);

    // The direct binding goes through the listener, on release only.
    Keyboard_listener* listener = f.host.keyboard_listener();
    ASSERT_NE(listener, nullptr);
    auto press = key_event(0x41, true);
    auto release = key_event(0x41, false);
    EXPECT_TRUE(listener->key_event(&press, listener_control));
    f.tasks.clear();
    EXPECT_EQ(direct.total_runs(), 0u);
    EXPECT_TRUE(listener->key_event(&release, listener_control));
    f.tasks.clear();
    EXPECT_EQ(direct.deactivations(0x241), 1u);
    EXPECT_EQ(direct.total_runs(), 1u);
    // Other keys and modifier sets pass.
    EXPECT_FALSE(listener->key_event(&press, 0));
    EXPECT_FALSE(listener->key_event(&release, listener_control | listener_shift));
    EXPECT_FALSE(listener->key_event(&press, listener_shift));
    auto b = key_event(0x42, true);
    EXPECT_FALSE(listener->key_event(&b, listener_control));
    auto huge = key_event(0x141, true);
    EXPECT_FALSE(listener->key_event(&huge, listener_control));
    EXPECT_FALSE(listener->key_event(nullptr, listener_control));
    f.tasks.clear();
    EXPECT_EQ(direct.total_runs(), 1u);
}

TEST(Keyboard_shortcuts, binding_messages_and_the_database_agree) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    set_binding(f.host, 0x141, L"zp_a", L"Alpha");
    set_binding(f.host, 0x141, L"zp_b", L"Beta");
    EXPECT_EQ(f.shortcuts.get_binding(0x141).ident, L"zp_b");
    EXPECT_EQ(db_ident(f.folder.database(), 0x141), "zp_b");
    EXPECT_EQ(db_count(f.folder.database()), "1");

    // Low 16 bits 0xFFFF mean "no combination", whatever bit 16 says.
    set_binding(f.host, 0xFFFF, L"zp_c", L"C");
    set_binding(f.host, 0x1FFFF, L"zp_c", L"C");
    set_binding(f.host, 0x142, L"", L"No ident");
    EXPECT_EQ(db_count(f.folder.database()), "1");
    // Bits no key code has are refused.
    f.shortcuts.set_binding(0x841, L"zp_c", L"C");
    f.shortcuts.set_binding(0x20041, L"zp_c", L"C");
    EXPECT_EQ(db_count(f.folder.database()), "1");

    // An ident bound twice answers the code that sorts first: low half first.
    set_binding(f.host, 0x10041, L"zp_b", L"Beta direct");
    auto ask = Reference_host::make_list();
    Param::write_text(ask.get(), L"id", L"zp_b");
    f.host.deliver(L"zp_action_key_binding", ask.get());
    EXPECT_EQ(Param::read_u32(ask.get(), L"key", 0), 0x10041u);
    auto unknown = Reference_host::make_list();
    Param::write_text(unknown.get(), L"id", L"zp_none");
    f.host.deliver(L"zp_action_key_binding", unknown.get());
    EXPECT_FALSE(Param::has_value(unknown.get(), L"key"));

    // Unbinding through an empty title removes the row too, so the binding
    // does not come back with the next reload.
    set_binding(f.host, 0x141, L"zp_b", L"");
    f.host.deliver(L"core__notify_data_update", nullptr);
    EXPECT_TRUE(f.shortcuts.get_binding(0x141).ident.empty());
    EXPECT_EQ(db_ident(f.folder.database(), 0x141), "<none>");

    set_binding(f.host, 0x241, L"zp_b", L"Beta ctrl");
    auto records = f.shortcuts.list_bindings();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].key_code, 0x10041u);
    EXPECT_EQ(records[1].key_code, 0x241u);
    f.shortcuts.remove_ident_bindings(L"zp_b");
    EXPECT_TRUE(f.shortcuts.list_bindings().empty());
    EXPECT_EQ(db_count(f.folder.database()), "0");

    set_binding(f.host, 0x141, L"zp_a", L"Alpha");
    auto remove = Reference_host::make_list();
    Param::write_u32(remove.get(), L"combi", 0x141);
    f.host.deliver(L"zp_action_remove_key_binding", remove.get());
    EXPECT_EQ(db_count(f.folder.database()), "0");

    // A change made to the file from outside shows after the notification.
    {
        Connection db = Db_files::open_raw(f.folder.database());
        ASSERT_TRUE(Db_files::run(db.get(), "INSERT INTO key_bindings VALUES (66, 'zp_x', 'X');"));
    }
    EXPECT_TRUE(f.shortcuts.get_binding(0x42).ident.empty());
    f.host.deliver(L"core__notify_data_update", nullptr);
    EXPECT_EQ(f.shortcuts.get_binding(0x42).ident, L"zp_x");
}

TEST(Keyboard_shortcuts, malformed_parameters_fall_back_to_the_defaults) {
    Fixture f;
    ASSERT_TRUE(f.shortcuts.initialize());
    Counting_action action(L"zp_a", &f.host);
    set_binding(f.host, 0x41, L"zp_a", L"A");
    set_binding(f.host, 0x0, L"zp_zero", L"Zero");

    for (std::size_t size : {0u, 1u, 2u, 3u, 5u}) {
        // A key_down of the wrong size is absent: the key_up counts.
        auto list = Reference_host::make_list();
        set_bytes(list.get(), L"key_down", size, 0x41);
        Param::write_u32(list.get(), L"key_up", 0x41);
        f.host.deliver(L"key_processing", list.get());
        // Neither of the right size: nothing that holds 0x41 runs.
        auto bad = Reference_host::make_list();
        set_bytes(bad.get(), L"key_down", size, 0x41);
        set_bytes(bad.get(), L"key_up", size, 0x41);
        f.host.deliver(L"key_processing", bad.get());

        auto set = Reference_host::make_list();
        set_bytes(set.get(), L"combi", size, 0x42);
        Param::write_text(set.get(), L"id", L"zp_b");
        Param::write_text(set.get(), L"title", L"B");
        f.host.deliver(L"zp_action_set_key_binding", set.get());

        auto remove = Reference_host::make_list();
        set_bytes(remove.get(), L"combi", size, 0x41);
        f.host.deliver(L"zp_action_remove_key_binding", remove.get());
    }
    EXPECT_EQ(action.deactivations(0x41), 5u);
    EXPECT_EQ(action.activations(0x41), 0u);
    EXPECT_TRUE(f.shortcuts.get_binding(0x42).ident.empty());
    EXPECT_EQ(f.shortcuts.get_binding(0x41).ident, L"zp_a");
    // The default combination of a removal is 0: that binding went.
    EXPECT_TRUE(f.shortcuts.get_binding(0x0).ident.empty());

    // Child lists instead of values, absent values, no list at all.
    auto children = Reference_host::make_list();
    children->child(L"key_down");
    children->child(L"combi");
    children->child(L"id");
    for (const wchar_t* name : binding_messages) {
        f.host.deliver(name, children.get());
        f.shortcuts.process(name, static_cast<unsigned>(wcslen(name)), nullptr);
    }
    EXPECT_FALSE(Param::has_value(children.get(), L"key"));
    EXPECT_EQ(f.shortcuts.get_binding(0x41).ident, L"zp_a");
    EXPECT_EQ(action.total_runs(), 5u);
    EXPECT_EQ(db_count(f.folder.database()), "1");
}

TEST(Keyboard_shortcuts, an_unopenable_database_leaves_the_host_working) {
    Work_folder folder(L"shortcuts_nodb", false); // no plugins folder
    Trace_capture trace;
    Reference_host host;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts(&host, L"plugins\\zaptor.db", tasks);
    std::size_t before = trace.errors("Keyboard_shortcuts_impl::initialize").size();
    EXPECT_FALSE(shortcuts.initialize());
    auto errors = trace.errors("Keyboard_shortcuts_impl::initialize");
    ASSERT_EQ(errors.size(), before + 1);
    EXPECT_EQ(errors.back().rfind("Zaptor exception:", 0), 0u) << errors.back();
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(host.filter_count(name), 0u);
    EXPECT_EQ(host.keyboard_listener(), nullptr);

    shortcuts.set_binding(0x41, L"zp_a", L"A");
    shortcuts.reload();
    EXPECT_TRUE(shortcuts.list_bindings().empty());
    EXPECT_EQ(shortcuts.create_backup(folder.path()), 1);
    EXPECT_FALSE(Test_support::file_exists(folder.path() + L"\\zaptor.db"));

    // The host still delivers to others.
    Counting_action action(L"zp_a", &host);
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"request", L"execute");
    Param::write_u32(list.get(), L"deactivate", 0x41);
    host.deliver(L"zp_a", list.get());
    EXPECT_EQ(action.deactivations(0x41), 1u);
}

TEST(Keyboard_shortcuts, backup_and_restore_never_lose_the_bindings) {
    Fixture f;
    Trace_capture trace;
    std::size_t restore_errors = trace.errors("Keyboard_shortcuts_impl::restore_backup").size();
    std::size_t backup_errors = trace.errors("Keyboard_shortcuts_impl::create_backup").size();
    ASSERT_TRUE(f.shortcuts.initialize());
    set_binding(f.host, 0x141, L"zp_a", L"Alpha");
    set_binding(f.host, 0x10241, L"zp_d", L"Direct");

    std::wstring backup = Test_support::make_temp_directory(L"shortcuts_backup");
    EXPECT_EQ(f.shortcuts.create_backup(backup), 0);
    EXPECT_EQ(Test_support::read_file(backup + L"\\zaptor.db"),
              Test_support::read_file(f.folder.database()));
    // Overwrites an older backup.
    set_binding(f.host, 0x142, L"zp_b", L"Beta");
    EXPECT_EQ(f.shortcuts.create_backup(backup + L"\\"), 0);
    EXPECT_EQ(db_count(backup + L"\\zaptor.db"), "3");

    f.shortcuts.remove_binding(0x141);
    f.shortcuts.remove_binding(0x142);
    f.shortcuts.remove_binding(0x10241);
    EXPECT_EQ(f.shortcuts.restore_backup(backup), 0);
    EXPECT_EQ(f.shortcuts.get_binding(0x141).ident, L"zp_a");
    EXPECT_EQ(db_count(f.folder.database()), "3");
    // Back in service: subscribed once, listener registered and loaded.
    EXPECT_EQ(f.host.filter_count(L"key_processing"), 1u);
    ASSERT_EQ(f.host.keyboard_listener(), f.shortcuts.listener());
    auto press = key_event(0x41, true);
    EXPECT_TRUE(f.host.keyboard_listener()->key_event(&press, listener_control));

    // A missing, foreign or damaged backup is refused and changes nothing.
    std::wstring empty = Test_support::make_temp_directory(L"shortcuts_empty");
    EXPECT_EQ(f.shortcuts.restore_backup(empty), 1);
    std::wstring foreign = Test_support::make_temp_directory(L"shortcuts_foreign");
    ASSERT_TRUE(Test_support::write_file(foreign + L"\\zaptor.db", "not a database at all"));
    EXPECT_EQ(f.shortcuts.restore_backup(foreign), 1);
    EXPECT_EQ(f.shortcuts.restore_backup(L""), 1);
    EXPECT_EQ(f.shortcuts.get_binding(0x142).ident, L"zp_b");
    EXPECT_EQ(db_count(f.folder.database()), "3");
    EXPECT_EQ(f.host.filter_count(L"key_processing"), 1u);
    EXPECT_EQ(trace.errors("Keyboard_shortcuts_impl::restore_backup").size(), restore_errors + 3);

    EXPECT_EQ(f.shortcuts.create_backup(empty + L"\\no\\such\\folder"), 1);
    EXPECT_EQ(f.shortcuts.create_backup(L""), 1);
    EXPECT_EQ(trace.errors("Keyboard_shortcuts_impl::create_backup").size(), backup_errors + 2);
    for (auto& dir : {backup, empty, foreign})
        Test_support::remove_tree(dir);
}
