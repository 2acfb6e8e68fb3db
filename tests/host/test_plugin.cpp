// A plug-in for the host's tests: one filter for its names and the default
// handler, a listener that swallows A with Control; it reports in tp_* requests.
#include "contract/host_interface.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"

#include <string>

namespace {

Interaction_if* g_host = nullptr;

void send_text(const wchar_t* name, const wchar_t* key, const std::wstring& text) {
    Param::Owned_parameters list = Param::create(g_host);
    Param::write_text(list.get(), key, text);
    Param::send(g_host, name, list.get());
}

struct Test_listener final : Keyboard_listener {
    void* destroy(unsigned int flags) override { return destroy_through_slot(this, flags); }
    bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) override {
        return event && event->vkCode == 0x41 && modifiers == listener_control;
    }
};

struct Test_filter final : Filter {
    void* destroy(unsigned int flags) override { return destroy_through_slot(this, flags); }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override {
        std::wstring message(name, length);
        if (message == L"tp_echo") {
            Param::write_text(list, L"out", L"echo:" + Param::read_text(list, L"in"));
            Param::write_u32(list->child(L"info"), L"count", 7);
        } else if (message == L"tp_request") {
            Param::Owned_parameters ask = Param::create(g_host);
            Param::send(g_host, L"vq_get_activation_key", ask.get());
            Param::write_u32(list, L"activation", Param::read_u32(ask.get(), L"key", 0xFFFF));
            send_text(L"vq_keyboard_write", L"typing_data", Param::read_text(list, L"in"));
        } else if (message == L"key_processing") {
            Param::send(g_host, L"tp_key_seen", list);
        } else if (message == L"startup" || message == L"shutdown") {
            send_text(L"tp_lifecycle", L"event", message);
        } else if (message == L"get_tray_menu_items") {
            Param::write_text(list->child(L"tp_tray_first"), L"name", L"First item");
            Param::write_u32(list->child(L"tp_tray_nameless"), L"order", 2);
            Param::write_text(list, L"tp_tray_value", L"not an item");
            Param::write_text(list->child(L"tp_tray_second"), L"name", L"Second item");
        } else if (message == L"add_tray_item_action") {
            send_text(L"tp_tray_ran", L"action", Param::read_text(list, L"action"));
        } else if (message == L"vq_default_action_handler") {
            Param::write_text(list, L"handled_by", L"test_plugin");
        }
        return 0;
    }
};

Test_filter* g_filter = nullptr;
Test_listener* g_listener = nullptr;
unsigned int g_registration = 0;

void send_listener(const wchar_t* request) {
    Param::Owned_parameters list = Param::create(g_host);
    list->set(L"listener", &g_listener, sizeof g_listener);
    Param::send(g_host, request, list.get());
}

} // namespace

extern "C" __declspec(dllexport) void initialize(Interaction_if* host) {
    if (!host || g_host)
        return;
    g_host = host;
    g_filter = new Test_filter;
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
    send_text(L"tp_lifecycle", L"event", L"finalize");
    send_listener(L"deregister_keyboard_listener");
    g_host->unsubscribe(L"vq_default_action_handler", 25, g_filter);
    g_host->unregister_filter(g_registration);
    g_filter->destroy(1);
    g_listener->destroy(1);
    g_host = nullptr; // the DLL is freed next: the other globals go with it
}
