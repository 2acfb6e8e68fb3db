#include "output/clipboard_backup_scope.h"
#include "output/clipboard_handler.h"
#include "output_test_support.h"
#include "target_app_test.h"
#include "tools/target_app/target_client.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Output_test;
using Control = Target_app::Control;

namespace {

// An "HTML Format" block; StartHTML is the real offset of the HTML unless
// `start_html` overrides it. The body holds a decoy "SourceURL:".
std::string html_clipboard(const std::string& source_url_line, int start_html = -1000) {
    const std::string head = "Version:0.9\r\nStartHTML:";
    const std::string rest = "\r\nEndHTML:0000000300\r\n" + source_url_line;
    const std::string body = "<html><body>SourceURL:http://body.example/\r\n</body></html>";
    const std::size_t digits = 10;
    const int offset =
        start_html != -1000 ? start_html : static_cast<int>(head.size() + digits + rest.size());
    std::string number = std::to_string(offset);
    if (offset >= 0) {
        number.insert(0, digits - number.size(), '0');
    }
    return head + number + rest + body;
}

TEST(SourceUrl, TakenFromTheHeaderOnly) {
    std::wstring url;
    ASSERT_TRUE(extract_source_url(html_clipboard("SourceURL:https://example.org/a?b=1\r\n"), url));
    EXPECT_EQ(url, L"https://example.org/a?b=1");

    // Blanks are part of the URL; a line feed alone ends it too.
    ASSERT_TRUE(extract_source_url(html_clipboard("SourceURL: http://x/ \n"), url));
    EXPECT_EQ(url, L" http://x/ ");
    // The last "SourceURL:" of the header wins.
    ASSERT_TRUE(extract_source_url(
        html_clipboard("SourceURL:http://first/\r\nSourceURL:http://second/\r\n"), url));
    EXPECT_EQ(url, L"http://second/");

    url = L"unchanged";
    EXPECT_FALSE(extract_source_url(html_clipboard("SourceURL:http://x/\r\n", 0), url));
    EXPECT_FALSE(extract_source_url(html_clipboard("SourceURL:http://x/\r\n", -5), url));
    // Only "SourceURL:" in the body, after the StartHTML offset.
    EXPECT_FALSE(extract_source_url(html_clipboard(""), url));
    EXPECT_FALSE(extract_source_url("Version:0.9\r\nSourceURL:http://x/\r\n", url));
    EXPECT_FALSE(extract_source_url("StartHTML:5\r\n", url));
    EXPECT_FALSE(extract_source_url("StartHTML:50\r\nSourceURL:http://no-line-end", url));
    EXPECT_FALSE(extract_source_url("", url));
    EXPECT_EQ(url, L"unchanged");
}

TEST(CreateHandle, ExactBytesOrNothing) {
    Trace_capture trace;
    const std::vector<std::uint8_t> bytes = {1, 2, 3, 0, 255};
    Unique_global block = Clipboard_handler::create_handle(bytes);
    ASSERT_TRUE(block);
    EXPECT_EQ(GlobalSize(block.get()), bytes.size());
    EXPECT_EQ(GlobalFlags(block.get()) & GMEM_LOCKCOUNT, 0u); // handed out unlocked
    {
        Output::Global_lock lock(block.get());
        ASSERT_TRUE(lock);
        EXPECT_EQ(std::memcmp(lock.data(), bytes.data(), bytes.size()), 0);
    }
    EXPECT_TRUE(trace.texts("ERR", "create_handle").empty());

    // A zero-byte block cannot be locked: no handle, one error line.
    EXPECT_FALSE(Clipboard_handler::create_handle({}));
    const auto errors = trace.texts("ERR", "create_handle");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("GlobalLock failed. Error: ", 0), 0u) << errors[0];
}

int pumped_messages = 0;

