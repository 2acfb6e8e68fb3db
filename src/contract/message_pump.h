// Waiting on a thread that owns windows: while it waits, the thread keeps
// dispatching its messages, so that its windows (the clipboard window, a
// dialog, a window that another program sends to) never stall behind the
// wait.
//
// A WM_QUIT met during a wait is taken out of the queue, kept, and posted
// again when the wait ends, so that the thread's own message loop still
// ends; every later wait then meets it again at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace Message_pump {

enum class Result { done, deadline, quit };

// What a WM_QUIT does to the wait: end it at once (a wait for the user's
// clipboard is pointless once the thread is told to end), or let it run on
// until `done` or the deadline (shut-down must still see its tasks end).
enum class On_quit { end_wait, wait_on };

// How often `done` is asked while no message arrives: it may turn true
// without any message (a future, another thread's flag).
constexpr std::uint32_t poll_ms = 2;

// Dispatches the calling thread's messages until `done` answers true
// (done), `deadline` has passed on a monotonic clock (deadline), or a
// WM_QUIT ends the wait (quit). With On_quit::wait_on the wait goes on
// after a WM_QUIT and answers done or deadline.
Result wait_until(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done,
                  On_quit on_quit = On_quit::end_wait);

} // namespace Message_pump

// Waits the given time while dispatching the calling thread's messages.
// False, at once, when the thread's WM_QUIT arrives.
bool wait_pumping(std::uint32_t milliseconds);
