#include "output/clipboard_handler.h"
#include "output/clipboard_window.h"
#include "output_test_support.h"
#include "support/trace_capture.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

#include <functional>
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

// The window is made by the start-up's thread alone. Before it exists a
// handler refuses every operation with a trace line, and the user's
// clipboard stays as it is; another thread cannot make a second one, and
// its handlers use the one the start-up made.
TEST(ProcessClipboardWindow, MadeOnlyByTheStartUpThreadAndRefusedBeforeIt) {
    Clipboard_window::destroy_process_window();
    ASSERT_TRUE(set_clipboard_text(L"the user's"));
    Clipboard_handler early;
    EXPECT_EQ(early.window(), nullptr);
    const struct {
        const char* operation;
        std::function<bool(Clipboard_handler&)> did_something;
    } refused[] = {
        {"read_text",
         [](Clipboard_handler& h) {
             std::wstring text = L"stale";
             return h.read_text(text) || !text.empty();
         }},
        {"read_selection_text",
         [](Clipboard_handler& h) { return !h.read_selection_text().empty(); }},
        {"backup_formats",
         [](Clipboard_handler& h) {
             Clipboard_snapshot backup;
             std::string why;
             return h.backup_formats(backup, why) || !backup.empty() || why.empty();
         }},
        {"restore_formats",
         [](Clipboard_handler& h) {
             Clipboard_snapshot backup(1);
             backup[0].format = CF_UNICODETEXT;
             backup[0].data = Clipboard_object(
                 Clipboard_handler::create_handle(utf16_bytes(L"restored")).release());
             return h.restore_formats(backup) || !backup.empty();
         }},
        {"paste_text",
         [](Clipboard_handler& h) {
             h.paste_text(L"pasted");
             return false;
         }},
    };
    for (const auto& c : refused) {
        Trace_capture trace;
        const std::size_t errors_before = trace.error_count();
        EXPECT_FALSE(c.did_something(early)) << c.operation;
        EXPECT_GT(trace.error_count(), errors_before) << c.operation;
        EXPECT_EQ(clipboard_text(), L"the user's") << c.operation;
    }

    const HWND made = Clipboard_window::create_process_window();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Clipboard_window::create_process_window(), made); // asked again on its thread
    HWND made_by_worker = made, seen_by_worker = nullptr;
    std::thread worker([&] {
        made_by_worker = Clipboard_window::create_process_window();
        seen_by_worker = Clipboard_handler().window();
    });
    worker.join();
    EXPECT_EQ(made_by_worker, nullptr);
    EXPECT_EQ(seen_by_worker, made);
    EXPECT_EQ(Clipboard_window::process_window(), made);
    std::wstring text;
    EXPECT_TRUE(Clipboard_handler().read_text(text));
    EXPECT_EQ(text, L"the user's");
}

namespace {

bool seen = false;

LRESULT CALLBACK pump_test_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP)
        seen = true;
    return DefWindowProcW(window, message, wparam, lparam);
}

} // namespace

// Every wait that dispatches: what ends it, and what becomes of a WM_QUIT.
TEST(MessagePump, EndsOnDoneDeadlineOrQuitAndAlwaysHandsTheQuitOn) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = pump_test_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"zaptor_pump_test";
    RegisterClassW(&window_class);
    const HWND window = CreateWindowW(L"zaptor_pump_test", L"", 0, 0, 0, 1, 1, HWND_MESSAGE,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    using Message_pump::On_quit;
    using Message_pump::Result;
    const struct {
        const char* name;
        int quit_code;        // posted before the wait; 0: none
        int message_after_ms; // WM_APP posted from another thread; -1: none
        On_quit on_quit;
        Result expected;
    } cases[] = {
        {"a dispatched message ends it", 0, 0, On_quit::end_wait, Result::done},
        {"nothing ends it but the deadline", 0, -1, On_quit::end_wait, Result::deadline},
        {"a quit ends it at once", 5, 100, On_quit::end_wait, Result::quit},
        {"a quit is sat through", 6, 100, On_quit::wait_on, Result::done},
        {"a quit sat through to the deadline", 7, -1, On_quit::wait_on, Result::deadline},
    };
    for (const auto& c : cases) {
        seen = false;
        if (c.quit_code)
            PostQuitMessage(c.quit_code);
        std::thread poster([&] {
            if (c.message_after_ms < 0)
                return;
            Sleep(static_cast<DWORD>(c.message_after_ms));
            PostMessageW(window, WM_APP, 0, 0);
        });
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(c.message_after_ms < 0 ? 300 : 10000);
        EXPECT_EQ(Message_pump::wait_until(
                      deadline, [] { return seen; }, c.on_quit),
                  c.expected)
            << c.name;
        poster.join();
        // The quit is posted again for the thread's own loop, with its code.
        MSG message;
        const bool quit_queued = PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        EXPECT_EQ(quit_queued, c.quit_code != 0) << c.name;
        if (quit_queued) {
            EXPECT_EQ(message.wParam, static_cast<WPARAM>(c.quit_code)) << c.name;
        }
        // Drain what a quit left undispatched.
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    DestroyWindow(window);
}
