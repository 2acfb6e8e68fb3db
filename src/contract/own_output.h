// Whether key events of our own are being injected right now: the keypresser's
// Control+Insert and Control+V, and text that the host types for us. The
// keyboard listener lets injected events through while this is raised, so no
// binding of the user's can swallow our own paste or fire on our own output.
// Process-wide, because the listener runs on the host's hook thread while
// the output comes from whichever thread runs the action.
#pragma once

namespace Own_output {

bool in_progress() noexcept;

// Raised for the life of the object; scopes nest and may overlap on threads.
class Scope {
public:
    Scope() noexcept;
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace Own_output
