#pragma once

#include <string>

namespace Test_support {

// A strict JSON syntax check (RFC 8259 grammar, no extensions), enough to
// prove that what we write is accepted by a JSON parser. On failure, `where`
// receives the byte offset of the first error.
bool is_valid_json(const std::string& text, std::size_t* where = nullptr);

} // namespace Test_support
