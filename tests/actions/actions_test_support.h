// Shared pieces of the action tests: a working folder with a "plugins"
// subfolder (the key-binding database path is relative to it), a test
// action that counts its runs per key code, and message builders.
#pragma once

#include "actions/filter_base_key_action.h"
#include "contract/parameter_values.h"
#include "host/parameter_list.h"
#include "host/reference_host.h"
#include "support/test_support.h"
#include "support/work_folder.h"

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>

// Counts activations and deactivations per key code (from any thread).
class Counting_action final : public FilterBaseKeyAction {
public:
    Counting_action(std::wstring ident, Interaction_if* host, const wchar_t* name = L"Name",
                    const wchar_t* description = L"")
        : FilterBaseKeyAction(std::move(ident), host), name_(name), description_(description) {}
    int process_activate() override { return count(true, 7); }
    int process_deactivate() override { return count(false, 9); }
    const wchar_t* name() override { return name_; }
    const wchar_t* description() override { return description_; }
    unsigned activations(std::uint32_t code) { return runs(true, code); }
    unsigned deactivations(std::uint32_t code) { return runs(false, code); }
    unsigned total_runs() { return runs(false, 0, true); }

private:
    int count(bool press, int result) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++runs_[{press, key_code()}];
        ++total_;
        return result;
    }
    unsigned runs(bool press, std::uint32_t code, bool all = false) {
        std::lock_guard<std::mutex> lock(mutex_);
        return all ? total_ : runs_[{press, code}];
    }
    const wchar_t* name_;
    const wchar_t* description_;
    std::mutex mutex_;
    std::map<std::pair<bool, std::uint32_t>, unsigned> runs_;
    unsigned total_ = 0;
};

// A value of `size` bytes holding `value` (repeated), for wrong-size checks.
inline void set_bytes(Parameters* list, const wchar_t* key, std::size_t size,
                      std::uint32_t value = 0x41) {
    unsigned char bytes[8] = {};
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * (i % 4)));
    list->set(key, bytes, static_cast<unsigned int>(size));
}

// A list with one u32 value (key null: none), and optionally "request".
inline std::unique_ptr<Parameter_list> u32_list(const wchar_t* key, std::uint32_t value,
                                                const wchar_t* request = nullptr) {
    auto list = Reference_host::make_list();
    if (request)
        Param::write_text(list.get(), L"request", request);
    if (key)
        Param::write_u32(list.get(), key, value);
    return list;
}

// A list of text values.
inline std::unique_ptr<Parameter_list>
text_list(std::initializer_list<std::pair<const wchar_t*, std::wstring>> values) {
    auto list = Reference_host::make_list();
    for (const auto& [key, text] : values)
        Param::write_text(list.get(), key, text);
    return list;
}

inline void set_binding(Reference_host& host, std::uint32_t combi, const std::wstring& id,
                        const std::wstring& title) {
    auto list = text_list({{L"id", id}, {L"title", title}});
    Param::write_u32(list.get(), L"combi", combi);
    host.deliver(L"zp_action_set_key_binding", list.get());
}

inline KBDLLHOOKSTRUCT key_event(DWORD virtual_key, bool down) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = virtual_key;
    event.flags = down ? 0 : LLKHF_UP;
    return event;
}

const wchar_t* const binding_messages[] = {L"key_processing", L"core__notify_data_update",
                                           L"zp_action_key_binding", L"zp_action_set_key_binding",
                                           L"zp_action_remove_key_binding"};
