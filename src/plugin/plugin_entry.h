#pragma once

#include "contract/host_interface.h"

// The two functions the host looks up; the DLL exports them undecorated.
extern "C" {
void initialize(Interaction_if* host);
void finalize();
}
