// A small plug-in for the host's tests: one filter for the names registered
// in initialize (tp_* are its own; tp_request asks the activation key, stores
// and reads "in" back through the key-value store and types it), subscribed
// to the default handler too, and a listener that swallows A with Control.
#include "contract/host_interface.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"

#include <string>

namespace {

class Test_listener final : public Keyboard_listener {
public:
    void* destroy(unsigned int flags) override { return destroy_through_slot(this, flags); }
    bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) override {
        return event && event->vkCode == 0x41 && modifiers == listener_control;
    }
};

void send_lifecycle(Interaction_if* host, const std::wstring& event) {
    Param::Owned_parameters list = Param::create(host);
    Param::write_text(list.get(), L"event", event);
    Param::send(host, L"tp_lifecycle", list.get());
}

class Test_filter final : public Filter {
public:
    explicit Test_filter(Interaction_if* host) : host_(host) {}
    void* destroy(unsigned int flags) override { return destroy_through_slot(this, flags); }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override {
        std::wstring message(name, length);
        if (message == L"tp_echo") {
            ++calls_;
            Param::write_text(list, L"out", L"echo:" + Param::read_text(list, L"in"));
            Param::write_u32(list->child(L"info"), L"count", calls_);
        } else if (message == L"tp_request") {
            std::wstring in = Param::read_text(list, L"in");
            Param::Owned_parameters ask = Param::create(host_);
            Param::send(host_, L"vq_get_activation_key", ask.get());
            Param::write_u32(list, L"activation", Param::read_u32(ask.get(), L"key", 0xFFFF));

            Param::Owned_parameters store = Param::create(host_);
            Param::write_text(store.get(), L"key", L"slot");
            Param::write_text(store.get(), L"value", in);
            Param::send(host_, L"kvstore_store", store.get());

            Param::Owned_parameters read = Param::create(host_);
            Param::write_text(read.get(), L"key", L"slot");
            Param::send(host_, L"kvstore_read", read.get());
            Param::write_text(list, L"stored", Param::read_text(read.get(), L"result", L"?"));

            Param::Owned_parameters type = Param::create(host_);
            Param::write_text(type.get(), L"typing_data", in);
            Param::send(host_, L"vq_keyboard_write", type.get());
        } else if (message == L"key_processing") {
            Param::Owned_parameters seen = Param::create(host_);
            for (const wchar_t* key : {L"key_down", L"key_up"})
                if (Param::has_value(list, key))
                    Param::write_u32(seen.get(), key, Param::read_u32(list, key, 0));
            Param::send(host_, L"tp_key_seen", seen.get());
        } else if (message == L"startup" || message == L"shutdown") {
            send_lifecycle(host_, message);
        } else if (message == L"get_tray_menu_items") {
            Param::write_text(list->child(L"tp_tray_first"), L"name", L"First item");
            Param::write_u32(list->child(L"tp_tray_nameless"), L"order", 2);
            Param::write_text(list, L"tp_tray_value", L"not an item");
            Param::write_text(list->child(L"tp_tray_second"), L"name", L"Second item");
        } else if (message == L"add_tray_item_action") {
            Param::Owned_parameters ran = Param::create(host_);
            if (Param::has_value(list, L"action"))
                Param::write_text(ran.get(), L"action", Param::read_text(list, L"action"));
            Param::send(host_, L"tp_tray_ran", ran.get());
        } else if (message == L"vq_default_action_handler") {
            Param::write_text(list, L"handled_by", L"test_plugin");
        }
        return 0;
    }

private:
    Interaction_if* host_;
    unsigned int calls_ = 0;
};

Interaction_if* g_host = nullptr;
Test_filter* g_filter = nullptr;
Test_listener* g_listener = nullptr;
unsigned int g_registration = 0;

void send_listener(const wchar_t* request) {
    Param::Owned_parameters list = Param::create(g_host);
    if (!list)
        return;
    list->set(L"listener", &g_listener, sizeof g_listener);
    g_host->send(request, static_cast<unsigned int>(std::wstring(request).size()), list.get());
}

} // namespace

extern "C" __declspec(dllexport) void initialize(Interaction_if* host) {
    if (!host || g_host)
        return;
    g_host = host;
    g_filter = new Test_filter(host);
    const Name_ref names[] = {{L"tp_echo", 7},
                              {L"tp_request", 10},
                              {L"key_processing", 14},
                              {L"startup", 7},
                              {L"shutdown", 8},
                              {L"get_tray_menu_items", 19},
                              {L"add_tray_item_action", 20}};
    g_registration = host->register_filter(g_filter, names, 7);
    host->subscribe(L"vq_default_action_handler", 25, g_filter);
    g_listener = new Test_listener;
    send_listener(L"register_keyboard_listener");
}

extern "C" __declspec(dllexport) void finalize() {
    if (!g_host)
        return;
    send_lifecycle(g_host, L"finalize");
    send_listener(L"deregister_keyboard_listener");
    g_host->unsubscribe(L"vq_default_action_handler", 25, g_filter);
    g_host->unregister_filter(g_registration);
    g_filter->destroy(1);
    g_listener->destroy(1);
    g_filter = nullptr;
    g_listener = nullptr;
    g_host = nullptr;
}
