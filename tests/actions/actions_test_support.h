// Shared pieces of the action tests: a working folder with a "plugins"
// subfolder (the key-binding database path is relative to it), a test
// action that counts its runs, and a recorder of the messages a host sees.
#pragma once

#include "actions/filter_base_key_action.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "support/test_support.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Makes a fresh folder the current directory for the test's lifetime.
class Work_folder {
public:
    explicit Work_folder(const std::wstring& prefix, bool with_plugins = true) {
        wchar_t previous[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        path_ = Test_support::make_temp_directory(prefix);
        if (with_plugins)
            CreateDirectoryW((path_ + L"\\plugins").c_str(), nullptr);
        SetCurrentDirectoryW(path_.c_str());
    }
    ~Work_folder() {
        SetCurrentDirectoryW(previous_.c_str());
        Test_support::remove_tree(path_);
    }
    Work_folder(const Work_folder&) = delete;
    Work_folder& operator=(const Work_folder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring database() const { return path_ + L"\\plugins\\zaptor.db"; }

private:
    std::wstring previous_;
    std::wstring path_;
};

// An action of the tests' own: counts activations and deactivations per key
// code (from any thread).
class Counting_action final : public FilterBaseKeyAction {
public:
    Counting_action(std::wstring ident, Interaction_if* host,
                    const wchar_t* name = L"To upper case",
                    const wchar_t* description = L"Converts the selected text.")
        : FilterBaseKeyAction(std::move(ident), host), name_(name), description_(description) {}

    int process_activate() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++activations_[key_code()];
        return 7;
    }
    int process_deactivate() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++deactivations_[key_code()];
        return 9;
    }
    const wchar_t* name() override { return name_; }
    const wchar_t* description() override { return description_; }

    unsigned activations(std::uint32_t code) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = activations_.find(code);
        return it == activations_.end() ? 0 : it->second;
    }
    unsigned deactivations(std::uint32_t code) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = deactivations_.find(code);
        return it == deactivations_.end() ? 0 : it->second;
    }
    unsigned total_runs() const {
        std::lock_guard<std::mutex> lock(mutex_);
        unsigned sum = 0;
        for (auto& [code, count] : activations_)
            sum += count;
        for (auto& [code, count] : deactivations_)
            sum += count;
        return sum;
    }

private:
    const wchar_t* name_;
    const wchar_t* description_;
    mutable std::mutex mutex_;
    std::map<std::uint32_t, unsigned> activations_;
    std::map<std::uint32_t, unsigned> deactivations_;
};

// Records what the plug-in sends to the host, by message name.
class Request_log {
public:
    explicit Request_log(Reference_host& host) {
        host.set_request_observer([this](const std::wstring& name, Parameters*) {
            std::lock_guard<std::mutex> lock(mutex_);
            names_.push_back(name);
        });
    }
    std::size_t count(const std::wstring& name) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t n = 0;
        for (auto& seen : names_)
            n += seen == name;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::wstring> names_;
};

inline void set_bytes(Parameters* list, const wchar_t* key, std::size_t size,
                      std::uint32_t value = 0x41) {
    unsigned char bytes[8] = {};
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * (i % 4)));
    list->set(key, bytes, static_cast<unsigned int>(size));
}

inline KBDLLHOOKSTRUCT key_event(DWORD virtual_key, bool down) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = virtual_key;
    event.flags = down ? 0 : LLKHF_UP;
    return event;
}
