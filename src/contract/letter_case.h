// Simple one-to-one case mapping of UTF-16 code units, without Windows and
// without a locale, so that it is cheap enough for the keyboard hook and the
// same everywhere: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
// Other characters have no case here.
#pragma once

namespace Letter_case {

wchar_t lower(wchar_t c) noexcept;
wchar_t upper(wchar_t c) noexcept;
inline bool is_upper(wchar_t c) noexcept {
    return lower(c) != c;
}
inline bool is_lower(wchar_t c) noexcept {
    return upper(c) != c;
}
inline bool has_case(wchar_t c) noexcept {
    return is_upper(c) || is_lower(c);
}

} // namespace Letter_case
