// The host's parts. Its contract is called as a plug-in built by another
// compiler would: through vtable slots (thiscall on i686), with exact bytes.
#include "host/key_router.h"
#include "host/parameter_list.h"
#include "host/reference_host.h"
#include "host/send_input_typist.h"
#include "host/typing_decoder.h"

#include "contract/parameter_values.h"
#include "target_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

#if defined(__i386__)
#define SLOT_THISCALL __attribute__((thiscall))
#else
#define SLOT_THISCALL
#endif

template <class R, class... Args> R call_slot(void* object, int slot, Args... args) {
    using Function = R(SLOT_THISCALL*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Function>(table[slot])(object, args...);
}

// Parameters slots, then Interaction_if slots.
enum { destroy_slot, set_text_slot, set_slot, get_slot, child_slot = 6, find_child_slot };
enum { for_each_child_slot = 9, visit_children_slot };
enum { subscribe_slot = 1, register_slot, unsubscribe_slot, unregister_slot };
enum { send_slot = 6, create_slot };

using Bytes = std::vector<unsigned char>;
using Children = std::vector<std::pair<std::wstring, Parameters*>>;
using Calls = std::vector<std::pair<DWORD, unsigned int>>; // (vk, modifiers)

struct Recording_visitor final : Child_visitor {
    Children seen;
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override { seen.emplace_back(key, child); }
};

struct Recording_filter final : Filter {
    Recording_filter(std::wstring tag, std::vector<std::wstring>& journal)
        : tag(std::move(tag)), journal(journal) {}
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override {
        journal.push_back(tag + L":" + std::wstring(name, length));
        if (action)
            action(list);
        return 0;
    }
    std::wstring tag;
    std::vector<std::wstring>& journal;
    std::function<void(Parameters*)> action;
};

struct Host {
    Reference_host host;
    Interaction_if* slots = &host;
    void with_name(int slot, const std::wstring& name, Filter* filter) {
        call_slot<void>(slots, slot, name.c_str(), unsigned(name.size()), filter);
    }
    int send(const std::wstring& name, Parameters* list) {
        return call_slot<int>(slots, send_slot, name.c_str(), unsigned(name.size()), list);
    }
    Param::Owned_parameters create() {
        return Param::Owned_parameters(call_slot<Parameters*>(slots, create_slot));
    }
};

KBDLLHOOKSTRUCT key(DWORD vk, bool down, DWORD flags = 0) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = vk;
    event.flags = (down ? 0 : LLKHF_UP) | flags;
    return event;
}

struct Listener final : Keyboard_listener {
    Calls calls;
    void* destroy(unsigned int) override { return this; }
    bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) override {
        calls.emplace_back(event->vkCode, modifiers);
        return event->vkCode == 'S';
    }
};

} // namespace

