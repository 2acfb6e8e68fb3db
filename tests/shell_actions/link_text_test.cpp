// The text rules of tweet links, browser replies and batch input.
#include "builtin_actions/tweet_action.h"
#include "contract/win32_text.h"
#include "interpreters/batch_interpreter.h"
#include "output/browser_url_detector.h"
#include "util/url_text.h"

#include <gtest/gtest.h>

TEST(LinkText, UrlEncodeWritesLowerCaseHexForTheReservedCharactersOnly) {
    EXPECT_EQ(url_encode(L"%\"<>\\^[]`+$,@:;/!#?=&.|"),
              L"%25%22%3c%3e%5c%5e%5b%5d%60%2b%24%2c%40%3a%3b%2f%21%23%3f%3d%26%2e%7c");
    // Blanks, letters, digits, "-", "_", "~", "*", "'", "(", ")" and
    // non-ASCII characters stay; an encoded "%" is not encoded twice.
    EXPECT_EQ(url_encode(L"a b-_~*'()9 \u00fc\u4e2d"), L"a b-_~*'()9 \u00fc\u4e2d");
    EXPECT_EQ(url_encode(L"%41"), L"%2541");
    EXPECT_EQ(replace_all(L"aaa", L"a", L"aa"), L"aaaaaa");
    EXPECT_EQ(replace_all(L"abc", L"", L"x"), L"abc");
    // A "%s" in a tweeted selection is escaped before it could act as a marker.
    EXPECT_EQ(FilterTwitterAction::build_link(L"%s & #", L""),
              L"https://twitter.com/intent/tweet?original_referer=&source=tweetbutton&text="
              L"%25s %26 %23&via=velloquarte");
}

TEST(BrowserReplies, QuotedAddressCommaQuotedTitleOrNothing) {
    const struct {
        std::wstring reply, url, title;
    } cases[] = {
        {L"\"http://a.b/\",\"Title\",\"\"", L"http://a.b/", L"Title"},
        {L"\"http://a.b/\",\"Title\",\"x\",\"y\"", L"http://a.b/", L"Title"},
        {shorten_firefox_reply(L"\"u\",\"He said \"hi\"\",\"\""), L"u", L"He said \"hi\""},
        {L"\"u\",", L"u", L""},
        {L"", L"", L""},
        {L"\"", L"", L""},
        {L"http://a.b/ Title", L"", L""},
        {L"\"http://a.b/\" \"Title\"", L"", L""},
        {L"\"http://a.b/", L"", L""},
        {L"hConv error 16394", L"", L""},
        {L"hData error", L"", L""},
    };
    for (const auto& c : cases) {
        const Page_texts page = parse_dde_reply(c.reply);
        EXPECT_EQ(page.url + L"|" + page.title, c.url + L"|" + c.title) << c.reply;
    }
    EXPECT_EQ(shorten_firefox_reply(L"abc"), L"abc");
    EXPECT_EQ(shorten_firefox_reply(L"abcd"), L"a");
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
    for (const wchar_t* image : {L"Z:\\firefox.exe\\notepad.exe", L"firefox.exe.bak", L""})
        EXPECT_FALSE(browser_row_of_image(image).has_value()) << image;
    // No process has the id 0 that a window-less foreground yields.
    EXPECT_FALSE(browser_row_of_process(0).has_value());
    EXPECT_EQ(window_text(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FFF0))), L"");
}

// Any ANSI code page, UTF-8 included (where WideCharToMultiByte refuses to
// report default characters); there only a lone surrogate is lost.
TEST(BatchInput, AnsiBytesOfEveryCodePageAndWhetherAnythingWasLost) {
    const struct {
        unsigned code_page;
        std::wstring script;
        std::string bytes;
        bool lossy;
    } cases[] = {
        {CP_UTF8, L"\u00e4\u2603\U0001F600", "\xc3\xa4\xe2\x98\x83\xf0\x9f\x98\x80", false},
        {CP_UTF8, L"a\xd800", "a\xef\xbf\xbd", true},
        {1252, L"caf\u00e9 \u2603", "caf\xe9 ?", true},
        {1252, L"", "", false},
        {1252, L"a\r\nb\r\n", "a\r\nb\r\n", false}, // the exit on a line of its own
    };
    for (const auto& c : cases) {
        bool lossy = !c.lossy;
        EXPECT_EQ(batch_input(c.script, &lossy, c.code_page), c.bytes + "\r\nexit\r\n")
            << c.code_page;
        EXPECT_EQ(lossy, c.lossy) << c.code_page;
    }
}
