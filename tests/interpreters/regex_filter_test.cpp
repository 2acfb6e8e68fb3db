#include "interpreters/regex_filter.h"

#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "interpreters/typing_language.h"
#include "storage/trace_capture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

namespace {

// What std::regex gives for the same filter, on inputs small enough for its
// recursive matcher.
std::wstring std_substitute(const std::wstring& text, const Regex_filter::Substitution& s) {
    auto syntax = std::regex_constants::ECMAScript;
    if (s.ignore_case)
        syntax |= std::regex_constants::icase;
    const std::wregex expression(s.pattern, syntax);
    auto flags = std::regex_constants::format_sed;
    if (!s.global)
        flags |= std::regex_constants::format_first_only;
    return std::regex_replace(text, expression, s.replacement, flags);
}

std::wstring std_join(const std::wstring& text, const std::wstring& pattern) {
    const std::wregex expression(pattern, std::regex_constants::ECMAScript);
    std::wstring out;
    bool first = true;
    for (std::wsregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it) {
        if (!first)
            out += L'\t';
        first = false;
        out += it->str();
    }
    return out;
}

TEST(Regex_filter_test, SubstitutionFormIsParsedStrictly) {
    Regex_filter::Substitution s;
    ASSERT_TRUE(Regex_filter::parse_substitution(L"s/a\\/b/c\\/d/gi", s));
    EXPECT_EQ(s.pattern, L"a\\/b"); // the backslash stays
    EXPECT_EQ(s.replacement, L"c\\/d");
    EXPECT_TRUE(s.global);
    EXPECT_TRUE(s.ignore_case);
    ASSERT_TRUE(Regex_filter::parse_substitution(L"s///", s));
    EXPECT_EQ(s.pattern, L"");
    EXPECT_FALSE(s.global);
    EXPECT_FALSE(s.ignore_case);
    for (const wchar_t* malformed : {L"s/a/b", L"s/a/b/gg", L"s/a/b/x", L"s/a", L"x/a/b/",
                                     L"S/a/b/", L"s/a/b/ g", L"s/a/b\\/"}) {
        EXPECT_FALSE(Regex_filter::parse_substitution(malformed, s)) << malformed;
    }
}

TEST(Regex_filter_test, ReplacementFormatMatchesStdRegex) {
    struct Case {
        const wchar_t* text;
        const wchar_t* argument;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"banana", L"s/a/b/", L"bbnana"},
        {L"banana", L"s/a/b/g", L"bbnbnb"},
        {L"bAnAna", L"s/a/b/i", L"bbnAna"},
        {L"bAnAna", L"s/a/b/gi", L"bbnbnb"},
        {L"john smith", L"s/(\\w+) (\\w+)/\\2, \\1/", L"smith, john"},
        {L"abc", L"s/b/[&]/", L"a[b]c"},
        {L"abc", L"s/b/\\&/", L"a&c"},
        {L"abc", L"s/b/\\n\\t\\x41\\a/", L"antx41ac"}, // escapes give the letter itself
        {L"abc", L"s/b/\\\\/", L""},                   // "\\/" hides the end too
        {L"abc", L"s/b/x\\/", L""},                    // "\/" is no end: a pattern, no match
        {L"abc", L"s/b/\\\\x/", L"a\\xc"},
        {L"a/c", L"s/\\//-/", L"a-c"},
        {L"abc", L"s/(b)/\\0\\1\\2\\9/", L"abbc"}, // \0 is the match, missing groups empty
        {L"abc", L"s/(b)/\\12/", L"ab2c"},         // one digit only
        {L"abc", L"s/(x)?b/[\\1]/", L"a[]c"},      // a group that took no part
        {L"abc", L"s/b/$1$&/", L"a$1$bc"},         // no perl-style references
        {L"abc", L"s/x*/-/g", L"-a-b-c-"},         // empty matches
        {L"a\nb", L"s/a.b/X/", L"a\nb"},           // "." stops at line breaks
        {L"a\nb", L"s/^b/X/", L"a\nb"},            // "^" only at the start of the text
        {L"a\nb", L"s/a$/X/", L"a\nb"},
        {L"a1b22c333", L"\\d+", L"1\t22\t333"},
        {L"letters 1 and 22", L"[0-9]+", L"1\t22"},
        {L"baa", L"a*", L"\taa\t"},
        {L"AbC", L"[a-z]", L"b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Regex_filter::apply(c.text, c.argument), c.expected) << c.argument;
        Regex_filter::Substitution s;
        const std::wstring reference = Regex_filter::parse_substitution(c.argument, s)
                                           ? std_substitute(c.text, s)
                                           : std_join(c.text, c.argument);
        EXPECT_EQ(reference, c.expected) << "std::regex disagrees on " << c.argument;
    }
}

TEST(Regex_filter_test, GeneratedFiltersAgreeWithStdRegex) {
    // Small random patterns and replacements built from a safe alphabet.
    const std::wstring pattern_parts[] = {L"a",   L"b",     L"ab",      L".",    L"a*",
                                          L"b+",  L"(a|b)", L"(a)(b)?", L"[ab]", L"[^a]",
                                          L"\\d", L"^",     L"$",       L"x?",   L"\\w+"};
    const std::wstring replacement_parts[] = {L"&",   L"\\1", L"\\2", L"z", L"\\\\",
                                              L"\\&", L"\\q", L"-",   L"\\"};
    const std::wstring texts[] = {L"", L"aab", L"banana", L"b1a2", L"Ab\nab", L"xyz"};
    unsigned seed = 12345;
    auto next = [&](unsigned bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    int compared = 0;
    for (int round = 0; round < 600; ++round) {
        Regex_filter::Substitution s;
        for (unsigned i = 0, n = 1 + next(3); i < n; ++i)
            s.pattern += pattern_parts[next(15)];
        for (unsigned i = 0, n = next(3); i < n; ++i)
            s.replacement += replacement_parts[next(9)];
        s.global = next(2) == 1;
        s.ignore_case = next(2) == 1;
        const std::wstring& text = texts[next(6)];
        std::wstring expected;
        try {
            expected = std_substitute(text, s);
        } catch (const std::regex_error&) {
            continue;
        }
        EXPECT_EQ(Regex_filter::substitute(text, s), expected)
            << "s/" << std::string(s.pattern.begin(), s.pattern.end()) << "/"
            << std::string(s.replacement.begin(), s.replacement.end()) << "/";
        if (!s.ignore_case) {
            EXPECT_EQ(Regex_filter::join_matches(text, s.pattern), std_join(text, s.pattern));
        }
        ++compared;
    }
    EXPECT_GT(compared, 500);
}

TEST(Regex_filter_test, HugeClipboardsWithRunawayPatternsSurvive) {
    std::wstring clipboard(1 << 20, L'a');
    for (std::size_t i = 0; i < clipboard.size(); i += 3)
        clipboard[i] = L'b';
    std::wstring xs(1 << 20, L'x');
    struct Case {
        const std::wstring* text;
        const wchar_t* placeholder;
    };
    const Case cases[] = {
        {&clipboard, L"{clipboard:(a|b)*}"}, {&xs, L"{clipboard:s/(x+x+)+y/z/g}"},
        {&xs, L"{clipboard:(x+x+)+y}"},      {&clipboard, L"{clipboard:s/(a|b)*c/z/}"},
        {&xs, L"{clipboard:s/x/&&/g}"},      {&clipboard, L"{clipboard:((a|b)*)*c}"},
    };
    Reference_host host;
    Fake_environment environment;
    Fake_clipboard source;
    for (const Case& c : cases) {
        source.text = *c.text;
        Typing_expander expander(&host, environment, source);
        Trace_capture trace;
        const ULONGLONG start = GetTickCount64();
        const std::wstring result = expander.expand(c.placeholder);
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (result.empty()) {
            EXPECT_EQ(trace.error_count(), 1u) << "an empty result says why, once";
        }
        // Time is a benchmark's business; printed here for the log only.
        std::printf("%ls: %llu ms, %zu characters\n", c.placeholder, elapsed, result.size());
    }
}

// Matching is bounded by the work it does, not by a clock: a busy machine
// gives the same text as an idle one, and a runaway pattern gives nothing.
TEST(Regex_filter_test, ResultsDoNotDependOnTheMachinesLoad) {
    std::wstring lines;
    for (int i = 0; lines.size() < 2000000; ++i)
        lines += L"line " + std::to_wstring(i) + L"\n";
    std::wstring joined = lines;
    std::replace(joined.begin(), joined.end(), L'\n', L',');
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        volatile unsigned long long spins = 0;
        while (!stop)
            spins = spins + 1;
    });
    Reference_host host;
    Fake_environment environment;
    Fake_clipboard source;
    source.text = lines;
    for (int run = 0; run < 20; ++run) {
        Typing_expander expander(&host, environment, source);
        const std::wstring result = expander.expand(L"{clipboard:s/\n/,/g}");
        EXPECT_TRUE(result == joined)
            << "run " << run << ": " << result.size() << " of " << joined.size() << " characters";
    }
    source.text.assign(20000, L'x');
    for (int run = 0; run < 2; ++run) {
        Trace_capture trace;
        Typing_expander expander(&host, environment, source);
        EXPECT_EQ(expander.expand(L"[{clipboard:(x+x+)+y}]"), L"[]");
        EXPECT_EQ(trace.error_count(), 1u);
    }
    stop = true;
    busy.join();
}

} // namespace
