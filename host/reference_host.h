// The reference host: the host side of Interaction_if, for tests, benchmarks,
// the demo and plug-in authors.
//
// Delivery: a message goes synchronously to every filter of its name, in the
// order they subscribed (a registration counts as one subscription per listed
// name). A name that no filter has goes to the filters of
// "vq_default_action_handler" with the same list plus the text
// "vq_default_action_handler" = that name.
//
// send() is what the plug-in calls: the request observer sees it first, as it
// arrives (so it shows what the plug-in sent, before any answer); then a host
// service of that name answers; then the filters of the name get it. deliver()
// is a message from the host itself and only reaches the filters.
//
// Thread-safe: worker threads of the plug-in may send while the host thread
// delivers. No lock is held while a filter, the listener or the observer runs,
// because filters send re-entrantly from inside process.
#pragma once

#include "contract/host_interface.h"
#include "host/host_services.h"
#include "host/key_value_file.h"
#include "host/parameter_list.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Reference_host final : public Interaction_if {
public:
    // One value of a service's answer; path may go into child lists.
    struct Answer_value {
        std::vector<std::wstring> path;
        std::vector<unsigned char> bytes;
        bool is_text = false;
    };
    using Request_observer = std::function<void(const std::wstring& name, Parameters* list)>;

    Reference_host();
    ~Reference_host();
    Reference_host(const Reference_host&) = delete;
    Reference_host& operator=(const Reference_host&) = delete;

    void reserved0() override;
    void subscribe(const wchar_t* name, unsigned int name_length, Filter* filter) override;
    unsigned int register_filter(Filter* filter, const Name_ref* names,
                                 unsigned int count) override;
    void unsubscribe(const wchar_t* name, unsigned int name_length, Filter* filter) override;
    void unregister_filter(unsigned int id) override;
    void reserved5() override;
    // Answers the number of receivers (a host service counts as one).
    int send(const wchar_t* name, unsigned int name_length, Parameters* list) override;
    Parameters* create_parameters() override;

    // A message from the host to the filters; answers the number of filters called.
    // A null list is replaced by an empty one.
    int deliver(const std::wstring& name, Parameters* list);
    // A list that the host owns (the plug-in cannot free it).
    static std::unique_ptr<Parameter_list> make_list();

    // What the host answers to its own service `service`; any name becomes a
    // service this way. The service's own work (keeping the listener, the
    // store, the typed texts) happens anyway; the answer replaces what it writes.
    void set_answer(const std::wstring& service, std::vector<Answer_value> values);
    // The service answers nothing (writes no value).
    void set_no_answer(const std::wstring& service);
    // Back to the service's own answer (or to no service for other names).
    void clear_answer(const std::wstring& service);

    void set_request_observer(Request_observer observer);

    // Lets create_parameters hand out no list, as a host may.
    void set_parameters_available(bool available);

    // Who types "vq_keyboard_write" data and who answers "ask_text" and
    // "ask_date" (not owned; null: record only, and answer the questions
    // with the list as sent). A set answer still wins over the asker.
    void set_typist(Typist* typist);
    void set_asker(Asker* asker);

    // Keeps the key-value store in this file from now on: loads what it
    // holds (over the entries in memory) and writes it after every store.
    // False when the file exists but cannot be read.
    bool attach_store_file(const std::wstring& path);

    void set_activation_key(std::uint32_t virtual_key);
    std::uint32_t activation_key() const;
    Keyboard_listener* keyboard_listener() const;
    // Every "typing_data" received through "vq_keyboard_write", in order.
    std::vector<std::wstring> typed_texts() const;
    unsigned int tapquill_requests() const;
    // The key-value store behind "kvstore_read" ("key" -> "result") and
    // "kvstore_store" ("key", "value").
    bool kv_read(const std::wstring& key, std::wstring& value) const;
    void kv_store(const std::wstring& key, const std::wstring& value);

    std::size_t filter_count(const std::wstring& name) const;
    // Drops every subscription and the listener whose object's code lies in
    // the module, so that a library freed without finalize leaves no
    // dangling filter behind. Answers how many were dropped.
    std::size_t drop_objects_of_module(HMODULE module);

private:
    struct Subscription_entry {
        std::uint64_t serial;
        std::wstring name;
        Filter* filter;
        unsigned int registration; // 0 for subscribe
    };
    // A service the host answers itself: its work, done whatever the answer
    // is, then its own answer, written unless one was set (either may be absent).
    using Service_step = void (Reference_host::*)(Parameters* list);
    struct Service {
        const wchar_t* name;
        Service_step work;
        Service_step answer;
    };
    static const Service* find_service(const std::wstring& name);

    int deliver_to_filters(const std::wstring& name, Parameters* list, bool use_default);
    bool is_service(const std::wstring& name) const;
    void run_service(const std::wstring& name, Parameters* list);
    // False when no answer is set for the service.
    bool write_set_answer(const std::wstring& name, Parameters* list);

    void register_listener(Parameters* list);
    void deregister_listener(Parameters* list);
    void keep_typed_text(Parameters* list);
    void store_value(Parameters* list);
    void count_tapquill_request(Parameters* list);
    void answer_activation_key(Parameters* list);
    void answer_kv_read(Parameters* list);
    void ask_text(Parameters* list);
    void ask_date(Parameters* list);
    static bool read_name(const char* operation, const wchar_t* name, unsigned int length,
                          std::wstring& out);

    mutable std::mutex mutex_;
    std::vector<Subscription_entry> subscriptions_;
    std::uint64_t next_serial_ = 1;
    unsigned int next_registration_ = 1;
    // The answers set by set_answer; an empty one writes nothing.
    std::map<std::wstring, std::vector<Answer_value>> answers_;
    Request_observer observer_;
    bool parameters_available_ = true;
    std::uint32_t activation_key_ = 0x14;
    Keyboard_listener* listener_ = nullptr;
    std::vector<std::wstring> typed_texts_;
    unsigned int tapquill_requests_ = 0;
    Key_value_file::Entries kv_store_;
    std::wstring store_file_;
    Typist* typist_ = nullptr;
    Asker* asker_ = nullptr;
};
