#include "output/clipboard_window.h"

#include "contract/message_pump.h"
#include "contract/plugin_globals.h"
#include "output/clipboard_gate.h"
#include "output/keypresser.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <chrono>
#include <exception>
#include <map>

namespace {

// Jobs whose callers are still waiting, with the serial they were given.
std::mutex& jobs_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<Copy_job*, std::uint64_t>& live_jobs() {
    static std::map<Copy_job*, std::uint64_t> jobs;
    return jobs;
}

// A job ends once: the window, its time-out and shut-down may each try to
// end it, and the later ones find it ended.
void end_job(Copy_job& job, bool result) {
    try {
        job.done.set_value(result);
    } catch (const std::future_error&) {
    }
}

bool is_live(Copy_job* job, std::uint64_t serial) {
    auto found = live_jobs().find(job);
    return found != live_jobs().end() && found->second == serial;
}

std::mutex& process_window_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<Clipboard_window>& process_window_slot() {
    static std::unique_ptr<Clipboard_window> window;
    return window;
}

} // namespace

std::wstring Clipboard_window::default_name() {
    return L"clipboard_handler" + std::to_wstring(GetCurrentProcessId());
}

Clipboard_window::Clipboard_window(std::wstring name, UINT timeout_ms)
    : name_(std::move(name)), timeout_ms_(timeout_ms) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = &Clipboard_window::window_proc;
    window_class.hInstance = Plugin_globals::module();
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = name_.c_str();
    class_registered_ = RegisterClassExW(&window_class) != 0;
    create();
}

Clipboard_window::~Clipboard_window() {
    if (window_) {
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        // Destroyed explicitly so that a library loaded again later never finds
        // a window whose procedure has been unloaded. Another thread cannot
        // destroy it, and must not wait for its owner: it asks and goes on.
        if (GetCurrentThreadId() == owner_thread_) {
            RemoveClipboardFormatListener(window_.get());
            render_all();
            window_.reset();
        } else {
            PostMessageW(window_.release(), WM_CLOSE, 0, 0);
        }
    }
    if (class_registered_) {
        UnregisterClassW(name_.c_str(), Plugin_globals::module());
    }
}

bool Clipboard_window::create() {
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, name_.c_str(), name_.c_str(), WS_POPUP, 0, 0, 1,
                                  1, nullptr, nullptr, Plugin_globals::module(), nullptr);
    if (!window) {
        const DWORD code = GetLastError();
        Trace::error("Clipboard_window::create")
            << "CreateWindowEx failed. Error: " << static_cast<std::uint32_t>(code);
        return false;
    }
    window_.reset(window);
    owner_thread_ = GetCurrentThreadId();
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    AddClipboardFormatListener(window_.get());
    return true;
}

bool Clipboard_window::has_pending_job() const {
    std::lock_guard<std::mutex> live_lock(jobs_mutex());
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_ != nullptr && is_live(pending_, pending_serial_);
}

LRESULT CALLBACK Clipboard_window::window_proc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
    auto* self = reinterpret_cast<Clipboard_window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return Trace::guarded("Clipboard_window::window_proc", LRESULT{0},
                          [&] { return self->handle_message(message, wparam, lparam); });
}

LRESULT Clipboard_window::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case job_message:
        on_job(reinterpret_cast<Copy_job*>(lparam));
        return 0;
    case cancel_message: {
        // Only the job the cancel names, and only if it is still pending: a
        // late cancel must not end the job that came after it.
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_ == nullptr || static_cast<WPARAM>(pending_serial_) == wparam) {
            pending_ = nullptr;
            KillTimer(window_.get(), copy_timeout_timer);
            KillTimer(window_.get(), settle_timer);
        }
        return 0;
    }
    case WM_CLIPBOARDUPDATE:
        // Every update restarts the settle timer: a burst of updates counts
        // as settled 50 ms after its last one.
        KillTimer(window_.get(), copy_timeout_timer);
        SetTimer(window_.get(), settle_timer, settle_ms, nullptr);
        return 0;
    case WM_RENDERFORMAT:
        render(static_cast<std::uint32_t>(wparam));
        return 0;
    case WM_RENDERALLFORMATS:
        render_all();
        return 0;
    case WM_DESTROYCLIPBOARD: {
        // Someone emptied the clipboard: our promises are gone with it.
        std::lock_guard<std::mutex> lock(mutex_);
        offered_.clear();
        return 0;
    }
    case WM_TIMER:
        if (wparam == copy_timeout_timer) {
            KillTimer(window_.get(), copy_timeout_timer);
            complete_pending(false);
        } else if (wparam == settle_timer) {
            KillTimer(window_.get(), settle_timer);
            complete_pending(true);
        }
        return 0;
    default:
        return DefWindowProcW(window_.get(), message, wparam, lparam);
    }
}

void Clipboard_window::on_job(Copy_job* job) {
    {
        std::lock_guard<std::mutex> live_lock(jobs_mutex());
        auto found = live_jobs().find(job);
        if (found == live_jobs().end()) {
            Trace::error("Clipboard_window::on_job") << "job message for a job nobody waits for";
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_ && is_live(pending_, pending_serial_))
            end_job(*pending_, false);
        pending_ = job;
        pending_serial_ = found->second;
        // A settle timer still running from an earlier update must not
        // complete this job with the clipboard as it was before the copy.
        KillTimer(window_.get(), settle_timer);
        SetTimer(window_.get(), copy_timeout_timer, timeout_ms_, nullptr);
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(0, &info)) {
        return;
    }
    Keypresser keys;
    keys.key_down(VK_CONTROL);
    keys.key_down(VK_INSERT);
    keys.key_up(VK_INSERT);
    keys.key_up(VK_CONTROL);
    keys.execute(false);
}

