// The futures of the worker tasks that run released direct bindings and
// typed abbreviations. One list per process, under one mutex that is held
// only to change the list, never while waiting. Past 100 entries the whole
// list is handed to a clean-up task, so the list never holds more than 101
// futures.
//
// The keyboard hook announces a run (expect, an atomic count) when it hands
// a release to the listener's worker; the worker starts the run and lists
// its future (fulfil). A wait for the list also waits for announced runs to
// be listed, so that none queued before the wait began is missed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <future>
#include <mutex>
#include <vector>

class Running_tasks {
public:
    static constexpr std::size_t hand_over_above = 100;
    // How long shut-down waits for running actions: one may wait for a
    // person (a question, a dialog), and the host must be able to exit.
    static constexpr std::chrono::milliseconds shutdown_wait{5000};

    Running_tasks() = default;
    // Waits for every task still running.
    ~Running_tasks();
    Running_tasks(const Running_tasks&) = delete;
    Running_tasks& operator=(const Running_tasks&) = delete;

    void add(std::future<void> task);
    // A run is on its way to the list: lock-free, for the keyboard hook.
    void expect() noexcept;
    // The run announced by expect: its future (an invalid one when the run
    // could not start).
    void fulfil(std::future<void> task);
    // Empties the list and waits for every task.
    void clear();
    // The same, on a thread that owns windows (the host's, at shut-down):
    // its messages are dispatched meanwhile, because a task may be waiting
    // for one of its windows (the clipboard window, or the clipboard owner
    // that EmptyClipboard notifies). A WM_QUIT is kept and posted again
    // when the wait ends. Waits at most `limit`; answers the tasks still
    // running then, which the caller must keep (their futures wait when
    // destroyed) together with what they use.
    std::vector<std::future<void>> clear_pumping(std::chrono::milliseconds limit);
    std::size_t size() const;
    // The largest size the list reached since the last reset_peak.
    std::size_t peak() const;
    void reset_peak();

private:
    // Waits (at most shutdown_wait) for the announced runs, then empties the list.
    std::vector<std::future<void>> take();
    void add_locked(std::future<void> task);

    mutable std::mutex mutex_;
    std::condition_variable fulfilled_;
    std::atomic<unsigned> expected_{0};
    std::vector<std::future<void>> tasks_;
    std::size_t peak_ = 0;
};

// The process-wide list.
Running_tasks& running_key_tasks();