LRESULT CALLBACK counting_window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_APP + 7) {
        ++pumped_messages;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

TEST(WaitPumping, DispatchesTheThreadsMessagesWhileWaiting) {
    pumped_messages = 0;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &counting_window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"zaptor_pump_test";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"zaptor_pump_test", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_APP + 7, 0, 0);
    PostMessageW(window, WM_APP + 7, 0, 0);
    const ULONGLONG start = GetTickCount64();
    wait_pumping(30);
    EXPECT_GE(GetTickCount64() - start, 30u);
    EXPECT_EQ(pumped_messages, 2);
    DestroyWindow(window);
}

class ClipboardHandlerTest : public Target_app_test {
protected:
    void SetUp() override {
        ASSERT_TRUE(target->ignore_copy(false));
        ASSERT_TRUE(target->activate());
    }
    void select_in_target(Control control, const std::wstring& text) {
        ASSERT_TRUE(target->set_text(control, text));
        ASSERT_TRUE(target->select(control, 0, -1));
        ASSERT_TRUE(target->activate());
    }
};

TEST_F(ClipboardHandlerTest, BlockedClipboardNamesTheBlockerAndActionGoesOnEmpty) {
    ASSERT_TRUE(set_clipboard_text(L"user text"));
    Clipboard_handler handler;
    Trace_capture trace;
    ASSERT_TRUE(target->hold_clipboard(2000));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(handler.access_clipboard(handler.window()));
    EXPECT_GE(GetTickCount64() - start, 1500u); // 150 retries 10 ms apart
    const auto errors = trace.texts("ERR", "access_clipboard");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("access_clipboard failed with ", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("Clipboard is blocked by '", 0), 0u) << errors[1];
    EXPECT_NE(errors[1].find("zaptor_target.exe'"), std::string::npos) << errors[1];
    wait_pumping(700); // the target lets go after 2 s

    // Reading while it is held gives an empty text and leaves the clipboard alone.
    ASSERT_TRUE(target->hold_clipboard(4000)); // outlasts two attempts of 1.5 s
    std::wstring text = L"stale";
    EXPECT_FALSE(handler.read_text(text));
    EXPECT_TRUE(text.empty());
    // A backup that cannot open the clipboard saves nothing.
    handler.backup_formats();
    EXPECT_TRUE(handler.backup().empty());
    wait_pumping(1200);
    EXPECT_TRUE(handler.read_text(text));
    EXPECT_EQ(text, L"user text");
}

TEST_F(ClipboardHandlerTest, ReadsTextAndSourceUrlOfTheOpenedClipboard) {
    Trace_capture trace;
    Clipboard_handler handler;
    const std::string html = html_clipboard("SourceURL:https://example.org/page\r\n");
    ASSERT_TRUE(set_clipboard({{CF_UNICODETEXT, utf16_bytes(L"caf\u00e9 \u263a")},
                               {Clipboard_formats::html(), narrow_bytes(html)}}));
    {
        Output::Opened_clipboard clipboard(handler.access_clipboard(handler.window()));
        ASSERT_TRUE(clipboard);
        std::wstring text, url;
        EXPECT_TRUE(handler.get_opened_clipboard_data(text));
        EXPECT_EQ(text, L"caf\u00e9 \u263a");
        EXPECT_TRUE(handler.get_source_url_from_opened_clipboard(url));
        EXPECT_EQ(url, L"https://example.org/page");
    }

    std::wstring text;
    // No HTML and no text: both readers say so in the trace.
    ASSERT_TRUE(set_clipboard({{CF_DIB, std::vector<std::uint8_t>(64, 1)}}));
    {
        Output::Opened_clipboard clipboard(handler.access_clipboard(handler.window()));
        ASSERT_TRUE(clipboard);
        std::wstring url = L"unchanged";
        EXPECT_FALSE(handler.get_source_url_from_opened_clipboard(url));
        EXPECT_EQ(url, L"unchanged");
        EXPECT_FALSE(handler.get_opened_clipboard_data(text));
    }
    const auto url_errors =
        trace.texts("ERR", "Clipboard_handler::get_source_url_from_opened_clipboard");
    ASSERT_EQ(url_errors.size(), 1u);
    EXPECT_EQ(url_errors[0].rfind("get_source_url_from_opened_clipboard failed with error ", 0),
              0u);
    const auto text_errors = trace.texts("ERR", "Clipboard_handler::get_opened_clipboard_data");
    ASSERT_EQ(text_errors.size(), 1u);
    EXPECT_EQ(text_errors[0].rfind("Failed to get clipboard data. Error ", 0), 0u);
}

