#include "interpreters/regex_filter.h"

#include "support/trace_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

TEST(Regex_filter_test, ReplacementFormatAndJoinedMatches) {
    const struct {
        const wchar_t *text, *argument, *expected;
    } cases[] = {
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
        {L"abc", L"s/b/\\//", L"a/c"},
        {L"ab", L"s///", L"ab"},
        {L"abc", L"s/(b)/\\0\\1\\2\\9/", L"abbc"}, // \0 is the match, missing groups empty
        {L"abc", L"s/(b)/\\12/", L"ab2c"},         // one digit only
        {L"abc", L"s/(x)?b/[\\1]/", L"a[]c"},      // a group that took no part
        {L"abc", L"s/b/$1$&/", L"a$1$bc"},         // no perl-style references
        {L"abc", L"s/x*/-/g", L"-a-b-c-"},         // empty matches
        {L"a\nb", L"s/a.b/X/", L"a\nb"},           // "." stops at line breaks
        {L"a\nb", L"s/^b/X/", L"a\nb"},            // "^" only at the start of the text
        {L"a\nb", L"s/a$/X/", L"a\nb"},
        {L"a1b22c333", L"\\d+", L"1\t22\t333"},
        {L"baa", L"a*", L"\taa\t"},
        {L"AbC", L"[a-z]", L"b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Regex_filter::apply(c.text, c.argument), c.expected) << c.argument;
    // Malformed substitutions are patterns: each finds itself.
    for (const wchar_t* malformed :
         {L"s/a/b", L"s/a/b/gg", L"s/a/b/x", L"s/a", L"x/a/b/", L"S/a/b/", L"s/a/b/ g"})
        EXPECT_EQ(Regex_filter::apply(malformed, malformed), malformed);
}

// Matching is bounded by the work it does, not by a clock: a busy machine
// gives the same full text as an idle one, and a runaway pattern on a huge
// clipboard gives nothing, with one error line, instead of a crash.
TEST(Regex_filter_test, ResultsDependOnTheInputOnlyAndRunawaysGiveNothing) {
    std::wstring lines;
    for (int i = 0; lines.size() < 2000000; ++i)
        lines += L"line " + std::to_wstring(i) + L"\n";
    std::wstring joined = lines;
    std::replace(joined.begin(), joined.end(), L'\n', L',');
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        for (volatile unsigned long long spins = 0; !stop;)
            spins = spins + 1;
    });
    for (int run = 0; run < 5; ++run)
        EXPECT_TRUE(Regex_filter::apply(lines, L"s/\n/,/g") == joined) << run;
    stop = true;
    busy.join();
    const std::wstring ab = std::wstring(1 << 20, L'a').replace(0, 1, L"b");
    const struct {
        std::wstring text;
        const wchar_t* argument;
    } runaways[] = {
        {std::wstring(20000, L'x'), L"(x+x+)+y"},
        {std::wstring(1 << 20, L'x'), L"s/(x+x+)+y/z/g"},
        {ab, L"((a|b)*)*c"},
        {ab, L"s/(a|b)*c/z/"},
    };
    for (const auto& c : runaways) {
        Trace_capture trace;
        const std::wstring result = Regex_filter::apply(c.text, c.argument);
        EXPECT_TRUE(result.empty() || result.size() == c.text.size()) << c.argument;
        EXPECT_EQ(trace.error_count(), result.empty() ? 1u : 0u) << c.argument;
    }
}

} // namespace
