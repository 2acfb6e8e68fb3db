// The text rules of links, browser replies, colour codes and batch input.
#include "builtin_actions/colorpicker_action.h"
#include "builtin_actions/tweet_action.h"
#include "contract/win32_text.h"
#include "interpreters/batch_interpreter.h"
#include "output/browser_url_detector.h"
#include "util/url_text.h"

#include <gtest/gtest.h>

TEST(LinkText, SelectionIsEscapedOnlyForPercentAmpersandAndHash) {
    EXPECT_EQ(escape_selection(L"Fish & chips #1"), L"Fish %26 chips %231");
    // "%" first, so the escapes of "&" and "#" are not escaped again.
    EXPECT_EQ(escape_selection(L"100% & #"), L"100%25 %26 %23");
    EXPECT_EQ(escape_selection(L"%26"), L"%2526");
    // Blanks, line breaks, "+", "=", "?" and non-ASCII text stay.
    EXPECT_EQ(escape_selection(L"a b\r\nc+d=e?f \u00e4\u20ac"), L"a b\r\nc+d=e?f \u00e4\u20ac");
}

TEST(LinkText, EveryMarkerTakesTheEscapedValue) {
    EXPECT_EQ(substitute_value(L"https://s/?q=%s&again=%s", L"a&b"),
              L"https://s/?q=a%26b&again=a%26b");
    EXPECT_EQ(substitute_value(L"x:xVelloquartex/xvelloquartex", L"#"), L"x:%23/%23");
    // "%S" and "XVelloquartex" are no markers.
    EXPECT_EQ(substitute_value(L"%S XVelloquartex", L"v"), L"%S XVelloquartex");
    EXPECT_EQ(substitute_value(L"q=%s.", L""), L"q=.");
    // The inserted selection is never searched for markers.
    EXPECT_EQ(substitute_value(L"%s|xvelloquartex", L"xVelloquartex%s"),
              L"xVelloquartex%25s|xVelloquartex%25s");
    EXPECT_TRUE(has_selection_marker(L"a%sb"));
    EXPECT_TRUE(has_selection_marker(L"xvelloquartex"));
    EXPECT_FALSE(has_selection_marker(L"100%S xVelloquarteX"));
    EXPECT_EQ(replace_all(L"aaa", L"a", L"aa"), L"aaaaaa");
    EXPECT_EQ(replace_all(L"abc", L"", L"x"), L"abc");
}

TEST(LinkText, UrlEncodeWritesLowerCaseHexForTheReservedCharactersOnly) {
    EXPECT_EQ(url_encode(L"https://example.org/a?b=c&d#e"),
              L"https%3a%2f%2fexample%2eorg%2fa%3fb%3dc%26d%23e");
    EXPECT_EQ(url_encode(L"%\"<>\\^[]`+$,@:;/!#?=&.|"),
              L"%25%22%3c%3e%5c%5e%5b%5d%60%2b%24%2c%40%3a%3b%2f%21%23%3f%3d%26%2e%7c");
    // Blanks, letters, digits, "-", "_", "~", "*", "'", "(", ")" and
    // non-ASCII characters stay; an encoded "%" is not encoded twice.
    EXPECT_EQ(url_encode(L"a b-_~*'()9 \u00fc\u4e2d"), L"a b-_~*'()9 \u00fc\u4e2d");
    EXPECT_EQ(url_encode(L"%41"), L"%2541");
}

TEST(LinkText, TweetLinkHasTheSelectionAndAppendsTheEncodedPage) {
    const std::wstring base =
        L"https://twitter.com/intent/tweet?original_referer=&source=tweetbutton&text=";
    EXPECT_EQ(FilterTwitterAction::build_link(L"Fish & chips #1", L""),
              base + L"Fish %26 chips %231&via=velloquarte");
    EXPECT_EQ(FilterTwitterAction::build_link(L"hi", L"http://a.b/c"),
              base + L"hi&via=velloquarte&url=http%3a%2f%2fa%2eb%2fc");
    // A "%s" in the selection is escaped before it could act as a marker.
    EXPECT_EQ(FilterTwitterAction::build_link(L"%s", L""), base + L"%25s&via=velloquarte");
}

TEST(BrowserReplies, QuotedAddressCommaQuotedTitle) {
    Page_texts page = parse_dde_reply(L"\"http://a.b/\",\"Title\",\"\"");
    EXPECT_EQ(page.url, L"http://a.b/");
    EXPECT_EQ(page.title, L"Title");
    page = parse_dde_reply(L"\"http://a.b/\",\"Title\",\"x\",\"y\"");
    EXPECT_EQ(page.title, L"Title");
    // Firefox's reply without its last three characters.
    page = parse_dde_reply(shorten_firefox_reply(L"\"u\",\"He said \"hi\"\",\"\""));
    EXPECT_EQ(page.url, L"u");
    EXPECT_EQ(page.title, L"He said \"hi\"");
    EXPECT_EQ(shorten_firefox_reply(L"abc"), L"abc");
    EXPECT_EQ(shorten_firefox_reply(L"abcd"), L"a");
}

