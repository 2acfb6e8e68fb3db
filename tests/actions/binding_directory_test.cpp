#include "actions_test_support.h"

#include "actions/binding_directory.h"
#include "host/parameter_list.h"

#include <gtest/gtest.h>

namespace {

// Answers the listing broadcast with a child that has an ident but no name,
// as a broken or half-deleted action would.
struct Nameless_filter final : Filter {
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t*, unsigned int, Parameters* list) override {
        Param::write_text(list->child(L"zp_nameless"), L"ident", L"zp_nameless");
        Param::write_text(list->child(L"zp_noident"), L"name", L"No ident");
        return 0;
    }
};

} // namespace

TEST(Binding_directory, lists_actions_and_bindings_with_current_texts) {
    Work_folder folder(L"directory");
    Reference_host host;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts(&host, L"plugins\\zaptor.db", tasks);
    ASSERT_TRUE(shortcuts.initialize());
    Binding_directory directory(
        &host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &shortcuts));
    Counting_action upper(L"zp_uppercase", &host, L"To upper case", L"Upper.");
    Counting_action lower(L"zp_lowercase", &host, L"To lower case", L"");
    Nameless_filter nameless;
    host.subscribe(L"zp_broadcast_get_action_text", 28, &nameless);

    auto actions = directory.action_texts();
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].ident, L"zp_uppercase");
    EXPECT_EQ(actions[0].name, L"To upper case");
    EXPECT_EQ(actions[0].description, L"Upper.");
    EXPECT_EQ(actions[0].key_code, 0xFFFFu);
    EXPECT_EQ(actions[1].ident, L"zp_lowercase");
    EXPECT_EQ(actions[1].description, L"");

    directory.store_binding(0x241, L"zp_uppercase", L"Stored upper");
    directory.store_binding(0x10141, L"zp_gone", L"Deleted action");
    directory.store_binding(0x41, L"zp_lowercase", L"Stored lower");
    EXPECT_EQ(directory.binding_of(0x241).ident, L"zp_uppercase");
    EXPECT_EQ(directory.binding_of(0x241).name, L"Stored upper");
    EXPECT_TRUE(directory.binding_of(0x242).ident.empty());

    auto rows = directory.bound_rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].key_code, 0x41u);
    EXPECT_EQ(rows[0].name, L"To lower case");
    EXPECT_EQ(rows[1].key_code, 0x10141u);
    EXPECT_EQ(rows[1].name, L"Deleted action");
    EXPECT_EQ(rows[1].description, L"");
    EXPECT_EQ(rows[2].key_code, 0x241u);
    EXPECT_EQ(rows[2].name, L"To upper case");
    EXPECT_EQ(rows[2].description, L"Upper.");
    // Asking for descriptors runs nothing.
    EXPECT_EQ(upper.total_runs() + lower.total_runs(), 0u);

    directory.remove_binding(0x10141);
    EXPECT_EQ(directory.bound_rows().size(), 2u);

    // A host without lists: no actions, stored names, no descriptions.
    host.set_parameters_available(false);
    EXPECT_TRUE(directory.action_texts().empty());
    rows = directory.bound_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, L"Stored lower");
    EXPECT_EQ(rows[0].description, L"");
    host.set_parameters_available(true);
    host.unsubscribe(L"zp_broadcast_get_action_text", 28, &nameless);

    Binding_directory detached(&host, nullptr);
    EXPECT_TRUE(detached.bound_rows().empty());
    EXPECT_TRUE(detached.binding_of(0x41).ident.empty());
    detached.store_binding(0x42, L"zp_x", L"X");
}
