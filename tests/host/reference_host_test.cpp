// The host contract as a plug-in sees it: registration, delivery order, the
// default handler, the host's own services; calls go through vtable slots.
#include "host/reference_host.h"
#include "slot_call.h"

#include "contract/parameter_values.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

enum Host_slot {
    subscribe_slot = 1,
    register_slot = 2,
    unsubscribe_slot = 3,
    unregister_slot = 4,
    send_slot = 6,
    create_slot = 7
};

struct Journal {
    std::mutex mutex;
    std::vector<std::wstring> lines;
    void add(const std::wstring& line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }
};

class Recording_filter final : public Filter {
public:
    Recording_filter(std::wstring tag, Journal& journal)
        : tag_(std::move(tag)), journal_(journal) {}
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override {
        journal_.add(tag_ + L":" + std::wstring(name, length));
        if (action)
            action(list);
        return 0;
    }
    std::function<void(Parameters*)> action;

private:
    std::wstring tag_;
    Journal& journal_;
};

void subscribe(Reference_host& host, const std::wstring& name, Filter* filter) {
    call_slot<void>(static_cast<Interaction_if*>(&host), subscribe_slot, name.c_str(),
                    static_cast<unsigned int>(name.size()), filter);
}

int send(Reference_host& host, const std::wstring& name, Parameters* list) {
    return call_slot<int>(static_cast<Interaction_if*>(&host), send_slot, name.c_str(),
                          static_cast<unsigned int>(name.size()), list);
}

Param::Owned_parameters create(Reference_host& host) {
    return Param::Owned_parameters(
        call_slot<Parameters*>(static_cast<Interaction_if*>(&host), create_slot));
}

} // namespace

TEST(Reference_host, delivers_in_subscription_order_and_withdraws_through_slots) {
    Reference_host host;
    Journal journal;
    Recording_filter a(L"a", journal), b(L"b", journal), c(L"c", journal);
    subscribe(host, L"msg", &b);
    const Name_ref names[] = {{L"other", 5}, {L"msgXYZ", 3}}; // length 3: "msg"
    unsigned int id = call_slot<unsigned int>(static_cast<Interaction_if*>(&host), register_slot,
                                              static_cast<Filter*>(&a), names, 2u);
    EXPECT_NE(id, 0u);
    subscribe(host, L"msg", &c);

    auto list = create(host);
    EXPECT_EQ(send(host, L"msg", list.get()), 3);
    EXPECT_EQ(journal.lines, (std::vector<std::wstring>{L"b:msg", L"a:msg", L"c:msg"}));

    journal.lines.clear();

    call_slot<void>(static_cast<Interaction_if*>(&host), unsubscribe_slot, L"msg", 3u,
                    static_cast<Filter*>(&b));
    host.deliver(L"msg", list.get());
    EXPECT_EQ(journal.lines, (std::vector<std::wstring>{L"a:msg", L"c:msg"}));

    journal.lines.clear();
    call_slot<void>(static_cast<Interaction_if*>(&host), unregister_slot, id);
    EXPECT_EQ(host.filter_count(L"other"), 0u);
    host.deliver(L"msg", list.get());
    EXPECT_EQ(journal.lines, (std::vector<std::wstring>{L"c:msg"}));

    // Withdrawing what is not there is traced and changes nothing.
    call_slot<void>(static_cast<Interaction_if*>(&host), unregister_slot, id);
    call_slot<void>(static_cast<Interaction_if*>(&host), unsubscribe_slot, L"msg", 3u,
                    static_cast<Filter*>(&b));
    EXPECT_EQ(host.filter_count(L"msg"), 1u);
}

TEST(Reference_host, unknown_names_go_to_the_default_handler_with_their_name) {
    Reference_host host;
    Journal journal;
    Recording_filter first(L"1", journal), second(L"2", journal), named(L"n", journal);
    std::wstring seen;
    first.action = [&](Parameters* list) {
        seen = Param::read_text(list, L"vq_default_action_handler");
    };
    subscribe(host, L"vq_default_action_handler", &first);
    subscribe(host, L"vq_default_action_handler", &second);
    subscribe(host, L"known", &named);

    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), L"activate", 0x141);
    EXPECT_EQ(host.deliver(L"zp_7_user_id", list.get()), 2);
    EXPECT_EQ(journal.lines, (std::vector<std::wstring>{L"1:vq_default_action_handler",
                                                        L"2:vq_default_action_handler"}));
    EXPECT_EQ(seen, L"zp_7_user_id");
    // Same list: what the sender put in is still there.
    EXPECT_EQ(Param::read_u32(list.get(), L"activate", 0), 0x141u);

    // A name with a filter does not reach the default handler.
    journal.lines.clear();
    auto plain = create(host);
    send(host, L"known", plain.get());
    EXPECT_EQ(journal.lines, (std::vector<std::wstring>{L"n:known"}));
    EXPECT_FALSE(Param::has_value(plain.get(), L"vq_default_action_handler"));
}

TEST(Reference_host, filters_may_send_and_withdraw_during_delivery) {
    Reference_host host;
    Journal journal;
    Recording_filter outer(L"outer", journal), inner(L"inner", journal), later(L"later", journal);
    subscribe(host, L"inner_msg", &inner);
    // Sending from inside process must not deadlock on the host's lock.
    outer.action = [&](Parameters*) {
        auto nested = create(host);
        send(host, L"inner_msg", nested.get());
        call_slot<void>(static_cast<Interaction_if*>(&host), unsubscribe_slot, L"outer_msg", 9u,
                        static_cast<Filter*>(&later));
    };
    subscribe(host, L"outer_msg", &outer);
    subscribe(host, L"outer_msg", &later);
    auto list = create(host);
    // "later" was withdrawn by "outer" before its turn: skipped.
    EXPECT_EQ(send(host, L"outer_msg", list.get()), 1);
    EXPECT_EQ(journal.lines, (std::vector<std::wstring>{L"outer:outer_msg", L"inner:inner_msg"}));
}

TEST(Reference_host, keeps_store_and_listener) {
    Reference_host host;
    auto store = create(host);
    Param::write_text(store.get(), L"key", L"image_folder");
    Param::write_text(store.get(), L"value", L"C:\\img");
    send(host, L"kvstore_store", store.get());
    EXPECT_EQ(Param::read_text(store.get(), L"result", L"<none>"), L"<none>");
    std::wstring value;
    EXPECT_TRUE(host.kv_read(L"image_folder", value));
    EXPECT_EQ(value, L"C:\\img");

    struct Listener final : Keyboard_listener {
        void* destroy(unsigned int) override { return this; }
        bool key_event(const KBDLLHOOKSTRUCT*, unsigned int) override { return false; }
    } listener, other;
    auto send_pointer = [&](const wchar_t* name, Keyboard_listener* pointer, unsigned int size) {
        auto list = create(host);
        list->set(L"listener", &pointer, size);
        send(host, name, list.get());
    };
    // A pointer cut to the wrong size is refused; so is deregistering another.
    send_pointer(L"register_keyboard_listener", &listener, sizeof(void*) - 1);
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    send_pointer(L"register_keyboard_listener", &listener, sizeof(void*));
    send_pointer(L"deregister_keyboard_listener", &other, sizeof(void*));
    EXPECT_EQ(host.keyboard_listener(), &listener);
    send_pointer(L"deregister_keyboard_listener", &listener, sizeof(void*));
    EXPECT_EQ(host.keyboard_listener(), nullptr);

    host.set_parameters_available(false);
    EXPECT_EQ(create(host), nullptr);
}