TEST(BrowserReplies, OtherShapesGiveEmptyTexts) {
    for (const wchar_t* reply :
         {L"", L"\"", L"http://a.b/ Title", L"\"http://a.b/\" \"Title\"", L"\"http://a.b/",
          L"hConv error 16394", L"hData error", L"hszService && hszTopic && hszItem error"}) {
        const Page_texts page = parse_dde_reply(reply);
        EXPECT_EQ(page.url, L"") << reply;
        EXPECT_EQ(page.title, L"") << reply;
    }
    // An address with a comma but no title.
    const Page_texts page = parse_dde_reply(L"\"u\",");
    EXPECT_EQ(page.url, L"u");
    EXPECT_EQ(page.title, L"");
}

TEST(BrowserReplies, OperaTitlePrefixIsRemoved) {
    EXPECT_EQ(clean_opera_title(L"Opera - [Start page]"), L"Start page");
    EXPECT_EQ(clean_opera_title(L"Start page"), L"Start page");
    EXPECT_EQ(clean_opera_title(L"Opera - ["), L"");
    EXPECT_EQ(clean_opera_title(L"Opera - "), L"Opera - ");
}

TEST(BrowserReplies, ImageNamesMatchWithoutCase) {
    EXPECT_EQ(browser_row_of_image(L"C:\\Program Files\\Mozilla\\FIREFOX.EXE"),
              Browser_row::firefox);
    EXPECT_EQ(browser_row_of_image(L"opera.exe"), Browser_row::opera);
    EXPECT_EQ(browser_row_of_image(L"Z:\\x\\iexplore.exe"), Browser_row::iexplore);
    EXPECT_EQ(browser_row_of_image(L"Z:\\x\\Chrome.exe"), Browser_row::chrome);
    EXPECT_FALSE(browser_row_of_image(L"Z:\\firefox.exe\\notepad.exe").has_value());
    EXPECT_FALSE(browser_row_of_image(L"firefox.exe.bak").has_value());
    EXPECT_FALSE(browser_row_of_image(L"").has_value());
    // No process has the id 0 that a window-less foreground yields.
    EXPECT_FALSE(browser_row_of_process(0).has_value());
    EXPECT_FALSE(browser_row_of_process(0xFFFFFFF0u).has_value());
    EXPECT_EQ(window_text(nullptr), L"");
    EXPECT_EQ(window_text(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FFF0))), L"");
}

TEST(ColorCode, TwoLowerCaseDigitsPerChannel) {
    EXPECT_EQ(color_code(RGB(1, 2, 3)), L"#010203");
    EXPECT_EQ(color_code(RGB(255, 128, 0)), L"#ff8000");
    EXPECT_EQ(color_code(RGB(0, 0, 0)), L"#000000");
    // Bits above the blue byte are no colour.
    EXPECT_EQ(color_code(0xFF000000u | RGB(0xAB, 0xCD, 0xEF)), L"#abcdef");
}

TEST(BatchInput, AnsiBytesFollowedByTheExitLine) {
    bool lossy = true;
    EXPECT_EQ(batch_input(L"", &lossy), "\r\nexit\r\n");
    EXPECT_FALSE(lossy);
    EXPECT_EQ(batch_input(L"echo a\r\necho b"), "echo a\r\necho b\r\nexit\r\n");
    EXPECT_EQ(batch_input(L"echo a\r\n"), "echo a\r\n\r\nexit\r\n");
    // A character the code page lacks becomes its default character.
    CPINFO info{};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    const std::string fallback(1, static_cast<char>(info.DefaultChar[0]));
    EXPECT_EQ(batch_input(L"echo \u2603!", &lossy), "echo " + fallback + "!\r\nexit\r\n");
    EXPECT_TRUE(lossy);
    // Any ANSI code page, UTF-8 included (where WideCharToMultiByte refuses
    // to report default characters); there only a lone surrogate is lost.
    struct Case {
        unsigned code_page;
        std::wstring script;
        std::string bytes;
        bool lossy;
    };
    const Case cases[] = {
        {CP_UTF8, L"echo \u00e4\u2603\U0001F600", "echo \xc3\xa4\xe2\x98\x83\xf0\x9f\x98\x80",
         false},
        {CP_UTF8, L"a\xd800", "a\xef\xbf\xbd", true},
        {1252, L"caf\u00e9 \u2603", "caf\xe9 ?", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(batch_input(c.script, &lossy, c.code_page), c.bytes + "\r\nexit\r\n")
            << c.code_page;
        EXPECT_EQ(lossy, c.lossy) << c.code_page;
    }
    // A large script stays whole.
    const std::wstring big(1 << 20, L'x');
    EXPECT_EQ(batch_input(big).size(), (1u << 20) + 8u);
}
