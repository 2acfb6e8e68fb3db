#include "host/reference_host.h"

#include "contract/parameter_values.h"
#include "trace/trace.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace {

const std::wstring default_handler = L"vq_default_action_handler";

// The "listener" value holds a pointer in the plug-in's own size.
bool read_listener(Parameters* list, Keyboard_listener*& listener) {
    const void* data = nullptr;
    unsigned int size = 0;
    listener = nullptr;
    if (!list->get(L"listener", &data, &size) || !data || size != sizeof(Keyboard_listener*))
        return false;
    std::memcpy(&listener, data, sizeof listener);
    return true;
}

} // namespace

Reference_host::Reference_host() = default;

Reference_host::~Reference_host() = default;

void Reference_host::reserved0() {
    Trace::error("Reference_host::reserved0") << "unused slot 0 called";
}

void Reference_host::reserved5() {
    Trace::error("Reference_host::reserved5") << "unused slot 5 called";
}

bool Reference_host::read_name(const char* operation, const wchar_t* name, unsigned int length,
                               std::wstring& out) {
    if (!name && length != 0) {
        Trace::error(operation) << "null name with length " << length;
        return false;
    }
    out.assign(name ? name : L"", length);
    return true;
}

void Reference_host::subscribe(const wchar_t* name, unsigned int name_length, Filter* filter) {
    std::wstring key;
    if (!read_name("Reference_host::subscribe", name, name_length, key))
        return;
    if (!filter) {
        Trace::error("Reference_host::subscribe") << "null filter for " << key << "; ignored";
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    subscriptions_.push_back({next_serial_++, std::move(key), filter, 0});
}

unsigned int Reference_host::register_filter(Filter* filter, const Name_ref* names,
                                             unsigned int count) {
    if (!filter) {
        Trace::error("Reference_host::register_filter") << "null filter; not registered";
        return 0;
    }
    if (!names && count != 0) {
        Trace::error("Reference_host::register_filter")
            << "null name list with " << count << " names; not registered";
        return 0;
    }
    std::vector<std::wstring> keys;
    for (unsigned int i = 0; i < count; ++i) {
        std::wstring key;
        if (!read_name("Reference_host::register_filter", names[i].text, names[i].length, key))
            return 0;
        keys.push_back(std::move(key));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned int id = next_registration_++;
    if (next_registration_ == 0)
        next_registration_ = 1; // 0 stays the "not registered" answer
    for (auto& key : keys)
        subscriptions_.push_back({next_serial_++, std::move(key), filter, id});
    return id;
}

void Reference_host::unsubscribe(const wchar_t* name, unsigned int name_length, Filter* filter) {
    std::wstring key;
    if (!read_name("Reference_host::unsubscribe", name, name_length, key))
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(subscriptions_.begin(), subscriptions_.end(), [&](const auto& entry) {
        return entry.registration == 0 && entry.filter == filter && entry.name == key;
    });
    if (it == subscriptions_.end()) {
        Trace::error("Reference_host::unsubscribe")
            << "filter " << static_cast<const void*>(filter) << " is not subscribed to " << key;
        return;
    }
    subscriptions_.erase(it);
}

void Reference_host::unregister_filter(unsigned int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto end = std::remove_if(subscriptions_.begin(), subscriptions_.end(), [&](const auto& entry) {
        return id != 0 && entry.registration == id;
    });
    if (end == subscriptions_.end()) {
        Trace::error("Reference_host::unregister_filter") << "unknown registration " << id;
        return;
    }
    subscriptions_.erase(end, subscriptions_.end());
}

Parameters* Reference_host::create_parameters() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!parameters_available_) {
            Trace::info("Reference_host::create_parameters") << "no list handed out (test setting)";
            return nullptr;
        }
    }
    return new Parameter_list(Parameter_list::Owner::plugin);
}

std::unique_ptr<Parameter_list> Reference_host::make_list() {
    return std::make_unique<Parameter_list>(Parameter_list::Owner::host);
}

