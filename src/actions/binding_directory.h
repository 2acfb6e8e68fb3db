// What the key-binding dialogs see of bindings and actions: every action
// that can be bound, the existing bindings with current action texts, and
// storing and removing a binding. Keeps no state of its own, so every call
// reflects the bindings and the actions that answer at that moment.
#pragma once

#include "actions/keyboard_shortcuts.h"
#include "contract/host_interface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Binding_row {
    std::uint32_t key_code; // 0xFFFF in rows that only describe an action
    std::wstring ident;
    std::wstring name;
    std::wstring description;
};

struct Abbreviation_row {
    std::wstring abbreviation;
    std::wstring ident;
    std::wstring name;      // the action's current name, or the ident
    bool immediate = false; // kind
    bool case_sensitive = false;
};

class Binding_directory {
public:
    // The shortcuts live as long as the directory does; the host outlives both.
    Binding_directory(Interaction_if* host, std::shared_ptr<Keyboard_shortcuts> shortcuts);
    virtual ~Binding_directory() = default;
    Binding_directory(const Binding_directory&) = delete;
    Binding_directory& operator=(const Binding_directory&) = delete;

    // In the order the host's list visits the answers; callers sort.
    virtual std::vector<Binding_row> action_texts();
    // Empty ident and name when the code is unbound.
    virtual Key_binding_entry binding_of(std::uint32_t key_code);
    // In key-code order, with the name and description the action gives now
    // (the stored name and no description when it no longer answers).
    virtual std::vector<Binding_row> bound_rows();
    // False when the change was not written (the file locked by another
    // process, read-only or damaged): the dialog says so; the bindings
    // listed afterwards are still what the file holds.
    virtual bool store_binding(std::uint32_t key_code, const std::wstring& ident,
                               const std::wstring& name);
    virtual bool remove_binding(std::uint32_t key_code);

    // Sorted by abbreviation.
    virtual std::vector<Abbreviation_row> abbreviations();
    // As stored, in order.
    virtual std::vector<std::wstring> excluded_applications();
    // False: not saved (the list in use is then still what the file holds).
    virtual bool set_excluded_applications(const std::vector<std::wstring>& patterns);

private:
    Interaction_if* host_;
    std::shared_ptr<Keyboard_shortcuts> shortcuts_;
};
