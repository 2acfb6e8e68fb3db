#include "output/clipboard_handler.h"
#include "output/clipboard_window.h"
#include "output_test_support.h"
#include "target_app_test.h"
#include "tools/target_app/target_client.h"

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
};

TEST_F(ClipboardWindowTest, CopyJobSendsControlInsertAndSucceedsOnTheCopy) {
    Clipboard_handler handler;
    ASSERT_NE(handler.window(), nullptr);
    Key_recorder recorder(false);
    ASSERT_TRUE(recorder.installed());

    EXPECT_TRUE(Clipboard_window::get_data_job(handler.window()));
    EXPECT_EQ(clipboard_text(), L"selected words");
    // The copy command: six modifier releases, then Control+Insert.
    ASSERT_GE(recorder.events().size(), 10u);
    EXPECT_EQ(recorder.events()[0].vk, static_cast<DWORD>(VK_RMENU));
    EXPECT_EQ(recorder.events()[5].vk, static_cast<DWORD>(VK_LSHIFT));
    EXPECT_EQ(recorder.events()[6].vk, static_cast<DWORD>(VK_CONTROL));
    EXPECT_EQ(recorder.events()[7].vk, static_cast<DWORD>(VK_INSERT));
    EXPECT_TRUE(recorder.events()[7].flags & LLKHF_EXTENDED);
    EXPECT_TRUE(recorder.events()[9].flags & LLKHF_UP);
    EXPECT_FALSE(Clipboard_window::process_instance()->has_pending_job());
}

TEST_F(ClipboardWindowTest, JobSucceedsOnlyAfterTheLastOfTwoUpdatesHasSettled) {
    ASSERT_TRUE(target->ignore_copy(true));
    Clipboard_handler handler;
    ULONGLONG first_update = 0, second_update = 0;
    std::thread writer([&] {
        Sleep(200);
        set_clipboard_text(L"update one");
        first_update = GetTickCount64();
        Sleep(30);
        set_clipboard_text(L"update two");
        second_update = GetTickCount64();
    });
    const bool result = Clipboard_window::get_data_job(handler.window());
    const ULONGLONG done = GetTickCount64();
    writer.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(clipboard_text(), L"update two");
    // The 50 ms settle timer restarts on the second update; a timer that was
    // not restarted would fire about 20 ms after the second update.
    EXPECT_GE(done, second_update + 45)
        << "first " << first_update << " second " << second_update << " done " << done;
}

TEST_F(ClipboardWindowTest, JobFailsAfterTheTimeOutWhenTheTargetDoesNotCopy) {
    ASSERT_TRUE(target->ignore_copy(true));
    Clipboard_handler handler;
    const DWORD sequence = GetClipboardSequenceNumber();
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(Clipboard_window::get_data_job(handler.window()));
    EXPECT_GE(GetTickCount64() - start, 2950u);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    EXPECT_EQ(clipboard_text(), L"before");
    EXPECT_FALSE(Clipboard_window::process_instance()->has_pending_job());

    // What the user reads: an empty selection, and the clipboard untouched.
    std::wstring text = L"stale";
    handler.read_selection_text(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(clipboard_text(), L"before");
}

TEST_F(ClipboardWindowTest, SecondJobCompletesTheFirstWithFalse) {
    Clipboard_handler handler;
    const HWND window = handler.window();
    Copy_job first, second;
    Clipboard_window::register_job(&first);
    Clipboard_window::register_job(&second);
    ASSERT_TRUE(
        PostMessageW(window, Clipboard_window::job_message, 0, reinterpret_cast<LPARAM>(&first)));
    ASSERT_TRUE(
        PostMessageW(window, Clipboard_window::job_message, 0, reinterpret_cast<LPARAM>(&second)));
    const DWORD sequence = GetClipboardSequenceNumber();
    EXPECT_FALSE(Clipboard_window::wait_for_job(window, first));
    // The first ended because the second arrived, not because of a copy.
    EXPECT_TRUE(Clipboard_window::process_instance()->has_pending_job());
    EXPECT_TRUE(Clipboard_window::wait_for_job(window, second));
    EXPECT_NE(GetClipboardSequenceNumber(), sequence);
    EXPECT_EQ(clipboard_text(), L"selected words");
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
        ASSERT_TRUE(PostMessageW(slow.handle(), Clipboard_window::job_message, 0,
                                 reinterpret_cast<LPARAM>(&job)));
        const ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(Clipboard_window::wait_for_job(slow.handle(), job));
        EXPECT_GE(GetTickCount64() - start, 3000u); // the caller's deadline
        EXPECT_EQ(job.result.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
        Clipboard_window::unregister_job(&job);
        EXPECT_FALSE(slow.has_pending_job());
    }
    // An update after the job is gone settles into an idle window.
    ASSERT_TRUE(set_clipboard_text(L"after cancel"));
    wait_pumping(150);
    EXPECT_FALSE(slow.has_pending_job());

    // A job message for a job nobody waits for any more is dropped.
    Copy_job gone;
    ASSERT_TRUE(PostMessageW(slow.handle(), Clipboard_window::job_message, 0,
                             reinterpret_cast<LPARAM>(&gone)));
    wait_pumping(50);
    EXPECT_FALSE(slow.has_pending_job());

    // Without any window the caller still ends, with false.
    Copy_job orphan;
    EXPECT_FALSE(Clipboard_window::wait_for_job(nullptr, orphan, 100));
}

TEST_F(ClipboardWindowTest, QuitDuringACopyWaitEndsTheWaitAndReachesTheThreadsLoop) {
    ASSERT_TRUE(target->ignore_copy(true));
    Clipboard_handler handler;
    const DWORD thread = GetCurrentThreadId();
    std::thread quitter([thread] {
        Sleep(200);
        PostThreadMessageW(thread, WM_QUIT, 7, 0);
    });
    const ULONGLONG start = GetTickCount64();
    std::wstring text = L"stale";
    handler.read_selection_text(text);
    const ULONGLONG waited = GetTickCount64() - start;
    quitter.join();
    EXPECT_TRUE(text.empty());
    EXPECT_LT(waited, 2000u); // the copy's own time-out is 3 s
    EXPECT_FALSE(Clipboard_window::process_instance()->has_pending_job());
    // Every later wait returns at once, and the thread's loop still ends.
    EXPECT_FALSE(wait_pumping(1000));
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(clipboard_text(), L"before");
}

TEST_F(ClipboardWindowTest, UpdatesWithoutAJobLeaveTheWindowIdle) {
    Clipboard_handler handler;
    Clipboard_window* window = Clipboard_window::process_instance();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->handle(), handler.window());
    ASSERT_TRUE(set_clipboard_text(L"changed by someone"));
    wait_pumping(150);
    EXPECT_FALSE(window->has_pending_job());
    EXPECT_EQ(clipboard_text(), L"changed by someone");
    // Every handler of the process shares the one window.
    Clipboard_handler other;
    EXPECT_EQ(other.window(), handler.window());
    wchar_t title[64] = {};
    GetWindowTextW(handler.window(), title, 64);
    EXPECT_EQ(std::wstring(title), L"clipboard_handler" + std::to_wstring(GetCurrentProcessId()));
}

} // namespace
