#include "output/text_expansion.h"

#include "trace/trace.h"

#include <windows.h>

#include <cstdint>
#include <exception>

namespace {

constexpr wchar_t key_press = 0x0001;
constexpr wchar_t key_up = 0x0003;
constexpr wchar_t pause = 0x0004;
constexpr wchar_t record = 0x0005;

unsigned hex_digit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return static_cast<unsigned>(c - L'0');
    }
    if (c >= L'a' && c <= L'f') {
        return static_cast<unsigned>(c - L'a' + 10);
    }
    if (c >= L'A' && c <= L'F') {
        return static_cast<unsigned>(c - L'A' + 10);
    }
    return 0;
}

bool is_hex_digit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// The eight hex digits of a record length at `at`; false unless all eight
// are there and are digits.
bool read_length(const std::wstring& text, std::size_t at, std::size_t& length) {
    if (at > text.size() || text.size() - at < 8) {
        return false;
    }
    length = 0;
    for (std::size_t i = at; i < at + 8; ++i) {
        if (!is_hex_digit(text[i])) {
            return false;
        }
        length = length * 16 + hex_digit(text[i]);
    }
    return true;
}

// The full length of the record at `at`, or 0 when it is damaged: cut short,
// of an unknown kind, a length that is no number, or a body longer than what
// follows. Lengths are compared with what remains, never added up first, so
// that eight digits cannot wrap a 32-bit size.
std::size_t record_length(const std::wstring& text, std::size_t at) {
    const std::size_t remaining = text.size() - at;
    if (remaining < 2) {
        return 0;
    }
    std::size_t first = 0;
    std::size_t second = 0;
    if (text[at + 1] == L'I') {
        // U+0005 'I' length reference
        constexpr std::size_t header = 2 + 8;
        if (!read_length(text, at + 2, first) || first > remaining - header) {
            return 0;
        }
        return header + first;
    }
    if (text[at + 1] == L'L') {
        // U+0005 'L' length1 '|' length2 part1 part2
        constexpr std::size_t header = 2 + 8 + 1 + 8;
        if (remaining < header || text[at + 10] != L'|' || !read_length(text, at + 2, first) ||
            !read_length(text, at + 11, second) || first > remaining - header ||
            second > remaining - header - first) {
            return 0;
        }
        return header + first + second;
    }
    return 0;
}

bool moves_caret(unsigned value) {
    if (value == 0 || value == 0x10 || value == 0x11 || value == 0x12 || value == 0x0A) {
        return false;
    }
    // A dead key types nothing by itself.
    return (MapVirtualKeyW(value, MAPVK_VK_TO_CHAR) & 0x80000000u) == 0;
}

// Walks the elements as the host reads them. A damaged element (cut short,
// or a record that does not parse) is skipped: its marker moves nothing and
// the code units after it are characters again, as the host types them.
unsigned count_caret_moves(const std::wstring& text, std::size_t from) {
    unsigned count = 0;
    std::size_t i = from;
    while (i < text.size()) {
        const wchar_t c = text[i];
        const std::size_t remaining = text.size() - i;
        unsigned value = c;
        std::size_t length = 1;
        if (c >= key_press && c <= key_up) {
            if (remaining >= 3) {
                value = hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]);
                length = 3;
            } else {
                value = 0;
            }
        } else if (c == pause) {
            value = 0;
            length = remaining >= 5 ? 5 : 1;
        } else if (c == record) {
            length = record_length(text, i);
            if (length == 0) {
                Trace::error("count_caret_moves")
                    << "damaged record at " << static_cast<std::uint64_t>(i)
                    << "; its marker is skipped";
                value = 0;
                length = 1;
            }
        }
        if (moves_caret(value)) {
            ++count;
        }
        i += length;
    }
    return count;
}

} // namespace

std::wstring Handler_text_source::clipboard_text() {
    std::wstring text;
    handler_.read_text(text);
    return text;
}

Cursor_marker find_cursor_marker(const std::wstring& text) {
    std::size_t at = text.find(L"{|}");
    if (at != std::wstring::npos) {
        return {at, 3};
    }
    at = text.find(L"{cursor}");
    if (at != std::wstring::npos) {
        return {at, 8};
    }
    return {};
}

Expansion_result apply_cursor_marker(std::wstring text) {
    Expansion_result result;
    const Cursor_marker marker = find_cursor_marker(text);
    if (marker.position) {
        text.erase(*marker.position, marker.length);
        result.left_presses = count_caret_moves(text, *marker.position);
    }
    result.text = std::move(text);
    return result;
}

Expansion_result expand_text(const Placeholder_expansion& expand, const std::wstring& text) {
    try {
        Handler_text_source source;
        return apply_cursor_marker(expand ? expand(source, text) : text);
    } catch (const std::exception& e) {
        // The user's text is typed unexpanded rather than not at all.
        Trace::error("expand_text") << "exception: " << e.what();
        try {
            return apply_cursor_marker(text);
        } catch (const std::exception&) {
            return {};
        }
    }
}

std::wstring append_cursor_moves(const Expansion_result& result) {
    std::wstring typed = result.text;
    typed.reserve(typed.size() + 3 * static_cast<std::size_t>(result.left_presses));
    for (unsigned i = 0; i < result.left_presses; ++i) {
        typed += L"\x0001"
                 L"25";
    }
    return typed;
}