void Clipboard_window::complete_pending(bool result) {
    std::lock_guard<std::mutex> live_lock(jobs_mutex());
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_ && is_live(pending_, pending_serial_))
        end_job(*pending_, result);
    pending_ = nullptr;
}

void Clipboard_window::offer(Clipboard_snapshot formats) {
    std::lock_guard<std::mutex> lock(mutex_);
    offered_ = std::move(formats);
    offer_read_ = false;
}

bool Clipboard_window::offer_read() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offer_read_;
}

void Clipboard_window::render(std::uint32_t format) {
    // The reader holds the clipboard open and waits in GetClipboardData.
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Saved_format& offered : offered_) {
        if (offered.format != format)
            continue;
        offer_read_ = true;
        std::uint64_t size = 0;
        Clipboard_object copy = copy_clipboard_object(format, offered.data.get(), size);
        if (copy && SetClipboardData(format, copy.get()))
            copy.release();
        else
            Trace::error("Clipboard_window::render")
                << "format " << format << " could not be handed over: error "
                << static_cast<std::uint32_t>(GetLastError());
        return;
    }
}

void Clipboard_window::render_all() {
    // The window is going while its promises are on the clipboard: keep them.
    if (GetClipboardOwner() != window_.get() || !OpenClipboard(window_.get()))
        return;
    std::vector<std::uint32_t> formats;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Saved_format& offered : offered_)
            formats.push_back(offered.format);
    }
    for (std::uint32_t format : formats)
        render(format);
    CloseClipboard();
}

void Clipboard_window::register_job(Copy_job* job) {
    static std::uint64_t next_serial = 0;
    std::lock_guard<std::mutex> lock(jobs_mutex());
    job->serial = ++next_serial;
    live_jobs()[job] = job->serial;
}

void Clipboard_window::unregister_job(Copy_job* job) {
    std::lock_guard<std::mutex> lock(jobs_mutex());
    live_jobs().erase(job);
}

bool Clipboard_window::get_data_job(HWND window) {
    return Trace::guarded("Clipboard_window::get_data_job", false, [&] {
        if (Clipboard_gate::closed()) {
            Trace::info("Clipboard_window::get_data_job") << "shutting down: no copy";
            return false;
        }
        if (!window) {
            Trace::error("Clipboard_window::get_data_job") << "no clipboard window";
            return false;
        }
        Copy_job job;
        register_job(&job);
        struct Unregister {
            Copy_job* job;
            ~Unregister() { unregister_job(job); }
        } unregister{&job};
        if (!PostMessageW(window, job_message, 0, reinterpret_cast<LPARAM>(&job))) {
            const auto code = static_cast<std::uint32_t>(GetLastError());
            Trace::error("Clipboard_window::get_data_job") << "PostMessage failed. Error: " << code;
            return false;
        }
        return wait_for_job(window, job);
    });
}

bool Clipboard_window::wait_for_job(HWND window, Copy_job& job, std::uint32_t deadline_ms) {
    const auto ready = [&] {
        return job.result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    Message_pump::wait_until(
        std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms), ready);
    if (ready())
        return job.result.get();
    // Unfinished: the caller unregisters the job, so the window never
    // touches it again; the cancel names it, so that only its timers stop.
    if (window)
        PostMessageW(window, cancel_message, static_cast<WPARAM>(job.serial), 0);
    return false;
}

void Clipboard_window::cancel_all_jobs() {
    std::lock_guard<std::mutex> lock(jobs_mutex());
    for (auto& [job, serial] : live_jobs())
        end_job(*job, false);
}

HWND Clipboard_window::create_process_window() {
    std::lock_guard<std::mutex> lock(process_window_mutex());
    auto& slot = process_window_slot();
    if (slot) {
        if (slot->owner_thread_ == GetCurrentThreadId())
            return slot->handle();
        Trace::error("Clipboard_window::create_process_window")
            << "the clipboard window belongs to thread "
            << static_cast<std::uint32_t>(slot->owner_thread_) << ": not made again on thread "
            << static_cast<std::uint32_t>(GetCurrentThreadId());
        return nullptr;
    }
    slot = std::make_unique<Clipboard_window>();
    if (!slot->handle()) {
        slot.reset();
        return nullptr;
    }
    return slot->handle();
}

HWND Clipboard_window::process_window() {
    std::lock_guard<std::mutex> lock(process_window_mutex());
    if (const auto& slot = process_window_slot())
        return slot->handle();
    Trace::error("Clipboard_window::process_window")
        << "no clipboard window: the plug-in has not started, or has shut down";
    return nullptr;
}

Clipboard_window* Clipboard_window::process_instance() {
    std::lock_guard<std::mutex> lock(process_window_mutex());
    return process_window_slot().get();
}

void Clipboard_window::destroy_process_window() {
    std::unique_ptr<Clipboard_window> window;
    {
        std::lock_guard<std::mutex> lock(process_window_mutex());
        window = std::move(process_window_slot());
    }
}
