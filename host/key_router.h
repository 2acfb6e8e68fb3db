// What the host's keyboard hook does with one low-level key event. Kept apart
// from the hook so that the decisions can be checked without a keyboard.
//
// - Injected events (SendInput, also the plug-in's own Control+Insert and
//   Control+V) pass untouched and change no state.
// - The activation key itself is swallowed; while it is held, every other
//   key's press and release is reported as "key_processing" and swallowed. A
//   key pressed while it was held has its release reported too, even when the
//   activation key went up first, so that no application sees a lone release.
// - Every other event goes to the keyboard listener with the modifier bits
//   (0 Shift, 3 Control, 6 Alt) and is swallowed when it answers true.
// Modifier state comes from the events seen, before the event itself applies
// (as GetAsyncKeyState reports it inside a hook).
#pragma once

#include "contract/host_interface.h"

#include <cstdint>
#include <map>
#include <set>

class Key_router {
public:
    struct Decision {
        bool swallow = false;
        bool report = false;   // post "key_processing"
        bool key_down = false; // "key_down" rather than "key_up"
        std::uint32_t host_value = 0;
    };

    Decision route(const KBDLLHOOKSTRUCT& event, std::uint32_t activation_key,
                   Keyboard_listener* listener);

    // Modifier flags of bits 24 to 31 for the modifiers held now.
    std::uint32_t host_flags() const;
    // Bits 0 (Shift), 3 (Control), 6 (Alt) for the modifiers held now.
    unsigned int listener_modifiers() const;
    bool activation_held() const { return activation_held_; }

private:
    void track_modifier(std::uint32_t virtual_key, bool down);

    bool activation_held_ = false;
    std::set<std::uint32_t> held_modifiers_;
    // Presses reported while the activation key was held, with their host value.
    std::map<std::uint32_t, std::uint32_t> reported_presses_;
};
