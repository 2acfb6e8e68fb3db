#include "output/clipboard_handler.h"
#include "output/clipboard_window.h"
#include "output_test_support.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Output_test;

namespace {

class ClipboardWindowTest : public Target_app_test {
protected:
    void SetUp() override {
        ASSERT_TRUE(target->ignore_copy(false));
        ASSERT_TRUE(target->set_text(Target_app::Control::edit, L"selected words"));
        ASSERT_TRUE(target->select(Target_app::Control::edit, 0, -1));
        ASSERT_TRUE(target->activate());
        ASSERT_TRUE(set_clipboard_text(L"before"));
        wait_pumping(100); // let the update from arranging the clipboard settle
    }
    bool post_job(HWND window, Copy_job& job) {
        return PostMessageW(window, Clipboard_window::job_message, 0,
                            reinterpret_cast<LPARAM>(&job));
    }
    Clipboard_handler handler;
};

TEST_F(ClipboardWindowTest, NoCopyFailsEvenRightAfterAnUnsettledUpdate) {
    ASSERT_TRUE(target->ignore_copy(true));
    // This update is still settling when the job arrives: it is not the copy.
    ASSERT_TRUE(set_clipboard_text(L"just before"));
    const DWORD sequence = GetClipboardSequenceNumber();
    EXPECT_FALSE(Clipboard_window::get_data_job(handler.window()));
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    EXPECT_FALSE(Clipboard_window::process_instance()->has_pending_job());

    // What the user reads: an empty selection, and the clipboard untouched.
    std::wstring text = L"stale";
    handler.read_selection_text(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(clipboard_text(), L"just before");
}

TEST_F(ClipboardWindowTest, SecondJobCompletesTheFirstWithFalse) {
    EXPECT_EQ(Clipboard_handler().window(), handler.window()); // one window per process
    Copy_job first, second;
    Clipboard_window::register_job(&first);
    Clipboard_window::register_job(&second);
    ASSERT_TRUE(post_job(handler.window(), first) && post_job(handler.window(), second));
    EXPECT_FALSE(Clipboard_window::wait_for_job(handler.window(), first));
    // The first ended because the second arrived, not because of a copy.
    EXPECT_TRUE(Clipboard_window::process_instance()->has_pending_job());
    EXPECT_TRUE(Clipboard_window::wait_for_job(handler.window(), second));
    EXPECT_EQ(clipboard_text(), L"selected words");
    EXPECT_FALSE(Clipboard_window::process_instance()->has_pending_job());
    Clipboard_window::unregister_job(&first);
    Clipboard_window::unregister_job(&second);
}

TEST_F(ClipboardWindowTest, CallerCancelsAtItsDeadlineAndLateEventsFindNoJob) {
    ASSERT_TRUE(target->ignore_copy(true));
    // A window whose own time-out comes long after the caller's deadline.
    Clipboard_window slow(L"zaptor_slow_clipboard_window", 60000);
    ASSERT_NE(slow.handle(), nullptr);
    {
        Copy_job job;
        Clipboard_window::register_job(&job);
        ASSERT_TRUE(post_job(slow.handle(), job));
        EXPECT_FALSE(Clipboard_window::wait_for_job(slow.handle(), job));
        // Cancelled by the caller: the window never completed the job.
        EXPECT_EQ(job.result.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
        Clipboard_window::unregister_job(&job);
        EXPECT_FALSE(slow.has_pending_job());
    }
    // A later update, and a job message for a job nobody waits for, find an
    // idle window.
    ASSERT_TRUE(set_clipboard_text(L"after cancel"));
    Copy_job gone;
    ASSERT_TRUE(post_job(slow.handle(), gone));
    wait_pumping(150);
    EXPECT_FALSE(slow.has_pending_job());
    // Without any window the caller still ends, with false.
    Copy_job orphan;
    EXPECT_FALSE(Clipboard_window::wait_for_job(nullptr, orphan, 100));
}

TEST_F(ClipboardWindowTest, QuitDuringACopyWaitEndsTheWaitAndReachesTheThreadsLoop) {
    ASSERT_TRUE(target->ignore_copy(true));
    const DWORD thread = GetCurrentThreadId();
    std::thread quitter([thread] {
        Sleep(200);
        PostThreadMessageW(thread, WM_QUIT, 7, 0);
    });
    std::wstring text = L"stale";
    handler.read_selection_text(text);
    quitter.join();
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(Clipboard_window::process_instance()->has_pending_job());
    // Every later wait returns at once, and the thread's loop still ends.
    EXPECT_FALSE(wait_pumping(1000));
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(clipboard_text(), L"before");
}

} // namespace

// A paste offered by delayed rendering: a read gets the data and is seen;
// a window that goes while its offer is unread leaves the data behind, so
// the clipboard never holds a promise nobody can keep.
TEST(ClipboardWindowRendering, OfferIsRenderedOnReadAndWhenTheWindowGoes) {
    for (const bool read_first : {true, false}) {
        {
            Clipboard_window window(L"zaptor_rendering_window");
            ASSERT_TRUE(pump_until([&] { return OpenClipboard(window.handle()) != 0; }, 2000));
            EmptyClipboard();
            Clipboard_snapshot offer(1);
            offer[0].format = CF_UNICODETEXT;
            offer[0].data = Clipboard_object(
                Clipboard_handler::create_handle(utf16_bytes(L"promised")).release());
            window.offer(std::move(offer));
            SetClipboardData(CF_UNICODETEXT, nullptr);
            CloseClipboard();
            EXPECT_FALSE(window.offer_read());
            if (read_first) {
                EXPECT_EQ(clipboard_text(), L"promised");
                EXPECT_TRUE(window.offer_read());
            }
        }
        EXPECT_EQ(clipboard_text(), L"promised") << read_first;
    }
}
