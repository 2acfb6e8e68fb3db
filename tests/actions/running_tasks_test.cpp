// The worker-task list under load: hand-over past 100, and 10,000 direct
// releases while the bindings are reloaded from another thread.
#include "actions_test_support.h"

#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

TEST(Running_tasks, hands_the_list_over_past_100_and_waits_for_all) {
    Running_tasks tasks;
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    std::atomic<int> finished{0};
    auto blocked = [&] {
        return std::async(std::launch::async, [open, &finished] {
            open.wait();
            ++finished;
        });
    };
    for (int i = 0; i < 100; ++i)
        tasks.add(blocked());
    EXPECT_EQ(tasks.size(), 100u);
    tasks.add(blocked());
    // Handed over although every task is still blocked: only the clean-up's
    // future is left.
    EXPECT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks.peak(), 101u);
    EXPECT_EQ(finished.load(), 0);
    tasks.add(blocked());
    EXPECT_EQ(tasks.size(), 2u);
    gate.set_value();
    tasks.clear();
    EXPECT_EQ(tasks.size(), 0u);
    EXPECT_EQ(finished.load(), 102);

    // A task that throws is traced, not rethrown into the caller.
    tasks.add(std::async(std::launch::async, [] { throw std::runtime_error("boom"); }));
    EXPECT_NO_THROW(tasks.clear());
}

TEST(Running_tasks, ten_thousand_releases_during_reloads_each_run_once) {
    Work_folder folder(L"stress");
    Reference_host host;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts(&host, L"plugins\\zaptor.db", tasks);
    ASSERT_TRUE(shortcuts.initialize());
    Counting_action action(L"zp_direct", &host);
    shortcuts.set_binding(0x10241, L"zp_direct", L"Direct");
    Keyboard_listener* listener = host.keyboard_listener();
    ASSERT_NE(listener, nullptr);

    constexpr int releases = 10000;
    std::atomic<bool> done{false};
    std::atomic<unsigned> reloads{0};
    std::atomic<std::size_t> largest{0};
    std::thread reloader([&] {
        unsigned round = 0;
        while (!done.load()) {
            // Other direct bindings come and go beside the one in use.
            if (++round % 2)
                shortcuts.set_binding(0x10242, L"zp_other", L"Other");
            else
                shortcuts.remove_binding(0x10242);
            shortcuts.reload();
            ++reloads;
            std::size_t size = tasks.size();
            if (size > largest.load())
                largest.store(size);
        }
    });
    int answered = 0;
    auto press = key_event(0x41, true);
    auto release = key_event(0x41, false);
    for (int i = 0; i < releases; ++i) {
        answered += listener->key_event(&press, listener_control);
        answered += listener->key_event(&release, listener_control);
    }
    done = true;
    reloader.join();
    tasks.clear();

    EXPECT_EQ(answered, 2 * releases);
    EXPECT_GT(reloads.load(), 0u);
    EXPECT_LE(tasks.peak(), 101u);
    EXPECT_LE(largest.load(), 101u);
    EXPECT_EQ(tasks.size(), 0u);
    EXPECT_EQ(action.deactivations(0x241), static_cast<unsigned>(releases));
    EXPECT_EQ(action.total_runs(), static_cast<unsigned>(releases));
}
