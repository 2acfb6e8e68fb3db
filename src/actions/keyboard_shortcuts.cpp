#include "actions/keyboard_shortcuts.h"

#include "actions/key_code.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "contract/plugin_globals.h"
#include "storage/file_copy.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <cstring>
#include <exception>

namespace {

const wchar_t* const message_names[] = {L"key_processing",
                                        L"core__notify_data_update",
                                        L"zp_action_key_binding",
                                        L"zp_action_set_key_binding",
                                        L"zp_action_remove_key_binding",
                                        L"zp_action_set_abbreviation",
                                        L"zp_action_abbreviation",
                                        L"zp_delete_action"};

const wchar_t* const backup_file_name = L"zaptor.db";

std::wstring join_path(const std::wstring& directory, const wchar_t* file) {
    std::wstring path = directory;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    return path + file;
}

// Bits that no key code carries: 11-15 and 17-31.
constexpr std::uint32_t undefined_bits =
    ~(0xFFu | Key_code::shift | Key_code::control | Key_code::alt | Key_code::direct);

Listener_map build_listener_map(const Binding_map& bindings) {
    Listener_map map;
    for (const auto& [code, entry] : bindings) {
        if (!Key_code::is_direct(code) || entry.ident.empty())
            continue;
        auto low = static_cast<std::uint16_t>(code & 0xFFFFu);
        auto high = static_cast<std::uint16_t>(code >> 16);
        auto& list = map[Key_code::virtual_key(code)];
        for (auto it = list.begin(); it != list.end();) {
            if (it->code == low && it->high == high)
                it = list.erase(it);
            else
                ++it;
        }
        list.push_back({low, high, entry.ident});
    }
    return map;
}

} // namespace

Keyboard_shortcuts_impl::Keyboard_shortcuts_impl(Interaction_if* host)
    : Keyboard_shortcuts_impl(host, Plugin_globals::key_binding_database_path,
                              running_key_tasks()) {}

Keyboard_shortcuts_impl::Keyboard_shortcuts_impl(Interaction_if* host, std::wstring database_path,
                                                 Running_tasks& tasks)
    : host_(host), listener_(std::make_unique<Shortcut_listener>(host, tasks)),
      database_path_(std::move(database_path)) {}

Keyboard_shortcuts_impl::~Keyboard_shortcuts_impl() {
    Trace::guarded("Keyboard_shortcuts_impl::deinitialize", [this] { deinitialize(); });
    Shortcut_listener::retire(std::move(listener_));
}

void* Keyboard_shortcuts_impl::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

bool Keyboard_shortcuts_impl::initialize() {
    try {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            database_.reset();
            database_ = std::make_unique<Shortcut_database>(database_path_);
            reload_locked();
        }
        if (subscriptions_.empty())
            for (const wchar_t* name : message_names)
                subscriptions_.push_back(std::make_unique<Subscription>(host_, this, name));
        if (!listener_registered_)
            send_listener(L"register_keyboard_listener");
        listener_registered_ = true;
        return true;
    } catch (const std::exception& e) {
        Trace::error("Keyboard_shortcuts_impl::initialize") << "Zaptor exception:" << e.what();
    }
    return false;
}

void Keyboard_shortcuts_impl::deinitialize() {
    while (!subscriptions_.empty())
        subscriptions_.pop_back();
    if (listener_registered_) {
        send_listener(L"deregister_keyboard_listener");
        listener_registered_ = false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    database_.reset();
}

// The value is the listener's address in the plug-in's own pointer size.
void Keyboard_shortcuts_impl::send_listener(const wchar_t* message) {
    Param::Owned_parameters list = Param::create(host_);
    if (!list) {
        Trace::error("Keyboard_shortcuts_impl::initialize")
            << L"the host gave no parameter list for " << message;
        return;
    }
    Keyboard_listener* pointer = listener_.get();
    list->set(L"listener", &pointer, sizeof pointer);
    Param::send(host_, message, list.get());
}

bool Keyboard_shortcuts_impl::has_database() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return database_ != nullptr;
}

void Keyboard_shortcuts_impl::reload() {
    std::lock_guard<std::mutex> lock(mutex_);
    reload_locked();
}

void Keyboard_shortcuts_impl::reload_locked() {
    // A file that cannot be read (busy beyond the timeout) is not asked
    // again for each table: everything in use stays as it was.
    if (database_ &&
        (!database_->load_all(bindings_) || !database_->load_abbreviations(abbreviations_) ||
         !database_->load_excluded(excluded_)))
        Trace::error("Keyboard_shortcuts_impl::reload")
            << "the bindings and abbreviations in use stay as they were";
    listener_->replace(build_listener_map(bindings_));
    listener_->replace_abbreviations(abbreviations_, excluded_);
}

