#include "fake_actions.h"

#include "contract/parameter_values.h"
#include "text/textprovider.h"

#include <cwctype>

namespace {

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The descriptor's keys; the listing leaves out the first two.
const std::pair<const wchar_t*, std::wstring Fake_action::*> fields[] = {
    {L"type", &Fake_action::type},
    {L"code", &Fake_action::code},
    {L"name", &Fake_action::name},
    {L"description", &Fake_action::description},
    {L"category", &Fake_action::category}};

} // namespace

Fake_code_actions::Fake_code_actions(Reference_host& host)
    : registration_(&host, this,
                    {L"zp_get_action_interpreter", L"zp_broadcast_get_action_text",
                     L"zp_store_action_code", L"zp_delete_action", L"vq_default_action_handler"}) {}

int Fake_code_actions::process(const wchar_t* name_data, unsigned int length, Parameters* list) {
    if (!name_data || !list)
        return 0;
    const std::wstring name(name_data, length);
    std::lock_guard<std::mutex> lock(mutex_);
    if (name == L"zp_get_action_interpreter") { // names translated as the interpreters' are
        for (const auto& [ident, text] :
             {std::make_pair(L"batch_interpreter", L"Execute as batch script"),
              {L"url_interpreter", L"Open URL"},
              {L"typing_interpreter", L"Type text and key-combinations"}})
            Param::write_text(list->child(ident), L"name", text_provider().get_string(text));
    } else if (name == L"zp_broadcast_get_action_text") {
        std::wstring search = lower(Param::read_text(list, L"search_text"));
        for (const auto& [ident, action] : actions_) {
            if (lower(action.name).find(search) == std::wstring::npos &&
                lower(action.description).find(search) == std::wstring::npos)
                continue;
            Parameters* child = list->child(ident.c_str());
            Param::write_text(child, L"ident", ident);
            for (const auto& [key, field] : fields)
                if (field != &Fake_action::type && field != &Fake_action::code)
                    Param::write_text(child, key, action.*field);
        }
    } else if (name == L"zp_store_action_code") { // new, or an action known here
        std::vector<std::wstring> keys{L"zp_new"};
        for (const auto& known : actions_)
            keys.push_back(known.first);
        for (const std::wstring& key : keys) {
            Parameters* child = list->find_child(key.c_str());
            Fake_action action;
            for (const auto& [field, member] : fields)
                action.*member = Param::read_text(child, field);
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
            return 0;
        for (const auto& [key, field] : fields)
            Param::write_text(list, key, found->second.*field);
    }
    return 0;
}

void Fake_code_actions::put(const std::wstring& ident, Fake_action action) {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_[ident] = std::move(action);
}

std::map<std::wstring, Fake_action> Fake_code_actions::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return actions_;
}
