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
// Finalized from inside one of our running actions: withdrawn, freed at the
// next initialize. A plain pointer, so that nothing frees it while the
// process ends.
ZP_Startup_filter* g_withdrawn_filter = nullptr;

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
        if (g_withdrawn_filter && Trace::entry_depth() == 1) {
            std::unique_ptr<ZP_Startup_filter, Slot_deleter> withdrawn(g_withdrawn_filter);
            g_withdrawn_filter = nullptr;
        }
    });
}

extern "C" void finalize() {
    Trace::guarded("finalize", [] {
        Trace::info("finalize") << "zaptor finalize";
        if (Trace::entry_depth() > 1) {
            // The host ends us while an action of ours waits for it below this
            // frame: stop all new work as a nested shut-down does, and keep the
            // components (and the code) that the action still runs in.
            if (g_startup_filter) {
                g_startup_filter->on_shutdown();
                if (!g_withdrawn_filter)
                    g_withdrawn_filter = g_startup_filter.release();
            }
            pin_module();
            return;
        }
        auto filter = std::move(g_startup_filter);
        filter.reset();
    });
}
