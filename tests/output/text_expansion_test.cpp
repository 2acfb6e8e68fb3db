#include "output/clipboard_backup_scope.h"
#include "output/text_expansion.h"
#include "output_test_support.h"
#include "tools/target_app/target_client.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace Output_test;

namespace {

const std::wstring left_press = L"\x0001"
                                L"25";

TEST(CursorMarker, FirstBarMarkerBeforeAnyCursorWord) {
    Cursor_marker marker = find_cursor_marker(L"a{cursor}b{|}c");
    ASSERT_TRUE(marker.position);
    EXPECT_EQ(*marker.position, 10u);
    EXPECT_EQ(marker.length, 3u);
    marker = find_cursor_marker(L"ab{cursor}cd{cursor}");
    ASSERT_TRUE(marker.position);
    EXPECT_EQ(*marker.position, 2u);
    EXPECT_EQ(marker.length, 8u);
    marker = find_cursor_marker(L"{cursor {|");
    EXPECT_FALSE(marker.position);
    EXPECT_EQ(marker.length, 0u);
}

TEST(CursorMarker, CountsTheElementsThatMoveTheCaret) {
    Expansion_result result = apply_cursor_marker(L"ab{cursor}cd");
    EXPECT_EQ(result.text, L"abcd");
    EXPECT_EQ(result.left_presses, 2u);

    // The second marker stays as typed text, and its characters count.
    result = apply_cursor_marker(L"ab{|}cd{cursor}");
    EXPECT_EQ(result.text, L"abcd{cursor}");
    EXPECT_EQ(result.left_presses, 10u);

    result = apply_cursor_marker(L"line{|}\n\n");
    EXPECT_EQ(result.text, L"line\n\n");
    EXPECT_EQ(result.left_presses, 0u);

    result = apply_cursor_marker(L"no marker here");
    EXPECT_EQ(result.text, L"no marker here");
    EXPECT_EQ(result.left_presses, 0u);

    // Modifier keys, pauses and key ups of modifiers do not move the caret;
    // a key press of End does, and a link record counts once.
    const std::wstring shift_down = L"\x0002"
                                    L"10";
    const std::wstring shift_up = L"\x0003"
                                  L"10";
    const std::wstring control_press = L"\x0001"
                                       L"11";
    const std::wstring end_press = L"\x0001"
                                   L"23";
    const std::wstring pause = L"\x0004"
                               L" 1f4";
    const std::wstring link = L"\x0005"
                              L"L00000003|00000002abcde";
    result = apply_cursor_marker(L"x{|}" + shift_down + L"y" + shift_up + control_press + pause +
                                 end_press + link + L"z");
    EXPECT_EQ(result.left_presses, 4u); // y, End, the link, z
    // Upper-case hex digits are read too; 0x0A given as a key is a line feed.
    result = apply_cursor_marker(L"{|}\x0001"
                                 L"2E\x0001"
                                 L"0a\x0001"
                                 L"0A");
    EXPECT_EQ(result.left_presses, 1u);
    // An image record whose length runs past the end, and a cut key element,
    // end the walk without reading beyond the text.
    result = apply_cursor_marker(L"{|}q\x0005"
                                 L"I000000ffshort");
    EXPECT_EQ(result.left_presses, 2u);
    result = apply_cursor_marker(L"{|}q\x0001"
                                 L"2");
    EXPECT_EQ(result.left_presses, 2u); // the cut element reads as 0x20
}

TEST(CursorMarker, AppendsOneLeftPressPerCountedMove) {
    EXPECT_EQ(append_cursor_moves({L"abc", 0}), L"abc");
    EXPECT_EQ(append_cursor_moves({L"abc", 2}), L"abc" + left_press + left_press);
    // A marker before a five-letter word: the text without it, then five Lefts.
    const std::wstring typed = append_cursor_moves(apply_cursor_marker(L"Dear {|}Alice"));
    std::wstring expected = L"Dear Alice";
    for (int i = 0; i < 5; ++i) {
        expected += left_press;
    }
    EXPECT_EQ(typed, expected);
}

TEST(ExpandText, ThePlaceholderExpansionReadsTheClipboardThroughTheSource) {
    ASSERT_TRUE(set_clipboard_text(L"CLIP"));
    const DWORD sequence = GetClipboardSequenceNumber();
    int calls = 0;
    const Expansion_result result = expand_text(
        [&](Clipboard_text_source& source, const std::wstring& text) {
            ++calls;
            std::wstring out = text;
            const std::wstring placeholder = L"{clipboard}";
            out.replace(out.find(placeholder), placeholder.size(), source.clipboard_text());
            return out;
        },
        L"x{clipboard}{cursor}yz");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(result.text, L"xCLIPyz");
    EXPECT_EQ(result.left_presses, 2u);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence); // reading copies nothing

    // An expansion that fails leaves the text as written, marker rule applied.
    Trace_capture trace;
    const Expansion_result fallback = expand_text(
        [](Clipboard_text_source&, const std::wstring&) -> std::wstring {
            throw std::runtime_error("bad template");
        },
        L"a{|}bc");
    EXPECT_EQ(fallback.text, L"abc");
    EXPECT_EQ(fallback.left_presses, 2u);
    const auto errors = trace.texts("ERR", "expand_text");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("bad template"), std::string::npos);
}

TEST(WaitForPaste, WaitsTheFullTimeWhenTheCaretStaysAndStopsWhenItMoves) {
    Target_app target;
    ASSERT_TRUE(target.start());
    ASSERT_TRUE(target.set_text(Target_app::Control::edit, L"some text that is long enough"));
    ASSERT_TRUE(target.select(Target_app::Control::edit, 4, 4));
    ASSERT_TRUE(target.activate());
    wait_pumping(100);
    Trace_capture trace;

    ULONGLONG start = GetTickCount64();
    wait_for_paste_with_timeout();
    EXPECT_GE(GetTickCount64() - start, 300u);

    // The caret moves 100 ms in: the wait ends once it sees the move.
    std::thread mover([&] {
        Sleep(100);
        SendMessageW(target.control_window(Target_app::Control::edit), EM_SETSEL, 20, 20);
    });
    start = GetTickCount64();
    wait_for_paste_with_timeout();
    const ULONGLONG moved_wait = GetTickCount64() - start;
    mover.join();
    EXPECT_GE(moved_wait, 100u);
    EXPECT_EQ(target.selection_end(Target_app::Control::edit), 20);

    // Each wait writes its timing line.
    std::size_t timing_lines = 0;
    for (const std::string& line : trace.lines()) {
        if (line.find("\tTME\t[wait_for_paste_with_timeout] ") != std::string::npos) {
            ++timing_lines;
        }
    }
    EXPECT_EQ(timing_lines, 2u);
}

} // namespace
