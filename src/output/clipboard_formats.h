// The four text formats the plug-in saves, restores, stashes and reads raw.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace Clipboard_formats {

constexpr std::uint32_t ansi_text = 1;     // CF_TEXT
constexpr std::uint32_t unicode_text = 13; // CF_UNICODETEXT

// Identifiers of the registered "HTML Format" and "Rich Text Format", kept
// process-wide by the plug-in core.
std::uint32_t html();
std::uint32_t rich_text();
void register_formats();

bool is_text_format(std::uint32_t format);

} // namespace Clipboard_formats

// Format identifier -> raw bytes, iterated in ascending identifier order.
using Clipboard_data = std::map<std::uint32_t, std::vector<std::uint8_t>>;
