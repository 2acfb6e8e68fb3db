// The hidden window that carries out copy jobs: it sends Control+Insert to the
// foreground application and reports success once the clipboard has changed
// and then stayed unchanged for 50 ms, or failure after 3 s.
//
// The window belongs to the thread that created it (the host's thread), so
// nothing here ever sends it a message and waits: a caller on a worker
// thread would stall as long as that thread is busy (for instance waiting
// for the worker at shut-down). Callers post, and cancel their own jobs
// directly.
#pragma once

#include "contract/unique_handle.h"
#include "output/clipboard_formats.h"

#include <windows.h>

#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Owned by the caller of get_data_job for the duration of the call.
struct Copy_job {
    std::promise<bool> done;
    std::future<bool> result = done.get_future();
    std::uint64_t serial = 0; // set when registered; tells reused addresses apart
};

class Clipboard_window {
public:
    static constexpr UINT job_message = WM_USER + 1;
    static constexpr UINT cancel_message = WM_USER + 2;
    static constexpr UINT_PTR copy_timeout_timer = 3141592;
    static constexpr UINT_PTR settle_timer = 12345;
    static constexpr UINT copy_timeout_ms = 3000;
    static constexpr UINT settle_ms = 50;
    // The caller's own deadline, for a window whose thread does not serve it.
    static constexpr UINT caller_deadline_ms = copy_timeout_ms + 500;

    // "clipboard_handler" followed by the process id: class name and title.
    static std::wstring default_name();

    // The time-out is a seam for tests that must outlast the caller's attempts.
    explicit Clipboard_window(std::wstring name = default_name(),
                              UINT timeout_ms = copy_timeout_ms);
    virtual ~Clipboard_window();
    Clipboard_window(const Clipboard_window&) = delete;
    Clipboard_window& operator=(const Clipboard_window&) = delete;

    HWND handle() const { return window_.get(); }
    bool has_pending_job() const;

    // Posts a copy job to the window and waits for its result, serving the
    // calling thread's messages meanwhile. False at once when the job cannot
    // be posted or the clipboard gate is closed; false when the thread's
    // WM_QUIT arrives (it is posted again for the thread's own loop).
    static bool get_data_job(HWND window);
    // Waits for a registered job until `deadline_ms` have passed on a
    // monotonic clock; a job that ends unfinished is cancelled by its serial,
    // so that the cancel can never end another caller's job.
    static bool wait_for_job(HWND window, Copy_job& job,
                             std::uint32_t deadline_ms = caller_deadline_ms);
    // Ends every job still waited for with false (shut-down).
    static void cancel_all_jobs();

    // A job is only touched by the window while its caller keeps it
    // registered, so a job message that arrives after the caller gave up is
    // dropped instead of reaching a destroyed job.
    static void register_job(Copy_job* job);
    static void unregister_job(Copy_job* job);

    // Delayed rendering of a paste: the formats go on the clipboard without
    // data, and the window hands out a copy of each when a program reads it,
    // until the clipboard is emptied. offer_read() tells that the target has
    // asked since the last offer.
    void offer(Clipboard_snapshot formats);
    bool offer_read() const;

    // The one window of the process shared by every Clipboard_handler. The
    // start-up makes it on the host's thread, which serves it: a window made
    // by a worker task would go with that task's thread. Made again on the
    // same thread, the existing one is answered; asked from another thread
    // while one exists, null with a trace line.
    static HWND create_process_window();
    // The window made by create_process_window; null with a trace line
    // before it exists (or after it went), never made here.
    static HWND process_window();
    static Clipboard_window* process_instance();
    // Destroys the process-wide window (also done when the library unloads).
    static void destroy_process_window();

private:
    // Makes the window on the calling thread, which owns and serves it;
    // false, with a trace line, when it cannot be made.
    bool create();
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    void on_job(Copy_job* job);
    void complete_pending(bool result);
    void render(std::uint32_t format);
    void render_all();

    Unique_window window_;
    std::wstring name_;
    Copy_job* pending_ = nullptr;
    std::uint64_t pending_serial_ = 0;
    mutable std::mutex mutex_;
    Clipboard_snapshot offered_; // under mutex_
    bool offer_read_ = false;    // under mutex_
    UINT timeout_ms_;
    bool class_registered_ = false;
    DWORD owner_thread_ = 0;
};
