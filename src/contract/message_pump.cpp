#include "contract/message_pump.h"

#include <windows.h>

namespace Message_pump {
namespace {

// Dispatches what is queued; false when a WM_QUIT came (it is not dispatched).
bool dispatch_queued(WPARAM& quit_code) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit_code = message.wParam;
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

} // namespace

Result wait_until(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done,
                  On_quit on_quit) {
    using Clock = std::chrono::steady_clock;
    bool quit = false;
    WPARAM quit_code = 0;
    Result result = Result::deadline;
    for (;;) {
        if (done && done()) {
            result = Result::done;
            break;
        }
        if (!dispatch_queued(quit_code)) {
            quit = true;
            if (on_quit == On_quit::end_wait) {
                result = Result::quit;
                break;
            }
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            result = done && done() ? Result::done : Result::deadline;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        if (done && left > poll_ms)
            left = poll_ms;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 1 ? 1 : left),
                                  QS_ALLINPUT);
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quit_code));
    return result;
}

} // namespace Message_pump

bool wait_pumping(std::uint32_t milliseconds) {
    return Message_pump::wait_until(std::chrono::steady_clock::now() +
                                        std::chrono::milliseconds(milliseconds),
                                    nullptr) != Message_pump::Result::quit;
}
