// Types typing data with SendInput: characters as Unicode key events (tab,
// carriage return and line feed as the Tab and Return keys, since many
// programs act on the key rather than the character; CR LF gives one Return),
// key elements as virtual-key events, pauses as sleeps, link and image records
// as their text. Keys that the data pressed and never released are released
// at the end, so that no modifier stays stuck.
#pragma once

#include "host/host_services.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class Send_input_typist final : public Typist {
public:
    // The function that hands events to the system; SendInput unless a test
    // replaces it. Answers how many events were inserted.
    using Sender = std::function<UINT(const std::vector<INPUT>&)>;
    using Sleeper = std::function<void(unsigned int milliseconds)>;

    Send_input_typist();
    Send_input_typist(Sender sender, Sleeper sleeper);

    bool type(const std::wstring& typing_data) override;

private:
    bool flush(std::vector<INPUT>& pending);

    Sender sender_;
    Sleeper sleeper_;
};

// Types on a thread of its own, in the order the data arrived, so that the
// host thread (which also serves the keyboard hook) stays free while a long
// text or a pause is being typed. Any other thread that asks (a plug-in's
// worker) waits until its data has been typed: the plug-in marks the time it
// is sending as its own output, and keys the user types meanwhile must find
// that mark still raised, or they could land inside the text being typed.
class Background_typist final : public Typist {
public:
    // The thread that constructs it is the host thread.
    explicit Background_typist(Typist& typist);
    // Types what is queued, then stops.
    ~Background_typist();
    Background_typist(const Background_typist&) = delete;
    Background_typist& operator=(const Background_typist&) = delete;

    // Queues the data; true when it was queued (and, off the host thread,
    // typed in full).
    bool type(const std::wstring& typing_data) override;
    // Waits until everything queued has been typed; false on time-out.
    bool wait_idle(unsigned int timeout_ms);

private:
    void run();

    Typist& typist_;
    std::mutex mutex_;
    std::condition_variable changed_;
    struct Item {
        std::wstring data;
        std::uint64_t number;
        bool awaited; // its sender waits for the result
    };
    const DWORD host_thread_;
    std::deque<Item> queue_;
    std::uint64_t queued_ = 0;              // items queued so far
    std::map<std::uint64_t, bool> results_; // awaited items typed, not yet collected
    int waiting_ = 0;                       // senders waiting for their answer
    bool busy_ = false;
    bool stopping_ = false;
    std::thread worker_;
};
