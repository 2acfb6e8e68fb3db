// The console's values, in and out:
//   text:WORD or text:"..."  UTF-8 in the script, UTF-16 with one NUL in the list;
//                            escapes \" \\ \n \r \t \uXXXX; output escapes every
//                            code unit below U+0020 (and lone surrogates) as \uXXXX
//   u32:N  u16:N             decimal or 0x hex in, 0x hex out
//   flag:N                   one byte
//   bytes:HEX                any size
// Lists hold bare bytes, so printing guesses the type from the size: a value
// written through set_text prints as text; otherwise 4 bytes print as u32 (a
// one-character text has the same bytes as a number below 0x10000, and
// numbers are far more common), an even count ending in the only NUL code
// unit as text, 2 bytes as u16, 1 byte as flag, anything else as bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Value_format {

struct Parsed_value {
    std::vector<unsigned char> bytes;
    bool is_text = false;
};

// Parses one value ("u32:0x14", "text:\"a b\""). False with a message on error.
bool parse_value(const std::string& text, Parsed_value& value, std::string& error);

// Parses a number in decimal or 0x hex that fits in max.
bool parse_number(const std::string& text, unsigned long long max, unsigned long long& value,
                  std::string& error);

// Decodes a quoted text literal's inside (escapes, UTF-8) into UTF-16.
bool unescape_text(const std::string& inside, std::wstring& text, std::string& error);

// text:"..." with the escapes above, UTF-8 outside them.
std::string format_text(const std::wstring& text);
std::string format_value(const unsigned char* data, std::size_t size, bool written_as_text);
inline std::string format_value(const std::vector<unsigned char>& bytes, bool written_as_text) {
    return format_value(bytes.data(), bytes.size(), written_as_text);
}

// A key or name for output: UTF-8, control characters as \uXXXX.
std::string format_key(const std::wstring& key);

// Splits a script line into words at blanks outside double quotes; a backslash
// inside quotes keeps the next character in the same word.
bool split_words(const std::string& line, std::vector<std::string>& words, std::string& error);

// KEY=VALUE where KEY may be a dotted path into child lists.
struct Assignment {
    std::vector<std::wstring> path;
    Parsed_value value;
};
bool parse_assignment(const std::string& word, Assignment& assignment, std::string& error);

} // namespace Value_format
