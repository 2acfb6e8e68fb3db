#include "actions/binding_directory.h"

#include "contract/parameter_values.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <exception>

namespace {

class Row_collector final : public Child_visitor {
public:
    explicit Row_collector(std::vector<Binding_row>& rows) : rows_(rows) {}
    void* destroy(unsigned int) override { return this; }
    void visit(const wchar_t*, Parameters* child) override {
        Trace::guarded("Row_collector::visit", [&] {
            std::wstring name = Param::read_text(child, L"name");
            std::wstring ident = Param::read_text(child, L"ident");
            if (ident.empty() || name.empty())
                return;
            rows_.push_back({0xFFFFu, std::move(ident), std::move(name),
                             Param::read_text(child, L"description")});
        });
    }

private:
    std::vector<Binding_row>& rows_;
};

} // namespace

Binding_directory::Binding_directory(Interaction_if* host,
                                     std::shared_ptr<Keyboard_shortcuts> shortcuts)
    : host_(host), shortcuts_(std::move(shortcuts)) {}

std::vector<Binding_row> Binding_directory::action_texts() {
    std::vector<Binding_row> rows;
    try {
        Param::Owned_parameters list = Param::create(host_);
        if (!list)
            return rows;
        Param::send(host_, L"zp_broadcast_get_action_text", list.get());
        Row_collector collector(rows);
        list->visit_children(&collector);
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::action_texts") << "Zaptor exception:" << e.what();
    }
    return rows;
}

Key_binding_entry Binding_directory::binding_of(std::uint32_t key_code) {
    try {
        if (shortcuts_)
            return shortcuts_->get_binding(key_code);
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::binding_of") << "Zaptor exception:" << e.what();
    }
    return {};
}

std::vector<Binding_row> Binding_directory::bound_rows() {
    std::vector<Binding_row> rows;
    if (!shortcuts_)
        return rows;
    try {
        for (Binding_record& record : shortcuts_->list_bindings()) {
            Binding_row row{record.key_code, record.ident, record.name, {}};
            Param::Owned_parameters list = Param::create(host_);
            if (list) {
                Param::write_text(list.get(), L"request", L"get_descriptor");
                Param::send(host_, record.ident, list.get());
                std::wstring name = Param::read_text(list.get(), L"name");
                if (!name.empty())
                    row.name = std::move(name);
                row.description = Param::read_text(list.get(), L"description");
            }
            rows.push_back(std::move(row));
        }
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::bound_rows") << "Zaptor exception:" << e.what();
    }
    return rows;
}

bool Binding_directory::store_binding(std::uint32_t key_code, const std::wstring& ident,
                                      const std::wstring& name) {
    try {
        if (shortcuts_)
            return shortcuts_->set_binding(key_code, ident, name);
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::store_binding") << "Zaptor exception:" << e.what();
    }
    return false;
}

std::vector<Abbreviation_row> Binding_directory::abbreviations() {
    std::vector<Abbreviation_row> rows;
    if (!shortcuts_)
        return rows;
    try {
        for (const Abbreviation_record& record : shortcuts_->list_abbreviations()) {
            Abbreviation_row row{record.abbreviation, record.ident, record.ident, record.immediate,
                                 record.case_sensitive};
            if (Param::Owned_parameters list = Param::create(host_)) {
                Param::write_text(list.get(), L"request", L"get_descriptor");
                Param::send(host_, record.ident, list.get());
                std::wstring name = Param::read_text(list.get(), L"name");
                if (!name.empty())
                    row.name = std::move(name);
            }
            rows.push_back(std::move(row));
        }
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::abbreviations") << "Zaptor exception:" << e.what();
    }
    return rows;
}

std::vector<std::wstring> Binding_directory::excluded_applications() {
    try {
        if (shortcuts_)
            return shortcuts_->excluded_applications();
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::excluded_applications") << "Zaptor exception:" << e.what();
    }
    return {};
}

bool Binding_directory::set_excluded_applications(const std::vector<std::wstring>& patterns) {
    try {
        if (shortcuts_)
            return shortcuts_->set_excluded_applications(patterns);
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::set_excluded_applications")
            << "Zaptor exception:" << e.what();
    }
    return false;
}

bool Binding_directory::remove_binding(std::uint32_t key_code) {
    try {
        if (shortcuts_)
            return shortcuts_->remove_binding(key_code);
    } catch (const std::exception& e) {
        Trace::error("Binding_directory::remove_binding") << "Zaptor exception:" << e.what();
    }
    return false;
}
