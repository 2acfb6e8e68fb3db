// The host's key-value store on disk: one UTF-8 line per entry, key and value
// separated by a tab, with \\, \t, \n and \r escaped. A store is written to a
// temporary file and then moved over the old one, so that a failed write
// never leaves half a file.
#pragma once

#include <map>
#include <string>

namespace Key_value_file {

using Entries = std::map<std::wstring, std::wstring>;

// Reads the file into `entries`. A missing file is an empty store (true).
// Lines that do not parse are traced and skipped; then the file is copied
// aside to PATH.corrupt first, so that the next save cannot destroy what
// could not be read. False only when the file exists but cannot be read.
bool load(const std::wstring& path, Entries& entries);

bool save(const std::wstring& path, const Entries& entries);

// One line's key and value, escaped (without the line break).
std::string format_line(const std::wstring& key, const std::wstring& value);
// False for a line without a tab, with an unknown escape or an empty key.
bool parse_line(const std::string& line, std::wstring& key, std::wstring& value);

} // namespace Key_value_file
