#pragma once

#include <string>

namespace Test_support {

// True when `text` is one strict JSON document (no comments, no trailing commas).
bool is_valid_json(const std::string& text);

} // namespace Test_support
