// The cursor-marker rule over typing data: pure logic, no windows and no
// clipboard, so that it also runs in the 32-bit logic executable.
#include "output/text_expansion.h"
#include "support/trace_capture.h"

#include <gtest/gtest.h>

namespace {

TEST(CursorMarker, MarkerIsRemovedAndTheCaretMovesBackOverWhatFollows) {
    // Typing-data elements: U+0001 press, U+0002 down, U+0003 up, U+0004
    // pause, U+0005 record, then hex digits or the record's body.
    const struct {
        std::wstring code, text; // empty text: not compared
        std::size_t left_presses;
    } cases[] = {
        {L"ab{cursor}cd", L"abcd", 2},
        {L"a{cursor}b{|}c", L"a{cursor}bc", 1},         // the bar marker comes first
        {L"ab{cursor}cd{cursor}", L"abcd{cursor}", 10}, // a second marker stays, and counts
        {L"line{|}\n\n", L"line\n\n", 0},
        {L"no marker {cursor {|", L"no marker {cursor {|", 0},
        // Modifier downs and ups and pauses do not move the caret; End, a link
        // record (once) and letters do: y, End, the link, z.
        {L"x{|}\u000210y\u000310\u000111\u0004 1f4\u000123\u0005L00000003|00000002abcdez", L"", 4},
        // Upper-case hex digits; 0x0A given as a key is a line feed.
        {L"{|}\u00012E\u00010a\u00010A", L"", 1},
        // A key element or pause cut short: the marker moves nothing, the
        // rest are characters (q, 2; q, space, 1, f).
        {L"{|}q\u00012", L"", 2},
        {L"{|}q\u0004 1f", L"", 4},
    };
    for (const auto& c : cases) {
        const Expansion_result result = apply_cursor_marker(c.code);
        EXPECT_TRUE(c.text.empty() || result.text == c.text) << result.text.size();
        EXPECT_EQ(result.left_presses, c.left_presses) << result.text.size();
    }
    EXPECT_EQ(append_cursor_moves({L"abc", 0}), L"abc");
    EXPECT_EQ(append_cursor_moves(apply_cursor_marker(L"Dear {|}Al")), L"Dear Al\u000125\u000125");
}

// Damaged records (typing data may hold any code units the user wrote): the
// walk ends, never reads past the text, and skips the record's marker with
// one error line, reading what follows as characters, as the host types it.
// Eight digits like FFFFFFF6 wrap a 32-bit sum of lengths to nothing.
TEST(CursorMarker, DamagedRecordsAreSkippedAndTheWalkEnds) {
    const struct {
        std::wstring code;
        std::size_t left_presses;
        unsigned errors;
    } cases[] = {
        {L"{|}q\u0005IFFFFFFF6ab", 1 + 11, 1},          // 10 + length wraps to 0
        {L"{|}q\u0005IFFFFFFFFab", 1 + 11, 1},          // ... to 9
        {L"{|}q\u0005LFFFFFFFF|00000001ab", 1 + 20, 1}, // 19 + both wraps
        {L"{|}q\u0005L00000001|FFFFFFFFab", 1 + 20, 1},
        {L"{|}q\u0005L80000000|80000000ab", 1 + 20, 1}, // the two parts wrap
        {L"{|}q\u0005I000000ffshort", 1 + 14, 1},       // longer than the text
        {L"{|}q\u0005I0000", 1 + 5, 1},                 // the length cut short
        {L"{|}\u0005L00000001|0000", 14, 1},
        {L"{|}\u0005I0000000zx", 10, 1},           // no hex number
        {L"{|}\u0005L00000001#00000001ab", 20, 1}, // no bar
        {L"{|}\u0005Xab", 3, 1},                   // no such record
        {L"{|}ab\u0005", 2, 1},
        {L"{|}\u0005\u0005I", 1, 2},
        // Records that fit exactly count once.
        {L"{|}\u0005I00000002abc", 2, 0},
        {L"{|}\u0005L00000001|00000001abz", 2, 0},
        {L"{|}\u0005I00000000\u0005L00000000|00000000", 2, 0},
    };
    for (const auto& c : cases) {
        Trace_capture trace;
        const Expansion_result result = apply_cursor_marker(c.code);
        EXPECT_EQ(result.text, c.code.substr(3)) << c.code.size();
        EXPECT_EQ(result.left_presses, c.left_presses) << result.text.size();
        EXPECT_EQ(trace.error_count(), c.errors) << result.text.size();
    }
}

} // namespace
