#pragma once

#include "core/host_interface.h"

#include <memory>

// Filters are freed through their slot 0, as the host would free them.
struct Filter_deleter {
    void operator()(Filter* filter) const {
        if (filter)
            filter->destroy(1);
    }
};
using Owned_filter = std::unique_ptr<Filter, Filter_deleter>;
