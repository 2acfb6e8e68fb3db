// Our dialogs ask for common controls version 6 (themed controls, cue
// banners) through a manifest in the module's resources, whatever manifest
// the host process has. The context made from it is active for the life of
// a scope: every window we create is created inside one.
#pragma once

#include <windows.h>

class Activation_scope {
public:
    // Activates the module's context and registers the common control
    // classes; without a context (no manifest, or the system refused it)
    // windows get the process's default controls.
    Activation_scope();
    ~Activation_scope();
    Activation_scope(const Activation_scope&) = delete;
    Activation_scope& operator=(const Activation_scope&) = delete;

    bool active() const { return active_; }

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};