TEST_F(ClipboardHandlerTest, BackupScopeBringsBackOnlyTheTextFormats) {
    const UINT private_format = RegisterClipboardFormatW(L"Zaptor test private");
    const std::string rtf = "{\\rtf1\\ansi saved}";
    const std::string html = "Version:0.9\r\nStartHTML:10\r\n<b>saved</b>";
    std::vector<std::uint8_t> image(40 + 4, 0);
    image[0] = 40;  // BITMAPINFOHEADER.biSize
    image[4] = 1;   // width 1
    image[8] = 1;   // height 1
    image[12] = 1;  // planes
    image[14] = 32; // bits per pixel
    ASSERT_TRUE(set_clipboard({{CF_UNICODETEXT, utf16_bytes(L"user's text")},
                               {CF_DIB, image},
                               {private_format, {9, 9, 9}},
                               {Clipboard_formats::rich_text(), narrow_bytes(rtf)},
                               {Clipboard_formats::html(), narrow_bytes(html)}}));
    Clipboard_handler handler;
    {
        Clipboard_backup_scope scope(handler);
        ASSERT_FALSE(handler.backup().empty());
        for (const Saved_format& record : handler.backup()) {
            EXPECT_TRUE(Clipboard_formats::is_text_format(record.format)) << record.format;
            EXPECT_EQ(record.name.empty(), record.format <= 14) << record.format;
        }
        ASSERT_TRUE(set_clipboard_text(L"action's result"));
    }
    EXPECT_TRUE(handler.backup().empty());
    EXPECT_EQ(clipboard_text(), L"user's text");
    EXPECT_FALSE(clipboard_has(CF_DIB));
    EXPECT_FALSE(clipboard_has(CF_BITMAP));
    EXPECT_FALSE(clipboard_has(private_format));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(clipboard_bytes(Clipboard_formats::rich_text(), bytes));
    EXPECT_EQ(bytes, narrow_bytes(rtf));
    ASSERT_TRUE(clipboard_bytes(Clipboard_formats::html(), bytes));
    EXPECT_EQ(bytes, narrow_bytes(html));
}

TEST_F(ClipboardHandlerTest, FailedRestoreKeepsTheBackupAndTheLaterCopyWins) {
    Clipboard_handler handler;
    ASSERT_TRUE(set_clipboard_text(L"first"));
    handler.backup_formats();
    const std::size_t first_count = handler.backup().size();
    ASSERT_GE(first_count, 1u);

    const ULONGLONG held_at = GetTickCount64();
    ASSERT_TRUE(target->hold_clipboard(4000));
    handler.restore_formats();
    EXPECT_EQ(handler.backup().size(), first_count);
    const ULONGLONG held_for = GetTickCount64() - held_at;
    wait_pumping(held_for < 4200 ? static_cast<std::uint32_t>(4200 - held_for) : 0);

    ASSERT_TRUE(set_clipboard_text(L"second"));
    handler.backup_formats();
    EXPECT_GT(handler.backup().size(), first_count);
    ASSERT_TRUE(set_clipboard_text(L"result"));
    handler.restore_formats();
    EXPECT_TRUE(handler.backup().empty());
    EXPECT_EQ(clipboard_text(), L"second");
}

