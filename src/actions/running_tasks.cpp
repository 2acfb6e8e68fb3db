#include "actions/running_tasks.h"

#include "trace/trace.h"

#include <exception>
#include <memory>
#include <utility>

namespace {

void wait_all(std::vector<std::future<void>>& tasks) {
    for (auto& task : tasks) {
        try {
            if (task.valid())
                task.get();
        } catch (const std::exception& e) {
            Trace::error("Running_tasks::wait") << "Zaptor exception:" << e.what();
        }
    }
    tasks.clear();
}

} // namespace

Running_tasks::~Running_tasks() {
    clear();
}

void Running_tasks::add(std::future<void> task) {
    std::lock_guard<std::mutex> lock(mutex_);
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
        // No thread for the clean-up: wait here rather than lose track of
        // running tasks.
        Trace::error("Running_tasks::add") << "Zaptor exception:" << e.what();
        wait_all(*handed);
    }
}

void Running_tasks::clear() {
    // Waiting outside the lock: a running task may itself add a future (an
    // action that triggers another) without dead-locking; what it added is
    // taken in the next round.
    for (;;) {
        std::vector<std::future<void>> tasks;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks = std::move(tasks_);
            tasks_.clear();
        }
        if (tasks.empty())
            return;
        wait_all(tasks);
    }
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
