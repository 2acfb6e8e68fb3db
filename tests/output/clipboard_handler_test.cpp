#include "output/clipboard_backup_scope.h"
#include "output/clipboard_handler.h"
#include "output_test_support.h"
#include "support/trace_capture.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>

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

class ClipboardHandlerTest : public Target_app_test {
protected:
    void SetUp() override {
        ASSERT_TRUE(target->ignore_copy(false));
        ASSERT_TRUE(target->paste_mode(0));
    }
    void select_in_target(Control control, const std::wstring& text) {
        ASSERT_TRUE(target->set_text(control, text));
        ASSERT_TRUE(target->select(control, 0, -1));
        ASSERT_TRUE(target->activate());
    }
    Clipboard_handler handler;
};

// Text and HTML from another program need not end in a NUL, nor hold whole
// UTF-16 units: reading stops at the block's end. The source URL is the last
// one in the header (blanks belong to it), never one from the body.
TEST_F(ClipboardHandlerTest, ClipboardTextAndHtmlAreReadWithinTheirBlocks) {
    const auto bytes = [](const std::string& text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    const auto abc = bytes(std::string("a\0b\0c\0\0\0", 8));
    const struct {
        std::vector<std::uint8_t> text;
        std::string html;
        const wchar_t *read, *url; // url nullptr: none
    } cases[] = {
        {abc, "StartHTML:40\r\nSourceURL:http://u/\r\n", L"abc", L"http://u/"},
        {bytes(std::string("a\0b\0c", 5)), "StartHTML:40\r\nSourceURL:http://cut", L"ab", nullptr},
        {bytes(std::string("x", 1)), "StartHTML:1", L"", nullptr},
        {bytes(std::string("h\0i\0\0\0z\0", 8)), "SourceURL:", L"hi", nullptr},
        {abc, html_clipboard("SourceURL:https://example.org/a?b=1\r\n"), L"abc",
         L"https://example.org/a?b=1"},
        {abc, html_clipboard("SourceURL: http://x/ \n"), L"abc", L" http://x/ "},
        {abc, html_clipboard("SourceURL:http://first/\r\nSourceURL:http://second/\r\n"), L"abc",
         L"http://second/"},
        {abc, html_clipboard("SourceURL:http://x/\r\n", true), L"abc", nullptr},
        {abc, html_clipboard(""), L"abc", nullptr}, // only in the body
        {abc, "Version:0.9\r\nSourceURL:http://x/\r\n", L"abc", nullptr},
        {abc, "StartHTML:99999999999999999999999\r\nSourceURL:http://huge/\r\n", L"abc",
         L"http://huge/"},
        {abc, "StartHTML:-5\r\nSourceURL:http://x/\r\n", L"abc", nullptr},
        {abc, "StartHTML:50\r\nSourceURL:http://no-line-end", L"abc", nullptr},
        {abc, "StartHTML:", L"abc", nullptr},
        {abc, "StartHTML:x1\r\nSourceURL:http://x/\r\n", L"abc", nullptr},
        {abc, "SourceURL:http://before/\r\nStartHTML:100\r\n", L"abc", L"http://before/"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(
            set_clipboard({{CF_UNICODETEXT, c.text}, {Clipboard_formats::html(), bytes(c.html)}}));
        std::wstring text, url = L"none";
        ASSERT_TRUE(handler.read_text(text));
        EXPECT_EQ(text, c.read) << c.html;
        ASSERT_TRUE(OpenClipboard(nullptr));
        EXPECT_EQ(handler.get_source_url_from_opened_clipboard(url), c.url != nullptr) << c.html;
        CloseClipboard();
        EXPECT_EQ(url, c.url ? c.url : L"none") << c.html;
    }
}

// The formats on the clipboard in the order the system lists them, without
// the markers that keep our own content out of clipboard history.
std::vector<UINT> listed_formats() {
    std::vector<UINT> formats;
    const auto markers = Clipboard_formats::history_exclusion_formats();
    if (!pump_until([] { return OpenClipboard(nullptr) != 0; }, 2000))
        return formats;
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format))
        if (std::find(markers.begin(), markers.end(), format) == markers.end())
            formats.push_back(format);
    CloseClipboard();
    return formats;
}

