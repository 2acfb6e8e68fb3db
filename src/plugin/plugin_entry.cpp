#include "plugin/plugin_entry.h"

#include "contract/owned_filter.h"
#include "contract/plugin_globals.h"
#include "plugin/zp_startup_filter.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <exception>
#include <memory>

namespace {

std::unique_ptr<ZP_Startup_filter, Slot_deleter> g_startup_filter;

} // namespace

extern "C" void initialize(Interaction_if* host) {
    Trace::guarded("initialize", [host] {
        Trace::info("initialize") << "zaptor initialize";
        if (!host)
            return;
        std::unique_ptr<ZP_Startup_filter, Slot_deleter> created(
            new ZP_Startup_filter(host, Plugin_globals::module()));
        // The old one, if any, ends after the new one is in place.
        auto old = std::move(g_startup_filter);
        g_startup_filter = std::move(created);
        old.reset();
    });
}

extern "C" void finalize() {
    Trace::guarded("finalize", [] {
        Trace::info("finalize") << "zaptor finalize";
        auto filter = std::move(g_startup_filter);
        filter.reset();
    });
}
