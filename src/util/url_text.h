// Putting user text into links: the selection into a link template, a page
// address into a query value.
#pragma once

#include <string>

// The selection with "%", "&" and "#" escaped (in that order, so an escape
// is never escaped again); everything else stays, blanks and line breaks
// included, for the shell and the browser to deal with.
std::wstring escape_selection(const std::wstring& value);

// The template with every "%s", "xVelloquartex" and "xvelloquartex" replaced
// by the escaped value, left to right; the inserted value is not searched.
std::wstring substitute_value(const std::wstring& link_template, const std::wstring& value);

// True when the template holds one of the three selection markers.
bool has_selection_marker(const std::wstring& link_template);

// Percent-encodes the 23 characters that would end or split a query value
// (lower-case hex digits); every other character, non-ASCII included, stays.
std::wstring url_encode(const std::wstring& text);

// Every occurrence of `from` in `text` replaced by `to`, left to right and
// not overlapping; the replacement is not searched again.
std::wstring replace_all(const std::wstring& text, const std::wstring& from,
                         const std::wstring& to);

// ShellExecuteEx with the verb "Open", shown; false (and one error line) when
// the shell refuses.
bool open_with_shell(const std::wstring& target, const char* caller);
