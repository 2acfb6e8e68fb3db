// In-memory code actions, answered as the interpreters do.
#pragma once

#include "contract/filter_registration.h"
#include "host/reference_host.h"

#include <atomic>
#include <map>
#include <mutex>

struct Fake_action {
    std::wstring type, code, name, description, category;
};

class Fake_code_actions final : public Filter {
public:
    explicit Fake_code_actions(Reference_host& host);
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override;
    // Safe from any thread.
    void put(const std::wstring& ident, Fake_action action);
    std::map<std::wstring, Fake_action> all() const;
    // False: nothing is stored and no "result" answered (no interpreter).
    std::atomic<bool> accepting{true};

private:
    mutable std::mutex mutex_;
    std::map<std::wstring, Fake_action> actions_;
    unsigned int next_id_ = 1;
    Filter_registration registration_;
};
