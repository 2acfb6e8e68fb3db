// The key bindings: which key combination runs which action ident. Loaded
// from the key-binding database, changed through the binding messages and
// the binding directory, and turned into "execute" messages when the host
// reports keys held with the activation key ("key_processing") or when the
// keyboard listener sees a direct binding.
#pragma once

#include "actions/shortcut_listener.h"
#include "actions/running_tasks.h"
#include "contract/filter_registration.h"
#include "contract/host_interface.h"
#include "storage/shortcut_database.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct Binding_record {
    std::uint32_t key_code;
    std::wstring ident;
    std::wstring name;
};

// What the binding directory and the lifecycle need of the key bindings.
class Keyboard_shortcuts : public Filter {
public:
    // The changes write one row each and then reload, so that changes made
    // meanwhile by another process stay. False when the change could not be
    // written (no database, a file locked beyond the busy timeout, read-only
    // or damaged): the bindings in memory are then still what the file holds.
    /*3*/ virtual bool remove_ident_bindings(const std::wstring& ident) = 0;
    /*4*/ virtual bool remove_binding(std::uint32_t key_code) = 0;
    // Empty ident and name when the code is unbound.
    /*5*/ virtual Key_binding_entry get_binding(std::uint32_t key_code) = 0;
    // An empty ident or name unbinds the code (in the map and the file).
    /*6*/ virtual bool set_binding(std::uint32_t key_code, const std::wstring& ident,
                                   const std::wstring& name) = 0;
    // In key-code order.
    /*7*/ virtual std::vector<Binding_record> list_bindings() = 0;
    // 0 ok, 1 failed. A restore first checks the backup (check_backup) and
    // replaces the file only with a usable one.
    /*8*/ virtual int create_backup(const std::wstring& directory) = 0;
    /*9*/ virtual int restore_backup(const std::wstring& directory) = 0;
    /*10*/ virtual int key_processing(Parameters* list) = 0;
    // Sorted by abbreviation.
    /*11*/ virtual std::vector<Abbreviation_record> list_abbreviations() = 0;
    // Replaces the action's abbreviation (an empty one removes it). False
    // when not written; `taken_by` names the action that has a clashing one.
    /*12*/ virtual bool set_abbreviation(const Abbreviation_record& record,
                                         std::wstring& taken_by) = 0;
    /*13*/ virtual std::vector<std::wstring> excluded_applications() = 0;
    /*14*/ virtual bool set_excluded_applications(const std::vector<std::wstring>& patterns) = 0;

    virtual ~Keyboard_shortcuts() = default;
};

class Keyboard_shortcuts_impl final : public Keyboard_shortcuts {
public:
    explicit Keyboard_shortcuts_impl(Interaction_if* host);
    // For tests: another database file and task list.
    Keyboard_shortcuts_impl(Interaction_if* host, std::wstring database_path, Running_tasks& tasks);
    // Deinitializes.
    ~Keyboard_shortcuts_impl() override;

    // Opens the database, loads the bindings, subscribes to the five binding
    // messages and registers the keyboard listener. On failure (the error
    // line is written) nothing is subscribed or registered; false.
    bool initialize();
    // Undoes initialize: unsubscribes, deregisters the listener, closes the
    // database. Safe to call twice.
    void deinitialize();
    // Replaces both maps by what the database holds.
    void reload();

    void* destroy(unsigned int flags) override;
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int name_length, Parameters* list) override;

    bool remove_ident_bindings(const std::wstring& ident) override;
    bool remove_binding(std::uint32_t key_code) override;
    Key_binding_entry get_binding(std::uint32_t key_code) override;
    bool set_binding(std::uint32_t key_code, const std::wstring& ident,
                     const std::wstring& name) override;
    std::vector<Binding_record> list_bindings() override;
    int create_backup(const std::wstring& directory) override;
    int restore_backup(const std::wstring& directory) override;
    int key_processing(Parameters* list) override;
    std::vector<Abbreviation_record> list_abbreviations() override;
    bool set_abbreviation(const Abbreviation_record& record, std::wstring& taken_by) override;
    std::vector<std::wstring> excluded_applications() override;
    bool set_excluded_applications(const std::vector<std::wstring>& patterns) override;
    // Whether `directory` holds a key-binding backup that restore_backup
    // would put in place; false with a readable reason otherwise.
    bool check_backup(const std::wstring& directory, std::string& reason) const;

    Keyboard_listener* listener() { return listener_.get(); }
    bool has_database() const;
    bool listener_registered() const { return listener_registered_; }

private:
    void dispatch(const std::wstring& name, Parameters* list);
    // Reloads the maps; a load that fails keeps the maps as they were.
    void reload_locked();
    // Reloads after a row change; `written` passes through.
    bool changed_locked(bool written);
    void send_listener(const wchar_t* message);
    void set_abbreviation_message(Parameters* list);
    void answer_abbreviation(Parameters* list);

    // Guards the binding map and the database. Never taken by the keyboard
    // listener, and never held while a message is sent (actions re-enter).
    mutable std::mutex mutex_;
    Binding_map bindings_;
    std::vector<Abbreviation_record> abbreviations_;
    std::vector<std::wstring> excluded_;
    Interaction_if* host_;
    std::unique_ptr<Shortcut_database> database_;
    std::unique_ptr<Shortcut_listener> listener_;
    std::wstring database_path_;
    std::vector<std::unique_ptr<Subscription>> subscriptions_;
    bool listener_registered_ = false;
};
