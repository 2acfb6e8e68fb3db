// Tweet and colour picker as the host runs them: a real target application,
// the real clipboard, the shell opening the recorder.
#include "builtin_actions/colorpicker_action.h"
#include "builtin_actions/tweet_action.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "output_test_support.h"
#include "shell_test_support.h"
#include "support/work_folder.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Shell_test;
using Control = Target_app::Control;

namespace {

const std::wstring tweet_start =
    L"https://twitter.com/intent/tweet?original_referer=&source=tweetbutton&text=";

class OutsideActions : public Target_app_test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(register_recorder_as_url_handler());
        Target_app_test::SetUpTestSuite();
    }
    // Key processing delivers the press and the release as two messages.
    void send(const std::wstring& ident, const wchar_t* key, std::uint32_t code = 0x54) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), key, code);
        host.deliver(ident, list.get());
    }

    Work_folder work{L"outside"};
    const std::wstring log = work.path() + L"\\opened.log";
    Reference_host host;
    Scoped_environment recorder_log{L"ZAPTOR_RECORDER_LOG", log};
};

// Answers our colour dialog from another thread: fills red, green and blue
// and presses OK, or presses Cancel.
void answer_color_dialog(int red, int green, int blue, bool confirm) {
    HWND dialog = nullptr;
    for (int tries = 0; !dialog && tries < 400; ++tries) {
        Sleep(50);
        const HWND window = FindWindowW(L"#32770", nullptr);
        dialog = window && IsWindowVisible(window) ? window : nullptr;
    }
    if (!dialog)
        return;
    Sleep(200);
    const int values[] = {red, green, blue};
    for (int field = 706; field <= 708; ++field) { // red, green and blue edit fields
        SetDlgItemInt(dialog, field, static_cast<UINT>(values[field - 706]), FALSE);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(field, EN_UPDATE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, field)));
    }
    const int button = confirm ? IDOK : IDCANCEL;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

} // namespace

// The selection escaped, the clipboard given back; from the browser the page
// address too, unless a release comes without a press (a direct binding).
TEST_F(OutsideActions, TweetOpensTheLinkWithTheEscapedSelectionAndPageAddress) {
    FilterTwitterAction tweet(&host);
    ASSERT_TRUE(Output_test::set_clipboard_text(L"user clipboard"));
    hold(Control::edit, L"Fish & chips #1");
    send(L"zp_tweet_selection", L"activate");
    send(L"zp_tweet_selection", L"deactivate");
    const std::wstring selected = tweet_start + L"Fish %26 chips %231&via=velloquarte";
    EXPECT_EQ(wait_for_records(log, 1), std::vector<std::wstring>{selected});
    hold(Control::edit, L"", 0, 0); // nothing selected: nothing opened
    send(L"zp_tweet_selection", L"deactivate");
    EXPECT_EQ(Output_test::clipboard_text(), L"user clipboard");

    Fixture_process firefox(
        L"firefox.exe",
        {L"answer", L"https://example.org/news/1.html?a=b", L"News", L"Big news & more"},
        L"zaptor_firefox_fixture");
    ASSERT_TRUE(firefox.activate());
    send(L"zp_tweet_selection", L"activate");
    send(L"zp_tweet_selection", L"deactivate");
    ASSERT_EQ(wait_for_records(log, 2).size(), 2u);
    firefox.activate();
    send(L"zp_tweet_selection", L"deactivate");
    const std::wstring text = tweet_start + L"Big news %26 more&via=velloquarte";
    EXPECT_EQ(
        wait_for_records(log, 3),
        (std::vector<std::wstring>{
            selected, text + L"&url=https%3a%2f%2fexample%2eorg%2fnews%2f1%2ehtml%3fa%3db", text}));
}

// A selection copied with "HTML Format" gives its SourceURL; the user's
// clipboard of every format comes back either way.
TEST_F(OutsideActions, TweetTakesTheCopiedSourceUrlAndKeepsEveryFormat) {
    FilterTwitterAction tweet(&host);
    const struct {
        bool picture_program; // copies its whole fixture clipboard, HTML included
        std::wstring link;
    } cases[] = {
        {false, tweet_start + L"Fish&via=velloquarte"},
        {true, tweet_start + L"fixture text \u00e4\u20ac&via=velloquarte&url=https%3a%2f%2ffixture%"
                             L"2eexample%2fpage"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(target->own_clipboard());
        ASSERT_TRUE(target->copy_picture(cases[i].picture_program));
        hold(Control::edit, L"Fish");
        send(L"zp_tweet_selection", L"deactivate");
        const auto records = wait_for_records(log, i + 1);
        ASSERT_EQ(records.size(), i + 1);
        EXPECT_EQ(records.back(), cases[i].link);
        EXPECT_EQ(target->clipboard_intact(), 0x100);
    }
    ASSERT_TRUE(target->copy_picture(false));
}

TEST_F(OutsideActions, ColorPickerPastesTheChosenCodeAndCancelPastesNothing) {
    FilterColorpickerAction picker(&host);
    ASSERT_TRUE(Output_test::set_clipboard_text(L"user clipboard"));
    hold(Control::edit, L"color: ", 7, 7);
    std::thread answer(answer_color_dialog, 1, 0xcd, 0xef, true);
    send(L"zp_colorpicker", L"deactivate", 0x43);
    answer.join();
    EXPECT_EQ(target->text(Control::edit), L"color: #01cdef"); // two lower-case digits each
    // The paste borrowed the clipboard and gave the user's text back.
    EXPECT_EQ(Output_test::clipboard_text(), L"user clipboard");

    hold(Control::edit, L"kept", 4, 4);
    std::thread cancel(answer_color_dialog, 255, 128, 0, false);
    send(L"zp_colorpicker", L"deactivate", 0x43);
    cancel.join();
    EXPECT_EQ(target->text(Control::edit), L"kept");
}
