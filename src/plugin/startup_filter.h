#pragma once

#include "contract/filter_registration.h"
#include "contract/host_interface.h"

#include <string>

// The lifecycle filter: registered for the seven lifecycle messages, it turns
// each into a virtual call. The virtual functions below continue the Filter
// slots in this order; the destructor comes last so it does not shift them.
class Startup_filter : public Filter {
public:
    explicit Startup_filter(Interaction_if* host);

    void* destroy(unsigned int flags) override;
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int name_length, Parameters* list) override;

    /*3*/ virtual void on_startup() = 0;
    /*4*/ virtual void on_shutdown() = 0;
    /*5*/ virtual void on_set_language(const std::wstring& language) = 0;
    /*6*/ virtual bool on_create_backup(const std::wstring& path) = 0;
    /*7*/ virtual bool on_restore_backup(const std::wstring& path) = 0;
    /*8*/ virtual void on_set_debug_level(const std::wstring& level) = 0;
    /*9*/ virtual void on_delete_traces() = 0;
    /*10*/ virtual int on_other(const wchar_t* name, unsigned int name_length, Parameters* list);

    virtual ~Startup_filter();

    Startup_filter(const Startup_filter&) = delete;
    Startup_filter& operator=(const Startup_filter&) = delete;

protected:
    Interaction_if* host() const { return host_; }

private:
    int dispatch(const std::wstring& name, Parameters* list);

    Interaction_if* host_;
    Filter_registration registration_;
};
