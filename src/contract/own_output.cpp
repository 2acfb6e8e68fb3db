#include "contract/own_output.h"

#include <atomic>

namespace Own_output {
namespace {
std::atomic<int> g_scopes{0};
} // namespace

bool in_progress() noexcept {
    return g_scopes.load(std::memory_order_acquire) > 0;
}

Scope::Scope() noexcept {
    g_scopes.fetch_add(1, std::memory_order_acq_rel);
}

Scope::~Scope() {
    g_scopes.fetch_sub(1, std::memory_order_acq_rel);
}

} // namespace Own_output
