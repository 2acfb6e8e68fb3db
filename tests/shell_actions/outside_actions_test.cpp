// Tweet, colour picker and tapquill as the host runs them: a real target
// application, the real clipboard, the shell opening the recorder.
#include "builtin_actions/colorpicker_action.h"
#include "builtin_actions/tapquill_action.h"
#include "builtin_actions/tweet_action.h"
#include "util/url_text.h"

#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "output_test_support.h"
#include "shell_test_support.h"
#include "support/test_support.h"
#include "target_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Shell_test;
using Control = Target_app::Control;

namespace {

const std::wstring tweet_start =
    L"https://twitter.com/intent/tweet?original_referer=&source=tweetbutton&text=";

class OutsideActions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(register_recorder_as_url_handler());
        target = new Target_app;
        ASSERT_TRUE(target->start());
    }
    static void TearDownTestSuite() {
        delete target;
        target = nullptr;
    }
    void SetUp() override {
        folder = Test_support::make_temp_directory(L"outside");
        log = folder + L"\\opened.log";
        recorder_log = std::make_unique<Scoped_environment>(L"ZAPTOR_RECORDER_LOG", log);
    }
    void TearDown() override {
        recorder_log.reset();
        Test_support::remove_tree(folder);
    }
    void hold(const std::wstring& text, int first = 0, int second = -1) {
        ASSERT_TRUE(target->set_text(Control::edit, text));
        ASSERT_TRUE(target->select(Control::edit, first, second));
        ASSERT_TRUE(target->activate());
    }
    // Key processing delivers the press and the release as two messages.
    void send(const std::wstring& ident, const wchar_t* key, std::uint32_t code = 0x54) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), key, code);
        host.deliver(ident, list.get());
    }

    Reference_host host;
    std::wstring folder;
    std::wstring log;
    std::unique_ptr<Scoped_environment> recorder_log;
    static Target_app* target;
};

Target_app* OutsideActions::target = nullptr;

struct Dialog_search {
    HWND found = nullptr;
};

BOOL CALLBACK find_own_dialog(HWND window, LPARAM data) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        std::wstring(name) == L"#32770") {
        reinterpret_cast<Dialog_search*>(data)->found = window;
        return FALSE;
    }
    return TRUE;
}

// Answers the colour dialog from another thread: fills red, green and blue
// and presses OK, or presses Cancel.
class Color_dialog_answer {
public:
    Color_dialog_answer(int red, int green, int blue, bool confirm)
        : thread_([=] { answer(red, green, blue, confirm); }) {}
    ~Color_dialog_answer() { thread_.join(); }
    bool answered() const { return answered_; }

private:
    void answer(int red, int green, int blue, bool confirm) {
        const ULONGLONG deadline = GetTickCount64() + 20000;
        Dialog_search search;
        while (!search.found && GetTickCount64() < deadline) {
            Sleep(50);
            EnumWindows(&find_own_dialog, reinterpret_cast<LPARAM>(&search));
        }
        if (!search.found)
            return;
        Sleep(200);
        const int fields[] = {706, 707, 708}; // red, green and blue edit fields
        const int values[] = {red, green, blue};
        for (int i = 0; i < 3; ++i) {
            HWND edit = GetDlgItem(search.found, fields[i]);
            SetDlgItemInt(search.found, fields[i], static_cast<UINT>(values[i]), FALSE);
            SendMessageW(search.found, WM_COMMAND, MAKEWPARAM(fields[i], EN_UPDATE),
                         reinterpret_cast<LPARAM>(edit));
        }
        const int button = confirm ? IDOK : IDCANCEL;
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.found, button)));
        answered_ = true;
    }

    std::atomic<bool> answered_{false};
    std::thread thread_;
};

} // namespace

