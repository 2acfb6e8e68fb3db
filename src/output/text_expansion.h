// Expanding a code text for typing: placeholder expansion, then the cursor
// marker, which becomes a number of Left presses typed after the text.
#pragma once

#include "output/clipboard_handler.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// What the "clipboard" placeholder reads.
class Clipboard_text_source {
public:
    virtual ~Clipboard_text_source() = default;
    virtual std::wstring clipboard_text() = 0;
};

// Reads the clipboard as it is now; copies nothing.
class Handler_text_source : public Clipboard_text_source {
public:
    std::wstring clipboard_text() override;

private:
    Clipboard_handler handler_;
};

struct Expansion_result {
    std::wstring text;
    unsigned left_presses = 0;
};

struct Cursor_marker {
    std::optional<std::size_t> position;
    std::size_t length = 0;
};

// The first "{|}"; failing that the first "{cursor}".
Cursor_marker find_cursor_marker(const std::wstring& text);

// Removes the first marker and counts the typing-data elements after it that
// move the caret by one position.
Expansion_result apply_cursor_marker(std::wstring text);

// The cursor marker as an expansion leaves it: a code unit that no text from
// outside the user's code can bring, since the expansion takes it out of
// clipboard, selection, title and the like. A "{|}" copied from a web page
// is typed as it is, never taken for the user's marker.
constexpr wchar_t cursor_mark = L'\x0006';
// Like apply_cursor_marker, for the first `cursor_mark`.
Expansion_result apply_cursor_mark(std::wstring text);

// The placeholder expansion of the typing language, given the text source for
// its "clipboard" placeholder.
using Placeholder_expansion =
    std::function<std::wstring(Clipboard_text_source& source, const std::wstring& text)>;

// `marked`: the expansion marks the user's cursor marker with `cursor_mark`,
// and no "{|}" in its result counts. Should the expansion fail, the markers of
// the unexpanded code count.
Expansion_result expand_text(const Placeholder_expansion& expand, const std::wstring& text,
                             bool marked = false);

// The text followed by one Left key press element per counted move.
std::wstring append_cursor_moves(const Expansion_result& result);
