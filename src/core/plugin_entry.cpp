#include "core/plugin_entry.h"

#include "core/plugin_globals.h"
#include "core/zp_startup_filter.h"
#include "trace/trace.h"

#include <exception>
#include <memory>

namespace {

struct Startup_deleter {
    void operator()(ZP_Startup_filter* filter) const {
        if (filter)
            filter->destroy(1);
    }
};

std::unique_ptr<ZP_Startup_filter, Startup_deleter> g_startup_filter;

} // namespace

extern "C" void initialize(Interaction_if* host) {
    Trace::info("initialize") << "zaptor initialize";
    if (!host)
        return;
    try {
        std::unique_ptr<ZP_Startup_filter, Startup_deleter> created(
            new ZP_Startup_filter(host, Plugin_globals::module()));
        // The old one, if any, ends after the new one is in place.
        auto old = std::move(g_startup_filter);
        g_startup_filter = std::move(created);
        old.reset();
    } catch (const std::exception& e) {
        Trace::error("initialize") << "exception: " << e.what();
    }
}

extern "C" void finalize() {
    Trace::info("finalize") << "zaptor finalize";
    try {
        auto filter = std::move(g_startup_filter);
        filter.reset();
    } catch (const std::exception& e) {
        Trace::error("finalize") << "exception: " << e.what();
    }
}
