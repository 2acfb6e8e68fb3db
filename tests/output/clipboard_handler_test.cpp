#include "output/clipboard_backup_scope.h"
#include "output/clipboard_handler.h"
#include "output_test_support.h"
#include "support/trace_capture.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

using namespace Output_test;
using Control = Target_app::Control;

namespace {

// An "HTML Format" block whose StartHTML is the real offset of the HTML, or 0.
// The body holds a decoy "SourceURL:".
std::string html_clipboard(const std::string& source_url_line, bool zero_start = false) {
    const std::string head = "Version:0.9\r\nStartHTML:", rest = "\r\n" + source_url_line;
    std::string number = std::to_string(zero_start ? 0 : head.size() + 10 + rest.size());
    number.insert(0, 10 - number.size(), '0');
    return head + number + rest + "<html>SourceURL:http://body.example/\r\n</html>";
}

TEST(SourceUrl, TakenFromTheHeaderOnly) {
    const struct {
        std::string html;
        const wchar_t* url; // nullptr: none found
    } cases[] = {
        {html_clipboard("SourceURL:https://example.org/a?b=1\r\n"), L"https://example.org/a?b=1"},
        {html_clipboard("SourceURL: http://x/ \n"), L" http://x/ "}, // blanks belong to it
        {html_clipboard("SourceURL:http://first/\r\nSourceURL:http://second/\r\n"),
         L"http://second/"},
        {html_clipboard("SourceURL:http://x/\r\n", true), nullptr},
        {html_clipboard(""), nullptr}, // only in the body
        {"Version:0.9\r\nSourceURL:http://x/\r\n", nullptr},
        {"StartHTML:50\r\nSourceURL:http://no-line-end", nullptr},
    };
    for (const auto& c : cases) {
        std::wstring url = L"unchanged";
        EXPECT_EQ(extract_source_url(c.html, url), c.url != nullptr) << c.html;
        EXPECT_EQ(url, c.url ? c.url : L"unchanged") << c.html;
    }
}

class ClipboardHandlerTest : public Target_app_test {
protected:
    void SetUp() override { ASSERT_TRUE(target->ignore_copy(false)); }
    void select_in_target(Control control, const std::wstring& text) {
        ASSERT_TRUE(target->set_text(control, text));
        ASSERT_TRUE(target->select(control, 0, -1));
        ASSERT_TRUE(target->activate());
    }
    Clipboard_handler handler;
};

// A clipboard held by another program: nothing read, nothing saved, a backup
// kept until a restore succeeds, and the trace names the program.
TEST_F(ClipboardHandlerTest, BlockedClipboardLosesNothing) {
    ASSERT_TRUE(set_clipboard_text(L"first"));
    handler.backup_formats();
    const std::size_t first_count = handler.backup().size();
    ASSERT_GE(first_count, 1u);
    Trace_capture trace;
    ASSERT_TRUE(target->hold_clipboard(8000)); // outlasts four attempts of 1.5 s
    EXPECT_FALSE(handler.access_clipboard(handler.window()));
    const auto errors = trace.errors("access_clipboard");
    EXPECT_TRUE(!errors.empty() && errors.back().find("zaptor_target.exe") != std::string::npos);
    std::wstring text = L"stale";
    EXPECT_FALSE(handler.read_text(text));
    EXPECT_TRUE(text.empty());
    Clipboard_handler other;
    other.backup_formats();
    EXPECT_TRUE(other.backup().empty());
    handler.restore_formats();
    EXPECT_EQ(handler.backup().size(), first_count);
    ASSERT_TRUE(pump_until([] { return set_clipboard_text(L"second"); }, 8000));

    handler.backup_formats(); // added to the backup still held
    EXPECT_GT(handler.backup().size(), first_count);
    ASSERT_TRUE(set_clipboard_text(L"result"));
    handler.restore_formats();
    EXPECT_TRUE(handler.backup().empty());
    EXPECT_EQ(clipboard_text(), L"second");
}

TEST_F(ClipboardHandlerTest, PasteReplacesTheSelectionWithEveryNonEmptyFormat) {
    // An empty text is still a text: its NUL goes to the clipboard.
    select_in_target(Control::edit, L"to be removed");
    handler.paste_text(L"");
    EXPECT_EQ(target->text_length(Control::edit), 0);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>({0, 0}));

    // Empty formats are left out; the others are set and pasted.
    select_in_target(Control::edit, L"xxxxx");
    handler.paste(
        {{CF_TEXT, {}}, {CF_UNICODETEXT, utf16_bytes(L"pasted")}, {Clipboard_formats::html(), {}}});
    EXPECT_EQ(target->text(Control::edit), L"pasted");
    EXPECT_FALSE(IsClipboardFormatAvailable(Clipboard_formats::html()));
}

// The user's text formats come back byte for byte after every action, and
// nothing else does: images and private formats are not kept.
TEST_F(ClipboardHandlerTest, TextFormatsSurviveAHundredSelectionRoundTrips) {
    const UINT private_format = RegisterClipboardFormatW(L"Zaptor test private");
    std::vector<std::uint8_t> image(44, 0); // a 1x1, 32-bit BITMAPINFOHEADER
    image[0] = 40, image[4] = 1, image[8] = 1, image[12] = 1, image[14] = 32;
    const auto narrow = [](const std::string& text) {
        return std::vector<std::uint8_t>(text.c_str(), text.c_str() + text.size() + 1);
    };
    const Clipboard_data saved = {
        {CF_UNICODETEXT, utf16_bytes(L"user's clipboard \u00e4\u00f6\u00fc \u20ac \u263a")},
        {Clipboard_formats::rich_text(), narrow("{\\rtf1\\ansi saved}")},
        {Clipboard_formats::html(), narrow("Version:0.9\r\nStartHTML:10\r\n<b>saved</b>")}};
    Clipboard_data arranged = saved;
    arranged[CF_DIB] = image;
    arranged[private_format] = {9, 9, 9};
    ASSERT_TRUE(set_clipboard(arranged));
    for (int round = 0; round < 100; ++round) {
        const std::wstring item = L"item " + std::to_wstring(round);
        select_in_target(Control::edit, item);
        std::wstring selection;
        {
            Clipboard_backup_scope scope(handler);
            handler.read_selection_text(selection);
            handler.paste_text(selection + L"!");
        }
        ASSERT_TRUE(handler.backup().empty());
        ASSERT_EQ(selection, item) << round;
        ASSERT_EQ(target->text(Control::edit), item + L"!") << round;
        std::vector<std::uint8_t> bytes;
        for (const auto& [format, expected] : saved) {
            ASSERT_TRUE(clipboard_bytes(format, bytes)) << round;
            ASSERT_EQ(bytes, expected) << round << " " << format;
        }
        ASSERT_FALSE(IsClipboardFormatAvailable(CF_DIB) ||
                     IsClipboardFormatAvailable(private_format));
    }
}

} // namespace