// A backup that cannot be whole refuses the action and changes nothing; a
// clipboard that nobody changed is not touched; a whole one comes back in
// every format, in its order, with nothing of ours left on it.
TEST_F(ClipboardHandlerTest, BackupIsWholeOrTheActionIsRefused) {
    const struct {
        int hold_ms;          // the fixture keeps the clipboard open this long first
        bool act;             // capture and paste inside the scope
        bool whole, restored; // backup taken; clipboard rewritten at the end
    } cases[] = {{0, true, true, true}, {0, false, true, false}, {3000, true, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hold_ms + c.act);
        ASSERT_TRUE(target->own_clipboard());
        const std::vector<UINT> before = listed_formats();
        select_in_target(Control::edit, L"words");
        ASSERT_TRUE(c.hold_ms == 0 || target->hold_clipboard(c.hold_ms));
        Trace_capture trace;
        const DWORD sequence = GetClipboardSequenceNumber();
        {
            Clipboard_backup_scope scope(handler, "backup_test");
            ASSERT_EQ(static_cast<bool>(scope), c.whole);
            EXPECT_EQ(trace.errors("backup_test").size(), c.whole ? 0u : 1u);
            if (scope && c.act) {
                std::wstring selection;
                handler.read_selection_text(selection);
                EXPECT_EQ(selection, L"words");
                handler.paste_text(L"WORDS");
            }
        }
        EXPECT_EQ(target->text(Control::edit), c.whole && c.act ? L"WORDS" : L"words");
        pump_until([&] { return target->clipboard_intact() == 0x100; }, 4000, 20);
        EXPECT_EQ(target->clipboard_intact(), 0x100);
        EXPECT_EQ(GetClipboardSequenceNumber() != sequence, c.restored);
        const std::vector<UINT> after = listed_formats();
        EXPECT_EQ(std::set<UINT>(after.begin(), after.end()),
                  std::set<UINT>(before.begin(), before.end()));
        ASSERT_GE(after.size(), 7u);
        EXPECT_EQ(std::vector<UINT>(after.begin(), after.begin() + 7),
                  std::vector<UINT>(before.begin(), before.begin() + 7));
    }
    // The cap counts every byte, exactly, and never wraps.
    Clipboard_snapshot backup;
    std::string why;
    ASSERT_TRUE(handler.backup_formats(backup, why));
    std::uint64_t total = 0;
    for (const Saved_format& record : backup)
        total += record.size;
    ASSERT_GT(total, 12328u);
    backup.clear();
    EXPECT_TRUE(handler.backup_formats(backup, why, total));
    EXPECT_FALSE(handler.backup_formats(backup, why, total - 1));
    EXPECT_TRUE(backup.empty());
    // A promised format whose owner never renders it cannot be read.
    HWND mute =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(mute && OpenClipboard(mute));
    EmptyClipboard();
    SetClipboardData(CF_DIB, nullptr);
    CloseClipboard();
    EXPECT_FALSE(handler.backup_formats(backup, why));
    EXPECT_TRUE(backup.empty());
    DestroyWindow(mute);
    std::uint64_t sum = Clipboard_formats::backup_cap - 1;
    EXPECT_FALSE(add_within(sum, ~std::uint64_t{0}, Clipboard_formats::backup_cap));
    EXPECT_FALSE(add_within(sum, 0x100000001ull, Clipboard_formats::backup_cap));
    EXPECT_TRUE(add_within(sum, 1, Clipboard_formats::backup_cap));
    EXPECT_EQ(sum, Clipboard_formats::backup_cap);
}

