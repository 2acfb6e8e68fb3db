#include "output/clipboard_gate.h"

#include "output/clipboard_window.h"
#include "trace/trace.h"

#include <atomic>
#include <utility>

namespace Clipboard_gate {
namespace {

// A flag, not a mutex: the nested run comes on the same thread, and must be
// refused, not dead-locked or let in.
std::atomic<bool> g_busy{false};
std::atomic<bool> g_closed{false};

} // namespace

Pass::~Pass() {
    release();
}

Pass::Pass(Pass&& other) noexcept : held_(std::exchange(other.held_, false)) {}

Pass& Pass::operator=(Pass&& other) noexcept {
    if (this != &other) {
        release();
        held_ = std::exchange(other.held_, false);
    }
    return *this;
}

void Pass::release() {
    if (std::exchange(held_, false))
        g_busy.store(false, std::memory_order_release);
}

Pass enter(const char* who) {
    Pass pass;
    if (g_closed.load(std::memory_order_acquire)) {
        Trace::info(who) << "shutting down: not run";
        return pass;
    }
    bool expected = false;
    if (!g_busy.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
        Trace::info(who) << "another clipboard action is running: not run";
        return pass;
    }
    pass.held_ = true;
    return pass;
}

void close() {
    g_closed.store(true, std::memory_order_release);
    Clipboard_window::cancel_all_jobs();
}

bool closed() {
    return g_closed.load(std::memory_order_acquire);
}

void open() {
    g_closed.store(false, std::memory_order_release);
}

} // namespace Clipboard_gate