int Reference_host::send(const wchar_t* name, unsigned int name_length, Parameters* list) {
    std::wstring key;
    if (!read_name("Reference_host::send", name, name_length, key))
        return 0;
    std::unique_ptr<Parameter_list> substitute;
    if (!list) {
        Trace::info("Reference_host::send") << key << " came without a list; an empty one is used";
        substitute = make_list();
        list = substitute.get();
    }
    Request_observer observer;
    bool service;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        observer = observer_;
        service = is_service(key);
    }
    if (observer) {
        try {
            observer(key, list);
        } catch (const std::exception& e) {
            Trace::error("Reference_host::send") << "request observer failed: " << e.what();
        }
    }
    if (!service)
        return deliver_to_filters(key, list, true);
    try {
        run_service(key, list);
    } catch (const std::exception& e) {
        Trace::error("Reference_host::send") << "service " << key << " failed: " << e.what();
    }
    return 1 + deliver_to_filters(key, list, false);
}

int Reference_host::deliver(const std::wstring& name, Parameters* list) {
    std::unique_ptr<Parameter_list> substitute;
    if (!list) {
        substitute = make_list();
        list = substitute.get();
    }
    return deliver_to_filters(name, list, true);
}

int Reference_host::deliver_to_filters(const std::wstring& name, Parameters* list,
                                       bool use_default) {
    using Target = std::pair<std::uint64_t, Filter*>;
    auto collect = [this](const std::wstring& key) {
        std::vector<Target> targets;
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : subscriptions_)
            if (entry.name == key)
                targets.emplace_back(entry.serial, entry.filter);
        return targets;
    };
    std::wstring receiver_name = name;
    std::vector<Target> targets = collect(name);
    if (targets.empty() && use_default && name != default_handler) {
        list->set_text(default_handler.c_str(), name.c_str(),
                       static_cast<unsigned int>(name.size()));
        receiver_name = default_handler;
        targets = collect(default_handler);
    }
    if (targets.empty()) {
        // A host service needs no filter; anything else went nowhere.
        if (use_default)
            Trace::info("Reference_host::deliver") << "no filter for " << name;
        return 0;
    }
    int called = 0;
    for (const auto& [serial, filter] : targets) {
        // A filter that an earlier one withdrew (or destroyed) is skipped.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bool present = std::any_of(subscriptions_.begin(), subscriptions_.end(),
                                       [&](const auto& entry) { return entry.serial == serial; });
            if (!present)
                continue;
        }
        try {
            // A name is its pointer and length: the host may hand out a piece
            // of a longer text. Followed here by more characters instead of a
            // NUL, so that a filter reading up to a NUL sees another name.
            const std::wstring unterminated = receiver_name + L"_unterminated";
            filter->process(unterminated.c_str(), static_cast<unsigned int>(receiver_name.size()),
                            list);
        } catch (const std::exception& e) {
            Trace::error("Reference_host::deliver") << receiver_name << " failed: " << e.what();
        } catch (...) {
            Trace::error("Reference_host::deliver")
                << receiver_name << " failed: unknown exception";
        }
        ++called;
    }
    return called;
}

const Reference_host::Service* Reference_host::find_service(const std::wstring& name) {
    static const Service services[] = {
        {L"vq_get_activation_key", nullptr, &Reference_host::answer_activation_key},
        {L"register_keyboard_listener", &Reference_host::register_listener, nullptr},
        {L"deregister_keyboard_listener", &Reference_host::deregister_listener, nullptr},
        {L"vq_keyboard_write", &Reference_host::keep_typed_text, nullptr},
        {L"ask_text", nullptr, &Reference_host::ask_text},
        {L"ask_date", nullptr, &Reference_host::ask_date},
        {L"kvstore_read", nullptr, &Reference_host::answer_kv_read},
        {L"kvstore_store", &Reference_host::store_value, nullptr},
        {L"tapquill_dlg", &Reference_host::count_tapquill_request, nullptr},
    };
    for (const Service& service : services)
        if (name == service.name)
            return &service;
    return nullptr;
}

bool Reference_host::is_service(const std::wstring& name) const {
    return answers_.count(name) != 0 || find_service(name) != nullptr;
}

void Reference_host::run_service(const std::wstring& name, Parameters* list) {
    const Service* service = find_service(name);
    if (service && service->work)
        (this->*service->work)(list);
    if (write_set_answer(name, list))
        return;
    if (service && service->answer)
        (this->*service->answer)(list);
}

