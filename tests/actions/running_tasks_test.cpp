// The worker-task list under load: 10,000 direct releases while the bindings
// are reloaded from another thread; the list is handed over past 100 tasks.
#include "actions_test_support.h"

#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

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
    std::thread reloader([&] {
        // Other direct bindings come and go beside the one in use.
        for (unsigned round = 0; !done.load(); ++round) {
            if (round % 2)
                shortcuts.set_binding(0x10242, L"zp_other", L"Other");
            else
                shortcuts.remove_binding(0x10242);
            shortcuts.reload();
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
    EXPECT_LE(tasks.peak(), 101u);
    EXPECT_EQ(action.deactivations(0x241), static_cast<unsigned>(releases));
    EXPECT_EQ(action.total_runs(), static_cast<unsigned>(releases));
}

// Shut-down stops waiting at its limit and hands back what still runs; the
// tasks that ended are gone from the list.
TEST(Running_tasks, the_wait_at_shutdown_ends_at_its_limit) {
    for (bool blocked : {false, true}) {
        Running_tasks tasks;
        std::promise<void> person; // a dialog nobody answers
        std::shared_future<void> answered = person.get_future().share();
        std::atomic<int> ended{0};
        for (int i = 0; i < 3; ++i)
            tasks.add(std::async(std::launch::async, [&, i, answered] {
                if (blocked && i == 1)
                    answered.wait();
                ++ended;
            }));
        auto still_running = tasks.clear_pumping(std::chrono::milliseconds(blocked ? 200 : 60000));
        EXPECT_EQ(tasks.size(), 0u);
        EXPECT_EQ(still_running.size(), blocked ? 1u : 0u);
        EXPECT_EQ(ended.load(), blocked ? 2 : 3);
        person.set_value();
        for (auto& task : still_running)
            task.get();
        EXPECT_EQ(ended.load(), 3);
    }
}
