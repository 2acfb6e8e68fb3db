#include "actions/filter_base_key_action.h"

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <cstring>
#include <exception>

namespace {

constexpr const wchar_t* broadcast_name = L"zp_broadcast_get_action_text";
constexpr const wchar_t* default_handler_name = L"vq_default_action_handler";

// The "ident" of the broadcast, as the text up to its first NUL; `present`
// is false when the entry is absent or carries no data.
std::wstring read_nul_terminated(Parameters* list, const wchar_t* key, bool& present) {
    const void* data = nullptr;
    unsigned int size = 0;
    present = list && list->get(key, &data, &size) && data && size > 0;
    if (!present)
        return {};
    const wchar_t* text = static_cast<const wchar_t*>(data);
    std::size_t count = size / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < count && text[length] != L'\0')
        ++length;
    return std::wstring(text, length);
}

// A 32-bit parameter, only when exactly 4 bytes are stored.
bool read_key_code(Parameters* list, const wchar_t* key, std::uint32_t& value) {
    const void* data = nullptr;
    unsigned int size = 0;
    if (!list || !list->get(key, &data, &size) || !data || size != sizeof value)
        return false;
    std::memcpy(&value, data, sizeof value);
    return true;
}

} // namespace

FilterBaseKeyAction::FilterBaseKeyAction(std::wstring ident, Interaction_if* host)
    : ident_(std::move(ident)), host_(host) {
    broadcast_subscription_ = std::make_unique<Subscription>(host_, this, broadcast_name);
    ident_subscription_ = std::make_unique<Subscription>(host_, this, ident_);
}

FilterBaseKeyAction::~FilterBaseKeyAction() {
    broadcast_subscription_.reset();
    ident_subscription_.reset();
}

void* FilterBaseKeyAction::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

const std::wstring& FilterBaseKeyAction::ident() const {
    return ident_;
}

int FilterBaseKeyAction::process(const wchar_t* name, unsigned int name_length, Parameters* list) {
    return Trace::guarded("FilterBaseKeyAction::process", 0, [&] {
        return name ? dispatch(std::wstring(name, name_length), list) : 0;
    });
}

int FilterBaseKeyAction::dispatch(const std::wstring& name, Parameters* list) {
    if (Trace::debug_enabled())
        Trace::debug("FilterBaseKeyAction::process") << L"action = " << name;
    bool mine = name == ident_;
    if (name == default_handler_name) {
        std::wstring target = Param::read_text(list, default_handler_name);
        std::wstring request = Param::read_text(list, L"request");
        if (request == L"execute" && target == ident_)
            mine = true;
    }
    if (!mine) {
        if (name != broadcast_name)
            return 0;
        bool present = false;
        std::wstring wanted = read_nul_terminated(list, L"ident", present);
        if (!present || wanted == ident_)
            return answer_action_text(list);
        return 0;
    }
    return run(list);
}

int FilterBaseKeyAction::run(Parameters* list) {
    std::wstring request = Param::read_text(list, L"request");
    Trace::info("FilterBaseKeyAction::process") << L"Action: " << request;
    int result = 0;
    if (request == L"execute") {
        std::uint32_t code = 0;
        if (read_key_code(list, L"activate", code)) {
            key_code_.store(code, std::memory_order_relaxed);
            result = process_activate();
        }
        if (read_key_code(list, L"deactivate", code)) {
            key_code_.store(code, std::memory_order_relaxed);
            result = process_deactivate();
        }
    } else if (request == L"get_descriptor") {
        get_descriptor(list);
    }
    return result;
}

void FilterBaseKeyAction::get_descriptor(Parameters* list) {
    if (!list)
        return;
    auto set = [list](const wchar_t* key, const wchar_t* text) {
        if (!text)
            text = L"";
        list->set_text(key, text, static_cast<unsigned int>(std::wcslen(text)));
    };
    set(L"ident", ident_.c_str());
    set(L"name", name());
    set(L"description", description());
}

int FilterBaseKeyAction::answer_action_text(Parameters* list) {
    if (!list)
        return 0;
    Parameters* child = list->child(ident_.c_str());
    if (!child)
        return 0;
    std::wstring search = Param::read_text(list, L"search_text");
    const wchar_t* action_name = name();
    const wchar_t* action_description = description();
    if (!search.empty()) {
        bool found =
            (action_name && std::wstring(action_name).find(search) != std::wstring::npos) ||
            (action_description &&
             std::wstring(action_description).find(search) != std::wstring::npos);
        if (!found)
            return 0;
    }
    get_descriptor(child);
    return 0;
}
