// Stand-ins for the plug-in's action side, kept in memory: code actions as the
// interpreters and keyboard shortcuts answer for them, a built-in action, and
// bindings that touch no database.
#pragma once

#include "actions/binding_directory.h"
#include "actions/filter_base_key_action.h"
#include "contract/filter_registration.h"
#include "host/reference_host.h"

#include <atomic>
#include <map>
#include <mutex>

struct Fake_action {
    std::wstring type, code, name, description, category;
};

// Code types, the listing with search, descriptors, storing with new idents,
// deleting, and the key of an action bound here.
class Fake_code_actions final : public Filter {
public:
    explicit Fake_code_actions(Reference_host& host);
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override;
    // Safe from any thread.
    void put(const std::wstring& ident, Fake_action action);
    std::map<std::wstring, Fake_action> all() const;
    void bind(const std::wstring& ident, std::uint32_t key_code);
    // False: nothing is stored and no "result" answered (no interpreter).
    std::atomic<bool> accepting{true};

private:
    mutable std::mutex mutex_;
    std::map<std::wstring, Fake_action> actions_;
    std::map<std::wstring, std::uint32_t> bindings_;
    unsigned int next_id_ = 1;
    Filter_registration registration_;
};

class Fake_builtin_action final : public FilterBaseKeyAction {
public:
    Fake_builtin_action(std::wstring ident, Interaction_if* host, std::wstring name,
                        std::wstring description)
        : FilterBaseKeyAction(std::move(ident), host), name_(std::move(name)),
          description_(std::move(description)) {}
    int process_deactivate() override { return 0; }
    const wchar_t* name() override { return name_.c_str(); }
    const wchar_t* description() override { return description_.c_str(); }

private:
    std::wstring name_, description_;
};

class Memory_directory final : public Binding_directory {
public:
    explicit Memory_directory(Interaction_if* host) : Binding_directory(host, nullptr) {}
    // Binds the action `ident` as it answers now; nothing when it does not.
    void bind(std::uint32_t key_code, const std::wstring& ident);
    Key_binding_entry binding_of(std::uint32_t key_code) override;
    std::vector<Binding_row> bound_rows() override;
    void store_binding(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void remove_binding(std::uint32_t) override {}

private:
    std::map<std::uint32_t, Binding_row> bound_;
};
