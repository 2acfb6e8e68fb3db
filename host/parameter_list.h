// The host's parameter list: named byte values and named child lists, kept in
// insertion order. Values and children live in separate name spaces, so a key
// may name both a value and a child list.
#pragma once

#include "contract/host_interface.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class Parameter_list final : public Parameters {
public:
    // Who may free the list through slot 0. Lists from create_parameters belong
    // to the plug-in; lists the host sends and child lists belong to the host,
    // and a plug-in calling destroy on them is traced and ignored.
    enum class Owner { plugin, host };

    struct Entry {
        std::wstring key;
        bool is_child = false;
        // Set through set_text: the printer shows it as text whatever its size.
        bool written_as_text = false;
        std::vector<unsigned char> bytes;
        std::unique_ptr<Parameter_list> child;
    };

    explicit Parameter_list(Owner owner);
    ~Parameter_list();
    Parameter_list(const Parameter_list&) = delete;
    Parameter_list& operator=(const Parameter_list&) = delete;

    void* destroy(unsigned int flags) override;
    void set_text(const wchar_t* key, const wchar_t* text, unsigned int length) override;
    void set(const wchar_t* key, const void* data, unsigned int byte_count) override;
    bool get(const wchar_t* key, const void** data, unsigned int* byte_count) override;
    void reserved4() override;
    void reserved5() override;
    Parameters* child(const wchar_t* key) override;
    Parameters* find_child(const wchar_t* key) override;
    void reserved8() override;
    void for_each_child(Child_callback callback, void* context) override;
    void visit_children(Child_visitor* visitor) override;

    // Host-side access; not synchronised, like the list itself (one sender at a time).
    const std::vector<Entry>& entries() const { return entries_; }
    const Entry* find_value(const std::wstring& key) const;
    Parameter_list* find_child_list(const std::wstring& key) const;
    Parameter_list& child_list(const std::wstring& key);
    void set_value(const std::wstring& key, std::vector<unsigned char> bytes, bool as_text);
    // Follows a dotted path's child lists (created as needed) and sets the last key.
    void set_path(const std::vector<std::wstring>& path, std::vector<unsigned char> bytes,
                  bool as_text);
    Owner owner() const { return owner_; }

private:
    Entry* value_entry(const std::wstring& key);
    // Index in entries_ of the value or child `key`; entries_.size() when absent.
    std::size_t position(const std::wstring& key, bool child) const;
    void append(Entry entry);
    std::vector<std::pair<std::wstring, Parameter_list*>> child_snapshot() const;

    Owner owner_;
    std::vector<Entry> entries_;
    // Positions in entries_ by key, one index per name space: an answer to a
    // broadcast holds one child per action, thousands of them, and each is
    // looked up by key as it is written. Small lists (most of them: each
    // child holds a few values) are scanned instead, which costs less than
    // keeping an index.
    static constexpr std::size_t linear_limit = 8;
    std::unordered_map<std::wstring, std::size_t> value_index_;
    std::unordered_map<std::wstring, std::size_t> child_index_;
};

// Every value of a list, children flattened to dotted keys, in list order.
struct Flat_value {
    std::wstring path;
    const Parameter_list::Entry* entry;
};
std::vector<Flat_value> flatten(const Parameter_list& list);
