// The action base through a reference host: subscriptions, the dispatcher,
// descriptors and the listing broadcast.
#include "actions_test_support.h"

#include "host/parameter_list.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<Parameter_list> execute_list() {
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"request", L"execute");
    return list;
}

} // namespace

TEST(FilterBaseKeyAction, subscribes_for_its_life) {
    Reference_host host;
    {
        Counting_action action(L"zp_test", &host);
        EXPECT_EQ(host.filter_count(L"zp_test"), 1u);
        EXPECT_EQ(host.filter_count(L"zp_broadcast_get_action_text"), 1u);
    }
    EXPECT_EQ(host.filter_count(L"zp_test"), 0u);
    EXPECT_EQ(host.filter_count(L"zp_broadcast_get_action_text"), 0u);
}

TEST(FilterBaseKeyAction, execute_runs_activate_and_deactivate_with_exact_values) {
    Reference_host host;
    Counting_action action(L"zp_test", &host);

    auto neither = execute_list();
    EXPECT_EQ(action.process(L"zp_test", 7, neither.get()), 0);
    EXPECT_EQ(action.total_runs(), 0u);

    auto both = execute_list();
    Param::write_u32(both.get(), L"activate", 0x141);
    Param::write_u32(both.get(), L"deactivate", 0x241);
    // The deactivation's result wins; each saw its own key code.
    EXPECT_EQ(action.process(L"zp_test", 7, both.get()), 9);
    EXPECT_EQ(action.activations(0x141), 1u);
    EXPECT_EQ(action.deactivations(0x241), 1u);
    EXPECT_EQ(action.key_code(), 0x241u);

    auto press = execute_list();
    Param::write_u32(press.get(), L"activate", 0x10041);
    EXPECT_EQ(action.process(L"zp_test", 7, press.get()), 7);
    EXPECT_EQ(action.activations(0x10041), 1u);

    // Wrong sizes count as absent; a child list is no value.
    for (std::size_t size : {0u, 1u, 2u, 3u, 5u, 8u}) {
        auto bad = execute_list();
        set_bytes(bad.get(), L"activate", size);
        set_bytes(bad.get(), L"deactivate", size);
        EXPECT_EQ(action.process(L"zp_test", 7, bad.get()), 0) << size;
    }
    auto child = execute_list();
    child->child(L"deactivate");
    action.process(L"zp_test", 7, child.get());
    EXPECT_EQ(action.total_runs(), 3u);
    EXPECT_EQ(action.key_code(), 0x10041u);

    // A different name, even one that differs in length only, is not ours.
    auto other = execute_list();
    Param::write_u32(other.get(), L"deactivate", 0x41);
    action.process(L"zp_tes", 6, other.get());
    action.process(L"zp_test2", 8, other.get());
    action.process(nullptr, 0, other.get());
    action.process(L"zp_test", 7, nullptr);
    EXPECT_EQ(action.total_runs(), 3u);

    // Delivered through the host too.
    host.deliver(L"zp_test", other.get());
    EXPECT_EQ(action.deactivations(0x41), 1u);
}

TEST(FilterBaseKeyAction, requests_other_than_execute) {
    Reference_host host;
    Counting_action action(L"zp_test", &host, L"Name", L"Descr");

    auto descriptor = Reference_host::make_list();
    Param::write_text(descriptor.get(), L"request", L"get_descriptor");
    Param::write_u32(descriptor.get(), L"deactivate", 0x41);
    host.deliver(L"zp_test", descriptor.get());
    EXPECT_EQ(Param::read_text(descriptor.get(), L"ident"), L"zp_test");
    EXPECT_EQ(Param::read_text(descriptor.get(), L"name"), L"Name");
    EXPECT_EQ(Param::read_text(descriptor.get(), L"description"), L"Descr");
    EXPECT_EQ(descriptor->find_child(L"zp_test"), nullptr);
    EXPECT_EQ(action.total_runs(), 0u);

    for (const wchar_t* request : {L"", L"Execute", L"execute ", L"run"}) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", request);
        Param::write_u32(list.get(), L"deactivate", 0x41);
        host.deliver(L"zp_test", list.get());
        EXPECT_FALSE(Param::has_value(list.get(), L"name"));
    }
    // A request that is not text (a child list) or absent is empty.
    auto no_request = Reference_host::make_list();
    no_request->child(L"request");
    Param::write_u32(no_request.get(), L"deactivate", 0x41);
    host.deliver(L"zp_test", no_request.get());
    EXPECT_EQ(action.total_runs(), 0u);
}