bool Reference_host::write_set_answer(const std::wstring& name, Parameters* list) {
    std::vector<Answer_value> answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = answers_.find(name);
        if (it == answers_.end())
            return false;
        answer = it->second;
    }
    auto* host_list = dynamic_cast<Parameter_list*>(list);
    for (const auto& value : answer) {
        if (host_list) {
            host_list->set_path(value.path, value.bytes, value.is_text);
            continue;
        }
        // A foreign list: walk the path through the contract.
        Parameters* target = list;
        for (std::size_t i = 0; target && i + 1 < value.path.size(); ++i)
            target = target->child(value.path[i].c_str());
        if (target)
            target->set(value.path.back().c_str(), value.bytes.data(),
                        static_cast<unsigned int>(value.bytes.size()));
    }
    return true;
}

void Reference_host::register_listener(Parameters* list) {
    Keyboard_listener* listener = nullptr;
    if (!read_listener(list, listener) || !listener) {
        Trace::error("Reference_host::register_keyboard_listener")
            << "\"listener\" must be a non-null pointer of " << sizeof(void*) << " bytes; ignored";
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = listener;
}

void Reference_host::deregister_listener(Parameters* list) {
    Keyboard_listener* listener = nullptr;
    const bool given = read_listener(list, listener);
    std::lock_guard<std::mutex> lock(mutex_);
    if (given && listener != listener_)
        Trace::error("Reference_host::deregister_keyboard_listener")
            << "listener " << static_cast<const void*>(listener)
            << " is not the registered one; kept";
    else
        listener_ = nullptr;
}

void Reference_host::keep_typed_text(Parameters* list) {
    if (!Param::has_value(list, L"typing_data")) {
        Trace::error("Reference_host::vq_keyboard_write") << "no \"typing_data\"";
        return;
    }
    std::wstring text = Param::read_text(list, L"typing_data");
    Typist* typist;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        typed_texts_.push_back(text);
        typist = typist_;
    }
    if (typist && !typist->type(text))
        Trace::error("Reference_host::vq_keyboard_write") << "typing was incomplete";
}

void Reference_host::store_value(Parameters* list) {
    std::wstring key = Param::read_text(list, L"key");
    if (key.empty())
        Trace::error("Reference_host::kvstore_store") << "no \"key\"; nothing stored";
    else
        kv_store(key, Param::read_text(list, L"value"));
}

void Reference_host::count_tapquill_request(Parameters*) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++tapquill_requests_;
}

void Reference_host::answer_activation_key(Parameters* list) {
    Param::write_u32(list, L"key", activation_key());
}

void Reference_host::answer_kv_read(Parameters* list) {
    std::wstring key = Param::read_text(list, L"key");
    std::wstring value;
    if (kv_read(key, value))
        Param::write_text(list, L"result", value);
    else
        Trace::info("Reference_host::kvstore_read") << "unknown key " << key;
}

// Without an asker "ask_text" and "ask_date" have no user: the list comes
// back as sent (an "ask_date" proposal counts as accepted).
void Reference_host::ask_text(Parameters* list) {
    Asker* asker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        asker = asker_;
    }
    if (!asker)
        return;
    std::wstring title = Param::read_text(list, L"title");
    if (title.empty())
        title = L"Text";
    std::wstring text = Param::read_text(list, L"text");
    if (asker->ask_text(title, text))
        Param::write_text(list, L"text", text);
    else
        Trace::info("Reference_host::ask_text") << "cancelled: " << title;
}

