#include "output/text_expansion.h"
#include "output_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Output_test;

namespace {

// A typing-data element: U+0001 press, U+0002 down, U+0003 up, U+0004 pause,
// U+0005 record, then its hex digits or record body.
std::wstring element(wchar_t kind, const std::wstring& rest) {
    return std::wstring(1, kind) + rest;
}

TEST(CursorMarker, MarkerIsRemovedAndTheCaretMovesBackOverWhatFollows) {
    const struct {
        std::wstring code, text; // empty text: not compared
        std::size_t left_presses;
    } cases[] = {
        {L"ab{cursor}cd", L"abcd", 2},
        {L"a{cursor}b{|}c", L"a{cursor}bc", 1},         // the bar marker comes first
        {L"ab{cursor}cd{cursor}", L"abcd{cursor}", 10}, // a second marker stays, and counts
        {L"line{|}\n\n", L"line\n\n", 0},
        {L"no marker {cursor {|", L"no marker {cursor {|", 0},
        // Modifier presses and releases and pauses do not move the caret; End,
        // a link record (once) and letters do: y, End, the link, z.
        {L"x{|}" + element(2, L"10") + L"y" + element(3, L"10") + element(1, L"11") +
             element(4, L" 1f4") + element(1, L"23") + element(5, L"L00000003|00000002abcde") +
             L"z",
         L"", 4},
        // Upper-case hex digits; 0x0A given as a key is a line feed.
        {L"{|}" + element(1, L"2E") + element(1, L"0a") + element(1, L"0A"), L"", 1},
        // A record running past the end, and a cut key element, end the walk.
        {L"{|}q" + element(5, L"I000000ffshort"), L"", 2},
        {L"{|}q" + element(1, L"2"), L"", 2},
    };
    for (const auto& c : cases) {
        const Expansion_result result = apply_cursor_marker(c.code);
        if (!c.text.empty()) {
            EXPECT_EQ(result.text, c.text);
        }
        EXPECT_EQ(result.left_presses, c.left_presses) << result.text.size();
    }
    const std::wstring left = element(1, L"25");
    EXPECT_EQ(append_cursor_moves({L"abc", 0}), L"abc");
    EXPECT_EQ(append_cursor_moves(apply_cursor_marker(L"Dear {|}Al")), L"Dear Al" + left + left);
}

TEST(ExpandText, ReadsTheClipboardThroughTheSourceAndFallsBackToTheCode) {
    ASSERT_TRUE(set_clipboard_text(L"CLIP"));
    const DWORD sequence = GetClipboardSequenceNumber();
    const Expansion_result result = expand_text(
        [](Clipboard_text_source& source, const std::wstring& text) {
            return text.substr(0, 1) + source.clipboard_text() + text.substr(12);
        },
        L"x{clipboard}{cursor}yz");
    EXPECT_EQ(result.text, L"xCLIPyz");
    EXPECT_EQ(result.left_presses, 2u);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence); // reading copies nothing

    // An expansion that fails leaves the text as written, marker rule applied.
    const Expansion_result fallback = expand_text(
        [](Clipboard_text_source&, const std::wstring&) -> std::wstring {
            throw std::runtime_error("bad template");
        },
        L"a{|}bc");
    EXPECT_EQ(fallback.text, L"abc");
    EXPECT_EQ(fallback.left_presses, 2u);
}

} // namespace
