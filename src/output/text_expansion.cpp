#include "output/text_expansion.h"

#include "trace/trace.h"

#include <windows.h>

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

// Eight hex digits of a record length; a truncated field reads as far as it goes.
std::size_t read_length(const std::wstring& text, std::size_t at) {
    std::size_t value = 0;
    for (std::size_t i = at; i < at + 8 && i < text.size(); ++i) {
        value = value * 16 + hex_digit(text[i]);
    }
    return value;
}

std::size_t record_length(const std::wstring& text, std::size_t at) {
    const std::size_t remaining = text.size() - at;
    if (remaining < 2) {
        return remaining;
    }
    std::size_t length = remaining;
    if (text[at + 1] == L'L') {
        // U+0005 'L' len1 '|' len2 part1 part2
        length = 2 + 8 + 1 + 8 + read_length(text, at + 2) + read_length(text, at + 11);
    } else if (text[at + 1] == L'I') {
        length = 2 + 8 + read_length(text, at + 2);
    }
    // A damaged record never reaches past the end of the text.
    return length < remaining ? length : remaining;
}

bool moves_caret(unsigned value) {
    if (value == 0 || value == 0x10 || value == 0x11 || value == 0x12 || value == 0x0A) {
        return false;
    }
    // A dead key types nothing by itself.
    return (MapVirtualKeyW(value, MAPVK_VK_TO_CHAR) & 0x80000000u) == 0;
}

unsigned count_caret_moves(const std::wstring& text, std::size_t from) {
    unsigned count = 0;
    std::size_t i = from;
    while (i < text.size()) {
        const wchar_t c = text[i];
        unsigned value = c;
        std::size_t length = 1;
        if (c >= key_press && c <= key_up) {
            value = (i + 1 < text.size() ? hex_digit(text[i + 1]) * 16 : 0) +
                    (i + 2 < text.size() ? hex_digit(text[i + 2]) : 0);
            length = 3;
        } else if (c == pause) {
            value = 0;
            length = 5;
        } else if (c == record) {
            length = record_length(text, i);
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
