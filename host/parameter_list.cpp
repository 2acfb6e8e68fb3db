#include "host/parameter_list.h"

#include "trace/trace.h"

#include <cstring>
#include <cwchar>
#include <utility>

Parameter_list::Parameter_list(Owner owner) : owner_(owner) {}

Parameter_list::~Parameter_list() = default;

void* Parameter_list::destroy(unsigned int flags) {
    if (owner_ != Owner::plugin) {
        // Freeing a list the host still uses would crash the host later.
        Trace::error("Parameter_list::destroy")
            << "list " << static_cast<const void*>(this) << " belongs to the host; not destroyed";
        return this;
    }
    if (flags & 1) {
        delete this;
        return this;
    }
    entries_.clear();
    value_index_.clear();
    child_index_.clear();
    return this;
}

void Parameter_list::set_text(const wchar_t* key, const wchar_t* text, unsigned int length) {
    if (!key) {
        Trace::error("Parameter_list::set_text") << "null key; nothing stored";
        return;
    }
    if (!text && length != 0) {
        Trace::error("Parameter_list::set_text")
            << "null text with length " << length << " for key " << key << "; nothing stored";
        return;
    }
    // Characters plus one NUL: readers see the same bytes as after set of a
    // NUL-terminated text.
    std::vector<unsigned char> bytes((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t), 0);
    if (length)
        std::memcpy(bytes.data(), text, static_cast<std::size_t>(length) * sizeof(wchar_t));
    set_value(key, std::move(bytes), true);
}

void Parameter_list::set(const wchar_t* key, const void* data, unsigned int byte_count) {
    if (!key) {
        Trace::error("Parameter_list::set") << "null key; nothing stored";
        return;
    }
    if (!data && byte_count != 0) {
        Trace::error("Parameter_list::set")
            << "null data with " << byte_count << " bytes for key " << key << "; nothing stored";
        return;
    }
    const auto* begin = static_cast<const unsigned char*>(data);
    set_value(key, std::vector<unsigned char>(begin, begin + byte_count), false);
}

bool Parameter_list::get(const wchar_t* key, const void** data, unsigned int* byte_count) {
    if (data)
        *data = nullptr;
    if (byte_count)
        *byte_count = 0;
    if (!key) {
        Trace::error("Parameter_list::get") << "null key";
        return false;
    }
    const Entry* entry = find_value(key);
    if (!entry)
        return false;
    if (data)
        *data = entry->bytes.empty() ? nullptr : entry->bytes.data();
    if (byte_count)
        *byte_count = static_cast<unsigned int>(entry->bytes.size());
    return true;
}

void Parameter_list::reserved4() {
    Trace::error("Parameter_list::reserved4") << "unused slot 4 called";
}

void Parameter_list::reserved5() {
    Trace::error("Parameter_list::reserved5") << "unused slot 5 called";
}

void Parameter_list::reserved8() {
    Trace::error("Parameter_list::reserved8") << "unused slot 8 called";
}

Parameters* Parameter_list::child(const wchar_t* key) {
    if (!key) {
        Trace::error("Parameter_list::child") << "null key; no child";
        return nullptr;
    }
    return &child_list(key);
}

Parameters* Parameter_list::find_child(const wchar_t* key) {
    if (!key) {
        Trace::error("Parameter_list::find_child") << "null key; no child";
        return nullptr;
    }
    return find_child_list(key);
}

void Parameter_list::for_each_child(Child_callback callback, void* context) {
    if (!callback) {
        Trace::error("Parameter_list::for_each_child") << "null callback";
        return;
    }
    for (const auto& [key, list] : child_snapshot())
        callback(context, key.c_str(), list);
}

void Parameter_list::visit_children(Child_visitor* visitor) {
    if (!visitor) {
        Trace::error("Parameter_list::visit_children") << "null visitor";
        return;
    }
    for (const auto& [key, list] : child_snapshot())
        visitor->visit(key.c_str(), list);
}

// The caller's callback may add children: it walks a snapshot, and the child
// lists themselves stay put while entries are added.
std::vector<std::pair<std::wstring, Parameter_list*>> Parameter_list::child_snapshot() const {
    std::vector<std::pair<std::wstring, Parameter_list*>> children;
    for (const auto& entry : entries_)
        if (entry.is_child)
            children.emplace_back(entry.key, entry.child.get());
    return children;
}

std::size_t Parameter_list::position(const std::wstring& key, bool child) const {
    if (entries_.size() <= linear_limit) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].is_child == child && entries_[i].key == key)
                return i;
        return entries_.size();
    }
    const auto& index = child ? child_index_ : value_index_;
    auto found = index.find(key);
    return found == index.end() ? entries_.size() : found->second;
}

void Parameter_list::append(Entry entry) {
    entries_.push_back(std::move(entry));
    if (entries_.size() == linear_limit + 1) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            (entries_[i].is_child ? child_index_ : value_index_).emplace(entries_[i].key, i);
    } else if (entries_.size() > linear_limit + 1) {
        const Entry& added = entries_.back();
        (added.is_child ? child_index_ : value_index_).emplace(added.key, entries_.size() - 1);
    }
}

const Parameter_list::Entry* Parameter_list::find_value(const std::wstring& key) const {
    std::size_t at = position(key, false);
    return at < entries_.size() ? &entries_[at] : nullptr;
}

Parameter_list::Entry* Parameter_list::value_entry(const std::wstring& key) {
    std::size_t at = position(key, false);
    return at < entries_.size() ? &entries_[at] : nullptr;
}

Parameter_list* Parameter_list::find_child_list(const std::wstring& key) const {
    std::size_t at = position(key, true);
    return at < entries_.size() ? entries_[at].child.get() : nullptr;
}

Parameter_list& Parameter_list::child_list(const std::wstring& key) {
    if (Parameter_list* existing = find_child_list(key))
        return *existing;
    Entry entry;
    entry.key = key;
    entry.is_child = true;
    entry.child = std::make_unique<Parameter_list>(Owner::host);
    append(std::move(entry));
    return *entries_.back().child;
}

void Parameter_list::set_value(const std::wstring& key, std::vector<unsigned char> bytes,
                               bool as_text) {
    // A value set again keeps its place in the list.
    if (Entry* entry = value_entry(key)) {
        entry->bytes = std::move(bytes);
        entry->written_as_text = as_text;
        return;
    }
    Entry entry;
    entry.key = key;
    entry.written_as_text = as_text;
    entry.bytes = std::move(bytes);
    append(std::move(entry));
}

void Parameter_list::set_path(const std::vector<std::wstring>& path,
                              std::vector<unsigned char> bytes, bool as_text) {
    if (path.empty())
        return;
    Parameter_list* list = this;
    for (std::size_t i = 0; i + 1 < path.size(); ++i)
        list = &list->child_list(path[i]);
    list->set_value(path.back(), std::move(bytes), as_text);
}

namespace {

void flatten_into(const Parameter_list& list, const std::wstring& prefix,
                  std::vector<Flat_value>& out) {
    for (const auto& entry : list.entries()) {
        std::wstring path = prefix.empty() ? entry.key : prefix + L"." + entry.key;
        if (entry.is_child)
            flatten_into(*entry.child, path, out);
        else
            out.push_back({std::move(path), &entry});
    }
}

} // namespace

std::vector<Flat_value> flatten(const Parameter_list& list) {
    std::vector<Flat_value> out;
    flatten_into(list, std::wstring(), out);
    return out;
}