// Also after a failed write: another process may have changed the file,
// and the map follows the file, not the change that was refused.
bool Keyboard_shortcuts_impl::changed_locked(bool written) {
    reload_locked();
    return written;
}

int Keyboard_shortcuts_impl::process(const wchar_t* name, unsigned int name_length,
                                     Parameters* list) {
    return Trace::guarded("Keyboard_shortcuts_impl::process", 0, [&] {
        if (name)
            dispatch(std::wstring(name, name_length), list);
        return 0;
    });
}

void Keyboard_shortcuts_impl::dispatch(const std::wstring& name, Parameters* list) {
    if (name == L"key_processing") {
        key_processing(list);
    } else if (name == L"core__notify_data_update") {
        reload();
    } else if (name == L"zp_action_key_binding") {
        std::wstring ident = Param::read_text(list, L"id");
        if (ident.empty())
            return;
        bool found = false;
        std::uint32_t code = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& [key, entry] : bindings_) {
                if (entry.ident == ident) {
                    code = key;
                    found = true;
                    break;
                }
            }
        }
        if (found)
            Param::write_u32(list, L"key", code);
    } else if (name == L"zp_action_set_key_binding") {
        std::uint32_t combi = Param::read_u32(list, L"combi", Key_code::none);
        std::wstring ident = Param::read_text(list, L"id");
        if (Key_code::is_none(combi) || ident.empty()) {
            Trace::debug("Keyboard_shortcuts_impl::process")
                << L"zp_action_set_key_binding without a combination or ident: nothing stored";
            return;
        }
        // "stored" tells the sender (the Manage actions dialog) whether the
        // change reached the file.
        Param::write_flag(list, L"stored",
                          set_binding(combi, ident, Param::read_text(list, L"title")));
    } else if (name == L"zp_action_remove_key_binding") {
        Param::write_flag(list, L"stored", remove_binding(Param::read_u32(list, L"combi", 0)));
    } else if (name == L"zp_action_set_abbreviation") {
        set_abbreviation_message(list);
    } else if (name == L"zp_action_abbreviation") {
        answer_abbreviation(list);
    } else if (name == L"zp_delete_action") {
        // Whichever interpreter holds the action deletes its code; its
        // abbreviation and key bindings go here.
        const std::wstring ident = Param::read_text(list, L"ident");
        if (ident.empty())
            return;
        std::wstring taken_by;
        set_abbreviation({L"", ident, false, false}, taken_by);
        remove_ident_bindings(ident);
    }
}

void Keyboard_shortcuts_impl::set_abbreviation_message(Parameters* list) {
    Abbreviation_record record;
    record.ident = Param::read_text(list, L"id");
    record.abbreviation = Param::read_text(list, L"abbreviation");
    const std::wstring kind = Param::read_text(list, L"kind");
    record.immediate = kind == L"immediate";
    record.case_sensitive = Param::read_flag(list, L"case_sensitive", false);
    if (record.ident.empty() || (!kind.empty() && kind != L"word" && kind != L"immediate")) {
        Trace::error("Keyboard_shortcuts_impl::process")
            << L"zp_action_set_abbreviation without an ident or with kind '" << kind
            << L"': nothing stored";
        Param::write_flag(list, L"stored", false);
        return;
    }
    std::wstring taken_by;
    const bool stored = set_abbreviation(record, taken_by);
    Param::write_flag(list, L"stored", stored);
    if (!taken_by.empty())
        Param::write_text(list, L"taken_by", taken_by);
}

void Keyboard_shortcuts_impl::answer_abbreviation(Parameters* list) {
    const std::wstring ident = Param::read_text(list, L"id");
    if (ident.empty())
        return;
    Abbreviation_record found;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Abbreviation_record& record : abbreviations_)
            if (record.ident == ident)
                found = record;
    }
    if (found.abbreviation.empty())
        return;
    Param::write_text(list, L"abbreviation", found.abbreviation);
    Param::write_text(list, L"kind", found.immediate ? L"immediate" : L"word");
    Param::write_flag(list, L"case_sensitive", found.case_sensitive);
}

std::vector<Abbreviation_record> Keyboard_shortcuts_impl::list_abbreviations() {
    std::lock_guard<std::mutex> lock(mutex_);
    return abbreviations_;
}

