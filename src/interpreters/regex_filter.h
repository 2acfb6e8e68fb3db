// The text filters of the typing language: a sed-style substitution
// "s/pattern/replacement/flags" or a pattern whose matches are joined by tabs.
// Patterns use ECMAScript syntax: "." does not match line breaks and "^"
// and "$" match only at the ends of the text.
#pragma once

#include <string>

namespace Regex_filter {

struct Substitution {
    std::wstring pattern;
    std::wstring replacement;
    bool global = false;
    bool ignore_case = false;
};

// True when the argument has the full substitution form; a malformed one is
// taken as a plain pattern by the caller.
bool parse_substitution(const std::wstring& argument, Substitution& out);

// Each of these gives an empty text and writes one error line when the
// pattern does not compile or matching exceeds the engine's limits (too complex).
std::wstring substitute(const std::wstring& text, const Substitution& substitution);
std::wstring join_matches(const std::wstring& text, const std::wstring& pattern);

// Substitution when the argument has that form, else the joined matches.
std::wstring apply(const std::wstring& text, const std::wstring& argument);

} // namespace Regex_filter