TEST(Parameter_list, slots_keep_exact_bytes_and_one_nul) {
    auto owned = Reference_host::make_list();
    Parameters* list = owned.get();
    // Bad arguments store nothing and do not crash.
    const std::uint32_t n = 0xA1B2C3D4;
    const wchar_t* const null_text = nullptr;
    call_slot<void>(list, set_slot, null_text, static_cast<const void*>(&n), 4u);
    call_slot<void>(list, set_slot, L"k", static_cast<const void*>(nullptr), 4u);
    call_slot<void>(list, set_text_slot, L"t", null_text, 3u);
    call_slot<void>(list, visit_children_slot, static_cast<Child_visitor*>(nullptr));
    for (int reserved : {4, 5, 8})
        call_slot<void>(list, reserved);
    EXPECT_EQ(call_slot<Parameters*>(list, child_slot, null_text), nullptr);
    EXPECT_TRUE(owned->entries().empty());

    const unsigned char raw[] = {1, 2, 3, 4};
    call_slot<void>(list, set_slot, L"raw", static_cast<const void*>(raw), 4u);
    call_slot<void>(list, set_slot, L"raw", static_cast<const void*>(raw), 3u); // replaced
    call_slot<void>(list, set_slot, L"n", static_cast<const void*>(&n), 4u);
    call_slot<void>(list, set_slot, L"empty", static_cast<const void*>(nullptr), 0u);
    // Only the first five characters count; the rest must not leak in.
    call_slot<void>(list, set_text_slot, L"t", L"Hello world", 5u);
    call_slot<void>(list, set_text_slot, L"no_text", null_text, 0u);
    Param::write_text(list, L"u", L"Hello");
    const Bytes hello = {'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0, 0, 0};
    const std::tuple<const wchar_t*, bool, Bytes> rows[] = {
        {L"raw", true, {1, 2, 3}}, {L"n", true, {0xD4, 0xC3, 0xB2, 0xA1}},
        {L"empty", true, {}},      {L"t", true, hello},
        {L"u", true, hello},       {L"no_text", true, {0, 0}},
        {L"missing", false, {}}};
    for (const auto& [key, present, bytes] : rows) {
        const void* data = nullptr;
        unsigned int size = 12345;
        EXPECT_EQ(call_slot<bool>(list, get_slot, key, &data, &size), present) << key;
        const auto* begin = static_cast<const unsigned char*>(data);
        EXPECT_EQ(data ? Bytes(begin, begin + size) : Bytes{}, bytes) << key;
    }
    // A presence test may pass no out pointers.
    EXPECT_TRUE(call_slot<bool>(list, get_slot, L"n", static_cast<const void**>(nullptr),
                                static_cast<unsigned int*>(nullptr)));
    // The host's own list cannot be freed by a plug-in.
    EXPECT_EQ(call_slot<void*>(list, destroy_slot, 1u), static_cast<void*>(list));
    EXPECT_EQ(Param::read_u32(list, L"n", 0), n);
}

// Past eight entries the list looks keys up through an index.
TEST(Parameter_list, children_are_created_once_and_found_past_the_index_limit) {
    Reference_host host;
    Param::Owned_parameters owned(host.create_parameters());
    Parameters* list = owned.get();
    const auto& entries = static_cast<Parameter_list*>(list)->entries();
    Children expected;
    for (std::uint32_t i = 0; i < 40; ++i) {
        const std::wstring key = L"k" + std::to_wstring(i);
        Param::write_u32(list, key.c_str(), i);
        expected.emplace_back(key, call_slot<Parameters*>(list, child_slot, key.c_str()));
    }
    Param::write_u32(list, L"k3", 300);
    for (std::uint32_t i = 0; i < 40; ++i) {
        const wchar_t* key = expected[i].first.c_str();
        EXPECT_EQ(Param::read_u32(list, key, 0), i == 3 ? 300u : i) << i;
        EXPECT_EQ(call_slot<Parameters*>(list, find_child_slot, key), expected[i].second);
    }
    EXPECT_EQ(entries.size(), 80u);
    EXPECT_EQ(list->find_child(L"k40"), nullptr);

    Recording_visitor visitor;
    call_slot<void>(list, visit_children_slot, static_cast<Child_visitor*>(&visitor));
    EXPECT_EQ(visitor.seen, expected);
    Children called;
    Child_callback callback = [](void* context, const wchar_t* key, Parameters* child) {
        static_cast<Children*>(context)->emplace_back(key, child);
    };
    call_slot<void>(list, for_each_child_slot, callback, static_cast<void*>(&called));
    EXPECT_EQ(called, expected);

    // A plug-in freeing a child list would leave its parent dangling: ignored.
    Parameters* child = expected[0].second;
    Param::write_u32(child, L"b", 2);
    EXPECT_EQ(call_slot<void*>(child, destroy_slot, 1u), static_cast<void*>(child));
    EXPECT_EQ(Param::read_u32(list->find_child(L"k0"), L"b", 0), 2u);
    // destroy(0) empties a plug-in's list without freeing it.
    EXPECT_EQ(call_slot<void*>(list, destroy_slot, 0u), static_cast<void*>(list));
    EXPECT_TRUE(entries.empty());
}

// Withdrawn through slots, filters get no more; then a filter sends a name
// without filters from inside process (no deadlock on the host's lock): it
// reaches the default handler. A filter withdrawn before its turn is skipped.
TEST(Reference_host, delivers_in_subscription_order_to_filters_and_the_default_handler) {
    Host h;
    std::vector<std::wstring> journal;
    Recording_filter a(L"a", journal), b(L"b", journal), c(L"c", journal);
    h.with_name(subscribe_slot, L"msg", &b);
    const Name_ref names[] = {{L"other", 5}, {L"msgXYZ", 3}}; // length 3: "msg"
    const unsigned int id =
        call_slot<unsigned int>(h.slots, register_slot, static_cast<Filter*>(&a), names, 2u);
    EXPECT_NE(id, 0u);
    h.with_name(subscribe_slot, L"msg", &c);
    auto list = h.create();
    EXPECT_EQ(h.send(L"msg", list.get()), 3);
    h.with_name(unsubscribe_slot, L"msg", &b);
    h.host.deliver(L"msg", list.get());
    call_slot<void>(h.slots, unregister_slot, id);
    EXPECT_EQ(h.host.filter_count(L"other"), 0u);
    h.host.deliver(L"msg", list.get());
    EXPECT_EQ(journal, (std::vector<std::wstring>{L"b:msg", L"a:msg", L"c:msg", L"a:msg", L"c:msg",
                                                  L"c:msg"}));
    // Withdrawing what is not there changes nothing.
    call_slot<void>(h.slots, unregister_slot, id);
    h.with_name(unsubscribe_slot, L"msg", &b);
    EXPECT_EQ(h.host.filter_count(L"msg"), 1u);

    journal.clear();
    int nested_count = 0;
    auto nested = h.create();
    a.action = [&](Parameters*) {
        nested_count = h.send(L"zp_7_user_id", nested.get());
        h.with_name(unsubscribe_slot, L"known", &b);
    };
    h.with_name(subscribe_slot, L"vq_default_action_handler", &c);
    h.with_name(subscribe_slot, L"vq_default_action_handler", &b);
    h.with_name(subscribe_slot, L"known", &a);
    h.with_name(subscribe_slot, L"known", &b);
    EXPECT_EQ(h.send(L"known", list.get()), 1);
    EXPECT_EQ(nested_count, 2);
    EXPECT_EQ(journal, (std::vector<std::wstring>{L"a:known", L"c:vq_default_action_handler",
                                                  L"b:vq_default_action_handler"}));
    EXPECT_FALSE(Param::has_value(list.get(), L"vq_default_action_handler"));
}

TEST(Reference_host, keeps_one_listener_of_the_right_size) {
    Host h;
    Listener listener, other;
    auto send_pointer = [&](const wchar_t* name, Keyboard_listener* pointer, unsigned int size) {
        auto list = h.create();
        list->set(L"listener", &pointer, size);
        h.send(name, list.get());
    };
    // A pointer cut to the wrong size is refused; so is deregistering another.
    send_pointer(L"register_keyboard_listener", &listener, sizeof(void*) - 1);
    EXPECT_EQ(h.host.keyboard_listener(), nullptr);
    send_pointer(L"register_keyboard_listener", &listener, sizeof(void*));
    send_pointer(L"deregister_keyboard_listener", &other, sizeof(void*));
    EXPECT_EQ(h.host.keyboard_listener(), &listener);
    send_pointer(L"deregister_keyboard_listener", &listener, sizeof(void*));
    EXPECT_EQ(h.host.keyboard_listener(), nullptr);
}

// Each row is one event through one router, in order: what the hook does
// with it, and the value the host reports (0: no report).
TEST(Key_router, swallow_and_report_decisions) {
    const DWORD caps = VK_CAPITAL, injected = LLKHF_INJECTED;
    const std::uint32_t vq = 0x11000000u; // Shift held before the activation key
    const std::uint32_t rctrl = 0x88000000u;
    const std::tuple<DWORD, bool, DWORD, bool, std::uint32_t> rows[] = {
        {VK_LSHIFT, true, 0, false, 0},
        {caps, true, 0, true, 0},
        {'A', true, 0, true, 0x41u | vq},
        // Right Control is reported with the state before it, then shows in the flags.
        {VK_RCONTROL, true, 0, true, VK_RCONTROL | vq},
        {'B', false, 0, true, 0x42u | vq | rctrl},
        // The plug-in's own keys pass untouched, even during activation.
        {VK_LCONTROL, true, injected, false, 0},
        {caps, false, 0, true, 0},
        // The activation key went up first: A's release is still reported, as pressed.
        {'A', false, 0, true, 0x41u | vq},
        {'V', true, injected, false, 0},
        // Outside activation the listener decides: it swallows 'S' only.
        {'S', true, 0, true, 0},
        {'T', true, 0, false, 0},
        // A release reports the combination pressed even when Shift went up
        // first: otherwise it would run another binding's action.
        {caps, true, 0, true, 0},
        {'1', true, 0, true, 0x31u | vq | rctrl},
        {VK_LSHIFT, false, 0, true, VK_LSHIFT | vq | rctrl},
        {'1', false, 0, true, 0x31u | vq | rctrl},
        {'1', true, 0, true, 0x31u | rctrl},
        // Right Alt: bit 29; left Alt: bit 30.
        {VK_RMENU, true, 0, true, VK_RMENU | rctrl},
        {VK_LMENU, true, 0, true, VK_LMENU | rctrl | 0x20000000u},
        {'2', true, 0, true, 0x32u | rctrl | 0x60000000u},
        {caps, false, 0, true, 0},
        {'U', true, 0, false, 0},
    };
    Key_router router;
    Listener listener;
    for (const auto& [vk, down, flags, swallow, report] : rows) {
        const auto d = router.route(key(vk, down, flags), caps, &listener);
        EXPECT_EQ(d.swallow, swallow) << std::hex << vk;
        EXPECT_EQ(d.report, report != 0) << std::hex << vk;
        if (report) {
            EXPECT_EQ(d.host_value, report) << std::hex << vk;
            EXPECT_EQ(d.key_down, down) << std::hex << vk;
        }
    }
    // The listener saw Shift, then S and T with the held modifiers, U with
    // Alt too; nothing during activation, nothing injected.
    const unsigned int held = listener_control | listener_shift;
    const unsigned int alt = listener_control | listener_alt;
    EXPECT_EQ(listener.calls, (Calls{{VK_LSHIFT, 0}, {'S', held}, {'T', held}, {'U', alt}}));
    EXPECT_FALSE(router.route(key('S', true), caps, nullptr).swallow); // no listener
}

// Every element kind, then malformed ones: shown as invalid, what follows kept.
TEST(Typing_decoder, decodes_elements) {
    const std::pair<std::wstring, std::wstring> rows[] = {
        // Upper-case hex digits from another producer read the same; 0xff stays 8 bits.
        {L"ab\u000125\u000210X\u000310z\u0001FF", L"ab<press 25><down 10>X<up 10>z<press ff>"},
        {L"\u0004 1f4\u0004   0", L"<pause 500><pause 0>"},
        {L"\u0005L00000003|00000002urlhi\u0005I00000005p.png", L"<link url|hi><image p.png>"},
        {L"a<b\tc\r\nd\u0007", L"a<lt>b<tab>c<return><newline>d<U+0007>"},
        {L"\u0004    y\u00012", L"<invalid U+0004>    y<invalid U+0001>2"},
        {L"\u0005I00000009ab", L"<invalid U+0005>I00000009ab"},
        {L"\u0005L00000001-00000001ab", L"<invalid U+0005>L00000001-00000001ab"},
        {L"\u0004 1 4\u0005Q\u0005", L"<invalid U+0004> 1 4<invalid U+0005>Q<invalid U+0005>"},
        // Lengths whose sum with the header wraps a 32-bit size.
        {L"\u0005IFFFFFFF6ab", L"<invalid U+0005>IFFFFFFF6ab"},
        {L"\u0005L80000000|80000000ab", L"<invalid U+0005>L80000000|80000000ab"},
        {L"\u0005L00000001|FFFFFFFFab", L"<invalid U+0005>L00000001|FFFFFFFFab"},
        // A record that ends exactly at the end of the data is whole.
        {L"\u0005I00000002ab", L"<image ab>"},
    };
    for (const auto& [data, visible] : rows)
        EXPECT_EQ(Typing_decoder::visible_form(data), visible);
}

TEST(Send_input_typist, sends_unicode_characters_virtual_keys_and_sleeps_in_order) {
    const std::pair<std::wstring, std::wstring> rows[] = {
        // CR LF is one Return, a tab the Tab key; Left is extended (else keypad 4).
        {L"h\u00e9\r\nx\ty\u000125\u0004  64",
         L"[h+h-\u00e9+\u00e9-#d+#d-x+x-#9+#9-y+y-#25x+#25x-]sleep100"},
        // A link types its text, then its address in brackets if it has one.
        {L"\u000211\u00012e\u000311\u0005L00000001|00000001ab\u0005L00000001|00000000c\n",
         L"[#11+#2ex+#2ex-#11-a+a- + -(+(-b+b-)+)-c+c-#d+#d-]"},
        // Shift and Control pressed, only Control released: Shift must not stay down.
        {L"\u000210\u000211a\u000311", L"[#10+#11+a+a-#11-#10-]"},
    };
    // Records what SendInput would get: a character as itself, a virtual key as
    // #hex (x: extended), + down, - up; batches in brackets, then the sleeps.
    std::wstring log;
    bool insert_one = false; // as when another program blocks the input
    auto record = [&](const std::vector<INPUT>& inputs) {
        log += L"[";
        for (const auto& in : inputs) {
            wchar_t vk[8];
            swprintf(vk, 8, L"#%x", in.ki.wVk);
            log += (in.ki.dwFlags & KEYEVENTF_UNICODE) ? std::wstring(1, in.ki.wScan) : vk;
            log += (in.ki.dwFlags & KEYEVENTF_EXTENDEDKEY) ? L"x" : L"";
            log += (in.ki.dwFlags & KEYEVENTF_KEYUP) ? L"-" : L"+";
        }
        log += L"]";
        return insert_one ? 1u : UINT(inputs.size());
    };
    Send_input_typist typist{record,
                             [&](unsigned int ms) { log += L"sleep" + std::to_wstring(ms); }};
    for (const auto& [data, expected] : rows) {
        log.clear();
        EXPECT_TRUE(typist.type(data));
        EXPECT_EQ(log, expected);
    }
    insert_one = true; // only one event gets in
    EXPECT_FALSE(typist.type(L"abc"));
}

// The host thread queues and goes on serving the hook; a plug-in's worker
// gets its answer only once its text is typed (its own-output mark must
// outlast the typing), and gets the typist's failure.
TEST(Background_typist, a_worker_waits_until_its_text_is_typed_the_host_thread_does_not) {
    struct Gated_typist : Typist {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::vector<std::wstring> typed;
        bool type(const std::wstring& data) override {
            std::unique_lock<std::mutex> lock(mutex);
            opened.wait(lock, [&] { return open; });
            typed.push_back(data);
            return data != L"fail";
        }
        std::vector<std::wstring> typed_now() {
            std::lock_guard<std::mutex> lock(mutex);
            return typed;
        }
    } gated;
    Background_typist background(gated);
    EXPECT_TRUE(background.type(L"host")); // at once, though nothing can be typed yet
    auto worker = std::async(std::launch::async, [&] {
        const bool ok = background.type(L"worker");
        return std::make_pair(ok, gated.typed_now());
    });
    EXPECT_EQ(worker.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    {
        std::lock_guard<std::mutex> lock(gated.mutex);
        gated.open = true;
    }
    gated.opened.notify_all();
    const auto [ok, typed] = worker.get();
    EXPECT_TRUE(ok);
    EXPECT_EQ(typed, (std::vector<std::wstring>{L"host", L"worker"}));
    EXPECT_FALSE(std::async(std::launch::async, [&] { return background.type(L"fail"); }).get());
    EXPECT_TRUE(background.wait_idle(5000));
}

TEST(Send_input_typist, types_into_the_target_application) {
    Target_app target;
    ASSERT_TRUE(target.start());
    ASSERT_TRUE(target.set_text(Target_app::Control::edit, L""));
    ASSERT_TRUE(target.activate());

    Reference_host host;
    Send_input_typist typist;
    host.set_typist(&typist);
    auto list = Reference_host::make_list();
    // "abc", a pause, Back, "d", Left, "e", and a link record as its text.
    Param::write_text(list.get(), L"typing_data",
                      L"abc\u0004  c8\u000108d\u000125e\u000123\u0005L00000001|00000000\u00fc");
    EXPECT_EQ(host.send(L"vq_keyboard_write", 17, list.get()), 1);
    // SendInput returns when the events are queued: wait for the target to read them.
    std::wstring text;
    for (int i = 0; i < 100 && text.size() < 5; ++i) {
        Sleep(i ? 50 : 0);
        text = target.text(Target_app::Control::edit);
    }
    EXPECT_EQ(text, L"abed\u00fc");
    EXPECT_EQ(host.typed_texts().size(), 1u);
}
