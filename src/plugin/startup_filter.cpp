#include "plugin/startup_filter.h"

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <exception>

Startup_filter::Startup_filter(Interaction_if* host)
    : host_(host), registration_(host, this,
                                 {L"startup", L"shutdown", L"set_language", L"create_backup",
                                  L"restore_backup", L"set_debug_level", L"delete_traces"}) {}

Startup_filter::~Startup_filter() = default;

void* Startup_filter::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

int Startup_filter::on_other(const wchar_t*, unsigned int, Parameters*) {
    return 0;
}

int Startup_filter::process(const wchar_t* name, unsigned int name_length, Parameters* list) {
    return Trace::guarded("Startup_filter::process", 0, [&] {
        if (!name)
            return on_other(name, name_length, list);
        std::wstring message(name, name_length);
        int answer = dispatch(message, list);
        if (answer < 0)
            return on_other(name, name_length, list);
        return answer;
    });
}

// Answers -1 for a name that is not one of the seven.
int Startup_filter::dispatch(const std::wstring& name, Parameters* list) {
    if (name == L"startup") {
        on_startup();
    } else if (name == L"shutdown") {
        on_shutdown();
    } else if (name == L"set_language") {
        on_set_language(Param::read_text(list, L"language"));
    } else if (name == L"create_backup" || name == L"restore_backup") {
        // Each plug-in ANDs its outcome into the same entry, so the host sees
        // true only when every plug-in succeeded.
        bool earlier = Param::read_flag(list, L"result", true);
        std::wstring path = Param::read_text(list, L"path");
        bool ok = name == L"create_backup" ? on_create_backup(path) : on_restore_backup(path);
        Param::write_flag(list, L"result", ok && earlier);
    } else if (name == L"set_debug_level") {
        on_set_debug_level(Param::read_text(list, L"level"));
    } else if (name == L"delete_traces") {
        on_delete_traces();
    } else {
        return -1;
    }
    return 0;
}