bool Keyboard_shortcuts_impl::set_abbreviation(const Abbreviation_record& record,
                                               std::wstring& taken_by) {
    taken_by.clear();
    for (wchar_t c : record.abbreviation) {
        if (c < 0x20) {
            Trace::error("Keyboard_shortcuts_impl::set_abbreviation")
                << L"an abbreviation cannot hold control characters; nothing stored for "
                << record.ident;
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!database_)
        return false;
    return changed_locked(database_->store_abbreviation(record, taken_by));
}

std::vector<std::wstring> Keyboard_shortcuts_impl::excluded_applications() {
    std::lock_guard<std::mutex> lock(mutex_);
    return excluded_;
}

bool Keyboard_shortcuts_impl::set_excluded_applications(const std::vector<std::wstring>& patterns) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!database_)
        return false;
    return changed_locked(database_->store_excluded(patterns));
}

bool Keyboard_shortcuts_impl::remove_ident_bindings(const std::wstring& ident) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!database_)
        return false;
    return changed_locked(database_->remove_ident(ident));
}

bool Keyboard_shortcuts_impl::remove_binding(std::uint32_t key_code) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!database_)
        return false;
    return changed_locked(database_->remove_key(key_code));
}

Key_binding_entry Keyboard_shortcuts_impl::get_binding(std::uint32_t key_code) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = bindings_.find(key_code);
    if (found == bindings_.end())
        return {};
    return found->second;
}

// One row changes, never the whole table: a second host process that
// changed other bindings meanwhile keeps its changes.
bool Keyboard_shortcuts_impl::set_binding(std::uint32_t key_code, const std::wstring& ident,
                                          const std::wstring& name) {
    if ((key_code & undefined_bits) != 0 || Key_code::is_none(key_code)) {
        (Trace::error("Keyboard_shortcuts_impl::set_binding")
         << L"not a key combination, nothing stored for " << ident << L": ")
            .hex(key_code);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!database_)
        return false;
    // Unbinding: the row goes too, or it would come back at the reload.
    if (ident.empty() || name.empty())
        return changed_locked(database_->remove_key(key_code));
    return changed_locked(database_->store(key_code, ident, name));
}

std::vector<Binding_record> Keyboard_shortcuts_impl::list_bindings() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Binding_record> records;
    records.reserve(bindings_.size());
    for (const auto& [key, entry] : bindings_)
        records.push_back({key, entry.ident, entry.name});
    return records;
}

int Keyboard_shortcuts_impl::create_backup(const std::wstring& directory) {
    if (directory.empty()) {
        Trace::error("Keyboard_shortcuts_impl::create_backup") << "no backup folder given";
        return 1;
    }
    std::string error;
    try {
        if (copy_file_over(database_path_, join_path(directory, backup_file_name), error))
            return 0;
    } catch (const std::exception& e) {
        error = e.what();
    }
    Trace::error("Keyboard_shortcuts_impl::create_backup") << error;
    return 1;
}

bool Keyboard_shortcuts_impl::check_backup(const std::wstring& directory,
                                           std::string& reason) const {
    if (directory.empty()) {
        reason = "no backup folder given";
        return false;
    }
    return is_key_binding_database(join_path(directory, backup_file_name), reason);
}

int Keyboard_shortcuts_impl::restore_backup(const std::wstring& directory) {
    std::wstring source = join_path(directory, backup_file_name);
    std::string reason;
    // A missing, damaged or foreign file must not replace the user's bindings.
    if (!check_backup(directory, reason)) {
        Trace::error("Keyboard_shortcuts_impl::restore_backup")
            << "backup not restored: " << reason;
        return 1;
    }
    deinitialize();
    int outcome = 0;
    try {
        if (!copy_file_over(source, database_path_, reason)) {
            Trace::error("Keyboard_shortcuts_impl::restore_backup") << reason;
            outcome = 1;
        }
    } catch (const std::exception& e) {
        Trace::error("Keyboard_shortcuts_impl::restore_backup") << e.what();
        outcome = 1;
    }
    initialize();
    return outcome;
}

int Keyboard_shortcuts_impl::key_processing(Parameters* list) {
    bool press = false;
    std::uint32_t value = 0;
    const void* data = nullptr;
    unsigned int size = 0;
    if (list && list->get(L"key_down", &data, &size) && data && size == 4) {
        std::memcpy(&value, data, 4);
        press = true;
    } else {
        value = Param::read_u32(list, L"key_up", 0);
    }
    std::uint32_t code = 0;
    if (!Key_code::from_host_value(value, code)) {
        (Trace::error("Keyboard_shortcuts_impl::key_processing")
         << L"host key value with a virtual key above 0xFF ignored: ")
            .hex(value);
        return 0;
    }
    std::wstring ident;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = bindings_.find(code);
        if (found == bindings_.end())
            return 0;
        ident = found->second.ident;
    }
    if (ident.empty() || !list)
        return 0;
    list->set_text(L"request", L"execute", 7);
    Param::write_u32(list, press ? L"activate" : L"deactivate", code);
    Param::send(host_, ident, list);
    return 0;
}
