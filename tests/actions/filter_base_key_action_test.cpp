// The action base through a reference host: subscriptions, the dispatcher,
// descriptors and the listing broadcast.
#include "actions_test_support.h"

#include <gtest/gtest.h>

TEST(FilterBaseKeyAction, execute_runs_activate_and_deactivate_with_exact_values) {
    Reference_host host;
    {
        Counting_action action(L"zp_test", &host);
        auto both = u32_list(L"activate", 0x141, L"execute");
        Param::write_u32(both.get(), L"deactivate", 0x241);
        // The deactivation's result wins; each saw its own key code.
        EXPECT_EQ(action.process(L"zp_test", 7, both.get()), 9);
        EXPECT_EQ(action.activations(0x141), 1u);
        EXPECT_EQ(action.deactivations(0x241), 1u);
        EXPECT_EQ(action.process(L"zp_test", 7, u32_list(nullptr, 0, L"execute").get()), 0);

        // Wrong sizes count as absent; a child list is no value; other
        // requests, other names and the default handler for another ident run nothing.
        for (std::size_t size : {0u, 1u, 2u, 3u, 5u, 8u}) {
            auto bad = u32_list(nullptr, 0, L"execute");
            set_bytes(bad.get(), L"activate", size);
            set_bytes(bad.get(), L"deactivate", size);
            EXPECT_EQ(action.process(L"zp_test", 7, bad.get()), 0) << size;
        }
        auto child = u32_list(nullptr, 0, L"execute");
        child->child(L"deactivate");
        action.process(L"zp_test", 7, child.get());
        for (const wchar_t* request : {L"", L"Execute", L"execute ", L"run"})
            host.deliver(L"zp_test", u32_list(L"deactivate", 0x41, request).get());
        auto other = u32_list(L"deactivate", 0x41, L"execute");
        action.process(L"zp_tes", 6, other.get());
        action.process(L"zp_test2", 8, other.get());
        action.process(nullptr, 0, other.get());
        action.process(L"zp_test", 7, nullptr);
        Param::write_text(other.get(), L"vq_default_action_handler", L"zp_other");
        action.process(L"vq_default_action_handler", 25, other.get());
        EXPECT_EQ(action.total_runs(), 2u);
        Param::write_text(other.get(), L"vq_default_action_handler", L"zp_test");
        EXPECT_EQ(action.process(L"vq_default_action_handler", 25, other.get()), 9);
        EXPECT_EQ(action.deactivations(0x41), 1u);
    }
    EXPECT_EQ(host.filter_count(L"zp_test"), 0u);
    EXPECT_EQ(host.filter_count(L"zp_broadcast_get_action_text"), 0u);
}

TEST(FilterBaseKeyAction, descriptor_and_listing_broadcast) {
    Reference_host host;
    Counting_action upper(L"zp_uppercase", &host, L"To upper case", L"Converts to upper case.");
    Counting_action base64(L"zp_base64_decode", &host, L"Base64 decode", L"Decodes base64 text.");

    auto descriptor = u32_list(L"deactivate", 0x41, L"get_descriptor");
    host.deliver(L"zp_uppercase", descriptor.get());
    EXPECT_EQ(Param::read_text(descriptor.get(), L"ident"), L"zp_uppercase");
    EXPECT_EQ(Param::read_text(descriptor.get(), L"name"), L"To upper case");
    EXPECT_EQ(Param::read_text(descriptor.get(), L"description"), L"Converts to upper case.");

    // Text after the NUL does not count; a single byte is no ident.
    const wchar_t trailing[] = L"zp_base64_decode\0junk";
    auto one = Reference_host::make_list();
    one->set(L"ident", trailing, sizeof trailing);
    host.deliver(L"zp_broadcast_get_action_text", one.get());
    EXPECT_EQ(Param::read_text(one->find_child(L"zp_base64_decode"), L"name"), L"Base64 decode");
    EXPECT_EQ(one->find_child(L"zp_uppercase"), nullptr);
    auto odd = Reference_host::make_list();
    set_bytes(odd.get(), L"ident", 1);
    host.deliver(L"zp_broadcast_get_action_text", odd.get());
    EXPECT_EQ(odd->find_child(L"zp_uppercase"), nullptr);

    // Search is an exact, case-sensitive substring of name or description;
    // the child of an action that does not match stays empty.
    const std::pair<const wchar_t*, bool> searches[] = {
        {L"upper", true}, {L"Upper", false}, {L"to upper case.", true}};
    for (auto [search, upper_named] : searches) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"search_text", search);
        host.deliver(L"zp_broadcast_get_action_text", list.get());
        ASSERT_NE(list->find_child(L"zp_uppercase"), nullptr);
        EXPECT_EQ(Param::has_value(list->find_child(L"zp_uppercase"), L"name"), upper_named)
            << search;
    }
    EXPECT_EQ(upper.total_runs() + base64.total_runs(), 0u);
}
