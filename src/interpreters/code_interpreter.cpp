#include "interpreters/code_interpreter.h"

#include <algorithm>

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <cwchar>
#include <exception>

namespace {

constexpr const wchar_t* default_handler = L"vq_default_action_handler";

std::vector<std::wstring> message_names(std::vector<std::wstring> extra) {
    std::vector<std::wstring> names = {default_handler, L"zp_get_action_interpreter",
                                       L"zp_store_action_code", L"zp_broadcast_get_action_text",
                                       L"zp_delete_action"};
    names.insert(names.end(), extra.begin(), extra.end());
    return names;
}

// Present with any value, even an empty one.
bool is_present(Parameters* list, const wchar_t* key) {
    const void* data = nullptr;
    unsigned int size = 0;
    return list && list->get(key, &data, &size);
}

wchar_t fold(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

bool contains_ignoring_case(const wchar_t* haystack, const std::wstring& lower_needle) {
    if (!haystack)
        return false;
    if (lower_needle.empty())
        return true;
    const std::size_t length = std::wcslen(haystack);
    if (length < lower_needle.size())
        return false;
    for (std::size_t at = 0; at + lower_needle.size() <= length; ++at) {
        std::size_t i = 0;
        while (i < lower_needle.size() && fold(haystack[at + i]) == lower_needle[i])
            ++i;
        if (i == lower_needle.size())
            return true;
    }
    return false;
}

Code_interpreter::Code_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                                   std::vector<std::wstring> extra_names)
    : registration_(host, this, message_names(std::move(extra_names))),
      storage_(std::move(storage)) {}

Code_interpreter::~Code_interpreter() = default;

void* Code_interpreter::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

int Code_interpreter::process(const wchar_t* name, unsigned int name_length, Parameters* list) {
    return Trace::guarded("Code_interpreter::process", 0, [&] {
        if (name && list)
            dispatch(std::wstring(name, name_length), list);
        return 0;
    });
}

void Code_interpreter::dispatch(const std::wstring& name, Parameters* list) {
    if (name == L"zp_get_action_interpreter") {
        Parameters* child = list->child(type_name());
        if (child)
            Param::write_text(child, L"name", display_name());
    } else if (name == L"zp_broadcast_get_action_text") {
        answer_action_texts(list);
    } else if (name == L"zp_store_action_code") {
        store_action_code(list);
    } else if (name == L"zp_delete_action") {
        delete_action(list);
    } else if (name == default_handler) {
        const std::wstring ident = Param::read_text(list, default_handler);
        const std::wstring request = Param::read_text(list, L"request");
        if (request == L"execute") {
            // Only the release of a combination runs an action.
            if (!is_present(list, L"deactivate"))
                return;
            if (is_present(list, L"abbreviation_backspaces")) {
                Replaced_abbreviation replaced;
                // The buffer the abbreviation came from holds 64 characters.
                replaced.backspaces = std::min<std::uint32_t>(
                    Param::read_u32(list, L"abbreviation_backspaces", 0), 64);
                replaced.separator = Param::read_text(list, L"abbreviation_separator").substr(0, 2);
                replaced.letter_case = Param::read_u32(list, L"abbreviation_case", 0);
                execute_replacing(ident, replaced);
            } else {
                execute(ident);
            }
        } else if (request == L"get_descriptor") {
            get_descriptor(ident, list);
        }
    }
}

bool Code_interpreter::load_own_code(const std::wstring& ident, std::wstring& code) {
    if (!storage_)
        return false;
    std::wstring type, name, description, category;
    if (storage_->load_code(ident, type, code, name, description, category) != Code_result::ok)
        return false;
    return type == type_name();
}

void Code_interpreter::store_action_code(Parameters* list) {
    if (!storage_)
        return;
    Store_code_visitor visitor(list, storage_.get(), type_name());
    list->visit_children(&visitor);
    visitor.store_all();
}

void Code_interpreter::get_descriptor(const std::wstring& ident, Parameters* list) {
    if (!storage_)
        return;
    std::wstring type, code, name, description, category;
    if (storage_->load_code(ident, type, code, name, description, category) != Code_result::ok)
        return;
    Param::write_text(list, L"type", type);
    Param::write_text(list, L"code", code);
    Param::write_text(list, L"name", name);
    Param::write_text(list, L"description", description);
    Param::write_text(list, L"category", category);
}

void Code_interpreter::answer_action_texts(Parameters* list) {
    if (!storage_)
        return;
    const std::wstring search = Param::read_text(list, L"search_text");
    Action_text_visitor visitor(list, search.empty() ? nullptr : &search);
    const int result = storage_->list_by_type(type_name(), visitor);
    if (result != Code_result::ok)
        Trace::error("Code_interpreter::answer_action_texts")
            << type_name() << L": listing failed with " << result;
}

// Every interpreter receives the message; the first to find the row deletes
// it. Its key bindings and abbreviation go with the keyboard shortcuts, which
// receive the same message.
void Code_interpreter::delete_action(Parameters* list) {
    if (!storage_ || !is_present(list, L"ident"))
        return;
    const std::wstring ident = Param::read_text(list, L"ident");
    std::wstring type, code, name, description, category;
    if (storage_->load_code(ident, type, code, name, description, category) != Code_result::ok)
        return;
    storage_->delete_code(ident);
}

Store_code_visitor::Store_code_visitor(Parameters* message, Code_storage* storage,
                                       std::wstring type_name)
    : message_(message), storage_(storage), type_name_(std::move(type_name)) {}

void* Store_code_visitor::destroy(unsigned int flags) {
    // Lives on the caller's stack; the host never owns it.
    (void)flags;
    return this;
}

void Store_code_visitor::visit(const wchar_t* key, Parameters* child) {
    Trace::guarded("Store_code_visitor::visit", [&] {
        if (key && child)
            children_.emplace_back(key, child);
    });
}

void Store_code_visitor::store_all() {
    for (const auto& [key, child] : children_) {
        const std::wstring type = Param::read_text(child, L"type");
        if (type != type_name_)
            continue; // another interpreter's child
        const std::wstring code = Param::read_text(child, L"code");
        const std::wstring name = Param::read_text(child, L"name");
        const std::wstring description = Param::read_text(child, L"description");
        const std::wstring category = Param::read_text(child, L"category");
        if (code.empty() || name.empty()) {
            Trace::info("Store_code_visitor::visit") << key << L": no code or no name; not stored";
            continue;
        }
        ident_.clear();
        if (key == L"zp_new") {
            if (!storage_->make_user_ident(ident_))
                ident_.clear();
        } else {
            ident_ = key;
        }
        if (ident_.empty())
            continue;
        const int result = storage_->store_code(ident_, type, code, name, description, category);
        if (result != Code_result::ok) {
            Trace::error("Store_code_visitor::visit")
                << ident_ << L": storing failed with " << result;
            continue;
        }
        Parameters* answer = message_->child(L"result");
        if (answer)
            Param::write_text(answer, key.c_str(), ident_);
    }
}

Action_text_visitor::Action_text_visitor(Parameters* message, const std::wstring* search_text)
    : message_(message), filtered_(search_text && !search_text->empty()) {
    if (filtered_)
        for (wchar_t c : *search_text)
            search_lower_ += fold(c);
}

void Action_text_visitor::visit(const wchar_t* ident, const wchar_t* name,
                                const wchar_t* description, const wchar_t* category) {
    if (!ident || !name)
        return;
    if (filtered_ && !contains_ignoring_case(name, search_lower_) &&
        !contains_ignoring_case(description, search_lower_))
        return;
    Parameters* child = message_->child(ident);
    if (!child)
        return;
    Param::write_text(child, L"name", name);
    if (description)
        Param::write_text(child, L"description", description);
    if (category)
        Param::write_text(child, L"category", category);
    Param::write_text(child, L"ident", ident);
}
