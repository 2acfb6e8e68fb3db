#include "output/clipboard_formats.h"

#include "contract/plugin_globals.h"

namespace Clipboard_formats {

std::uint32_t html() {
    return Plugin_globals::html_format();
}
std::uint32_t rich_text() {
    return Plugin_globals::rtf_format();
}
void register_formats() {
    Plugin_globals::register_clipboard_formats();
}

bool is_text_format(std::uint32_t format) {
    // A failed registration yields 0, which must not match anything.
    return format == ansi_text || format == unicode_text ||
           (format != 0 && (format == html() || format == rich_text()));
}

} // namespace Clipboard_formats
