// Browser URL detection against fixture browsers of ours: firefox.exe serving
// "WWW_GetWindowInfo" over DDE, chrome.exe with Chrome's window classes. The
// Firefox answer that works is read end to end by the tweet action's test.
#include "output/browser_url_detector.h"

#include "shell_test_support.h"

#include <gtest/gtest.h>

using namespace Shell_test;

namespace {

std::wstring detect() {
    Browser_url_detector detector;
    auto info = detector.create_info();
    info->set_url(L"stale");
    info->set_title(L"stale");
    detector.fill(*info);
    std::wstring url, title;
    info->get_url(url);
    info->get_title(title);
    return url + L"|" + title;
}

TEST(BrowserDetection, SlowOrOddFirefoxRepliesAndAbsentServersGiveEmptyTexts) {
    for (const wchar_t* mode : {L"slow", L"odd"}) {
        Fixture_process firefox(L"firefox.exe", {mode, L"https://example.org/", L"T", L"x"},
                                L"zaptor_firefox_fixture");
        ASSERT_TRUE(firefox.activate());
        EXPECT_TRUE(Browser_url_detector().is_browser_in_foreground());
        EXPECT_EQ(detect(), L"|") << mode;
    }
    EXPECT_EQ(dde_get_window_info(L"Zaptor_no_such_browser").rfind(L"hConv error ", 0), 0u);
}

TEST(BrowserDetection, ChromeIsReadFromItsAddressFieldOnlyInTheForeground) {
    Fixture_process chrome(L"chrome.exe", {L"https://example.com/path", L"Example - Chrome"},
                           L"Chrome_WidgetWin_0");
    ASSERT_TRUE(chrome.activate());
    EXPECT_EQ(detect(), L"https://example.com/path|Example - Chrome");
    EXPECT_EQ(detect(), L"https://example.com/path|Example - Chrome"); // found again

    Fixture_process other(L"zaptor_target.exe", {L"Not a browser"}, L"zaptor_target_window");
    ASSERT_TRUE(other.activate());
    EXPECT_FALSE(Browser_url_detector().is_browser_in_foreground());
    EXPECT_EQ(detect(), L"|");
}

} // namespace
