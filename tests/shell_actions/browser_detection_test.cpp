// Browser URL detection against fixture browsers of ours: firefox.exe serving
// "WWW_GetWindowInfo" over DDE, chrome.exe with Chrome's window classes.
#include "output/browser_url_detector.h"

#include "shell_test_support.h"

#include <gtest/gtest.h>

using namespace Shell_test;

namespace {

Page_texts detect() {
    Browser_url_detector detector;
    auto info = detector.create_info();
    info->set_url(L"stale");
    info->set_title(L"stale");
    detector.fill(*info);
    Page_texts page;
    info->get_url(page.url);
    info->get_title(page.title);
    return page;
}

} // namespace

TEST(BrowserDetection, FirefoxAnswersOverDde) {
    Fixture_process firefox;
    ASSERT_TRUE(firefox.start(
        L"firefox.exe", {L"answer", L"https://example.org/a b?c=1", L"Caf\u00e9 \u2603", L"x"},
        L"zaptor_firefox_fixture"));
    ASSERT_TRUE(firefox.activate());
    Browser_url_detector detector;
    EXPECT_TRUE(detector.is_browser_in_foreground());
    EXPECT_EQ(dde_get_window_info(L"Firefox"),
              L"\"https://example.org/a b?c=1\",\"Caf\u00e9 \u2603\",\"\"");
    const Page_texts page = detect();
    EXPECT_EQ(page.url, L"https://example.org/a b?c=1");
    EXPECT_EQ(page.title, L"Caf\u00e9 \u2603");
    // A service that nobody serves.
    EXPECT_EQ(dde_get_window_info(L"Zaptor_no_such_browser").rfind(L"hConv error ", 0), 0u);
}

TEST(BrowserDetection, SlowOrOddRepliesGiveEmptyTexts) {
    for (const wchar_t* mode : {L"slow", L"odd"}) {
        Fixture_process firefox;
        ASSERT_TRUE(firefox.start(L"firefox.exe", {mode, L"https://example.org/", L"T", L"x"},
                                  L"zaptor_firefox_fixture"));
        ASSERT_TRUE(firefox.activate());
        if (std::wstring(mode) == L"slow") {
            EXPECT_EQ(dde_get_window_info(L"Firefox"), L"hData error");
        }
        const Page_texts page = detect();
        EXPECT_EQ(page.url, L"") << mode;
        EXPECT_EQ(page.title, L"") << mode;
    }
}

TEST(BrowserDetection, ChromeIsReadFromItsAddressFieldOnlyInTheForeground) {
    Fixture_process chrome;
    ASSERT_TRUE(chrome.start(L"chrome.exe", {L"https://example.com/path", L"Example - Chrome"},
                             L"Chrome_WidgetWin_0"));
    ASSERT_TRUE(chrome.activate());
    Page_texts page = detect();
    EXPECT_EQ(page.url, L"https://example.com/path");
    EXPECT_EQ(page.title, L"Example - Chrome");
    // A second detection finds it again.
    EXPECT_EQ(detect().url, L"https://example.com/path");

    // Another application in front: no browser.
    Fixture_process other;
    ASSERT_TRUE(other.start(L"zaptor_target.exe", {L"Not a browser"}, L"zaptor_target_window"));
    ASSERT_TRUE(other.activate());
    EXPECT_FALSE(Browser_url_detector().is_browser_in_foreground());
    page = detect();
    EXPECT_EQ(page.url, L"");
    EXPECT_EQ(page.title, L"");
}
