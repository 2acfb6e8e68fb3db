// The common base of built-in actions: a host filter addressed by the
// action's ident. It runs the action when its combination is pressed or
// released, describes the action, and answers the action-listing broadcast.
// Concrete actions supply process_deactivate (and maybe process_activate),
// name and description.
#pragma once

#include "contract/filter_registration.h"
#include "contract/host_interface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class FilterBaseKeyAction : public Filter {
public:
    // Subscribes to "zp_broadcast_get_action_text", then to the ident.
    FilterBaseKeyAction(std::wstring ident, Interaction_if* host);

    void* destroy(unsigned int flags) override;
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int name_length, Parameters* list) override;

    /*3*/ virtual const std::wstring& ident() const;
    /*4*/ virtual int answer_action_text(Parameters* list);
    /*5*/ virtual int process_activate() { return 0; }
    /*6*/ virtual int process_deactivate() = 0;
    /*7*/ virtual void get_descriptor(Parameters* list);
    /*8*/ virtual const wchar_t* name() = 0;
    /*9*/ virtual const wchar_t* description() = 0;

    // Withdraws "zp_broadcast_get_action_text" first, then the ident.
    virtual ~FilterBaseKeyAction();

    FilterBaseKeyAction(const FilterBaseKeyAction&) = delete;
    FilterBaseKeyAction& operator=(const FilterBaseKeyAction&) = delete;

    // The combination that ran the action last (0 before the first run).
    std::uint32_t key_code() const { return key_code_.load(std::memory_order_relaxed); }

protected:
    Interaction_if* host() const { return host_; }

private:
    int dispatch(const std::wstring& name, Parameters* list);
    int run(Parameters* list);

    std::wstring ident_;
    // Releases of direct bindings arrive on worker threads: atomic so that
    // two overlapping runs never tear the value.
    std::atomic<std::uint32_t> key_code_{0};
    Interaction_if* host_;
    std::unique_ptr<Subscription> broadcast_subscription_;
    std::unique_ptr<Subscription> ident_subscription_;
};
