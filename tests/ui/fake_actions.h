// Stand-ins for the plug-in's action side, answering the Manage actions
// dialog's messages the way the interpreters and keyboard shortcuts do:
// code types, the action listing with search, descriptors, storing with new
// idents, deleting and key bindings, all kept in memory.
#pragma once

#include "actions/filter_base_key_action.h"
#include "contract/filter_registration.h"
#include "host/reference_host.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct Fake_action {
    std::wstring type, code, name, description, category;
};

class Fake_code_actions final : public Filter {
public:
    explicit Fake_code_actions(Reference_host& host);
    ~Fake_code_actions();
    Fake_code_actions(const Fake_code_actions&) = delete;
    Fake_code_actions& operator=(const Fake_code_actions&) = delete;

    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override;

    // Test set-up and inspection; safe from any thread.
    void put(const std::wstring& ident, Fake_action action);
    bool get(const std::wstring& ident, Fake_action& action) const;
    std::size_t size() const;
    void bind(const std::wstring& ident, std::uint32_t key_code);
    // 0xFFFF when unbound.
    std::uint32_t binding_of(const std::wstring& ident) const;
    // Code types that store; others answer no "result" (an interpreter missing).
    void set_accepting(bool accepting);

private:
    void answer(const std::wstring& name, Parameters* list);

    Reference_host& host_;
    Filter_registration registration_;
    mutable std::mutex mutex_;
    std::map<std::wstring, Fake_action> actions_;
    std::map<std::wstring, std::uint32_t> bindings_;
    unsigned int next_id_ = 1;
    bool accepting_ = true;
};

// A built-in action with fixed texts, as the plug-in's own actions are.
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

// Records every request the plug-in sends: its name and its values as
// "path=text" (child values as "child.key"), in list order.
class Request_log {
public:
    explicit Request_log(Reference_host& host);
    struct Request {
        std::wstring name;
        std::vector<std::wstring> values;
    };
    std::vector<Request> take();
    std::vector<Request> all() const;

private:
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};
