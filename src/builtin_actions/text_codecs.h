#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Standard-alphabet base64 ("A-Z a-z 0-9 + /"). Decoding stops at the first
// "=" and ignores whatever follows; any other character outside the alphabet
// (a blank, a line break, "-" or "_") throws std::invalid_argument("not a
// base64 string"). Padding is optional and leftover bits are dropped.
// A unit above 0xFF counts as the character of its low byte.
std::vector<std::uint8_t> base64_decode(const wchar_t* units, std::size_t count);

// UTF-8 bytes to UTF-16 through the system's UTF-8 code page: each invalid
// sequence becomes U+FFFD.
std::wstring utf8_to_utf16(const std::uint8_t* bytes, std::size_t count);

// Case conversion of the selection transforms: ASCII letters and the three
// German umlaut pairs only; every other unit passes unchanged.
std::wstring to_upper_case(std::wstring text);
std::wstring to_lower_case(std::wstring text);