void Reference_host::ask_date(Parameters* list) {
    Asker* asker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        asker = asker_;
    }
    if (!asker)
        return;
    SYSTEMTIME date{};
    GetLocalTime(&date);
    const std::uint16_t year = Param::read_u16(list, L"year", 0);
    const std::uint16_t month = Param::read_u16(list, L"month", 0);
    const std::uint16_t day = Param::read_u16(list, L"day", 0);
    // A proposal that is no calendar date is replaced by today.
    SYSTEMTIME proposal{};
    proposal.wYear = year;
    proposal.wMonth = month;
    proposal.wDay = day;
    FILETIME check;
    if (year >= 1601 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
        SystemTimeToFileTime(&proposal, &check))
        date = proposal;
    else if (year || month || day)
        Trace::error("Reference_host::ask_date")
            << "proposal " << static_cast<std::uint32_t>(year) << "-"
            << static_cast<std::uint32_t>(month) << "-" << static_cast<std::uint32_t>(day)
            << " is no date; today is proposed";
    std::wstring title = Param::read_text(list, L"title");
    if (title.empty())
        title = L"Date";
    if (!asker->ask_date(title, date)) {
        Trace::info("Reference_host::ask_date") << "cancelled: " << title;
        return;
    }
    Param::write_u16(list, L"year", date.wYear);
    Param::write_u16(list, L"month", date.wMonth);
    Param::write_u16(list, L"day", date.wDay);
}

void Reference_host::set_answer(const std::wstring& service, std::vector<Answer_value> values) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[service] = std::move(values);
}

void Reference_host::set_no_answer(const std::wstring& service) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[service].clear();
}

void Reference_host::clear_answer(const std::wstring& service) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.erase(service);
}

void Reference_host::set_request_observer(Request_observer observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void Reference_host::set_parameters_available(bool available) {
    std::lock_guard<std::mutex> lock(mutex_);
    parameters_available_ = available;
}

void Reference_host::set_typist(Typist* typist) {
    std::lock_guard<std::mutex> lock(mutex_);
    typist_ = typist;
}

void Reference_host::set_asker(Asker* asker) {
    std::lock_guard<std::mutex> lock(mutex_);
    asker_ = asker;
}

bool Reference_host::attach_store_file(const std::wstring& path) {
    Key_value_file::Entries loaded;
    if (!Key_value_file::load(path, loaded))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [key, value] : loaded)
        kv_store_[key] = std::move(value);
    store_file_ = path;
    return true;
}

void Reference_host::set_activation_key(std::uint32_t virtual_key) {
    std::lock_guard<std::mutex> lock(mutex_);
    activation_key_ = virtual_key;
}

std::uint32_t Reference_host::activation_key() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return activation_key_;
}

Keyboard_listener* Reference_host::keyboard_listener() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return listener_;
}

std::vector<std::wstring> Reference_host::typed_texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return typed_texts_;
}

unsigned int Reference_host::tapquill_requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tapquill_requests_;
}

bool Reference_host::kv_read(const std::wstring& key, std::wstring& value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = kv_store_.find(key);
    if (it == kv_store_.end())
        return false;
    value = it->second;
    return true;
}

void Reference_host::kv_store(const std::wstring& key, const std::wstring& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    kv_store_[key] = value;
    // Written under the lock so that two stores cannot overtake each other on disk.
    if (!store_file_.empty() && !Key_value_file::save(store_file_, kv_store_))
        Trace::error("Reference_host::kv_store")
            << key << " is kept in memory only; the store file could not be written";
}

std::size_t Reference_host::filter_count(const std::wstring& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(subscriptions_.begin(), subscriptions_.end(),
                      [&](const auto& entry) { return entry.name == name; }));
}

std::size_t Reference_host::drop_objects_of_module(HMODULE module) {
    if (!module)
        return 0;
    // The image's extent from its own headers; an object whose vtable lies in
    // it was made by the module.
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const unsigned char* end = base + nt->OptionalHeader.SizeOfImage;
    auto made_by_module = [&](const void* object) {
        if (!object)
            return false;
        const auto* vtable = *static_cast<const unsigned char* const*>(object);
        return vtable >= base && vtable < end;
    };
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t before = subscriptions_.size();
    subscriptions_.erase(
        std::remove_if(subscriptions_.begin(), subscriptions_.end(),
                       [&](const auto& entry) { return made_by_module(entry.filter); }),
        subscriptions_.end());
    std::size_t dropped = before - subscriptions_.size();
    if (made_by_module(listener_)) {
        listener_ = nullptr;
        ++dropped;
    }
    if (dropped)
        Trace::error("Reference_host::drop_objects_of_module")
            << dropped << " subscriptions or listeners of a freed plug-in dropped";
    return dropped;
}
