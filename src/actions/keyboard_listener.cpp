#include "actions/keyboard_listener.h"

#include "actions/key_code.h"
#include "contract/own_output.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <exception>
#include <future>
#include <new>
#include <utility>

Shortcut_listener::Shortcut_listener(Interaction_if* host, Running_tasks& tasks)
    : host_(host), tasks_(tasks), map_(std::make_shared<const Listener_map>()) {
    for (auto& flag : bound_)
        flag.store(false, std::memory_order_relaxed);
    for (auto& pressed : swallowed_)
        pressed.store(0, std::memory_order_relaxed);
}

Shortcut_listener::~Shortcut_listener() = default;

// The plug-in owns its listener; the host never frees it, but honour the slot.
void* Shortcut_listener::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

void Shortcut_listener::replace(Listener_map map) {
    auto next = std::make_shared<const Listener_map>(std::move(map));
    // Raise the flags of new keys before the swap and lower those of dropped
    // keys after it: a reader that passes a flag then finds the key in
    // whichever map it gets, or answers false as the old state would.
    for (const auto& [key, entries] : *next)
        if (key < bound_.size() && !entries.empty())
            bound_[key].store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        map_.swap(next);
    }
    auto current = snapshot();
    for (std::size_t key = 0; key < bound_.size(); ++key) {
        auto found = current->find(static_cast<std::uint32_t>(key));
        if (found == current->end() || found->second.empty())
            bound_[key].store(false, std::memory_order_release);
        const std::uint32_t pressed = swallowed_[key].load(std::memory_order_acquire);
        if (pressed == 0)
            continue;
        bool still_bound = false;
        if (found != current->end())
            for (const Listener_entry& entry : found->second)
                still_bound = still_bound || entry.code == (pressed & code_bits);
        if (!still_bound)
            mark_stale(key);
    }
    // `next` (the old map) is freed here, on the replacing thread.
}

void Shortcut_listener::mark_stale(std::size_t key) {
    std::uint32_t pressed = swallowed_[key].load(std::memory_order_acquire);
    while (pressed != 0 && (pressed & stale_mark) == 0 &&
           !swallowed_[key].compare_exchange_weak(pressed, pressed | stale_mark,
                                                  std::memory_order_acq_rel))
        ;
}

namespace {

std::mutex& retired_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::unique_ptr<Shortcut_listener>>& retired_listeners() {
    static std::vector<std::unique_ptr<Shortcut_listener>> listeners;
    return listeners;
}

} // namespace

void Shortcut_listener::retire(std::unique_ptr<Shortcut_listener> listener) {
    if (!listener)
        return;
    listener->retired_.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> lock(retired_mutex());
    retired_listeners().push_back(std::move(listener));
}

void Shortcut_listener::free_retired() {
    std::vector<std::unique_ptr<Shortcut_listener>> listeners;
    {
        std::lock_guard<std::mutex> lock(retired_mutex());
        listeners.swap(retired_listeners());
    }
}

std::shared_ptr<const Listener_map> Shortcut_listener::snapshot() const {
    std::lock_guard<std::mutex> lock(map_mutex_);
    return map_;
}

bool Shortcut_listener::key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) {
    return Trace::guarded("Shortcut_listener::key_event", false,
                          [&] { return handle_key(event, modifiers); });
}

// A swallowed press is remembered per key, and its release is swallowed and
// runs the binding whatever the modifiers are by then (the user may let go
// of Control before the key). A release whose press went through passes
// through too: the application must never see half of a key stroke. A
// remembered press lasts one key stroke. Auto-repeat of the held key comes
// with the same modifiers; a press with other ones, or after the binding
// went, starts a new stroke: the release of the old one was lost (a locked
// session, a secure desktop, a listener withdrawn meanwhile). A new stroke
// with the same modifiers under the same binding acts as a repeat would.
bool Shortcut_listener::handle_key(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) {
    if (!event || retired_.load(std::memory_order_acquire))
        return false;
    std::uint32_t virtual_key = event->vkCode;
    if (virtual_key >= bound_.size())
        return false;
    // Our own paste, copy or typed text is never a user's combination.
    if ((event->flags & LLKHF_INJECTED) != 0 && Own_output::in_progress())
        return false;
    if ((event->flags & LLKHF_UP) != 0) {
        std::uint32_t pressed = swallowed_[virtual_key].exchange(0, std::memory_order_acq_rel);
        if (pressed == 0)
            return false;
        // Its binding went away meanwhile: the release ends the stroke quietly.
        if ((pressed & stale_mark) != 0)
            return true;
        std::uint32_t code = pressed & code_bits;
        auto map = snapshot();
        auto found = map->find(virtual_key);
        if (found != map->end()) {
            for (const Listener_entry& entry : found->second) {
                if (entry.code == code) {
                    dispatch_release(entry.ident, code);
                    break;
                }
            }
        }
        return true;
    }
    std::uint32_t code = Key_code::from_listener_event(virtual_key, modifiers);
    std::uint32_t remembered = swallowed_[virtual_key].load(std::memory_order_acquire);
    if (remembered != 0) {
        if ((remembered & stale_mark) == 0 && (remembered & code_bits) == code)
            return true;
        swallowed_[virtual_key].compare_exchange_strong(remembered, 0, std::memory_order_acq_rel);
        (Trace::info("Shortcut_listener::key_event") << "the release of ")
                .hex(remembered & code_bits, 4)
            << " never came; this press starts a new stroke";
    }
    if (!bound_[virtual_key].load(std::memory_order_acquire))
        return false;
    auto map = snapshot();
    auto found = map->find(virtual_key);
    if (found == map->end())
        return false;
    for (const Listener_entry& entry : found->second) {
        if (entry.code == code) {
            swallowed_[virtual_key].store(code | pressed_mark, std::memory_order_release);
            return true;
        }
    }
    return false;
}

// Runs on the hook's thread: only prepares the list and starts the task. The
// release is consumed even when the task cannot start, as its press was.
void Shortcut_listener::dispatch_release(const std::wstring& ident, std::uint32_t code) {
    try {
        Param::Owned_parameters list = Param::create(host_);
        if (!list) {
            Trace::error("Shortcut_listener::key_event")
                << L"the host gave no parameter list; " << ident << L" not run";
            return;
        }
        list->set_text(L"request", L"execute", 7);
        Param::write_u32(list.get(), L"deactivate", code);
        auto task = std::async(std::launch::async, [host = host_, ident, owned = std::move(list)] {
            Trace::guarded("Shortcut_listener::run",
                           [&] { Param::send(host, ident, owned.get()); });
        });
        tasks_.add(std::move(task));
    } catch (const std::exception& e) {
        Trace::error("Shortcut_listener::key_event")
            << "Zaptor exception:" << e.what() << L" (" << ident << L" not run)";
    }
}
