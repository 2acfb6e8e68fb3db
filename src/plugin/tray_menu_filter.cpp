#include "plugin/tray_menu_filter.h"

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "text/textprovider.h"
#include "trace/boundary.h"
#include "trace/trace.h"
#include "ui/key_binding_settings_dialog.h"
#include "ui/key_choice.h"
#include "ui/manage_actions_dialog.h"

#include <exception>

namespace {

constexpr wchar_t settings_item[] = L"zaptor_tray_settings";
constexpr wchar_t actions_item[] = L"zaptor_tray_action";

struct Tray_item {
    const wchar_t* key;
    const wchar_t* english;
};

// In the order the host shows them.
constexpr Tray_item tray_items[] = {
    {settings_item, translatable(L"Change key bindings")},
    {actions_item, translatable(L"Manage actions")},
};

} // namespace

Tray_menu_filter::Tray_menu_filter(HINSTANCE module, std::shared_ptr<Binding_directory> directory,
                                   Interaction_if* host)
    : module_(module), directory_(std::move(directory)), host_(host),
      registration_(host, this, {L"get_tray_menu_items", L"add_tray_item_action"}) {}

Tray_menu_filter::~Tray_menu_filter() = default;

void* Tray_menu_filter::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

int Tray_menu_filter::process(const wchar_t* name, unsigned int name_length, Parameters* list) {
    return Trace::guarded("Tray_menu_filter::process", 0, [&] {
        if (!name || !list) {
            Trace::error("Tray_menu_filter::process") << "message without name or list ignored";
            return 0;
        }
        const std::wstring message(name, name_length);
        if (message == L"get_tray_menu_items")
            list_items(list);
        else
            run_item(Param::read_text(list, L"action"));
        return 0;
    });
}

void Tray_menu_filter::list_items(Parameters* list) {
    for (const Tray_item& item : tray_items) {
        const wchar_t* text = text_provider().get_string(item.english);
        if (Parameters* child = list->child(item.key))
            Param::write_text(child, L"name", text);
        else
            Trace::error("Tray_menu_filter::list_items") << "no child list for " << item.key;
    }
}

void Tray_menu_filter::run_item(const std::wstring& item) {
    if (item == settings_item) {
        run_settings();
    } else if (item == actions_item) {
        run_manage_actions();
    } else if (item.empty()) {
        Trace::info("Tray_menu_filter::run_item") << "tray action without \"action\"; ignored";
    } else {
        Trace::info("Tray_menu_filter::run_item") << "not a Zaptor tray item: " << item;
    }
}

void Tray_menu_filter::run_settings() {
    // Held for as long as the dialog shows it.
    std::shared_ptr<Binding_directory> directory = directory_;
    Key_binding_settings_dialog dialog(module_, host_, directory.get(), activation_key_name(host_));
    run_alone(dialog);
}

void Tray_menu_filter::run_manage_actions() {
    Manage_actions_dialog dialog(host_);
    run_alone(dialog);
}

template <class Dialog> void Tray_menu_filter::run_alone(Dialog& dialog) {
    {
        std::lock_guard<std::mutex> lock(open_mutex_);
        if (open_window_) {
            Trace::info("Tray_menu_filter::run_item") << "a dialog is open already; shown instead";
            if (HWND open = open_window_())
                SetForegroundWindow(GetLastActivePopup(open));
            return;
        }
        open_window_ = [&dialog] { return dialog.window(); };
    }
    struct Closed {
        Tray_menu_filter& self;
        ~Closed() {
            std::lock_guard<std::mutex> lock(self.open_mutex_);
            self.open_window_ = nullptr;
        }
    } closed{*this};
    dialog.run(nullptr);
}
