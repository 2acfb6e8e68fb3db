// The host's parameter list, called through its vtable slots as a plug-in
// built by another compiler would.
#include "host/parameter_list.h"
#include "host/reference_host.h"
#include "slot_call.h"

#include "contract/parameter_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Slot {
    destroy_slot = 0,
    set_text_slot = 1,
    set_slot = 2,
    get_slot = 3,
    child_slot = 6,
    find_child_slot = 7,
    for_each_child_slot = 9,
    visit_children_slot = 10
};

std::vector<unsigned char> get_bytes(Parameters* list, const wchar_t* key,
                                     bool* present = nullptr) {
    const void* data = nullptr;
    unsigned int size = 12345;
    bool found = call_slot<bool>(list, get_slot, key, &data, &size);
    if (present)
        *present = found;
    if (!found || !data)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

struct Recording_visitor final : Child_visitor {
    std::vector<std::pair<std::wstring, Parameters*>> seen;
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override { seen.emplace_back(key, child); }
};

} // namespace

TEST(Parameter_list, set_and_get_through_slots_keep_exact_bytes) {
    auto list = Reference_host::make_list();
    const unsigned char three[] = {1, 2, 3};
    call_slot<void>(list.get(), set_slot, L"raw", static_cast<const void*>(three), 3u);
    std::uint32_t number = 0xA1B2C3D4;
    call_slot<void>(list.get(), set_slot, L"n", static_cast<const void*>(&number), 4u);

    EXPECT_EQ(get_bytes(list.get(), L"raw"), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(Param::read_u32(list.get(), L"n", 0), 0xA1B2C3D4u);
    // A 4-byte value is no flag and no 16-bit number.
    EXPECT_EQ(Param::read_u16(list.get(), L"n", 7), 7u);
    EXPECT_TRUE(Param::read_flag(list.get(), L"n", true));

    bool present = true;
    EXPECT_TRUE(get_bytes(list.get(), L"missing", &present).empty());
    EXPECT_FALSE(present);

    // Setting again replaces the bytes, including with a shorter value.
    call_slot<void>(list.get(), set_slot, L"raw", static_cast<const void*>(three), 1u);
    EXPECT_EQ(get_bytes(list.get(), L"raw"), (std::vector<unsigned char>{1}));
    // An empty value is present with no data.
    call_slot<void>(list.get(), set_slot, L"empty", static_cast<const void*>(nullptr), 0u);
    get_bytes(list.get(), L"empty", &present);
    EXPECT_TRUE(present);
}

TEST(Parameter_list, set_text_stores_the_characters_and_one_nul) {
    auto list = Reference_host::make_list();
    const wchar_t* text = L"Hello world";
    // Only the first five characters count; the rest must not leak in.
    call_slot<void>(list.get(), set_text_slot, L"t", text, 5u);
    std::vector<unsigned char> expected = {'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0, 0, 0};
    EXPECT_EQ(get_bytes(list.get(), L"t"), expected);

    // The same bytes as set of a NUL-terminated text.
    Param::write_text(list.get(), L"u", L"Hello");
    EXPECT_EQ(get_bytes(list.get(), L"u"), expected);

    call_slot<void>(list.get(), set_text_slot, L"empty", static_cast<const wchar_t*>(nullptr), 0u);
    EXPECT_EQ(get_bytes(list.get(), L"empty"), (std::vector<unsigned char>{0, 0}));
}

TEST(Parameter_list, many_values_and_children_stay_findable_and_replaceable) {
    // Past a few entries the list looks keys up through an index.
    auto list = Reference_host::make_list();
    std::vector<Parameters*> children;
    for (std::uint32_t i = 0; i < 40; ++i) {
        const std::wstring key = L"k" + std::to_wstring(i);
        Param::write_u32(list.get(), key.c_str(), i);
        children.push_back(list->child(key.c_str()));
    }
    Param::write_u32(list.get(), L"k3", 300);
    for (std::uint32_t i = 0; i < 40; ++i) {
        const std::wstring key = L"k" + std::to_wstring(i);
        EXPECT_EQ(Param::read_u32(list.get(), key.c_str(), 0), i == 3 ? 300u : i) << i;
        EXPECT_EQ(list->find_child(key.c_str()), children[i]) << i;
        EXPECT_EQ(list->child(key.c_str()), children[i]) << i;
    }
    EXPECT_EQ(list->entries().size(), 80u);
    EXPECT_EQ(list->find_child(L"k40"), nullptr);
}

TEST(Parameter_list, children_are_created_once_and_found_by_name) {
    auto list = Reference_host::make_list();
    EXPECT_EQ(call_slot<Parameters*>(list.get(), find_child_slot, L"x"), nullptr);
    Parameters* x = call_slot<Parameters*>(list.get(), child_slot, L"x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(call_slot<Parameters*>(list.get(), child_slot, L"x"), x);
    EXPECT_EQ(call_slot<Parameters*>(list.get(), find_child_slot, L"x"), x);
    Parameters* y = call_slot<Parameters*>(list.get(), child_slot, L"y");

    Recording_visitor visitor;
    call_slot<void>(list.get(), visit_children_slot, static_cast<Child_visitor*>(&visitor));
    ASSERT_EQ(visitor.seen.size(), 2u);
    EXPECT_EQ(visitor.seen[0].first, L"x");
    EXPECT_EQ(visitor.seen[0].second, x);
    EXPECT_EQ(visitor.seen[1].second, y);

    std::vector<std::pair<std::wstring, Parameters*>> called;
    Child_callback callback = [](void* context, const wchar_t* key, Parameters* child) {
        static_cast<std::vector<std::pair<std::wstring, Parameters*>>*>(context)->emplace_back(
            key, child);
    };
    call_slot<void>(list.get(), for_each_child_slot, callback, static_cast<void*>(&called));
    EXPECT_EQ(called, visitor.seen);
}

TEST(Parameter_list, destroy_frees_plugin_lists_and_refuses_host_lists) {
    Reference_host host;
    Parameters* owned = host.create_parameters();
    ASSERT_NE(owned, nullptr);
    Param::write_u32(owned, L"a", 1);
    Parameters* child = owned->child(L"c");
    Param::write_u32(child, L"b", 2);
    // A plug-in freeing a child list would leave its parent dangling: ignored.
    EXPECT_EQ(call_slot<void*>(child, destroy_slot, 1u), static_cast<void*>(child));
    EXPECT_EQ(Param::read_u32(owned->find_child(L"c"), L"b", 0), 2u);
    // destroy(0) empties without freeing.
    EXPECT_EQ(call_slot<void*>(owned, destroy_slot, 0u), static_cast<void*>(owned));
    EXPECT_FALSE(Param::has_value(owned, L"a"));
    EXPECT_EQ(owned->find_child(L"c"), nullptr);
    EXPECT_EQ(call_slot<void*>(owned, destroy_slot, 1u), static_cast<void*>(owned));

    auto host_list = Reference_host::make_list();
    Param::write_u32(host_list.get(), L"kept", 9);
    call_slot<void*>(host_list.get(), destroy_slot, 1u);
    EXPECT_EQ(Param::read_u32(host_list.get(), L"kept", 0), 9u);
}

TEST(Parameter_list, bad_arguments_store_nothing_and_do_not_crash) {
    auto list = Reference_host::make_list();
    std::uint32_t n = 1;
    call_slot<void>(list.get(), set_slot, static_cast<const wchar_t*>(nullptr),
                    static_cast<const void*>(&n), 4u);
    call_slot<void>(list.get(), set_slot, L"k", static_cast<const void*>(nullptr), 4u);
    call_slot<void>(list.get(), set_text_slot, L"t", static_cast<const wchar_t*>(nullptr), 3u);
    call_slot<void>(list.get(), visit_children_slot, static_cast<Child_visitor*>(nullptr));
    for (int reserved : {4, 5, 8})
        call_slot<void>(list.get(), reserved);
    EXPECT_TRUE(list->entries().empty());
    EXPECT_EQ(call_slot<Parameters*>(list.get(), child_slot, static_cast<const wchar_t*>(nullptr)),
              nullptr);
    // A presence test may pass no out pointers.
    Param::write_u32(list.get(), L"k", 3);
    EXPECT_TRUE(call_slot<bool>(list.get(), get_slot, L"k", static_cast<const void**>(nullptr),
                                static_cast<unsigned int*>(nullptr)));
}
