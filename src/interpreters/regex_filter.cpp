#include "interpreters/regex_filter.h"

#include "trace/trace.h"

#include <boost/regex.hpp>

#include <cstdint>
#include <exception>

namespace Regex_filter {
namespace {

// Boost's matcher keeps its backtracking state on the heap and throws when a
// match runs away, where std::regex would overflow the stack and take the
// host down. Its limits (states visited per search, backtracking blocks,
// recursion depth) count work, not time: a clipboard and a pattern give the
// same text on any machine under any load, which a clock would not.

boost::wregex compile(const std::wstring& pattern, bool ignore_case) {
    auto flags = boost::regex_constants::ECMAScript | boost::regex_constants::no_mod_s |
                 boost::regex_constants::no_mod_m;
    if (ignore_case)
        flags |= boost::regex_constants::icase;
    return boost::wregex(pattern, flags);
}

using Match = boost::match_results<std::wstring::const_iterator>;

// The replacement as std::regex's format_sed reads it: "&" is the whole
// match, a backslash and one digit the group of that number (empty when it
// did not take part), a backslash and any other character that character,
// and a trailing backslash itself. Boost's own formatter would also turn
// "\n", "\t", "\x41" and the like into control characters.
void append_sed_format(std::wstring& out, const Match& match, const std::wstring& format) {
    auto group = [&](std::size_t index) {
        if (index < match.size() && match[index].matched)
            out.append(match[index].first, match[index].second);
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        const wchar_t c = format[i];
        if (c == L'&') {
            group(0);
        } else if (c == L'\\') {
            if (i + 1 == format.size()) {
                out += L'\\';
            } else {
                const wchar_t next = format[++i];
                if (next >= L'0' && next <= L'9')
                    group(static_cast<std::size_t>(next - L'0'));
                else
                    out += next;
            }
        } else {
            out += c;
        }
    }
}

} // namespace

bool parse_substitution(const std::wstring& argument, Substitution& out) {
    if (argument.compare(0, 2, L"s/") != 0)
        return false;
    // The next "/" whose previous character is not a backslash.
    auto next_slash = [&](std::size_t from) {
        for (std::size_t i = from; i < argument.size(); ++i)
            if (argument[i] == L'/' && argument[i - 1] != L'\\')
                return i;
        return std::wstring::npos;
    };
    const std::size_t pattern_end = next_slash(2);
    if (pattern_end == std::wstring::npos)
        return false;
    const std::size_t replacement_end = next_slash(pattern_end + 1);
    if (replacement_end == std::wstring::npos)
        return false;
    Substitution result;
    for (std::size_t i = replacement_end + 1; i < argument.size(); ++i) {
        if (argument[i] == L'g' && !result.global)
            result.global = true;
        else if (argument[i] == L'i' && !result.ignore_case)
            result.ignore_case = true;
        else
            return false;
    }
    result.pattern = argument.substr(2, pattern_end - 2);
    result.replacement = argument.substr(pattern_end + 1, replacement_end - pattern_end - 1);
    out = std::move(result);
    return true;
}

std::wstring substitute(const std::wstring& text, const Substitution& substitution) {
    try {
        const boost::wregex expression = compile(substitution.pattern, substitution.ignore_case);
        std::wstring out;
        out.reserve(text.size());
        auto copied_to = text.cbegin();
        boost::wsregex_iterator it(text.cbegin(), text.cend(), expression);
        for (const boost::wsregex_iterator end; it != end; ++it) {
            const Match& match = *it;
            out.append(copied_to, match[0].first);
            append_sed_format(out, match, substitution.replacement);
            copied_to = match[0].second;
            if (!substitution.global)
                break;
        }
        out.append(copied_to, text.cend());
        return out;
    } catch (const std::exception& e) {
        Trace::error("Regex_filter::substitute")
            << L"s/" << substitution.pattern << L"/ over "
            << static_cast<std::uint64_t>(text.size()) << " characters gives nothing: " << e.what();
    }
    return {};
}

std::wstring join_matches(const std::wstring& text, const std::wstring& pattern) {
    try {
        const boost::wregex expression = compile(pattern, false);
        std::wstring out;
        bool first = true;
        boost::wsregex_iterator it(text.cbegin(), text.cend(), expression);
        for (const boost::wsregex_iterator end; it != end; ++it) {
            if (!first)
                out += L'\t';
            first = false;
            out.append((*it)[0].first, (*it)[0].second);
        }
        return out;
    } catch (const std::exception& e) {
        Trace::error("Regex_filter::join_matches")
            << L"pattern " << pattern << L" over " << static_cast<std::uint64_t>(text.size())
            << " characters gives nothing: " << e.what();
    }
    return {};
}

std::wstring apply(const std::wstring& text, const std::wstring& argument) {
    Substitution substitution;
    if (parse_substitution(argument, substitution))
        return substitute(text, substitution);
    return join_matches(text, argument);
}

} // namespace Regex_filter