TEST(FilterBaseKeyAction, default_handler_runs_only_execute_for_its_ident) {
    Reference_host host;
    Counting_action action(L"zp_test", &host);
    Counting_action other(L"zp_other", &host);

    auto run = execute_list();
    Param::write_text(run.get(), L"vq_default_action_handler", L"zp_test");
    Param::write_u32(run.get(), L"deactivate", 0x42);
    EXPECT_EQ(action.process(L"vq_default_action_handler", 25, run.get()), 9);
    EXPECT_EQ(other.process(L"vq_default_action_handler", 25, run.get()), 0);
    EXPECT_EQ(action.deactivations(0x42), 1u);
    EXPECT_EQ(other.total_runs(), 0u);

    auto descriptor = Reference_host::make_list();
    Param::write_text(descriptor.get(), L"request", L"get_descriptor");
    Param::write_text(descriptor.get(), L"vq_default_action_handler", L"zp_test");
    action.process(L"vq_default_action_handler", 25, descriptor.get());
    EXPECT_FALSE(Param::has_value(descriptor.get(), L"name"));
}

TEST(FilterBaseKeyAction, broadcast_answers_into_a_child_per_ident) {
    Reference_host host;
    Counting_action upper(L"zp_uppercase", &host, L"To upper case",
                          L"Converts the selected text to all upper case letters.");
    Counting_action base64(L"zp_base64_decode", &host, L"Base64 decode",
                           L"Decodes a base64 encoded string.");
    Counting_action tapquill(L"zp_tapquill", &host, L"Tapquill", L"Opens a search field.");

    auto all = Reference_host::make_list();
    host.deliver(L"zp_broadcast_get_action_text", all.get());
    for (const wchar_t* ident : {L"zp_uppercase", L"zp_base64_decode", L"zp_tapquill"}) {
        Parameters* child = all->find_child(ident);
        ASSERT_NE(child, nullptr) << ident;
        EXPECT_EQ(Param::read_text(child, L"ident"), ident);
    }
    EXPECT_EQ(Param::read_text(all->find_child(L"zp_base64_decode"), L"name"), L"Base64 decode");
    EXPECT_FALSE(Param::has_value(all.get(), L"ident"));

    auto one = Reference_host::make_list();
    Param::write_text(one.get(), L"ident", L"zp_tapquill");
    host.deliver(L"zp_broadcast_get_action_text", one.get());
    EXPECT_NE(one->find_child(L"zp_tapquill"), nullptr);
    EXPECT_EQ(one->find_child(L"zp_uppercase"), nullptr);

    // Text after the NUL does not count; an ident without data asks everyone.
    auto trailing = Reference_host::make_list();
    const wchar_t raw[] = L"zp_tapquill\0junk";
    trailing->set(L"ident", raw, sizeof raw);
    host.deliver(L"zp_broadcast_get_action_text", trailing.get());
    EXPECT_NE(trailing->find_child(L"zp_tapquill"), nullptr);
    EXPECT_EQ(trailing->find_child(L"zp_uppercase"), nullptr);
    auto empty_ident = Reference_host::make_list();
    empty_ident->set(L"ident", nullptr, 0);
    host.deliver(L"zp_broadcast_get_action_text", empty_ident.get());
    EXPECT_NE(empty_ident->find_child(L"zp_uppercase"), nullptr);
    // A single byte is no ident of anyone.
    auto odd = Reference_host::make_list();
    set_bytes(odd.get(), L"ident", 1);
    host.deliver(L"zp_broadcast_get_action_text", odd.get());
    EXPECT_EQ(odd->find_child(L"zp_uppercase"), nullptr);

    // Search is an exact, case-sensitive substring of name or description;
    // the child of an action that does not match stays empty.
    auto search = Reference_host::make_list();
    Param::write_text(search.get(), L"search_text", L"upper");
    host.deliver(L"zp_broadcast_get_action_text", search.get());
    EXPECT_EQ(Param::read_text(search->find_child(L"zp_uppercase"), L"name"), L"To upper case");
    Parameters* skipped = search->find_child(L"zp_base64_decode");
    ASSERT_NE(skipped, nullptr);
    EXPECT_FALSE(Param::has_value(skipped, L"name"));

    auto capital = Reference_host::make_list();
    Param::write_text(capital.get(), L"search_text", L"Upper");
    host.deliver(L"zp_broadcast_get_action_text", capital.get());
    EXPECT_FALSE(Param::has_value(capital->find_child(L"zp_uppercase"), L"name"));

    auto by_description = Reference_host::make_list();
    Param::write_text(by_description.get(), L"search_text", L"base64 encoded");
    host.deliver(L"zp_broadcast_get_action_text", by_description.get());
    EXPECT_TRUE(Param::has_value(by_description->find_child(L"zp_base64_decode"), L"name"));
    EXPECT_EQ(upper.total_runs() + base64.total_runs() + tapquill.total_runs(), 0u);
}