TEST_F(ClipboardHandlerTest, PasteTextReplacesTheSelectionInTheTarget) {
    Trace_capture trace;
    Clipboard_handler handler;
    select_in_target(Control::edit, L"old words");
    handler.paste_text(L"new \u00fcml\u00e4ut text");
    EXPECT_EQ(target->text(Control::edit), L"new \u00fcml\u00e4ut text");
    EXPECT_EQ(clipboard_text(), L"new \u00fcml\u00e4ut text");
    EXPECT_EQ(trace.texts("DBG", "Clipboard_handler::paste_text").size(), 1u);
    const auto formats = trace.texts("INF", "Clipboard_handler::paste");
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0], "Format: 13");

    // An empty text still empties the clipboard, puts an empty text there and pastes.
    select_in_target(Control::edit, L"to be removed");
    handler.paste_text(L"");
    EXPECT_EQ(target->text_length(Control::edit), 0);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>({0, 0}));
}

TEST_F(ClipboardHandlerTest, EmptyFormatIsLeftOutOfAPasteAndTheOthersAreSet) {
    Trace_capture trace;
    Clipboard_handler handler;
    select_in_target(Control::edit, L"xxxxx");
    Clipboard_data data;
    data[CF_TEXT] = {};
    data[CF_UNICODETEXT] = utf16_bytes(L"pasted");
    data[Clipboard_formats::html()] = {};
    handler.paste(data);
    EXPECT_EQ(target->text(Control::edit), L"pasted");
    EXPECT_FALSE(clipboard_has(Clipboard_formats::html()));
    const auto errors = trace.texts("ERR", "Clipboard_handler::paste");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "No handle for format_type 1, buffer with size 0");
    EXPECT_EQ(errors[1], "No handle for format_type " + std::to_string(Clipboard_formats::html()) +
                             ", buffer with size 0");
    EXPECT_EQ(trace.texts("ERR", "create_handle").size(), 2u);
}

TEST_F(ClipboardHandlerTest, SelectionFormatsOfTheRichEditIncludeRichText) {
    Clipboard_handler handler;
    select_in_target(Control::rich_edit, L"rich words");
    const Clipboard_data formats = handler.read_selection_formats();
    ASSERT_EQ(formats.size(), 4u);
    const auto& unicode = formats.at(CF_UNICODETEXT);
    ASSERT_GE(unicode.size(), 2u);
    std::wstring text(unicode.size() / 2, L'\0');
    std::memcpy(&text[0], unicode.data(), text.size() * 2);
    EXPECT_EQ(text.substr(0, text.find(L'\0')), L"rich words");
    const auto& rtf = formats.at(Clipboard_formats::rich_text());
    const std::string rtf_text(rtf.begin(), rtf.end());
    EXPECT_EQ(rtf_text.rfind("{\\rtf", 0), 0u);
    EXPECT_NE(rtf_text.find("rich words"), std::string::npos);
    EXPECT_TRUE(formats.at(Clipboard_formats::html()).empty()); // the control offers none

    // A target that does not copy yields no formats at all.
    ASSERT_TRUE(target->ignore_copy(true));
    EXPECT_TRUE(handler.read_selection_formats().empty());
}

TEST_F(ClipboardHandlerTest, UnicodeClipboardSurvivesAHundredSelectionRoundTrips) {
    const std::wstring user_text = L"Zaptor user clipboard \u00e4\u00f6\u00fc \u20ac \u263a";
    ASSERT_TRUE(set_clipboard_text(user_text));
    std::vector<std::uint8_t> before;
    ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, before));
    Clipboard_handler handler;
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        const std::wstring item = L"item " + std::to_wstring(round);
        select_in_target(Control::edit, item);
        std::wstring selection;
        {
            Clipboard_backup_scope scope(handler);
            handler.read_selection_text(selection);
            handler.paste_text(selection + L"!");
        }
        ASSERT_EQ(selection, item);
        ASSERT_EQ(target->text(Control::edit), item + L"!");
        std::vector<std::uint8_t> after;
        ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, after));
        ASSERT_EQ(after, before);
    }
}

} // namespace
