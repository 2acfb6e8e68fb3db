#include "fake_actions.h"

#include "contract/parameter_values.h"
#include "text/textprovider.h"

#include <cwctype>
#include <utility>

namespace {

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

struct Store_collector final : Child_visitor {
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t* key, Parameters* child) override {
        children.emplace_back(key, child);
    }
    std::vector<std::pair<std::wstring, Parameters*>> children;
};

} // namespace

Fake_code_actions::Fake_code_actions(Reference_host& host)
    : host_(host), registration_(&host, this,
                                 {L"zp_get_action_interpreter", L"zp_broadcast_get_action_text",
                                  L"zp_store_action_code", L"zp_delete_action",
                                  L"vq_default_action_handler", L"zp_action_key_binding",
                                  L"zp_action_set_key_binding", L"zp_action_remove_key_binding"}) {}

Fake_code_actions::~Fake_code_actions() = default;

int Fake_code_actions::process(const wchar_t* name, unsigned int length, Parameters* list) {
    if (name && list)
        answer(std::wstring(name, length), list);
    return 0;
}

void Fake_code_actions::answer(const std::wstring& name, Parameters* list) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (name == L"zp_get_action_interpreter") {
        // Translated like the interpreters' own display names.
        Textprovider& texts = text_provider();
        Param::write_text(list->child(L"batch_interpreter"), L"name",
                          texts.get_string(L"Execute as batch script"));
        Param::write_text(list->child(L"url_interpreter"), L"name", texts.get_string(L"Open URL"));
        Param::write_text(list->child(L"typing_interpreter"), L"name",
                          texts.get_string(L"Type text and key-combinations"));
    } else if (name == L"zp_broadcast_get_action_text") {
        std::wstring search = lower(Param::read_text(list, L"search_text"));
        for (const auto& [ident, action] : actions_) {
            if (!search.empty() && lower(action.name).find(search) == std::wstring::npos &&
                lower(action.description).find(search) == std::wstring::npos)
                continue;
            Parameters* child = list->child(ident.c_str());
            Param::write_text(child, L"name", action.name);
            Param::write_text(child, L"description", action.description);
            Param::write_text(child, L"category", action.category);
            Param::write_text(child, L"ident", ident);
        }
    } else if (name == L"zp_store_action_code") {
        Store_collector children;
        list->visit_children(&children);
        for (const auto& [key, child] : children.children) {
            Fake_action action{Param::read_text(child, L"type"), Param::read_text(child, L"code"),
                               Param::read_text(child, L"name"),
                               Param::read_text(child, L"description"),
                               Param::read_text(child, L"category")};
            if (!accepting || action.type.empty() || action.code.empty() || action.name.empty())
                continue;
            std::wstring ident =
                key == L"zp_new" ? L"zp_" + std::to_wstring(1000 + next_id_++) + L"_user_id" : key;
            actions_[ident] = action;
            Param::write_text(list->child(L"result"), key.c_str(), ident);
        }
    } else if (name == L"zp_delete_action") {
        actions_.erase(Param::read_text(list, L"ident"));
    } else if (name == L"vq_default_action_handler") {
        auto found = actions_.find(Param::read_text(list, L"vq_default_action_handler"));
        if (found == actions_.end() || Param::read_text(list, L"request") != L"get_descriptor")
            return;
        const Fake_action& a = found->second;
        for (const auto& [key, text] : {std::make_pair(L"type", a.type),
                                        {L"code", a.code},
                                        {L"name", a.name},
                                        {L"description", a.description},
                                        {L"category", a.category}})
            Param::write_text(list, key, text);
    } else if (name == L"zp_action_key_binding") {
        auto found = bindings_.find(Param::read_text(list, L"id"));
        if (found != bindings_.end())
            Param::write_u32(list, L"key", found->second);
    } else if (name == L"zp_action_set_key_binding" || name == L"zp_action_remove_key_binding") {
        std::uint32_t combi = Param::read_u32(list, L"combi", 0xFFFF);
        for (auto it = bindings_.begin(); it != bindings_.end();)
            it = it->second == combi ? bindings_.erase(it) : std::next(it);
        if (name == L"zp_action_set_key_binding")
            bindings_[Param::read_text(list, L"id")] = combi;
    }
}

void Fake_code_actions::put(const std::wstring& ident, Fake_action action) {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_[ident] = std::move(action);
}

std::map<std::wstring, Fake_action> Fake_code_actions::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return actions_;
}

void Fake_code_actions::bind(const std::wstring& ident, std::uint32_t key_code) {
    std::lock_guard<std::mutex> lock(mutex_);
    bindings_[ident] = key_code;
}

std::uint32_t Fake_code_actions::binding_of(const std::wstring& ident) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = bindings_.find(ident);
    return found == bindings_.end() ? 0xFFFF : found->second;
}

void Memory_directory::bind(std::uint32_t key_code, const std::wstring& ident) {
    for (Binding_row action : action_texts())
        if (action.ident == ident) {
            action.key_code = key_code;
            bound_[key_code] = action;
        }
}

Key_binding_entry Memory_directory::binding_of(std::uint32_t key_code) {
    auto found = bound_.find(key_code);
    return found == bound_.end() ? Key_binding_entry{}
                                 : Key_binding_entry{found->second.ident, found->second.name};
}

std::vector<Binding_row> Memory_directory::bound_rows() {
    std::vector<Binding_row> rows;
    for (const auto& bound : bound_)
        rows.push_back(bound.second);
    return rows;
}
