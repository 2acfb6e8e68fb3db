#include "support/json_check.h"

// Boost.JSON header-only: its sources are compiled into this one file.
#include <boost/json/src.hpp>

namespace Test_support {

bool is_valid_json(const std::string& text) {
    boost::system::error_code error;
    boost::json::parse(text, error);
    return !error;
}

} // namespace Test_support
