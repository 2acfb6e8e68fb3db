#pragma once

#include "contract/owned_filter.h"
#include "plugin/startup_filter.h"

#include <memory>
#include <vector>

class Binding_directory;
class Code_storage;
class Keyboard_shortcuts_impl;

// Builds the whole plug-in on "startup" and tears it down on "shutdown";
// owns every long-lived component. Components that keep another hold it
// through a shared owner, so none can outlive what it points to, whatever
// order the host's messages come in.
class ZP_Startup_filter final : public Startup_filter {
public:
    ZP_Startup_filter(Interaction_if* host, HINSTANCE module);
    ~ZP_Startup_filter() override;

    void on_startup() override;
    void on_shutdown() override;
    void on_set_language(const std::wstring& language) override;
    bool on_create_backup(const std::wstring& path) override;
    bool on_restore_backup(const std::wstring& path) override;
    void on_set_debug_level(const std::wstring& level) override;
    void on_delete_traces() override;

    std::size_t filter_count() const { return filters_.size(); }
    Code_storage* code_storage() const { return code_storage_.get(); }
    Keyboard_shortcuts_impl* keyboard_shortcuts() const { return keyboard_shortcuts_.get(); }
    Binding_directory* binding_directory() const { return binding_directory_.get(); }

    bool started() const { return started_; }

private:
    void build();
    // No new work: key messages, the listener and the clipboard gate.
    void withdraw();
    void tear_down();

    HINSTANCE module_;
    bool started_ = false;
    std::vector<Owned_filter> filters_;
    std::shared_ptr<Keyboard_shortcuts_impl> keyboard_shortcuts_;
    std::shared_ptr<Code_storage> code_storage_;
    std::shared_ptr<Binding_directory> binding_directory_;
};

// Keeps the plug-in's code mapped until the process ends.
void pin_module();

// "off", "error", "warning", "info", "debug" → 0..4; anything else → -1.
int trace_level_from_text(const std::wstring& level);