// Every listed format, read as its bytes: memory blocks whole, metafiles as
// their bits, a palette as its entries, a bitmap as its size and pixels.
std::map<UINT, std::vector<std::uint8_t>> clipboard_contents() {
    std::map<UINT, std::vector<std::uint8_t>> contents;
    const std::vector<UINT> formats = listed_formats();
    if (!pump_until([] { return OpenClipboard(nullptr) != 0; }, 2000))
        return contents;
    for (UINT format : formats) {
        std::vector<std::uint8_t>& bytes = contents[format];
        HANDLE data = GetClipboardData(format);
        const auto append = [&](const void* from, std::size_t size) {
            const auto* first = static_cast<const std::uint8_t*>(from);
            bytes.insert(bytes.end(), first, first + size);
        };
        if (!data) {
            bytes = {0xDE, 0xAD};
        } else if (format == CF_ENHMETAFILE) {
            bytes.resize(GetEnhMetaFileBits(static_cast<HENHMETAFILE>(data), 0, nullptr));
            GetEnhMetaFileBits(static_cast<HENHMETAFILE>(data), bytes.size(), bytes.data());
        } else if (format == CF_PALETTE) {
            PALETTEENTRY entries[256];
            append(entries, sizeof(PALETTEENTRY) *
                                GetPaletteEntries(static_cast<HPALETTE>(data), 0, 256, entries));
        } else if (format == CF_BITMAP) {
            BITMAP info{};
            GetObjectW(data, sizeof info, &info);
            append(&info.bmWidth, 2 * sizeof(LONG));
        } else if (auto* locked = GlobalLock(data)) {
            if (format == CF_METAFILEPICT) {
                const auto* picture = static_cast<const METAFILEPICT*>(locked);
                append(picture, 3 * sizeof(LONG)); // mapping mode and extents
                std::vector<std::uint8_t> bits(GetMetaFileBitsEx(picture->hMF, 0, nullptr));
                GetMetaFileBitsEx(picture->hMF, bits.size(), bits.data());
                append(bits.data(), bits.size());
            } else {
                append(locked, GlobalSize(data));
            }
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return contents;
}

// Pictures in every form a program may put them (device bitmap, old
// metafile, palette), and formats that only their owner can keep: after an
// action the clipboard reads back the same in every format the system lists.
TEST_F(ClipboardHandlerTest, PicturesInEveryFormComeBackAndOwnerOnlyFormatsAreNamed) {
    HDC screen = GetDC(nullptr);
    const auto bitmap = [&] {
        HBITMAP made = CreateCompatibleBitmap(screen, 19, 7);
        HDC dc = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(dc, made);
        for (int x = 0; x < 19; ++x)
            SetPixel(dc, x, x % 7, RGB(x * 13, 200 - x, 7));
        SelectObject(dc, old);
        DeleteDC(dc);
        return static_cast<HANDLE>(made);
    };
    const auto metafile_picture = [] {
        HDC dc = CreateMetaFileW(nullptr);
        Rectangle(dc, 0, 0, 50, 20);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
        auto* picture = static_cast<METAFILEPICT*>(GlobalLock(block));
        *picture = {MM_ANISOTROPIC, 500, 200, CloseMetaFile(dc)};
        GlobalUnlock(block);
        return static_cast<HANDLE>(block);
    };
    const auto palette = [] {
        struct {
            LOGPALETTE head;
            PALETTEENTRY more[2];
        } colours{{0x300, 3, {{1, 2, 3, 0}}}, {{4, 5, 6, 0}, {7, 8, 9, 0}}};
        return static_cast<HANDLE>(CreatePalette(&colours.head));
    };
    const auto memory = [] {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 3);
        std::memcpy(GlobalLock(block), "ab", 3);
        GlobalUnlock(block);
        return static_cast<HANDLE>(block);
    };
    const struct {
        std::vector<std::pair<UINT, std::function<HANDLE()>>> formats;
        std::size_t named; // formats only their owner can keep
    } cases[] = {
        {{{CF_BITMAP, bitmap}}, 0},
        {{{CF_METAFILEPICT, metafile_picture}}, 0},
        {{{CF_PALETTE, palette}, {CF_TEXT, memory}}, 0},
        {{{CF_PRIVATEFIRST + 3, memory}, {CF_TEXT, memory}}, 1},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(pump_until([] { return OpenClipboard(nullptr) != 0; }, 2000));
        EmptyClipboard();
        for (const auto& [format, make] : c.formats)
            ASSERT_TRUE(SetClipboardData(format, make()));
        CloseClipboard();
        auto before = clipboard_contents();
        ASSERT_EQ(before.count(c.formats.front().first), 1u);
        if (c.named)
            before.erase(CF_PRIVATEFIRST + 3);
        Trace_capture trace;
        {
            Clipboard_backup_scope scope(handler);
            ASSERT_TRUE(scope);
            ASSERT_TRUE(set_clipboard_text(L"the action's result"));
        }
        EXPECT_EQ(clipboard_contents(), before) << c.formats.front().first;
        EXPECT_EQ(trace.errors("Clipboard_handler::backup_formats").size(), c.named);
    }
    ReleaseDC(nullptr, screen);
}

// The user's clipboard comes back only once the target has read the paste:
// a late reader still gets the result, a target that never reads gets the
// clipboard back after the fallback wait; our content carries the history
// markers while it is on the clipboard. An empty text is still a text: its
// NUL goes to the clipboard; empty formats are left out.
TEST_F(ClipboardHandlerTest, PasteReplacesTheSelectionAndRestoreWaitsForTheTargetsRead) {
    const struct {
        int paste_delay_ms;
        const wchar_t* text_after;
    } cases[] = {{0, L"item!"}, {500, L"item!"}, {-1, L"item"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(target->own_clipboard());
        ASSERT_TRUE(target->paste_mode(c.paste_delay_ms));
        select_in_target(Control::edit, L"item");
        {
            Clipboard_backup_scope scope(handler);
            ASSERT_TRUE(scope);
            std::wstring selection;
            handler.read_selection_text(selection);
            handler.paste_text(selection + L"!");
        }
        EXPECT_EQ(target->text(Control::edit), c.text_after) << c.paste_delay_ms;
        EXPECT_EQ(target->clipboard_intact(), 0x100) << c.paste_delay_ms;
        if (c.paste_delay_ms >= 0) {
            EXPECT_EQ(target->paste_report() & 0x17, 0x17) << c.paste_delay_ms;
        }
    }
    ASSERT_TRUE(target->paste_mode(0));

    select_in_target(Control::edit, L"to be removed");
    handler.paste_text(L"");
    EXPECT_EQ(target->text_length(Control::edit), 0);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>({0, 0}));
    select_in_target(Control::edit, L"xxxxx");
    handler.paste(
        {{CF_TEXT, {}}, {CF_UNICODETEXT, utf16_bytes(L"pasted")}, {Clipboard_formats::html(), {}}});
    EXPECT_EQ(target->text(Control::edit), L"pasted");
    EXPECT_FALSE(IsClipboardFormatAvailable(Clipboard_formats::html()));
}

} // namespace