TEST_F(OutsideActions, TweetOpensTheLinkWithTheEscapedSelectionAndNoPage) {
    FilterTwitterAction tweet(&host);
    ASSERT_TRUE(Output_test::set_clipboard_text(L"user clipboard"));
    hold(L"Fish & chips #1");
    send(L"zp_tweet_selection", L"activate");
    send(L"zp_tweet_selection", L"deactivate");
    const auto records = wait_for_records(log, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], tweet_start + L"Fish %26 chips %231&via=velloquarte");
    EXPECT_EQ(records[0].find(L"&url="), std::wstring::npos);
    EXPECT_EQ(Output_test::clipboard_text(), L"user clipboard");

    // Nothing selected: nothing opened, and the clipboard comes back.
    hold(L"", 0, 0);
    send(L"zp_tweet_selection", L"deactivate");
    EXPECT_EQ(wait_for_records(log, 2, 1500).size(), 1u);
    EXPECT_EQ(Output_test::clipboard_text(), L"user clipboard");
}

TEST_F(OutsideActions, TweetFromTheBrowserAppendsTheEncodedPageAddress) {
    FilterTwitterAction tweet(&host);
    const std::wstring page = L"https://example.org/news/1.html?a=b";
    Fixture_process firefox;
    ASSERT_TRUE(firefox.start(L"firefox.exe", {L"answer", page, L"News", L"Big news & more"},
                              L"zaptor_firefox_fixture"));
    ASSERT_TRUE(firefox.activate());
    send(L"zp_tweet_selection", L"activate");
    send(L"zp_tweet_selection", L"deactivate");
    const auto records = wait_for_records(log, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0],
              tweet_start + L"Big news %26 more&via=velloquarte&url=" + url_encode(page));
    const std::wstring tail = L"&url=https%3a%2f%2fexample%2eorg%2fnews%2f1%2ehtml%3fa%3db";
    ASSERT_GE(records[0].size(), tail.size());
    EXPECT_EQ(records[0].substr(records[0].size() - tail.size()), tail);

    // A release without a press (a direct binding) has no page address.
    firefox.activate();
    send(L"zp_tweet_selection", L"deactivate");
    const auto again = wait_for_records(log, 2);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1], tweet_start + L"Big news %26 more&via=velloquarte");
}

TEST_F(OutsideActions, ColorPickerPastesTheChosenCodeAndCancelPastesNothing) {
    FilterColorpickerAction picker(&host);
    hold(L"color: ", 7, 7);
    {
        Color_dialog_answer answer(1, 2, 3, true);
        send(L"zp_colorpicker", L"deactivate", 0x43);
        // The join of the answering thread comes after the action returned.
    }
    EXPECT_EQ(target->text(Control::edit), L"color: #010203");
    // The paste borrowed the clipboard and gave the user's text back.
    EXPECT_EQ(Output_test::clipboard_text(), L"user clipboard");

    hold(L"kept", 4, 4);
    {
        Color_dialog_answer answer(255, 128, 0, false);
        send(L"zp_colorpicker", L"deactivate", 0x43);
    }
    EXPECT_EQ(target->text(Control::edit), L"kept");
}

TEST_F(OutsideActions, TapquillAsksTheHostForItsField) {
    const std::size_t default_filters = host.filter_count(L"vq_default_action_handler");
    {
        Tapquill::Selection_dlg tapquill(&host);
        EXPECT_EQ(host.filter_count(L"vq_default_action_handler"), default_filters + 1);
        send(L"zp_tapquill", L"activate");
        EXPECT_EQ(host.tapquill_requests(), 0u);
        send(L"zp_tapquill", L"deactivate");
        EXPECT_EQ(host.tapquill_requests(), 1u);

        // Reached through the default handler as well.
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"vq_default_action_handler", L"zp_tapquill");
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", 0x51);
        host.deliver(L"vq_default_action_handler", list.get());
        EXPECT_EQ(host.tapquill_requests(), 2u);

        // A host without parameter lists: nothing sent, one error line.
        Output_test::Trace_capture trace;
        host.set_parameters_available(false);
        send(L"zp_tapquill", L"deactivate");
        host.set_parameters_available(true);
        EXPECT_EQ(host.tapquill_requests(), 2u);
        EXPECT_TRUE(trace.has_line_containing("tapquill_dlg not sent"));
    }
    EXPECT_EQ(host.filter_count(L"vq_default_action_handler"), default_filters);
}
