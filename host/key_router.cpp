#include "host/key_router.h"

#include "contract/virtual_keys.h"
#include "trace/trace.h"

#include <exception>

namespace {

// Generic codes count as the left key: hooks normally see the sided ones.
std::uint32_t sided(std::uint32_t vk) {
    switch (vk) {
    case VK_SHIFT:
        return VK_LSHIFT;
    case VK_CONTROL:
        return VK_LCONTROL;
    case VK_MENU:
        return VK_LMENU;
    default:
        return vk;
    }
}

} // namespace

// The Windows keys and Caps Lock are kept too, though they give no flag.
void Key_router::track_modifier(std::uint32_t virtual_key, bool down) {
    if (!is_modifier_key(virtual_key))
        return;
    if (down)
        held_modifiers_.insert(sided(virtual_key));
    else
        held_modifiers_.erase(sided(virtual_key));
}

std::uint32_t Key_router::host_flags() const {
    std::uint32_t flags = 0;
    for (std::uint32_t vk : held_modifiers_) {
        switch (vk) {
        case VK_LSHIFT:
            flags |= 0x11000000;
            break;
        case VK_RSHIFT:
            flags |= 0x12000000;
            break;
        case VK_LCONTROL:
            flags |= 0x84000000;
            break;
        case VK_RCONTROL:
            flags |= 0x88000000;
            break;
        case VK_LMENU:
            flags |= 0x40000000;
            break;
        case VK_RMENU:
            flags |= 0x20000000;
            break;
        }
    }
    return flags;
}

unsigned int Key_router::listener_modifiers() const {
    unsigned int bits = 0;
    for (std::uint32_t vk : held_modifiers_) {
        if (vk == VK_LSHIFT || vk == VK_RSHIFT)
            bits |= listener_shift;
        else if (vk == VK_LCONTROL || vk == VK_RCONTROL)
            bits |= listener_control;
        else if (vk == VK_LMENU || vk == VK_RMENU)
            bits |= listener_alt;
    }
    return bits;
}

Key_router::Decision Key_router::route(const KBDLLHOOKSTRUCT& event, std::uint32_t activation_key,
                                       Keyboard_listener* listener) {
    Decision decision;
    if (event.flags & LLKHF_INJECTED)
        return decision;
    const std::uint32_t vk = event.vkCode & 0xFFFF;
    const bool down = (event.flags & LLKHF_UP) == 0;

    if (vk == activation_key) {
        activation_held_ = down;
        decision.swallow = true;
        return decision;
    }
    const auto earlier = down ? reported_presses_.end() : reported_presses_.find(vk);
    if (activation_held_ || earlier != reported_presses_.end()) {
        decision.swallow = true;
        decision.report = true;
        decision.key_down = down;
        // A release reports the combination that was pressed, whatever the
        // order in which the fingers let go of the modifiers.
        if (down) {
            decision.host_value = vk | host_flags();
            reported_presses_[vk] = decision.host_value;
        } else if (earlier != reported_presses_.end()) {
            decision.host_value = earlier->second;
            reported_presses_.erase(earlier);
        } else {
            decision.host_value = vk | host_flags();
        }
        track_modifier(vk, down);
        return decision;
    }
    const unsigned int modifiers = listener_modifiers();
    track_modifier(vk, down);
    if (!listener)
        return decision;
    try {
        decision.swallow = listener->key_event(&event, modifiers);
    } catch (const std::exception& e) {
        Trace::error("Key_router::route") << "keyboard listener failed: " << e.what();
    } catch (...) {
        Trace::error("Key_router::route") << "keyboard listener failed";
    }
    return decision;
}
