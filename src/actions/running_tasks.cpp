#include "actions/running_tasks.h"

#include "contract/message_pump.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>

namespace {

void wait_all(std::vector<std::future<void>>& tasks) {
    for (auto& task : tasks) {
        if (task.valid())
            Trace::guarded("Running_tasks::wait", [&] { task.get(); });
    }
    tasks.clear();
}

// Dispatches the thread's messages until `task` is ready or `end` has
// passed; a WM_QUIT does not end the wait, the tasks must still be seen to
// end. Answers whether the task is ready.
bool pump_until_ready(std::future<void>& task, std::chrono::steady_clock::time_point end) {
    return Message_pump::wait_until(
               end,
               [&] { return task.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
               Message_pump::On_quit::wait_on) == Message_pump::Result::done;
}

} // namespace

Running_tasks::~Running_tasks() {
    clear();
}

void Running_tasks::add(std::future<void> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    add_locked(std::move(task));
}

void Running_tasks::expect() noexcept {
    expected_.fetch_add(1, std::memory_order_acq_rel);
}

void Running_tasks::fulfil(std::future<void> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (task.valid())
            add_locked(std::move(task));
        expected_.fetch_sub(1, std::memory_order_acq_rel);
    }
    fulfilled_.notify_all();
}

void Running_tasks::add_locked(std::future<void> task) {
    tasks_.push_back(std::move(task));
    if (tasks_.size() > peak_)
        peak_ = tasks_.size();
    if (tasks_.size() <= hand_over_above)
        return;
    auto handed = std::make_shared<std::vector<std::future<void>>>(std::move(tasks_));
    tasks_.clear();
    try {
        tasks_.push_back(std::async(std::launch::async, [handed] { wait_all(*handed); }));
    } catch (const std::exception& e) {
        // No thread for the clean-up: the futures stay listed (past the
        // bound, until a later add hands them over), as waiting here would
        // hold the mutex while actions run.
        tasks_ = std::move(*handed);
        Trace::error("Running_tasks::add") << "Zaptor exception:" << e.what();
    }
}

std::vector<std::future<void>> Running_tasks::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    // The worker lists a run within moments of its announcement; one that
    // does not arrive in time is not waited for, like a task that overruns.
    if (!fulfilled_.wait_for(lock, shutdown_wait,
                             [this] { return expected_.load(std::memory_order_acquire) == 0; }))
        Trace::error("Running_tasks::take")
            << static_cast<std::uint64_t>(expected_.load()) << " announced runs never listed";
    std::vector<std::future<void>> tasks = std::move(tasks_);
    tasks_.clear();
    return tasks;
}

// Waiting outside the lock: a running task may itself add a future (an
// action that triggers another) without dead-locking; what it added is
// taken in the next round.
void Running_tasks::clear() {
    for (auto tasks = take(); !tasks.empty(); tasks = take())
        wait_all(tasks);
}

std::vector<std::future<void>> Running_tasks::clear_pumping(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::vector<std::future<void>> running;
    for (auto tasks = take(); !tasks.empty(); tasks = take()) {
        for (auto& task : tasks) {
            if (!task.valid())
                continue;
            if (pump_until_ready(task, end))
                Trace::guarded("Running_tasks::wait", [&] { task.get(); });
            else
                running.push_back(std::move(task));
        }
    }
    if (!running.empty())
        Trace::error("Running_tasks::clear_pumping")
            << static_cast<std::uint64_t>(running.size()) << " actions still run after "
            << static_cast<std::uint64_t>(limit.count()) << " ms; no longer waited for";
    return running;
}

std::size_t Running_tasks::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
}

std::size_t Running_tasks::peak() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peak_;
}

void Running_tasks::reset_peak() {
    std::lock_guard<std::mutex> lock(mutex_);
    peak_ = tasks_.size();
}

Running_tasks& running_key_tasks() {
    static Running_tasks tasks;
    return tasks;
}
