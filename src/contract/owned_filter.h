#pragma once

#include "contract/host_interface.h"

#include <memory>

// Objects of the host contract (filters, parameter lists) are freed through
// their slot 0, as the host would free them.
struct Slot_deleter {
    template <class T> void operator()(T* object) const {
        if (object)
            object->destroy(1);
    }
};
using Owned_filter = std::unique_ptr<Filter, Slot_deleter>;

// The body of slot 0 of every interface we implement: bit 0 of `flags`
// frees the object, otherwise it is only destroyed; answers its address.
// Nothing to guard: destructors do not throw (one that did would end the
// process before any handler could run).
template <class T> void* destroy_through_slot(T* self, unsigned int flags) noexcept {
    if (flags & 1)
        delete self;
    else
        self->~T();
    return self;
}
